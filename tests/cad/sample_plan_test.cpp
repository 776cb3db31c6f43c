// The sample plan examples/plan.dxf: the committed file is exactly what the
// generator makes, and it holds what the README's run relies on.
#include <gtest/gtest.h>

#include <charconv>
#include <map>

#include "cad/drawing.hpp"
#include "cad/dxf/writer.hpp"
#include "dxf_check_support.hpp"
#include "sample_plan.hpp"

using namespace cad;

namespace {

const std::filesystem::path kPlan = std::filesystem::path(KV_SOURCE_DIR) / "examples/plan.dxf";

// Distance from p to the segment a-b in the plane.
double toSegment(Point3 p, Point3 a, Point3 b) {
    Point3 ab = b - a, ap = p - a;
    double t = std::clamp(dot(ap, ab) / dot(ab, ab), 0.0, 1.0);
    return planeDistance(p, a + ab * t);
}

// How many of the polyline's segments cross the segment a-b.
std::size_t crossings(const PolylineGeom& g, Point3 a, Point3 b) {
    auto side = [](Point3 p, Point3 q, Point3 r) { return cross(q - p, r - p).z; };
    const std::size_t size = g.vertices.size();
    std::size_t n = 0;
    for (std::size_t i = 0; i + 1 < size + (g.closed ? 1 : 0); ++i) {
        Point3 p{g.vertices[i].x, g.vertices[i].y, 0};
        Point3 q{g.vertices[(i + 1) % size].x, g.vertices[(i + 1) % size].y, 0};
        n += side(p, q, a) * side(p, q, b) < 0 && side(a, b, p) * side(a, b, q) < 0;
    }
    return n;
}

}  // namespace

TEST(SamplePlan, CommittedFileIsWhatTheGeneratorMakes) {
    ASSERT_TRUE(std::filesystem::exists(kPlan));
    kvtools::SamplePlan plan = kvtools::makeSamplePlan();
    EXPECT_EQ(writeDxf(plan.drawing->data()), testutil::readText(kPlan))
        << "regenerate with: build/tools/make_sample_plan examples/plan.dxf";
}

TEST(SamplePlan, HoldsARouteWithConnectionsAndCrossings) {
    auto d = Drawing::open(kPlan);
    EXPECT_EQ(d->data().version, "AC1015");
    EXPECT_EQ(d->data().codepage, "ANSI_1251");
    std::map<std::string, std::vector<EntityRef>> byLayer;
    for (EntityRef e : d->modelSpace()) byLayer[e.layer()].push_back(e);

    // The route: 10 to 15 lines chained end to start, about 450 m long.
    const auto& route = byLayer[kvtools::kRouteLayer];
    ASSERT_GE(route.size(), 10u);
    ASSERT_LE(route.size(), 15u);
    double length = 0;
    for (std::size_t i = 0; i < route.size(); ++i) {
        ASSERT_EQ(route[i].dxfType(), "LINE");
        length += route[i].length();
        if (i > 0) {
            EXPECT_EQ(route[i].startPoint(), route[i - 1].endPoint());
        }
    }
    EXPECT_NEAR(length, 450000, 30000);
    EXPECT_NEAR(route.front().startPoint().x, 500000, 300000);
    EXPECT_NEAR(route.front().startPoint().y, 6000000, 100000);

    // Three connections, each starting on the route.
    const auto& connections = byLayer[kvtools::kConnectionLayer];
    ASSERT_EQ(connections.size(), 3u);
    for (EntityRef c : connections) {
        double best = 1e300;
        for (EntityRef r : route) {
            best = std::min(best, toSegment(c.startPoint(), r.startPoint(), r.endPoint()));
        }
        EXPECT_LT(best, 1e-6);
    }

    // Existing pipes and asphalt strips cross the route.
    auto crossCount = [&](const char* layer) {
        std::size_t n = 0;
        for (EntityRef e : byLayer[layer]) {
            const auto& g = geomAs<PolylineGeom>(e.entity().geom);
            for (EntityRef r : route) n += crossings(g, r.startPoint(), r.endPoint());
        }
        return n;
    };
    EXPECT_EQ(byLayer[kvtools::kWaterLayer].size(), 2u);
    EXPECT_EQ(crossCount(kvtools::kWaterLayer), 2u);
    EXPECT_EQ(byLayer[kvtools::kHeatingLayer].size(), 1u);
    EXPECT_EQ(crossCount(kvtools::kHeatingLayer), 1u);
    ASSERT_EQ(byLayer[kvtools::kAsphaltLayer].size(), 2u);
    for (EntityRef e : byLayer[kvtools::kAsphaltLayer]) {
        EXPECT_TRUE(geomAs<PolylineGeom>(e.entity().geom).closed);
    }
    EXPECT_EQ(crossCount(kvtools::kAsphaltLayer), 4u);  // each strip has two edges over it

    EXPECT_TRUE(d->hasLayer(kvtools::kEmptyRouteLayer));
    EXPECT_TRUE(byLayer[kvtools::kEmptyRouteLayer].empty());

    // Survey heights: numbers with two decimals.
    std::size_t heights = 0;
    for (EntityRef e : byLayer[kvtools::kHeightLayer]) {
        if (e.dxfType() != "TEXT") continue;
        std::string t = e.textString();
        double v = 0;
        auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
        EXPECT_TRUE(ec == std::errc() && ptr == t.data() + t.size()) << t;
        EXPECT_EQ(t.size() - t.find('.'), 3u) << t;
        EXPECT_GT(v, 100);
        ++heights;
    }
    EXPECT_GE(heights, 20u);

    std::map<std::string, std::size_t> kinds;
    for (EntityRef e : d->modelSpace()) ++kinds[e.dxfType()];
    EXPECT_GE(kinds["INSERT"], 5u);
    EXPECT_GE(kinds["HATCH"], 2u);

    KV_EZDXF_OR_SKIP(j, kPlan);
    EXPECT_TRUE(j["audit_errors"].empty()) << j["audit_errors"].dump();
    std::map<std::string, std::size_t> ezdxfByLayer;
    for (const auto& e : j["modelspace"]) ++ezdxfByLayer[e["layer"].get<std::string>()];
    for (const auto& [layer, list] : byLayer) EXPECT_EQ(ezdxfByLayer[layer], list.size()) << layer;
}
