// The scene the drawing view shows: colours resolved by layer, block and true
// colour on the dark screen, what is hidden left out, the level of detail
// (a dot for what is smaller than a pixel, a box or nothing for small text),
// the index's answers in drawing order, entities changed after building, and
// frames drawn by several threads the same as by one.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <filesystem>
#include <random>

#include "cad/drawing.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/dxf_test_util.hpp"
#include "render/gui_application.hpp"
#include "render/scene.hpp"
#include "shell_util.hpp"

using namespace dxftest;

namespace {

const QColor kBackground = render::FrameOptions{}.background;

// World (x, y) is pixel (x, 100 - y): one pixel a unit.
render::ScreenMap unitMap() {
    render::ScreenMap m;
    m.originX = 0;
    m.originY = 100;
    m.scale = 1;
    return m;
}

QImage frame(const render::Scene& scene, const render::ScreenMap& map = unitMap(),
             QSize size = {200, 100}) {
    QImage img(size, QImage::Format_RGB32);
    scene.render(img, map, render::FrameOptions{});
    return img;
}

Tags line(double y, std::vector<std::pair<int, std::string>> extra, double x0 = 10,
          double x1 = 190) {
    Tags t{{0, "LINE"}};
    t.insert(t.end(), extra.begin(), extra.end());
    t.insert(t.end(), {{10, std::to_string(x0)},
                       {20, std::to_string(y)},
                       {11, std::to_string(x1)},
                       {21, std::to_string(y)}});
    return t;
}

Tags text(double x, double y, double height, const std::string& s) {
    return {{0, "TEXT"},
            {8, "0"},
            {10, std::to_string(x)},
            {20, std::to_string(y)},
            {40, std::to_string(height)},
            {1, s}};
}

int inkCount(const QImage& img, QRect r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) n += img.pixelColor(x, y) != kBackground;
    }
    return n;
}

class SceneTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { render::ensureGuiApplication(); }
};

TEST_F(SceneTest, ColoursFollowLayerBlockAndTrueColourAndHiddenThingsStayHidden) {
    Tags layers{{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "LAYER"},  {70, "4"},
                {0, "LAYER"},   {2, "0"},      {70, "0"},    {62, "7"},     {0, "LAYER"},
                {2, "GREEN"},   {70, "0"},     {62, "3"},    {0, "LAYER"},  {2, "OFF"},
                {70, "0"},      {62, "-1"},    {0, "LAYER"}, {2, "FROZEN"}, {70, "1"},
                {62, "1"},      {0, "ENDTAB"}, {0, "ENDSEC"}};
    Tags blocks{{0, "SECTION"}, {2, "BLOCKS"}, {0, "BLOCK"}, {2, "B"},
                {8, "0"},       {70, "0"},     {10, "0"},    {20, "0"}};
    blocks = concat(
        {blocks, line(0, {{8, "0"}, {62, "0"}}, 0, 180), {{0, "ENDBLK"}, {8, "0"}, {0, "ENDSEC"}}});
    Tags body = concat({
        line(90, {{8, "GREEN"}}),                            // ByLayer: green
        line(80, {{8, "0"}, {62, "1"}}),                     // red
        line(70, {{8, "0"}, {62, "7"}}),                     // white on the dark screen
        line(60, {{8, "0"}, {62, "1"}, {420, "16744448"}}),  // true colour FF8000 wins
        line(50, {{8, "OFF"}, {62, "2"}}),                   // layer off
        line(40, {{8, "FROZEN"}}),                           // layer frozen
        line(30, {{8, "0"}, {60, "1"}, {62, "2"}}),          // invisible
        {{0, "INSERT"}, {8, "0"}, {62, "5"}, {2, "B"}, {10, "10"}, {20, "20"}},  // ByBlock: blue
    });
    std::string file = dxf(concat({header("AC1018"), layers, blocks, entities(body), eof()}));
    cad::Drawing drawing(cad::readDxf(file));
    render::Scene scene;
    scene.build(drawing.data());
    QImage img = frame(scene);
    EXPECT_EQ(img.pixelColor(100, 10), QColor(0, 255, 0));
    EXPECT_EQ(img.pixelColor(100, 20), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(100, 30), QColor(255, 255, 255));
    EXPECT_EQ(img.pixelColor(100, 40), QColor(255, 128, 0));
    EXPECT_EQ(img.pixelColor(100, 50), kBackground);
    EXPECT_EQ(img.pixelColor(100, 60), kBackground);
    EXPECT_EQ(img.pixelColor(100, 70), kBackground);
    EXPECT_EQ(img.pixelColor(100, 80), QColor(0, 0, 255));

    // The index finds what meets a box, in drawing order; hidden entities
    // are known but have nothing to find.
    cad::Box2 all;
    all.add(0, 0);
    all.add(200, 100);
    std::vector<std::uint32_t> found = scene.query(all);
    ASSERT_EQ(found.size(), 5u);
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));
    EXPECT_EQ(scene.itemCount(), 8u);

    // With lineweights shown, a 1 mm line is as many pixels wide as a
    // millimetre of screen; without, one pixel like the rest.
    Tags heavy = entities(line(50, {{8, "0"}, {62, "1"}, {370, "100"}}));
    cad::Drawing weighted(cad::readDxf(dxf(concat({header("AC1018"), heavy, eof()}))));
    render::Scene weightedScene;
    weightedScene.build(weighted.data());
    render::FrameOptions shown;
    shown.lineweights = true;
    shown.pixelsPerMm = 4.0;
    QImage thick(200, 100, QImage::Format_RGB32);
    weightedScene.render(thick, unitMap(), shown);
    int rows = inkCount(thick, QRect(100, 40, 1, 20));
    EXPECT_GE(rows, 4);
    EXPECT_LE(rows, 5);
    EXPECT_EQ(inkCount(frame(weightedScene), QRect(100, 40, 1, 20)), 1);

    // A colour the program sets replaces the file's true colour.
    cad::EntityRef orange(&drawing, drawing.data().modelSpace[3]);
    orange.setColor(4);
    scene.update(drawing.data(), {orange.id()});
    EXPECT_EQ(frame(scene).pixelColor(100, 40), QColor(0, 255, 255));
}

