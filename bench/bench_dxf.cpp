// Loading and saving a large DXF plan (KV_BENCH_PLAN, default
// /tmp/plan-1M.dxf, made by gen_plan.py). Beside them, two floors that no
// reader looking at every tag can beat: BM_Floor reads the file from disk
// and parses every group code and every coordinate with from_chars,
// keeping nothing; BM_FloorInMemory parses only the codes of a file
// already in memory.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

#include "cad/dxf/reader.hpp"
#include "cad/dxf/tokenizer.hpp"
#include "cad/dxf/writer.hpp"
#include "scan_lines.hpp"

namespace {

std::string planPath() {
    const char* env = std::getenv("KV_BENCH_PLAN");
    return env ? env : "/tmp/plan-1M.dxf";
}

const std::string& planBytes() {
    static const std::string bytes = [] {
        std::ifstream in(planPath(), std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }();
    return bytes;
}

bool havePlan(benchmark::State& state) {
    if (planBytes().empty()) {
        state.SkipWithError(("нет файла " + planPath()).c_str());
        return false;
    }
    return true;
}

void BM_Floor(benchmark::State& state) {
    if (!havePlan(state)) return;
    for (auto _ : state) {
        std::ifstream in(planPath(), std::ios::binary);
        in.seekg(0, std::ios::end);
        std::string s(static_cast<std::size_t>(in.tellg()), '\0');
        in.seekg(0, std::ios::beg);
        in.read(s.data(), static_cast<std::streamsize>(s.size()));
        benchmark::DoNotOptimize(scanLines(s, true));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * planBytes().size()));
}
BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FloorInMemory(benchmark::State& state) {
    if (!havePlan(state)) return;
    for (auto _ : state) benchmark::DoNotOptimize(scanLines(planBytes(), false));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * planBytes().size()));
}
BENCHMARK(BM_FloorInMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Tokenize(benchmark::State& state) {
    if (!havePlan(state)) return;
    for (auto _ : state) {
        state.PauseTiming();
        std::string copy = planBytes();
        state.ResumeTiming();
        cad::TokenizedDxf t = cad::tokenizeDxf(std::move(copy));
        benchmark::DoNotOptimize(t.tags.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * planBytes().size()));
}
BENCHMARK(BM_Tokenize)->Unit(benchmark::kMillisecond)->Iterations(3);

// Reading the file from disk (page cache) and building the whole model;
// letting the drawing go again is not part of loading it.
void BM_Load(benchmark::State& state) {
    if (!havePlan(state)) return;
    std::size_t entities = 0;
    for (auto _ : state) {
        auto d = std::make_unique<cad::DrawingData>(cad::readDxfFile(planPath()));
        entities = d->entities.size();
        benchmark::DoNotOptimize(entities);
        state.PauseTiming();
        d.reset();
        state.ResumeTiming();
    }
    state.counters["entities"] = static_cast<double>(entities);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * planBytes().size()));
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Save(benchmark::State& state) {
    if (!havePlan(state)) return;
    static const cad::DrawingData d = cad::readDxfFile(planPath());
    std::size_t size = 0;
    for (auto _ : state) {
        std::string out = cad::writeDxf(d);
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->Iterations(3);

// Saving to a file: written in chunks, fsync'ed and renamed into place.
void BM_SaveFile(benchmark::State& state) {
    if (!havePlan(state)) return;
    static const cad::DrawingData d = cad::readDxfFile(planPath());
    const std::string out = "/tmp/kv-bench-save.dxf";
    for (auto _ : state) cad::writeDxfFile(d, out);
    std::error_code ec;
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(out, ec)));
    std::filesystem::remove(out, ec);
    std::filesystem::remove("/tmp/kv-bench-save.bak", ec);
}
BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
