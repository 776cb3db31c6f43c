// The walk that draws a drawing: what is left out, how colour and lineweight
// resolve, how blocks, texts and the other kinds reach the canvas.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "cad/canvas.hpp"
#include "cad/geometry.hpp"

using namespace cad;

namespace {

constexpr double kPi = std::numbers::pi;

struct Call {
    std::string kind;
    std::vector<Point3> points;
    Style style;
    double radius = 0, start = 0, sweep = 0;
    TextItem text;
    bool closed = false;
    std::size_t loops = 0;
};

class RecordingCanvas : public Canvas {
  public:
    std::vector<Call> calls;
    void line(Point3 a, Point3 b, const Style& s) override { record("line", {a, b}, s); }
    void polyline(const std::vector<Point3>& pts, bool closed, const Style& s) override {
        record("polyline", pts, s).closed = closed;
    }
    void arc(Point3 c, double r, double a0, double sweep, const Style& s) override {
        Call& call = record("arc", {c}, s);
        call.radius = r;
        call.start = a0;
        call.sweep = sweep;
    }
    void circle(Point3 c, double r, const Style& s) override {
        record("circle", {c}, s).radius = r;
    }
    void text(const TextItem& t, const Style& s) override {
        record("text", {t.position}, s).text = t;
    }
    void fill(const std::vector<std::vector<Point3>>& loops, const Style& s) override {
        record("fill", loops.empty() ? std::vector<Point3>{} : loops.front(), s).loops =
            loops.size();
    }

  private:
    Call& record(const char* kind, std::vector<Point3> pts, const Style& s) {
        Call& c = calls.emplace_back();
        c.kind = kind;
        c.points = std::move(pts);
        c.style = s;
        return c;
    }
};

// A drawing built by hand: layers, blocks and model space.
class Builder {
  public:
    DrawingData d;

    Builder() { layer("0"); }

    void layer(const std::string& name, int color = 7, int flags = 0, int lineweight = -3) {
        Layer l;
        l.name = name;
        l.color = color;
        l.flags = flags;
        l.lineweight = lineweight;
        d.layerIndex[cad::foldName(name)] = d.layers.size();
        d.layers.push_back(l);
    }

    EntityId add(Geometry g, const std::string& layerName = "0", int color = 256,
                 int lineweight = -1) {
        Entity e;
        e.geom = std::move(g);
        e.layer = layerName;
        e.color = color;
        e.lineweight = lineweight;
        EntityId id{static_cast<std::uint32_t>(d.entities.size())};
        d.entities.push_back(std::move(e));
        return id;
    }

    Entity& model(Geometry g, const std::string& layerName = "0", int color = 256,
                  int lineweight = -1) {
        EntityId id = add(std::move(g), layerName, color, lineweight);
        d.modelSpace.push_back(id);
        return d.entities[id.v];
    }

    void block(const std::string& name, std::vector<EntityId> ids, Point3 base = {}) {
        Block b;
        b.name = name;
        b.base = base;
        b.entities = std::move(ids);
        d.blockIndex[name] = d.blocks.size();
        d.blocks.push_back(std::move(b));
    }

    std::vector<Call> draw(std::optional<Box2> region = std::nullopt) const {
        RecordingCanvas c;
        drawDrawing(d, c, region);
        return c.calls;
    }
};

LineGeom seg(double x1, double y1, double x2, double y2) {
    return {{x1, y1, 0}, {x2, y2, 0}};
}

InsertGeom ref(const std::string& name, Point3 at, double rotation = 0, double scale = 1) {
    InsertGeom g;
    g.blockName = name;
    g.insertion = at;
    g.rotation = rotation;
    g.scale = {scale, scale, scale};
    return g;
}

// A TEXT or MTEXT of the string at the point, the rest as a file without
// those tags gives.
template <class Geom>
Geom textAt(const std::string& text, Point3 at, double height) {
    Geom g;
    g.text = text;
    g.insertion = at;
    g.height = height;
    return g;
}

void expectPoint(Point3 got, double x, double y, const char* what) {
    EXPECT_NEAR(got.x, x, 1e-9) << what;
    EXPECT_NEAR(got.y, y, 1e-9) << what;
}

TEST(Draw, LeavesOutWhatIsNotShownAndKeepsDrawingOrder) {
    Builder b;
    b.layer("Выкл", -3);
    b.layer("Заморожен", 5, 1);
    b.layer("Вкл", 2);
    b.model(seg(0, 0, 1, 0), "Вкл");
    b.model(seg(0, 0, 2, 0), "Выкл");
    b.model(seg(0, 0, 3, 0), "Заморожен");
    b.model(seg(0, 0, 4, 0)).visible = false;
    b.model(seg(0, 0, 5, 0)).erased = true;
    b.model(seg(0, 0, 6, 0)).paperSpace = true;
    b.model(seg(0, 0, 7, 0), "НетТакогоСлоя");
    b.model(seg(0, 0, 8, 0), "Вкл");
    auto calls = b.draw();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].points[1].x, 1);
    EXPECT_EQ(calls[1].points[1].x, 7);
    EXPECT_EQ(calls[2].points[1].x, 8);
    EXPECT_EQ(calls[2].style.entity, b.d.modelSpace.back());
}