TEST_F(SceneTest, SmallThingsBecomeDotsBoxesOrNothing) {
    Tags body = concat({
        {{0, "CIRCLE"}, {8, "0"}, {62, "1"}, {10, "20.5"}, {20, "80.5"}, {40, "0.2"}},
        text(40, 80, 3, "Отм. 151.23"),    // a few pixels: its box
        text(40, 60, 0.5, "Отм. 151.23"),  // less than a pixel high: nothing
        text(40, 20, 30, "ПК"),            // readable: glyphs
    });
    cad::Drawing drawing(cad::readDxf(r12(body)));
    render::Scene scene;
    scene.build(drawing.data());
    QImage img = frame(scene);

    // The tiny circle is one red dot where its centre is.
    EXPECT_EQ(img.pixelColor(20, 19), QColor(255, 0, 0));
    EXPECT_EQ(inkCount(img, QRect(15, 15, 10, 10)), 1);

    // The small text is an outline: its baseline is a run of ink the text's
    // length, the row inside it is empty between the ends.
    int run = inkCount(img, QRect(40, 20, 160, 1));
    EXPECT_GT(run, 20);
    EXPECT_LT(inkCount(img, QRect(42, 18, run - 4, 1)), 3);

    EXPECT_EQ(inkCount(img, QRect(30, 35, 170, 10)), 0);

    // The large text has ink that is neither empty nor a filled box.
    int ink = inkCount(img, QRect(40, 50, 60, 31));
    EXPECT_GT(ink, 100);
    EXPECT_LT(ink, 60 * 31 / 2);
}

// A text slanted by its oblique angle leans its capitals a cap height ahead
// at 45 degrees: the scene must find it where it leans, or a frame whose edge
// cuts the lean would leave those pixels out.
TEST_F(SceneTest, SlantedTextIsFoundWhereItLeans) {
    auto extentOf = [](Tags t) {
        cad::Drawing drawing(cad::readDxf(r12(t)));
        render::Scene scene;
        scene.build(drawing.data());
        return scene.extents();
    };
    Tags upright = text(100, 20, 30, "HH");
    Tags slanted = upright;
    slanted.push_back({51, "45"});
    const cad::Box2 a = extentOf(upright), b = extentOf(slanted);
    EXPECT_GT(b.maxX - a.maxX, 0.6 * 30);  // capitals are about 0.7 of the text height
    EXPECT_EQ(b.maxY, a.maxY);
}

