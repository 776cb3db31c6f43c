// Ground from a survey on a long route: a 5 km route through a corridor of
// 100,000 spot heights written as texts. Goals: the triangulation under 1 s;
// "Отметки по съёмке" with a ground point every 10 m (reading the texts and
// triangulating included) and the profile built over its sheets, together
// under 1 s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

#include "cad/application.hpp"
#include "cad/prompter.hpp"
#include "ground/spot_heights.hpp"
#include "ground/surface.hpp"
#include "ground/survey_ground.hpp"
#include "model/primitives.hpp"
#include "model/ui.hpp"
#include "model/workspace.hpp"
#include "profile/build.hpp"

namespace {

constexpr double kRouteLength = 5000000.0;  // 5 km in millimetres
constexpr double kCorridor = 200000.0;      // 200 m wide
constexpr int kSpots = 100000;
const std::string kLayer = "Отметки";

double terrain(double x, double y) {
    return 150.0 + 8.0 * std::sin(x / 400000.0) + 2.0 * std::cos(y / 50000.0);
}

std::vector<ground::Spot> corridorSpots() {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> along(-20000.0, kRouteLength + 20000.0);
    std::uniform_real_distribution<double> across(-kCorridor / 2, kCorridor / 2);
    std::vector<ground::Spot> spots;
    spots.reserve(kSpots);
    for (int i = 0; i < kSpots; ++i) {
        const double x = 3222000000.0 + along(rng);
        const double y = 541000000.0 + across(rng);
        spots.push_back({x, y, terrain(x, y)});
    }
    return spots;
}

void BM_Triangulate100k(benchmark::State& state) {
    const std::vector<ground::Spot> spots = corridorSpots();
    for (auto _ : state) {
        ground::Surface s(spots, 50000.0);
        benchmark::DoNotOptimize(s.triangleCount());
    }
    state.counters["spots"] = kSpots;
}
BENCHMARK(BM_Triangulate100k)->Unit(benchmark::kMillisecond);

// The window's part: messages are kept, nothing is shown.
class QuietUi : public model::Ui {
  public:
    void message(const std::string& text) override { messages.push_back(text); }
    void setBusy(bool) override {}
    std::vector<std::string> messages;
};

struct SurveyedRoute {
    SurveyedRoute() : ws(app, prompter, ui) {
        ws.doc = ws.sheetDoc = &doc;
        doc.addLayer("Kernavisto");
        for (const ground::Spot& s : corridorSpots()) {
            doc.addText(model::formatNumber(std::round(s.z * 1000.0) / 1000.0, '.'),
                        {s.x, s.y, 0.0}, 1000.0)
                .setLayer(kLayer);
        }
        cad::EntityRef route = doc.addLine({0, 0, 0}, {1, 0, 0});
        route.setLayer("Трасса - Kernavisto");
        model::Piket p;
        // A crossing every 100 m, bending a little.
        for (int i = 0; i <= 50; ++i) {
            model::PointRow row{};
            row[model::kX] = 3222000000.0 + i * 100000.0;
            row[model::kY] = 541000000.0 + (i % 2 == 0 ? 0.0 : 20000.0);
            row[model::kRelief] = model::kSameAsPrevious;
            row[model::kDepth] = 1.8;
            row[model::kPipe] = 160;
            p.points.push_back(model::pointOf(row));
            p.pointObjects.push_back(route);
        }
        ws.pikets.push_back(std::move(p));
        ws.workPiket = 0;
        ws.sheetOptions.split = true;  // 5 km at 1:500: ten sheets
    }
    cad::Application app;
    cad::ScriptedPrompter prompter;
    QuietUi ui;
    cad::Drawing doc;
    model::Workspace ws;
};

void BM_GroundEvery10mAndProfile(benchmark::State& state) {
    ground::GroundOptions options;
    options.layers = {kLayer};
    options.stepMetres = 10.0;
    options.maxEdgeMetres = 50.0;
    std::size_t points = 0;
    int sheets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto route = std::make_unique<SurveyedRoute>();
        state.ResumeTiming();
        ground::fillGroundFromSurvey(route->ws, options);
        profile::build(route->ws);
        points = route->ws.pikets[0].points.size();
        sheets = route->ws.sheetCount;
        state.PauseTiming();
        route.reset();
        state.ResumeTiming();
    }
    state.counters["points"] = static_cast<double>(points);
    state.counters["sheets"] = sheets;
}
BENCHMARK(BM_GroundEvery10mAndProfile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
