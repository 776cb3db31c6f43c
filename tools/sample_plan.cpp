// The sample plan: a projected water main of twelve straight lines (about
// 450 m, drawing units are millimetres, survey coordinates near X 500000,
// Y 6000000), three service connections leaving it, two existing water
// pipes and a heating main crossing it, two asphalt strips, survey heights,
// wells and buildings as blocks and hatches, as such plans are drawn.
#include "sample_plan.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <tuple>

#include "cad/dxf_emit.hpp"
#include "cad/dxf_reader.hpp"
#include "cad/number_text.hpp"

namespace kvtools {

using cad::Entity;
using cad::Point3;
using cad::PolylineGeom;
using cad::PolyVertex;

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

// Survey coordinates are kept to the millimetre.
double mm(double v) {
    return std::round(v);
}

Point3 along(Point3 from, double azimuthDeg, double length) {
    return {mm(from.x + length * std::cos(azimuthDeg * kDeg)),
            mm(from.y + length * std::sin(azimuthDeg * kDeg)), 0.0};
}

Point3 midpoint(Point3 a, Point3 b) {
    return {(a.x + b.x) / 2.0, (a.y + b.y) / 2.0, 0.0};
}

struct Segment {
    double length;
    double azimuth;  // degrees, counter-clockwise from east
};

// The route: twelve lines, the first two in one straight run.
constexpr Segment kRoute[] = {{38000, 8},  {41000, 8},  {36500, 20},  {40000, 35},
                              {33000, 12}, {42500, -5}, {37000, -22}, {39500, -10},
                              {35000, 5},  {41500, 18}, {34000, 2},   {32000, -15}};
constexpr Point3 kRouteStart{285000.0, 5975000.0, 0.0};

Entity polyline(const char* layer, std::vector<PolyVertex> vertices, bool closed,
                int lineweight = -1) {
    Entity e;
    e.dxfType = "LWPOLYLINE";
    e.layer = layer;
    e.lineweight = lineweight;
    PolylineGeom g;
    g.vertices = std::move(vertices);
    g.closed = closed;
    e.geom = std::move(g);
    return e;
}

// A polyline through points laid off from a start by (length, azimuth) steps.
std::vector<PolyVertex> walk(Point3 start, std::initializer_list<Segment> steps) {
    std::vector<PolyVertex> v{{start.x, start.y, 0.0, 0.0}};
    Point3 p = start;
    for (const Segment& s : steps) {
        p = along(p, s.azimuth, s.length);
        v.push_back({p.x, p.y, 0.0, 0.0});
    }
    return v;
}

// A strip of road: a closed rectangle of the given width around its axis.
std::vector<PolyVertex> strip(Point3 centre, double azimuth, double length, double width) {
    Point3 a = along(centre, azimuth + 180.0, length / 2.0);
    Point3 b = along(centre, azimuth, length / 2.0);
    double nx = -std::sin(azimuth * kDeg) * width / 2.0;
    double ny = std::cos(azimuth * kDeg) * width / 2.0;
    return {{mm(a.x + nx), mm(a.y + ny), 0, 0},
            {mm(b.x + nx), mm(b.y + ny), 0, 0},
            {mm(b.x - nx), mm(b.y - ny), 0, 0},
            {mm(a.x - nx), mm(a.y - ny), 0, 0}};
}

Entity hatch(const char* layer, std::vector<PolyVertex> loop, int color) {
    Entity e;
    e.dxfType = "HATCH";
    e.layer = layer;
    e.color = color;
    cad::HatchGeom g;
    g.pattern = "SOLID";
    g.solid = true;
    PolylineGeom boundary;
    boundary.vertices = std::move(loop);
    boundary.closed = true;
    g.loops.push_back(std::move(boundary));
    e.geom = std::move(g);
    return e;
}

Entity circle(Point3 c, double r) {
    Entity e;
    e.dxfType = "CIRCLE";
    e.geom = cad::CircleGeom{c, r, cad::kWorldZ};
    return e;
}

Entity line(Point3 a, Point3 b) {
    Entity e;
    e.dxfType = "LINE";
    e.geom = cad::LineGeom{a, b};
    return e;
}

// The ground height along the route, in metres, as a surveyor would have
// measured it: a gentle rise and fall.
double groundHeight(double chainage) {
    return 150.0 + 4.0 * std::sin(chainage / 70000.0) + 1.5 * std::cos(chainage / 23000.0);
}

std::string heightText(double metres) {
    return cad::fixedText(std::round(metres * 100.0) / 100.0, 2);
}

void layer(cad::Drawing& d, const char* name, int color, int lineweight = -3) {
    d.addLayer(name);
    cad::DrawingData& data = d.mutableData();
    cad::Layer& l = data.layers[data.layerIndex.at(name)];
    l.color = color;
    l.lineweight = lineweight;
}

}  // namespace