// The scene keeps a polyline's bulges as arcs: each arc must bend the way its
// bulge says, in the polyline itself and in a mirrored insert of it, and the
// straight runs beside the arcs stay where they are.
TEST_F(SceneTest, BulgesBendTheirWayPlainAndMirrored) {
    // (20,50) -> (80,50) with bulge 1: the half circle below the chord
    // (centre (50,50), r 30); then straight up to (80,90).
    Tags poly{{0, "LWPOLYLINE"}, {8, "0"},   {90, "3"},  {70, "0"},  {10, "20"}, {20, "50"},
              {42, "1"},         {10, "80"}, {20, "50"}, {10, "80"}, {20, "90"}};
    Tags blocks = concat({{{0, "SECTION"},
                           {2, "BLOCKS"},
                           {0, "BLOCK"},
                           {2, "B"},
                           {8, "0"},
                           {70, "0"},
                           {10, "0"},
                           {20, "0"}},
                          poly,
                          {{0, "ENDBLK"}, {8, "0"}, {0, "ENDSEC"}}});
    // Mirrored in x about x = 100: the arc's lowest point at (150, 20).
    Tags body = concat(
        {poly, {{0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "200"}, {20, "0"}, {41, "-1"}, {42, "1"}}});
    std::string file = dxf(concat({header("AC1018"), blocks, entities(body), eof()}));
    cad::Drawing drawing(cad::readDxf(file));
    render::Scene scene;
    scene.build(drawing.data());
    ASSERT_EQ(scene.itemCount(), 2u);
    for (std::uint32_t item : {0u, 1u}) {
        const double cx = item == 0 ? 50 : 150, endX = item == 0 ? 80 : 120;
        SCOPED_TRACE(item);
        EXPECT_LT(scene.distance(item, {cx, 20, 0}), 0.05);
        EXPECT_LT(scene.distance(item, {cx + 30 * std::cos(-0.6), 50 + 30 * std::sin(-0.6), 0}),
                  0.05);
        EXPECT_NEAR(scene.distance(item, {cx, 80, 0}), 30, 0.05);  // nothing above the chord
        EXPECT_LT(scene.distance(item, {endX, 70, 0}), 1e-9);
        EXPECT_NEAR(scene.boundsOf(item).minY, 20, 1e-6);
        EXPECT_NEAR(scene.boundsOf(item).maxY, 90, 1e-6);
    }
    QImage img = frame(scene);
    EXPECT_GT(inkCount(img, QRect(48, 78, 5, 3)), 0);    // the arc's lowest point, y = 20
    EXPECT_EQ(inkCount(img, QRect(35, 25, 30, 10)), 0);  // the empty circle above it
    EXPECT_GT(inkCount(img, QRect(148, 78, 5, 3)), 0);
}

TEST_F(SceneTest, EntitiesAddedOrErasedAfterBuildingAreFoundOrGone) {
    std::unique_ptr<cad::Drawing> drawing = cad::Drawing::create();
    cad::EntityRef a = drawing->addLine({10, 10, 0}, {50, 10, 0});
    render::Scene scene;
    scene.build(drawing->data());
    cad::EntityRef b = drawing->addLine({60, 10, 0}, {90, 40, 0});
    scene.update(drawing->data(), {});  // new model-space entities come without being named
    cad::Box2 box;
    box.add(55, 5);
    box.add(95, 45);
    ASSERT_EQ(scene.query(box).size(), 1u);
    std::uint32_t item = scene.query(box).front();
    EXPECT_EQ(scene.entityOf(item), b.id());
    EXPECT_TRUE(scene.inside(item, box));
    EXPECT_NEAR(scene.distance(item, {75, 25, 0}), 0.0, 1e-9);

    // Touching without lying inside; a box beside the line touches nothing.
    cad::Box2 corner;
    corner.add(80, 5);
    corner.add(100, 35);
    EXPECT_FALSE(scene.inside(item, corner));
    EXPECT_TRUE(scene.touches(item, corner));
    cad::Box2 beside;
    beside.add(80, 10);
    beside.add(100, 20);
    EXPECT_FALSE(scene.touches(item, beside));

    b.erase();
    a.setVisible(false);
    scene.update(drawing->data(), {b.id(), a.id()});
    cad::Box2 all;
    all.add(0, 0);
    all.add(100, 100);
    EXPECT_TRUE(scene.query(all).empty());
    EXPECT_TRUE(scene.extents().empty());
}

