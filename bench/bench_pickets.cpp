// The points of a picket of 1,000 route elements on a plan whose objects all
// lie on type layers, in the mix of a survey plan (lines, polylines with and
// without arcs, texts, circles, arcs) spread over 400 x 300 km around
// X = 500,000, Y = 6,000,000. Goal: 1,000,000 objects under 0.5 s with the
// spatial index. The plain loop over every pair is measured on smaller plans
// for comparison; its time grows with objects x elements.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

#include "cad/application.hpp"
#include "cad/prompter.hpp"
#include "model/ui.hpp"
#include "model/workspace.hpp"
#include "pickets/pickets.hpp"
#include "recording_ui.hpp"

namespace {

constexpr double kX0 = 500000, kY0 = 6000000, kW = 400000, kH = 300000;
constexpr int kElements = 1000;

struct Plan {
    explicit Plan(int objects) : ws(app, prompter, ui) {
        cad::Drawing& d = app.add(std::make_unique<cad::Drawing>());
        ws.doc = ws.sheetDoc = &d;
        std::mt19937 rng(20240601);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        const std::vector<std::string> layers{"Трасса - Kernavisto", "Подводы - Kernavisto",
                                              "Водопровод - Kernavisto", "Теплотрасса - Kernavisto",
                                              "Асфальт - Kernavisto"};

        // A route across the plan, each element 300..500 units long.
        cad::Point3 p{kX0 + 20000, kY0 + kH / 2, 0};
        for (int i = 0; i < kElements; ++i) {
            double ang = 0.4 * std::sin(i / 40.0);
            double len = 300 + 200 * u(rng);
            cad::Point3 q{p.x + len * std::cos(ang), p.y + len * std::sin(ang), 0};
            cad::EntityRef e = d.addLine(p, q);
            e.setLayer(layers[0]);
            elements.push_back(e);
            p = q;
        }
        start = elements.front().startPoint();
        end = elements.back().endPoint();

        for (int k = 0; k < objects; ++k) {
            cad::Entity e;
            e.layer = layers[static_cast<std::size_t>(u(rng) * layers.size())];
            cad::Point3 c{kX0 + u(rng) * kW, kY0 + u(rng) * kH, 0};
            double kind = u(rng);
            if (kind < 0.60) {
                double ang = u(rng) * 6.283185307179586, len = 100 + u(rng) * 5000;
                e.dxfType = "LINE";
                e.geom =
                    cad::LineGeom{c, {c.x + len * std::cos(ang), c.y + len * std::sin(ang), 0}};
            } else if (kind < 0.80) {
                cad::PolylineGeom g;
                int n = 5 + static_cast<int>(u(rng) * 16);
                bool bulgy = u(rng) < 0.25;
                for (int v = 0; v < n; ++v) {
                    c.x += (u(rng) - 0.5) * 6000;
                    c.y += (u(rng) - 0.5) * 6000;
                    double bulge = bulgy && u(rng) < 0.4 ? (u(rng) - 0.5) * 1.2 : 0.0;
                    g.vertices.push_back({c.x, c.y, 0, bulge});
                }
                g.closed = u(rng) < 0.2;
                e.dxfType = "LWPOLYLINE";
                e.geom = std::move(g);
            } else if (kind < 0.90) {
                cad::TextGeom t;
                t.text = "Отм. 154,32";
                t.insertion = c;
                t.height = 350;
                t.rotation = u(rng) * 360;
                e.dxfType = "TEXT";
                e.geom = std::move(t);
            } else if (kind < 0.95) {
                e.dxfType = "CIRCLE";
                e.geom = cad::CircleGeom{c, 50 + u(rng) * 3000};
            } else {
                double s = u(rng) * 360;
                e.dxfType = "ARC";
                e.geom = cad::ArcGeom{c, 50 + u(rng) * 3000, s, s + 10 + u(rng) * 300};
            }
            d.addEntity(std::move(e));
        }
        ws.objectList = d.modelSpace();
    }

    cad::Application app;
    cad::ScriptedPrompter prompter;
    testutil::RecordingUi ui;
    model::Workspace ws;
    std::vector<cad::EntityRef> elements;
    cad::Point3 start, end;
};

// One plan at a time: the largest needs a good part of a gigabyte.
Plan& planOf(int objects) {
    static std::unique_ptr<Plan> plan;
    static int size = -1;
    if (size != objects) {
        plan.reset();
        plan = std::make_unique<Plan>(objects);
        size = objects;
    }
    return *plan;
}

void run(benchmark::State& state, bool useIndex) {
    Plan& plan = planOf(static_cast<int>(state.range(0)));
    std::size_t points = 0;
    for (auto _ : state) {
        model::Piket piket;
        piket.elements = plan.elements;
        cad::Point3 s = plan.start, e = plan.end;
        pickets::BuildPiketPoints(plan.ws, piket, s, e, 1.0, {.useIndex = useIndex});
        points = piket.points.size();
        benchmark::DoNotOptimize(piket.points.data());
    }
    state.counters["points"] = static_cast<double>(points);
    state.counters["objects"] = static_cast<double>(state.range(0));
}

void BM_BuildPiketPoints_Index(benchmark::State& state) {
    run(state, true);
}
void BM_BuildPiketPoints_Plain(benchmark::State& state) {
    run(state, false);
}

}  // namespace

BENCHMARK(BM_BuildPiketPoints_Plain)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_BuildPiketPoints_Index)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
