// Frames of the drawing view on a large plan (KV_BENCH_PLAN, default
// /tmp/plan-1M.dxf, made by gen_plan.py): the whole plan in a 1920 × 1080
// frame, and zoomed in to 1 % of it (a tenth of its width and height, and a
// hundredth of its width), rendered offscreen into an image by one thread and
// by as many threads as there are processor cores. The scene is built once, as
// the view builds it when a drawing opens.
#include <benchmark/benchmark.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "cad/drawing.hpp"
#include "render/gui_application.hpp"
#include "render/scene.hpp"

namespace {

std::string planPath() {
    const char* env = std::getenv("KV_BENCH_PLAN");
    return env ? env : "/tmp/plan-1M.dxf";
}

struct Loaded {
    std::unique_ptr<cad::Drawing> drawing;
    std::unique_ptr<render::Scene> scene;
};

Loaded& loaded() {
    static Loaded l = [] {
        Loaded r;
        render::ensureGuiApplication();
        if (!std::filesystem::exists(planPath())) return r;
        r.drawing = cad::Drawing::open(planPath());
        r.scene = std::make_unique<render::Scene>();
        r.scene->build(r.drawing->data());
        return r;
    }();
    return l;
}

bool havePlan(benchmark::State& state) {
    if (!loaded().scene) {
        state.SkipWithError(("нет файла " + planPath()).c_str());
        return false;
    }
    return true;
}

constexpr int kWidth = 1920, kHeight = 1080;

cad::Box2 viewOf(const render::Scene& scene, double fraction) {
    cad::Box2 all = scene.extents();
    double cx = (all.minX + all.maxX) / 2, cy = (all.minY + all.maxY) / 2;
    double hw = (all.maxX - all.minX) * fraction / 2, hh = (all.maxY - all.minY) * fraction / 2;
    cad::Box2 view;
    view.add(cx - hw, cy - hh);
    view.add(cx + hw, cy + hh);
    return view;
}

// A frame showing `fraction` of the plan's width and height, about its centre,
// drawn by state.range(0) threads at once (0: one per processor core).
void frame(benchmark::State& state, double fraction) {
    if (!havePlan(state)) return;
    const render::Scene& scene = *loaded().scene;
    cad::Box2 view = viewOf(scene, fraction);
    render::ScreenMap map = render::ScreenMap::fit(view, kWidth, kHeight, 0.0);
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    render::FrameOptions options;
    options.threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        scene.render(image, map, options);
        benchmark::DoNotOptimize(image.constBits());
        benchmark::ClobberMemory();
    }
    state.counters["entities"] = static_cast<double>(scene.query(view).size());
}

// Wall time decides the iterations; the CPU time is that of every thread.
void frameArgs(benchmark::internal::Benchmark* b) {
    b->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);
    b->UseRealTime()->MeasureProcessCPUTime();
}

void BM_FullExtentFrame(benchmark::State& state) {
    frame(state, 1.0);
}
BENCHMARK(BM_FullExtentFrame)->Apply(frameArgs);

void BM_ZoomedFrameTenthOfWidth(benchmark::State& state) {
    frame(state, 0.1);
}
BENCHMARK(BM_ZoomedFrameTenthOfWidth)->Apply(frameArgs);

void BM_ZoomedFrameHundredthOfWidth(benchmark::State& state) {
    frame(state, 0.01);
}
BENCHMARK(BM_ZoomedFrameHundredthOfWidth)->Apply(frameArgs);

// The first frame at 1 % of the plan after it is opened: every glyph mask is
// still to be made. The scene is built anew, untimed, before each frame.
void BM_ZoomedFrameTenthOfWidthFirst(benchmark::State& state) {
    if (!havePlan(state)) return;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    render::FrameOptions options;
    options.threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto scene = std::make_unique<render::Scene>();
        scene->build(loaded().drawing->data());
        render::ScreenMap map = render::ScreenMap::fit(viewOf(*scene, 0.1), kWidth, kHeight, 0.0);
        state.ResumeTiming();
        scene->render(image, map, options);
        benchmark::DoNotOptimize(image.constBits());
        state.PauseTiming();
        scene.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ZoomedFrameTenthOfWidthFirst)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// Building the scene when a drawing opens: the walk, the display list, the index.
void BM_SceneBuild(benchmark::State& state) {
    if (!havePlan(state)) return;
    for (auto _ : state) {
        render::Scene scene;
        scene.build(loaded().drawing->data());
        benchmark::DoNotOptimize(scene.itemCount());
    }
}
BENCHMARK(BM_SceneBuild)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