// What the index finds is every item whose bounds meet the box, no more and
// no less, in a drawing large enough for several levels of it: as built, and
// after entities were erased, hidden, shown again and added.
TEST_F(SceneTest, TheIndexFindsWhatMeetsTheBoxBeforeAndAfterEdits) {
    std::unique_ptr<cad::Drawing> drawing = cad::Drawing::create();
    std::mt19937 gen(24);
    std::uniform_real_distribution<double> at(0.0, 10000.0), len(-30.0, 30.0);
    auto add = [&] {
        double x = at(gen), y = at(gen);
        return drawing->addLine({x, y, 0}, {x + len(gen), y + len(gen), 0});
    };
    std::vector<cad::EntityRef> lines;
    for (int i = 0; i < 5000; ++i) lines.push_back(add());
    lines.push_back(drawing->addLine({0, 5000, 0}, {10000, 5001, 0}));  // across them all
    render::Scene scene;
    scene.build(drawing->data());

    auto expectFound = [&](const std::string& when) {
        std::uniform_real_distribution<double> side(1.0, 2000.0);
        for (int q = 0; q < 40; ++q) {
            cad::Box2 box;
            double x = at(gen), y = at(gen);
            box.add(x, y);
            box.add(x + side(gen), y + side(gen));
            std::vector<std::uint32_t> want;
            for (std::uint32_t i = 0; i < scene.itemCount(); ++i) {
                cad::Box2 b = scene.boundsOf(i);
                if (!b.empty() && b.intersects(box)) want.push_back(i);
            }
            ASSERT_EQ(scene.query(box), want) << when << ", box " << q;
        }
    };
    expectFound("built");

    std::vector<cad::EntityId> changed;
    for (std::size_t i = 0; i < 600; ++i) {
        cad::EntityRef& e = lines[i * 7 % lines.size()];
        if (i % 3 == 0) {
            e.erase();
        } else {
            e.setVisible(false);
        }
        changed.push_back(e.id());
    }
    for (int i = 0; i < 300; ++i) add();
    scene.update(drawing->data(), changed);
    expectFound("erased, hidden, added");

    // Shown again: out of the part of the index built at first, into the other.
    changed.clear();
    for (std::size_t i = 0; i < 600; ++i) {
        if (i % 3 == 0) continue;
        cad::EntityRef& e = lines[i * 7 % lines.size()];
        e.setVisible(true);
        changed.push_back(e.id());
    }
    scene.update(drawing->data(), changed);
    expectFound("shown again");
}

Tags polyline(const std::vector<std::pair<double, double>>& pts) {
    Tags t{{0, "POLYLINE"}, {8, "0"}, {62, "1"}, {66, "1"}, {70, "0"}};
    for (auto [x, y] : pts) {
        t.insert(t.end(),
                 {{0, "VERTEX"}, {8, "0"}, {10, std::to_string(x)}, {20, std::to_string(y)}});
    }
    t.insert(t.end(), {{0, "SEQEND"}, {8, "0"}});
    return t;
}

TEST_F(SceneTest, LighterFormsKeepEveryToothLargerThanAPixel) {
    // A comb of 64 teeth 8 units high, 512 units long: a quarter of a pixel a
    // unit draws it 128 pixels long with teeth 2 pixels high, small enough
    // for a lighter form of the polyline to stand in for it.
    std::vector<std::pair<double, double>> comb;
    for (int i = 0; i < 64; ++i) {
        comb.emplace_back(8.0 * i, 0.0);
        comb.emplace_back(8.0 * i + 4, 8.0);
    }
    cad::Drawing drawing(cad::readDxf(r12(polyline(comb))));
    render::Scene scene;
    scene.build(drawing.data());
    render::ScreenMap map;
    map.scale = 0.25;
    map.originX = -40;  // x = 0 at column 10
    map.originY = 360;  // the comb's foot on row 90, its tips on row 88
    QImage img = frame(scene, map, {160, 100});
    int tips = 0;
    for (int i = 0; i < 64; ++i) tips += inkCount(img, QRect(2 * i + 10, 86, 2, 3)) > 0;
    EXPECT_EQ(tips, 64);
    EXPECT_GT(inkCount(img, QRect(10, 90, 126, 1)), 60);  // and the foot between them
}