SamplePlan makeSamplePlan() {
    SamplePlan plan;
    plan.route.push_back(kRouteStart);
    for (const Segment& s : kRoute)
        plan.route.push_back(along(plan.route.back(), s.azimuth, s.length));

    // The view of a new drawing shows the whole plan.
    cad::Box2 view;
    for (const Point3& p : plan.route) view.add(p);
    view.minX -= 40000;
    view.maxX += 40000;
    view.minY -= 60000;
    view.maxY += 60000;
    plan.drawing =
        std::make_unique<cad::Drawing>(cad::readDxf(cad::emptyDrawingText("AC1015", view)));
    cad::Drawing& d = *plan.drawing;

    layer(d, kRouteLayer, 1, 50);
    layer(d, kEmptyRouteLayer, 1);
    layer(d, kConnectionLayer, 6, 35);
    layer(d, kWaterLayer, 5, 30);
    layer(d, kHeatingLayer, 30, 30);
    layer(d, kAsphaltLayer, 8);
    layer(d, kHeightLayer, 7);
    layer(d, "Колодцы", 5);
    layer(d, "Здания", 8);
    layer(d, "Подписи", 7);

    // Blocks: a well (ring with a filled centre) and a hydrant.
    {
        std::vector<Entity> well;
        well.push_back(circle({0, 0, 0}, 750));
        well.push_back(hatch("0", {{-200, 0, 0, 1.0}, {200, 0, 0, 1.0}}, 0));
        d.addBlock("Колодец", {0, 0, 0}, std::move(well));
        std::vector<Entity> hydrant;
        hydrant.push_back(circle({0, 0, 0}, 500));
        hydrant.push_back(line({-500, 0, 0}, {500, 0, 0}));
        hydrant.push_back(line({0, 0, 0}, {0, 900, 0}));
        d.addBlock("Гидрант", {0, 0, 0}, std::move(hydrant));
    }

    // The route, chained end to start.
    d.setCurrentLayer(kRouteLayer);
    for (std::size_t i = 0; i + 1 < plan.route.size(); ++i) {
        d.addLine(plan.route[i], plan.route[i + 1]).setLineweight(50);
    }

    // Service connections leave the route from the middle of lines 3, 6 and 10.
    d.setCurrentLayer(kConnectionLayer);
    const struct {
        std::size_t segment;
        double side;  // +1 left of the route, -1 right
        double length;
    } kConnections[] = {{2, 1.0, 28000}, {5, -1.0, 35000}, {9, 1.0, 24000}};
    for (const auto& c : kConnections) {
        Point3 start = midpoint(plan.route[c.segment], plan.route[c.segment + 1]);
        Point3 end = along(start, kRoute[c.segment].azimuth + 90.0 * c.side, c.length);
        d.addLine(start, end).setLineweight(35);
        plan.connectionStarts.push_back(start);
        d.setCurrentLayer("Колодцы");
        d.addInsert("Колодец", end);
        d.setCurrentLayer(kConnectionLayer);
    }

    // Existing pipes crossing the route: water across lines 2 and 8, the
    // heating main (with a bend drawn as an arc) across line 5.
    auto crossing = [&](std::size_t segment, double t, double angle, double before) {
        const Point3& a = plan.route[segment];
        const Point3& b = plan.route[segment + 1];
        Point3 at{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, 0.0};
        return along(at, kRoute[segment].azimuth + angle + 180.0, before);
    };
    d.addEntity(polyline(kWaterLayer,
                         walk(crossing(1, 0.35, 80, 30000), {{52000, kRoute[1].azimuth + 80},
                                                             {30000, kRoute[1].azimuth + 60},
                                                             {25000, kRoute[1].azimuth + 95}}),
                         false, 30));
    d.addEntity(polyline(kWaterLayer,
                         walk(crossing(7, 0.6, 100, 25000),
                              {{45000, kRoute[7].azimuth + 100}, {38000, kRoute[7].azimuth + 75}}),
                         false, 30));
    {
        auto v = walk(crossing(4, 0.45, 70, 36000), {{30000, kRoute[4].azimuth + 70},
                                                     {20000, kRoute[4].azimuth + 70},
                                                     {40000, kRoute[4].azimuth + 20},
                                                     {30000, kRoute[4].azimuth + 20}});
        v[2].bulge = std::tan(-50.0 * kDeg / 4.0);  // a 50 degree right-hand bend
        d.addEntity(polyline(kHeatingLayer, std::move(v), false, 30));
    }

    // Asphalt strips: roads crossing lines 4 and 9.
    for (auto [segment, t, angle] : {std::tuple{3, 0.5, 75.0}, std::tuple{8, 0.3, 95.0}}) {
        const Point3& a = plan.route[static_cast<std::size_t>(segment)];
        const Point3& b = plan.route[static_cast<std::size_t>(segment) + 1];
        Point3 centre{mm(a.x + (b.x - a.x) * t), mm(a.y + (b.y - a.y) * t), 0.0};
        d.addEntity(polyline(
            kAsphaltLayer,
            strip(centre, kRoute[static_cast<std::size_t>(segment)].azimuth + angle, 90000, 7000),
            true));
    }

    // Buildings near the route, hatched, with their outlines.
    for (auto [segment, side] : {std::pair{0, -1.0}, std::pair{6, -1.0}}) {
        const Point3& a = plan.route[static_cast<std::size_t>(segment)];
        double az = kRoute[static_cast<std::size_t>(segment)].azimuth;
        Point3 corner = along(a, az + 90.0 * side, 15000);
        auto outline = walk(corner, {{24000, az}, {12000, az + 90.0 * side}, {24000, az + 180.0}});
        d.addEntity(polyline("Здания", outline, true));
        d.addEntity(hatch("Здания", outline, 8));
    }

    // Wells at both ends of the route and a hydrant beside it.
    d.setCurrentLayer("Колодцы");
    d.addInsert("Колодец", plan.route.front());
    d.addInsert("Колодец", plan.route.back());
    d.addInsert("Гидрант", along(plan.route[6], kRoute[6].azimuth + 90.0, 6000), 1.0,
                kRoute[6].azimuth);

    // Survey heights beside the route at every vertex and halfway along each
    // line, each with its point.
    d.setCurrentLayer(kHeightLayer);
    double chainage = 0.0;
    for (std::size_t i = 0; i < plan.route.size(); ++i) {
        for (int half = 0; half < (i + 1 < plan.route.size() ? 2 : 1); ++half) {
            Point3 p = half == 0 ? plan.route[i] : midpoint(plan.route[i], plan.route[i + 1]);
            double az = kRoute[std::min(i, std::size(kRoute) - 1)].azimuth;
            Point3 spot = along(p, az + 90.0, 2500);
            double at = chainage + (half == 0 ? 0.0 : kRoute[i].length / 2.0);
            Entity pt;
            pt.dxfType = "POINT";
            pt.geom = cad::PointGeom{spot};
            d.addEntity(pt);
            d.addText(heightText(groundHeight(at)), {spot.x + 300, spot.y + 300, 0}, 1250);
        }
        if (i < std::size(kRoute)) chainage += kRoute[i].length;
    }

    // Labels.
    d.setCurrentLayer("Подписи");
    {
        Point3 p = along(midpoint(plan.route[3], plan.route[4]), kRoute[3].azimuth - 90.0, 4000);
        d.addText("В1 %%c160 ПЭ (проект.)", p, 1500).setRotation(kRoute[3].azimuth);
        d.addText("План сети водопровода М 1:500", {view.minX + 10000, view.maxY - 15000, 0}, 3000);
    }
    d.setCurrentLayer("0");
    return plan;
}

}  // namespace kvtools
