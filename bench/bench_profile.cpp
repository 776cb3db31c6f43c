// The profile run on a long picket: 10,000 points along a route with
// connections and crossings, drawn into an in-memory sheet. Goal: under 0.2 s.
// The rebuild of a picket of 100 points over its previous profile, as
// "Перестраивать сразу" runs it after every change of a value. Goal: under 0.1 s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "cad/application.hpp"
#include "cad/prompter.hpp"
#include "model/workspace.hpp"
#include "profile/build.hpp"
#include "recording_ui.hpp"

namespace {

struct LongPicket {
    explicit LongPicket(int points) : ws(app, prompter, ui) {
        ws.doc = ws.sheetDoc = &doc;
        doc.addLayer("Kernavisto");
        cad::EntityRef route = doc.addLine({0, 0, 0}, {1, 0, 0});
        route.setLayer("Трасса - Kernavisto");
        cad::EntityRef water = doc.addLine({0, 0, 0}, {0, 1, 0});
        water.setLayer("Водопровод - Kernavisto");
        model::Piket p;
        double x = 0, y = 0;
        for (int i = 0; i < points; ++i) {
            // A route east, bending gently every 50 points, a point every 12 m.
            const double heading = 0.2 * std::sin(i / 50);
            x += 12000 * std::cos(heading);
            y += 12000 * std::sin(heading);
            model::PointRow row{};
            row[model::kX] = x;
            row[model::kY] = y;
            // Every seventh point and the last are given, the rest interpolated.
            const bool given = i % 7 == 0 || i == points - 1;
            row[model::kRelief] = given ? 100.0 + std::sin(i * 0.01) * 3 : -1.0;
            row[model::kDepth] = given ? 1.5 : -1.0;
            row[model::kPipe] = 110;
            cad::EntityRef object = route;
            if (i % 10 == 3) {
                object = doc.addLine({x, y, 0}, {x + 500, y + 3000, 0});
                object.setLayer("Подводы - Kernavisto");
            } else if (i % 10 == 7) {
                object = water;
            }
            p.points.push_back(model::pointOf(row));
            p.pointObjects.push_back(object);
        }
        p.key = "bench";
        ws.pikets.push_back(std::move(p));
        ws.workPiket = 0;
    }
    cad::Application app;
    cad::ScriptedPrompter prompter;
    testutil::RecordingUi ui;
    cad::Drawing doc;
    model::Workspace ws;
};

void BM_ProfileBuild(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto picket = std::make_unique<LongPicket>(static_cast<int>(state.range(0)));
        state.ResumeTiming();
        profile::build(picket->ws);
        benchmark::DoNotOptimize(picket->ws.profileObjects.data());
        state.PauseTiming();
        if (!picket->ui.messages.empty()) {
            state.SkipWithError(picket->ui.messages[0].c_str());
            break;
        }
        picket.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ProfileBuild)->Arg(10000)->Unit(benchmark::kMillisecond);

// A height changed, then the profile built again: the previous profile found
// by its marks and erased, the new one drawn and marked.
void BM_LiveRebuild(benchmark::State& state) {
    LongPicket picket(static_cast<int>(state.range(0)));
    profile::build(picket.ws);
    model::PiketPoint& first = picket.ws.pikets[0].points[0];
    int k = 0;
    for (auto _ : state) {
        first.relief = model::Relief::typed(100.0 + (++k % 2) * 0.5);
        profile::rebuildLive(picket.ws);
        benchmark::DoNotOptimize(picket.ws.profileObjects.data());
    }
    if (!picket.ui.messages.empty()) state.SkipWithError(picket.ui.messages[0].c_str());
}
BENCHMARK(BM_LiveRebuild)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