// Long strips drawn small are drawn from lighter forms, each strip from its own.
TEST_F(SceneTest, EachStripDrawnSmallIsDrawnFromItsOwnLighterForm) {
    // 400 points a strip, wavering a hundredth of a unit: thinned to its ends,
    // which stray under a tenth of a pixel at a quarter of a pixel a unit.
    auto strip = [](double y0) {
        std::vector<std::pair<double, double>> pts;
        for (int i = 0; i < 400; ++i) pts.emplace_back(i, y0 + 0.01 * (i % 2));
        return polyline(pts);
    };
    cad::Drawing drawing(cad::readDxf(r12(concat({strip(0), strip(-160)}))));
    render::Scene scene;
    scene.build(drawing.data());
    render::ScreenMap map;
    map.scale = 0.25;
    map.originX = -40;  // x = 0 at column 10
    map.originY = 360;  // the strips on rows 90 and 130
    QImage img = frame(scene, map, {160, 140});
    EXPECT_GE(inkCount(img, QRect(10, 89, 100, 3)), 99);
    EXPECT_GE(inkCount(img, QRect(10, 129, 100, 3)), 99);
}

TEST_F(SceneTest, ZoomedFramesShowWhatCrossesTheirEdgeAsWholeFramesDo) {
    Tags near = concat({
        line(50, {{8, "0"}, {62, "1"}}, -50, 5),  // in from the left
        {{0, "CIRCLE"}, {8, "0"}, {62, "3"}, {10, "-20"}, {20, "20"}, {40, "25"}},  // arc peeks in
        text(-30, 70, 20, "ПКПКПК"),                                                // runs in
        line(130, {{8, "0"}, {62, "2"}}, -50, 250),                                 // above: unseen
        line(80, {{8, "0"}, {62, "4"}}, 195, 400),  // out at the right
    });
    // A far entity makes the frame a small part of the drawing, so that its
    // entities come from the index instead of one pass over them all.
    Tags far = line(100000, {{8, "0"}, {62, "5"}}, 100000, 100010);
    cad::Drawing whole(cad::readDxf(r12(near)));
    cad::Drawing zoomed(cad::readDxf(r12(concat({near, far}))));
    render::Scene wholeScene, zoomedScene;
    wholeScene.build(whole.data());
    zoomedScene.build(zoomed.data());

    QImage a = frame(wholeScene), b = frame(zoomedScene);
    EXPECT_EQ(a, b);
    EXPECT_EQ(inkCount(b, QRect(0, 50, 6, 1)), 6);     // the line's last pixels
    EXPECT_GT(inkCount(b, QRect(0, 75, 6, 25)), 0);    // the arc
    EXPECT_GT(inkCount(b, QRect(0, 10, 30, 25)), 20);  // the text's letters inside
    EXPECT_EQ(inkCount(b, QRect(0, 0, 200, 1)), 0);    // nothing from above
    EXPECT_GT(inkCount(b, QRect(195, 20, 5, 1)), 4);   // the line leaving to the right

    cad::Box2 view = unitMap().worldRect(200, 100);
    EXPECT_EQ(zoomedScene.query(view).size(), 4u);
}

TEST_F(SceneTest, WhatIsDrawnLaterLiesOnTop) {
    Tags blocks{{0, "SECTION"}, {2, "BLOCKS"}, {0, "BLOCK"}, {2, "B"},
                {8, "0"},       {70, "0"},     {10, "0"},    {20, "0"}};
    blocks =
        concat({blocks,
                line(0, {{8, "0"}, {62, "5"}}, 0, 20),  // blue, then yellow over it
                {{0, "LINE"}, {8, "0"}, {62, "2"}, {10, "10"}, {20, "-10"}, {11, "10"}, {21, "10"}},
                {{0, "ENDBLK"}, {8, "0"}, {0, "ENDSEC"}}});
    // The letters come first: all after them is drawn topmost first.
    Tags body = concat({
        text(140, 60, 30, "ПК"),  // letters, then a cyan line across them
        line(75, {{8, "0"}, {62, "4"}}, 130, 199),
        line(90, {{8, "0"}, {62, "1"}}),  // red, crossed by the green one after it
        {{0, "LINE"}, {8, "0"}, {62, "3"}, {10, "50"}, {20, "80"}, {11, "50"}, {21, "99"}},
        {{0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "100"}, {20, "80"}},
    });
    std::string file = dxf(concat({header("AC1018"), blocks, entities(body), eof()}));
    cad::Drawing drawing(cad::readDxf(file));
    render::Scene scene;
    scene.build(drawing.data());
    // Both the whole frame and a frame that is a small part of the drawing
    // (a far entity added) keep the order.
    for (bool far : {false, true}) {
        if (far) {
            drawing.addLine({1e6, 1e6, 0}, {1e6 + 1, 1e6, 0});
            scene.update(drawing.data(), {});
        }
        QImage img = frame(scene);
        EXPECT_EQ(img.pixelColor(50, 10), QColor(0, 255, 0)) << far;
        EXPECT_EQ(img.pixelColor(110, 20), QColor(255, 255, 0)) << far;
        EXPECT_EQ(img.pixelColor(105, 20), QColor(0, 0, 255)) << far;
        int cyan = 0;
        for (int x = 130; x < 200; ++x) cyan += img.pixelColor(x, 25) == QColor(0, 255, 255);
        EXPECT_EQ(cyan, 70) << far;
    }
}

