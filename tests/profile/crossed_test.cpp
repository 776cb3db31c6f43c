// The utilities a route crosses, drawn in the profile: read back from the
// saved drawing, their sections at true size in the sheet's scales (2 mm on
// paper at the least), their labels apart from each other and from the
// ground and pipe lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "cad/drawing.hpp"
#include "cad/text_util.hpp"
#include "fixture.hpp"
#include "model/crossed.hpp"
#include "sheet/layout.hpp"
#include "shell_util.hpp"

namespace profile_test {
namespace {

namespace fs = std::filesystem;

const std::string kWaterKind = "Пересечения Водопровод - Kernavisto";
const std::string kGasKind = "Пересечения Газопровод - Kernavisto";
const std::string kChannelKind = "Пересечения Канал - Kernavisto";

model::Crossed crossed(double top, std::optional<double> diameter = std::nullopt,
                       std::optional<model::CrossKind> kind = std::nullopt) {
    model::Crossed c;
    c.top = model::CrossedValue{top};
    if (diameter) c.diameter = model::CrossedValue{*diameter};
    c.kind = kind;
    return c;
}

// A text's box as a CAD program measures a TEXT without its font: 0.8 of
// its height a character at width factor 1; an upright one turned about its
// insertion point, its glyphs to the left.
struct Box {
    double left, right, bottom, top;
};

Box boxOf(const cad::TextGeom& t) {
    const double length =
        0.8 * t.height * t.widthFactor * static_cast<double>(cad::codePoints(t.text));
    if (std::fabs(t.rotation - 90.0) < 1e-9) {
        return {t.insertion.x - t.height, t.insertion.x, t.insertion.y, t.insertion.y + length};
    }
    return {t.insertion.x, t.insertion.x + length, t.insertion.y, t.insertion.y + t.height};
}

bool meets(const Box& a, const Box& b) {
    return a.left < b.right && b.left < a.right && a.bottom < b.top && b.bottom < a.top;
}

// Whether the segment passes through the box.
bool crosses(const cad::LineGeom& l, const Box& b) {
    const double lo = std::min(l.start.x, l.end.x), hi = std::max(l.start.x, l.end.x);
    const double a = std::max(lo, b.left), c = std::min(hi, b.right);
    if (a > c) return false;
    auto y = [&l](double x) {
        if (l.end.x == l.start.x) return l.start.y;
        return l.start.y + (l.end.y - l.start.y) * (x - l.start.x) / (l.end.x - l.start.x);
    };
    const double y0 = std::min(y(a), y(c)), y1 = std::max(y(a), y(c));
    if (l.end.x == l.start.x) {
        return std::max(std::min(l.start.y, l.end.y), b.bottom) <
               std::min(std::max(l.start.y, l.end.y), b.top);
    }
    return y1 > b.bottom && y0 < b.top;
}

class Crossings : public ProfileFixture {
  protected:
    Crossings() { use("AC1015"); }

    // The plan and sheet drawing: one that can be saved, of a DXF version.
    void use(const std::string& version) {
        plan = cad::Drawing::create(version);
        plan->addLayer("Kernavisto");
        ws.doc = ws.sheetDoc = plan.get();
        ws.decimalSeparator = ',';
    }

    // A point of the picket with its object, a short line on `layer`.
    void add(double x, double relief, const std::string& layer = kRouteLayer) {
        cad::EntityRef object = plan->addLine({x, 0.0, 0.0}, {x + 1000.0, 0.0, 0.0});
        object.setLayer(layer);
        addPointWith(object, x, 0.0, relief, 1.5);
    }

    // Builds, saves the drawing and reads it back.
    std::unique_ptr<cad::Drawing> builtAndRead() {
        profile::build(ws);
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
        const fs::path file = dir.path / "plan.dxf";
        plan->saveAs(file);
        return cad::Drawing::open(file);
    }

    std::vector<cad::EntityRef> onLayer(cad::Drawing& d, const std::string& layer) {
        std::vector<cad::EntityRef> out;
        for (const cad::EntityRef& e : d.modelSpace()) {
            if (e.layer() == layer) out.push_back(e);
        }
        return out;
    }