TEST(Draw, ColourAndLineweightResolve) {
    Builder b;
    b.layer("Трасса", 3, 0, 50);
    struct Case {
        int color, lineweight;
        std::string layer;
        int wantColor;
        double wantMm;
    };
    const Case cases[] = {
        {256, -1, "Трасса", 3, 0.5}, {1, 90, "Трасса", 1, 0.9}, {256, -3, "Трасса", 3, 0.25},
        {0, -2, "Трасса", 7, 0.25},  {256, -1, "0", 7, 0.25},   {256, 0, "0", 7, 0.0},
    };
    for (const Case& c : cases) b.model(seg(0, 0, 1, 1), c.layer, c.color, c.lineweight);
    auto calls = b.draw();
    ASSERT_EQ(calls.size(), std::size(cases));
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].style.color, cases[i].wantColor) << i;
        EXPECT_DOUBLE_EQ(calls[i].style.lineweightMm, cases[i].wantMm) << i;
    }
}

TEST(Draw, BlocksTakeTransformColourAndLayerFromTheirInsert) {
    Builder b;
    b.layer("Колодцы", 4, 0, 35);
    b.layer("Скрытый", 6, 1);
    b.layer("Свой", 1);
    b.block("К",
            {b.add(seg(1, 0, 2, 0), "0", 0, -2),           // ByBlock colour and weight
             b.add(seg(1, 0, 1, 1), "0", 256, -1),         // layer 0: the insert's layer
             b.add(seg(1, 0, 3, 0), "Свой", 256, -1),      // own layer keeps its colour
             b.add(seg(1, 0, 4, 0), "Скрытый", 256, -1)},  // frozen: left out
            {1, 0, 0});
    b.model(ref("К", {100, 200, 0}, 90, 2), "Колодцы", 2, 50);
    b.model(ref("К", {0, 0, 0}), "Колодцы", 256, -1);
    auto calls = b.draw();
    ASSERT_EQ(calls.size(), 6u);
    expectPoint(calls[0].points[0], 100, 200, "ByBlock start");
    expectPoint(calls[0].points[1], 100, 202, "ByBlock end");
    EXPECT_EQ(calls[0].style.color, 2);
    EXPECT_DOUBLE_EQ(calls[0].style.lineweightMm, 0.5);
    EXPECT_EQ(calls[1].style.color, 4);  // ByLayer on layer 0 → Колодцы
    EXPECT_DOUBLE_EQ(calls[1].style.lineweightMm, 0.35);
    EXPECT_EQ(calls[2].style.color, 1);
    EXPECT_EQ(calls[0].style.entity, b.d.modelSpace[0]);
    // The second insert is ByLayer: its ByBlock line takes the layer's colour.
    EXPECT_EQ(calls[3].style.color, 4);
    expectPoint(calls[3].points[1], 1, 0, "second insert");
}

TEST(Draw, InsertOnALayerThatIsOffHidesItsLayerZeroParts) {
    Builder b;
    b.layer("Выкл", -2);
    b.layer("Свой", 1);
    b.block("К", {b.add(seg(0, 0, 1, 0), "0"), b.add(seg(0, 0, 2, 0), "Свой")});
    b.model(ref("К", {0, 0, 0}), "Выкл");
    auto calls = b.draw();
    // The reference itself is on a layer that is off: nothing of it is drawn.
    EXPECT_TRUE(calls.empty());
}

TEST(Draw, SelfInsertingBlocksStop) {
    Builder b;
    EntityId inner = b.add(ref("Сам", {1, 0, 0}));
    b.block("Сам", {b.add(seg(0, 0, 1, 0)), inner});
    b.model(ref("Сам", {0, 0, 0}));
    auto calls = b.draw();
    EXPECT_EQ(calls.size(), 1u);
}