// The frames of a drawing at its extents (stretches of the drawing order
// drawn at once and laid over each other) and zoomed in (bands of rows drawn
// at once), with and without lineweights, by several threads (glyph masks
// already made, and made afresh by a new scene) are byte for byte the frames
// one thread draws.
void expectThreadsDrawTheSame(const cad::Drawing& drawing, const std::string& what) {
    render::Scene scene, fresh;
    scene.build(drawing.data());
    ASSERT_FALSE(scene.extents().empty()) << what;
    const QSize size(640, 400);
    const cad::Box2 all = scene.extents();
    std::vector<render::ScreenMap> maps{render::ScreenMap::fit(all, size.width(), size.height())};
    for (double zoom : {6.0, 30.0}) {
        // About an entity from the middle of the drawing, so that there is something.
        const cad::Box2 at = scene.boundsOf(static_cast<std::uint32_t>(scene.itemCount() / 2));
        double cx = (at.minX + at.maxX) / 2, cy = (at.minY + at.maxY) / 2;
        double hw = (all.maxX - all.minX) / zoom / 2, hh = (all.maxY - all.minY) / zoom / 2;
        cad::Box2 part;
        part.add(cx - hw, cy - hh);
        part.add(cx + hw, cy + hh);
        maps.push_back(render::ScreenMap::fit(part, size.width(), size.height()));
    }
    int inked = 0;
    for (std::size_t m = 0; m < maps.size(); ++m) {
        for (bool lineweights : {false, true}) {
            render::FrameOptions options;
            options.lineweights = lineweights;
            options.pixelsPerMm = 4.0;
            options.threads = 1;
            QImage one(size, QImage::Format_RGB32);
            scene.render(one, maps[m], options);
            QImage blank(size, QImage::Format_RGB32);
            blank.fill(options.background);
            inked += one != blank;
            for (int threads : {2, 3, 6}) {
                options.threads = threads;
                QImage many(size, QImage::Format_RGB32);
                if (threads == 3) {
                    // No glyph mask made yet.
                    fresh.build(drawing.data());
                    fresh.render(many, maps[m], options);
                } else {
                    scene.render(many, maps[m], options);
                }
                EXPECT_TRUE(many == one) << what << ": frame " << m << ", " << threads
                                         << " threads, lineweights " << lineweights;
            }
        }
    }
    EXPECT_EQ(inked, 6) << what;
}

TEST_F(SceneTest, SeveralThreadsDrawTheFrameOneThreadDrawsOfRealDrawings) {
    namespace fs = std::filesystem;
    const fs::path shared = fs::path(KV_SOURCE_DIR) / ".." / "shared";
    if (!fs::is_directory(shared / "dxf-corpus")) {
        GTEST_SKIP() << "нет общего корпуса " << (shared / "dxf-corpus").string();
    }
    // Hatches, Cyrillic survey texts, a Russian drawing in cp1251, dimensions.
    for (const char* name : {"acad2018_hatches.dxf", "acad2010_ru_topo_survey.dxf",
                             "kompas_r2000_cp1251.dxf", "librecad_r2007_dims.dxf"}) {
        auto drawing = cad::Drawing::open(shared / "dxf-corpus" / name);
        expectThreadsDrawTheSame(*drawing, name);
    }
    // A generated plan: lines, polylines with arcs, turned texts, circles, blocks.
    testutil::ScratchDir dir("scene_threads");
    const fs::path plan = dir / "plan.dxf";
    std::string cmd = "/usr/bin/python3 " +
                      testutil::quote((shared / "bench" / "gen_plan.py").string()) + " 3000 " +
                      testutil::quote(plan.string()) + " >/dev/null";
    ASSERT_EQ(testutil::exitCode(std::system(cmd.c_str())), 0) << cmd;
    auto drawing = cad::Drawing::open(plan);
    expectThreadsDrawTheSame(*drawing, "plan of 3000 entities");
}

}  // namespace