    const testutil::ScratchDir dir{"kv_crossed"};
    std::unique_ptr<cad::Drawing> plan;
};

TEST_F(Crossings, TwoPipesStandAtTheirTopsAtTrueSizeWithLabelsApart) {
    add(0, 150.0);
    add(10000, 150.2, kWaterLayer);  // water by its layer
    add(10500, 150.3, kWaterLayer);  // half a metre on, a gas main
    add(30000, 151.0, kWaterLayer);  // a diameter alone draws nothing
    add(40000, 150.5);
    model::setCrossed(piket(), 1, crossed(148.9, 200.0));
    model::setCrossed(piket(), 2, crossed(149.4, 1000.0, model::CrossKind::Gas));
    model::Crossed sizeOnly;
    sizeOnly.diameter = model::CrossedValue{300.0};
    model::setCrossed(piket(), 3, sizeOnly);
    piket().key = "a picket";  // what its drawn profile is marked with
    profile::build(ws);        // a rebuild leaves one of each
    auto back = builtAndRead();
    EXPECT_EQ(back->modelSpace().size(), plan->modelSpace().size());

    // Datum 145: heights 5000 units a metre above y 82500; a metre along is
    // 1000 units from x 55000.
    struct Want {
        std::string layer;
        double x, top, width, height;
        std::string label;
    };
    const Want wants[] = {
        // Ø200: 200 units wide at 1:500 and 1000 high at 1:100, both raised to 2 mm.
        {kWaterKind, 65000, 82500 + 3.9 * 5000, 1000, 1000, "Водопр. Ø200, верх 148,90"},
        // Ø1000: 1000 wide, 5000 high.
        {kGasKind, 65500, 82500 + 4.4 * 5000, 1000, 5000, "Газопр. Ø1000, верх 149,40"},
    };
    std::vector<Box> labels;
    for (const Want& w : wants) {
        SCOPED_TRACE(w.label);
        std::vector<cad::EntityRef> drawn = onLayer(*back, w.layer);
        std::vector<const cad::EllipseGeom*> ellipses;
        std::vector<const cad::TextGeom*> texts;
        for (const cad::EntityRef& e : drawn) {
            if (const auto* g = cad::geomIf<cad::EllipseGeom>(e.entity().geom))
                ellipses.push_back(g);
            if (const auto* t = cad::geomIf<cad::TextGeom>(e.entity().geom)) texts.push_back(t);
        }
        ASSERT_EQ(ellipses.size(), 1u);
        const cad::EllipseGeom& g = *ellipses[0];
        const double major = std::hypot(g.majorAxis.x, g.majorAxis.y);
        const bool upright = std::fabs(g.majorAxis.x) < 1e-9;
        const double width = 2 * (upright ? major * g.ratio : major);
        const double height = 2 * (upright ? major : major * g.ratio);
        EXPECT_NEAR(g.center.x, w.x, 1e-6);
        EXPECT_NEAR(g.center.y + height / 2, w.top, 1e-6);
        EXPECT_NEAR(width, w.width, 1e-6);
        EXPECT_NEAR(height, w.height, 1e-6);
        EXPECT_NEAR(g.endParam - g.startParam, 2 * std::numbers::pi, 1e-12);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0]->text, w.label);
        labels.push_back(boxOf(*texts[0]));
        EXPECT_GE(labels.back().bottom, w.top);
        EXPECT_LE(labels.back().top, sheet::kFrameTop);
    }
    EXPECT_FALSE(meets(labels[0], labels[1]));
    // Clear of the ground line and the pipe line.
    std::size_t profileLines = 0;
    for (const cad::EntityRef& e : back->modelSpace()) {
        const auto* l = cad::geomIf<cad::LineGeom>(e.entity().geom);
        if (!l || l->start.y <= sheet::kDatumY || l->end.y <= sheet::kDatumY) continue;
        if (e.layer() != "Kernavisto" && e.layer() != "Трасса") continue;
        if (l->start.x == l->end.x) continue;
        ++profileLines;
        for (const Box& b : labels) EXPECT_FALSE(crosses(*l, b)) << e.layer();
    }
    EXPECT_EQ(profileLines, 8u);  // ground and pipe between five points
    EXPECT_TRUE(onLayer(*back, "Пересечения Прочее - Kernavisto").empty());

    // An independent reader opens it.
    const fs::path script = dir.path / "ellipses.py";
    std::ofstream(script) << "import sys, ezdxf\n"
                             "doc = ezdxf.readfile(sys.argv[1])\n"
                             "print(len(doc.modelspace().query('ELLIPSE')))\n";
    auto [code, out] = testutil::shell("/usr/bin/python3 " + script.string() + " " +
                                       (dir.path / "plan.dxf").string());
    ASSERT_EQ(code, 0) << out;
    EXPECT_EQ(std::atoi(out.c_str()), 2);
}