TEST(Draw, TextsCarryDecodedStringAndPlacement) {
    Builder b;
    TextGeom t = textAt<TextGeom>("%%c219 %%p0,5", {10, 20, 0}, 2.5);
    t.rotation = 90;
    t.widthFactor = 0.7;
    t.oblique = 15;
    b.model(t);
    TextGeom centred = t;
    centred.hasAlignment = true;
    centred.hAlign = 1;
    centred.vAlign = 2;
    centred.alignment = {50, 60, 0};
    b.model(centred);
    TextGeom fit = t;
    fit.hasAlignment = true;
    fit.hAlign = 5;
    fit.alignment = {10, 40, 0};
    b.model(fit);
    b.block("Т", {b.add(t)});
    b.model(ref("Т", {0, 0, 0}, 90, 2));
    auto calls = b.draw();
    ASSERT_EQ(calls.size(), 4u);
    const TextItem& a = calls[0].text;
    EXPECT_EQ(a.text, "Ø219 ±0,5");
    expectPoint(a.position, 10, 20, "left text");
    EXPECT_DOUBLE_EQ(a.height, 2.5);
    EXPECT_NEAR(a.rotation, kPi / 2, 1e-12);
    EXPECT_DOUBLE_EQ(a.widthFactor, 0.7);
    EXPECT_NEAR(a.oblique, kPi / 12, 1e-12);
    EXPECT_EQ(a.hAlign, HAlign::Left);
    const TextItem& c = calls[1].text;
    expectPoint(c.position, 50, 60, "centred text anchors at the alignment point");
    EXPECT_EQ(c.hAlign, HAlign::Center);
    EXPECT_EQ(c.vAlign, VAlign::Middle);
    const TextItem& f = calls[2].text;
    EXPECT_EQ(f.hAlign, HAlign::Fit);
    expectPoint(f.position, 10, 20, "fit start");
    expectPoint(f.second, 10, 40, "fit end");
    const TextItem& r = calls[3].text;  // through an insert turned 90° and doubled
    expectPoint(r.position, -40, 20, "inserted text");
    EXPECT_NEAR(r.height, 5.0, 1e-12);
    EXPECT_NEAR(r.rotation, kPi, 1e-12);
    EXPECT_NEAR(r.widthFactor, 0.7, 1e-12);
}

TEST(Draw, MTextLinesStackDownwardsFromTheAttachment) {
    Builder b;
    MTextGeom m = textAt<MTextGeom>("{\\fArial|b0;Колодец}\\PК-1\\P\\P", {0, 100, 0}, 3);
    m.attachment = 7;  // bottom left: the last line sits on the insertion point
    b.model(m);
    auto calls = b.draw();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].text.text, "Колодец");
    EXPECT_EQ(calls[1].text.text, "К-1");
    // Three line breaks make four lines; the two empty ones still take their place.
    EXPECT_NEAR(calls[0].text.position.y, 100 + 3 * 5.0, 1e-9);
    EXPECT_NEAR(calls[1].text.position.y, 100 + 2 * 5.0, 1e-9);
    MTextGeom top = m;
    top.text = "А\\P45%%d";
    top.attachment = 2;  // top centre
    Builder t;
    t.model(top);
    calls = t.draw();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NEAR(calls[0].text.position.y, 97, 1e-9);
    EXPECT_NEAR(calls[1].text.position.y, 92, 1e-9);
    EXPECT_EQ(calls[1].text.text, "45°");
    EXPECT_EQ(calls[1].text.hAlign, HAlign::Center);
}

// Without a font the canvas counts 0.8 of the height a character.
TEST(Draw, MTextWrapsAtItsBoxWidthBetweenWords) {
    MTextGeom m = textAt<MTextGeom>("один два три четыре\\Pабвгдежзийклмн", {0, 0, 0}, 1);
    m.rectWidth = 7;  // "один два" is 6.4 wide, "три четыре" 8
    Builder b;
    b.model(m);
    auto calls = b.draw();
    std::vector<std::string> lines;
    for (const auto& c : calls) lines.push_back(c.text.text);
    EXPECT_EQ(lines, (std::vector<std::string>{"один два", "три", "четыре", "абвгдежзийклмн"}));
    EXPECT_NEAR(calls[1].text.position.y, calls[0].text.position.y - 5.0 / 3.0, 1e-9);
    m.rectWidth = 0;  // no box: one line a paragraph
    Builder unboxed;
    unboxed.model(m);
    EXPECT_EQ(unboxed.draw().size(), 2u);
}

