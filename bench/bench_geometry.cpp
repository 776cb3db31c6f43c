// Crossing search throughput at plan coordinates (X ≈ 5e5, Y ≈ 6e6 mm): a line
// against a line, and a route polyline (straight runs and bulge arcs) against a
// line, each over a set of pairs with hits and misses mixed as on a real plan.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "cad/geometry.hpp"

namespace {

constexpr double kX0 = 500000.0, kY0 = 6000000.0;

cad::Entity lineAt(double x1, double y1, double x2, double y2) {
    cad::Entity e;
    e.geom = cad::LineGeom{{x1, y1, 0}, {x2, y2, 0}};
    return e;
}

// Lines scattered over a 1 × 1 km window; the counter tells how many pairs cross.
std::vector<cad::Entity> scatteredLines(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> pos(0, 1000000), len(300000, 1500000), ang(0, 6.283);
    std::vector<cad::Entity> out;
    for (int i = 0; i < n; ++i) {
        double x = kX0 + pos(rng), y = kY0 + pos(rng), l = len(rng), a = ang(rng);
        out.push_back(lineAt(x, y, x + l * std::cos(a), y + l * std::sin(a)));
    }
    return out;
}

// A route of `vertices` vertices eastwards, every fourth run a bulge arc.
cad::Entity route(int vertices) {
    cad::PolylineGeom p;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> wobble(-20000, 20000);
    for (int i = 0; i < vertices; ++i) {
        double bulge = i % 4 == 3 ? 0.1 : 0.0;
        p.vertices.push_back({kX0 + i * 50000.0, kY0 + wobble(rng), 0, bulge});
    }
    cad::Entity e;
    e.geom = p;
    return e;
}

void lineLine(benchmark::State& state) {
    const cad::DrawingData d;
    auto a = scatteredLines(256, 1), b = scatteredLines(256, 2);
    std::size_t i = 0, points = 0;
    for (auto _ : state) {
        auto r = cad::intersectEntities(d, a[i % a.size()], b[(i * 7) % b.size()]);
        points += r.size();
        benchmark::DoNotOptimize(r.data());
        ++i;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["crossings/pair"] = static_cast<double>(points) / static_cast<double>(i);
}
BENCHMARK(lineLine);

void polylineLine(benchmark::State& state) {
    const cad::DrawingData d;
    const cad::Entity r = route(static_cast<int>(state.range(0)));
    const double length = 50000.0 * static_cast<double>(state.range(0));
    // Short crossing lines spread along the route: each meets it once or twice.
    std::vector<cad::Entity> cross;
    for (int k = 0; k < 64; ++k) {
        double x = kX0 + length * (k + 0.5) / 64;
        cross.push_back(lineAt(x, kY0 - 100000, x + 3000, kY0 + 100000));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        auto res = cad::intersectEntities(d, r, cross[i % cross.size()]);
        benchmark::DoNotOptimize(res.data());
        ++i;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(polylineLine)->Arg(20)->Arg(200)->Arg(2000);

}  // namespace

BENCHMARK_MAIN();