TEST_F(Crossings, AChannelIsARectangleAndAnUnknownSizeTheSmallest) {
    add(0, 150.0);
    add(10000, 150.0, kWaterLayer);
    add(20000, 150.0, kWaterLayer);
    add(30000, 150.0);
    model::setCrossed(piket(), 1, crossed(148.0, 800.0, model::CrossKind::Channel));
    model::setCrossed(piket(), 2, crossed(148.5));
    auto back = builtAndRead();

    double left = 1e9, right = -1e9, bottom = 1e9, top = -1e9;
    std::vector<std::string> labels;
    for (const cad::EntityRef& e : onLayer(*back, kChannelKind)) {
        if (const auto* l = cad::geomIf<cad::LineGeom>(e.entity().geom)) {
            // The leader goes up from the top's middle.
            if (l->start.x == 65000 && l->end.y > l->start.y + 1000) continue;
            for (const cad::Point3& p : {l->start, l->end}) {
                left = std::min(left, p.x);
                right = std::max(right, p.x);
                bottom = std::min(bottom, p.y);
                top = std::max(top, p.y);
            }
        }
        if (const auto* t = cad::geomIf<cad::TextGeom>(e.entity().geom)) labels.push_back(t->text);
    }
    // 0.8 m: 800 units wide raised to 1000, 4000 high, its top at 148,0.
    EXPECT_NEAR(right - left, 1000, 1e-6);
    EXPECT_NEAR(top - bottom, 4000, 1e-6);
    EXPECT_NEAR(top, 82500 + 3.0 * 5000, 1e-6);
    EXPECT_EQ(labels, std::vector<std::string>{"Канал h=800, верх 148,00"});

    std::vector<const cad::EllipseGeom*> ellipses;
    labels.clear();
    for (const cad::EntityRef& e : onLayer(*back, kWaterKind)) {
        if (const auto* g = cad::geomIf<cad::EllipseGeom>(e.entity().geom)) ellipses.push_back(g);
        if (const auto* t = cad::geomIf<cad::TextGeom>(e.entity().geom)) labels.push_back(t->text);
    }
    ASSERT_EQ(ellipses.size(), 1u);
    EXPECT_NEAR(std::hypot(ellipses[0]->majorAxis.x, ellipses[0]->majorAxis.y), 500, 1e-6);
    EXPECT_NEAR(ellipses[0]->ratio, 1.0, 1e-12);
    EXPECT_EQ(labels, std::vector<std::string>{"Водопр. Ø не задан, верх 148,50"});
}

TEST_F(Crossings, AnR12DrawingGetsTheSectionAsLinesAndSaves) {
    use("AC1009");
    add(0, 150.0);
    add(10000, 150.0, kWaterLayer);
    add(30000, 150.0);
    model::setCrossed(piket(), 1, crossed(148.0, 500.0));
    auto back = builtAndRead();
    std::size_t lines = 0;
    for (const cad::EntityRef& e : onLayer(*back, kWaterKind)) {
        EXPECT_NE(e.dxfType(), "ELLIPSE");
        lines += e.dxfType() == "LINE";
    }
    EXPECT_GT(lines, 8u);
}

TEST_F(Crossings, OnALongPicketTheSectionStandsOnItsOwnSheet) {
    ws.sheetOptions.split = true;
    add(0, 150.0);
    add(700000, 150.0, kWaterLayer);  // 700 m: past the first sheet
    add(800000, 150.0);
    model::setCrossed(piket(), 1, crossed(148.0, 500.0));
    auto back = builtAndRead();
    ASSERT_GT(ws.sheetCount, 1);
    std::vector<double> pointXs;
    for (const cad::EntityRef& e : onLayer(*back, "Vline-Kernavisto")) {
        const auto& l = cad::geomAs<cad::LineGeom>(e.entity().geom);
        if (l.start.y < 0) pointXs.push_back(l.start.x);
    }
    std::vector<const cad::EllipseGeom*> ellipses;
    for (const cad::EntityRef& e : onLayer(*back, kWaterKind)) {
        if (const auto* g = cad::geomIf<cad::EllipseGeom>(e.entity().geom)) ellipses.push_back(g);
    }
    ASSERT_EQ(ellipses.size(), 1u);
    EXPECT_LT(ellipses[0]->center.y, 0.0);  // the sheets below the first stand lower
    EXPECT_NE(std::find(pointXs.begin(), pointXs.end(), ellipses[0]->center.x), pointXs.end());
}

}  // namespace
}  // namespace profile_test