TEST(Draw, CurvesReachTheCanvasInWorldCoordinates) {
    Builder b;
    b.model(ArcGeom{{3, 0, 0}, 2, 0, 90, {0, 0, -1}});  // mirrored by its extrusion
    b.model(CircleGeom{{1, 1, 0}, 4, kWorldZ});
    PolylineGeom p;
    p.vertices = {{0, 0, 0, 1}, {10, 0, 0, 0}};
    p.closed = true;
    b.model(p);
    EllipseGeom e;
    e.center = {0, 0, 0};
    e.majorAxis = {10, 0, 0};
    e.ratio = 0.5;
    e.endParam = 2 * kPi;
    b.model(e);
    SplineGeom s;
    s.degree = 2;
    s.controlPoints = {{0, 0, 0}, {10, 20, 0}, {20, 0, 0}};
    s.knots = {0, 0, 0, 1, 1, 1};
    b.model(s);
    auto calls = b.draw();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].kind, "arc");
    expectPoint(calls[0].points[0], -3, 0, "mirrored centre");
    EXPECT_NEAR(calls[0].start, kPi, 1e-12);
    EXPECT_NEAR(calls[0].sweep, -kPi / 2, 1e-12);
    EXPECT_EQ(calls[1].kind, "circle");
    EXPECT_EQ(calls[2].kind, "polyline");
    EXPECT_TRUE(calls[2].closed);
    double lowest = 0;
    for (const Point3& q : calls[2].points) lowest = std::min(lowest, q.y);
    EXPECT_NEAR(lowest, -5, 0.01);  // the bulge arc hangs below the chord
    EXPECT_EQ(calls[3].kind, "polyline");
    EXPECT_TRUE(calls[3].closed);
    EXPECT_GT(calls[3].points.size(), 20u);
    EXPECT_EQ(calls[4].kind, "polyline");
    expectPoint(calls[4].points.back(), 20, 0, "spline end");
}

TEST(Draw, FillsHatchesAndSolids) {
    Builder b;
    HatchGeom solid;
    solid.solid = true;
    PolylineGeom loop;
    loop.vertices = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    solid.loops = {loop, loop};
    b.model(solid);
    HatchGeom pattern = solid;
    pattern.solid = false;
    pattern.pattern = "ANSI31";
    b.model(pattern);
    SolidGeom q;
    q.corners[0] = {0, 0, 0};
    q.corners[1] = {10, 0, 0};
    q.corners[2] = {0, 10, 0};
    q.corners[3] = {10, 10, 0};
    b.model(q);
    auto calls = b.draw();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].kind, "fill");
    EXPECT_EQ(calls[0].loops, 2u);
    EXPECT_EQ(calls[0].points.size(), 4u);
    EXPECT_EQ(calls[1].kind, "polyline");
    EXPECT_TRUE(calls[1].closed);
    EXPECT_EQ(calls[3].kind, "fill");
    ASSERT_EQ(calls[3].points.size(), 4u);
    // Corners 1, 2, 4, 3: round the square, not across it.
    expectPoint(calls[3].points[2], 10, 10, "third corner drawn");
    expectPoint(calls[3].points[3], 0, 10, "fourth corner drawn");
}

TEST(Draw, RegionDrawsOnlyWhatMeetsIt) {
    Builder b;
    b.model(seg(0, 0, 10, 0));
    b.model(seg(100, 100, 110, 100));
    b.model(CircleGeom{{50, 50, 0}, 60, kWorldZ});  // its box meets the region
    Box2 region;
    region.add(95, 95);
    region.add(120, 120);
    auto calls = b.draw(region);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].points[0].x, 100);
    EXPECT_EQ(calls[1].kind, "circle");
}

TEST(Palette, ColourIndexToRgb) {
    struct Case {
        int aci;
        Rgb rgb;
    };
    const Case cases[] = {
        {1, {255, 0, 0}},      {2, {255, 255, 0}},     {3, {0, 255, 0}},  {5, {0, 0, 255}},
        {7, {255, 255, 255}},  {8, {128, 128, 128}},   {10, {255, 0, 0}}, {11, {255, 127, 127}},
        {12, {165, 0, 0}},     {13, {165, 82, 82}},    {18, {38, 0, 0}},  {20, {255, 63, 0}},
        {21, {255, 159, 127}}, {50, {255, 255, 0}},    {90, {0, 255, 0}}, {170, {0, 0, 255}},
        {250, {51, 51, 51}},   {254, {190, 190, 190}}, {-3, {0, 255, 0}}, {300, {255, 255, 255}},
    };
    for (const Case& c : cases) EXPECT_EQ(aciToRgb(c.aci), c.rgb) << c.aci;
}

}  // namespace
