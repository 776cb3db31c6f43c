// The utilities a route crosses, in the profile: at every point whose
// crossed utility has a top elevation, its section at true size in the
// sheet's two scales (an ellipse for a pipe or cable, a rectangle for a
// channel), never smaller than 2 mm on paper, on a layer of its kind, and its
// label reading upwards on a leader above the ground and pipe lines.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "cad/text_util.hpp"
#include "model/crossed.hpp"
#include "model/primitives.hpp"
#include "model/units.hpp"
#include "profile/labels.hpp"
#include "profile/steps.hpp"

namespace profile::detail {

namespace {

constexpr double kMinSection = 1000.0;  // 2 mm on paper at 1:500
constexpr double kClearance = 500.0;    // between a label and the lines under it
constexpr double kLabelGap = 250.0;     // between neighbouring labels
constexpr double kCeiling = sheet::kFrameTop - 500.0;
constexpr double kCharLength = 0.56;  // a character's length in text heights, width factor 0.7
constexpr int kPolygonSides = 48;     // an ellipse of an R12 drawing, which has none

struct Section {
    int point = 0;
    std::string layer;
    std::string label;
    bool box = false;    // a channel or duct bank: a rectangle
    double x = 0.0;      // its middle along the route
    double width = 0.0;  // sheet units
    double height = 0.0;
    double top = 0.0;  // sheet y of its top
};

std::string layerOf(model::CrossKind kind) {
    return "Пересечения " + std::string(model::info(kind).name) + " - Kernavisto";
}

model::CrossKind kindAt(const Run& run, int i, const model::Crossed& c) {
    if (c.kind) return *c.kind;
    const cad::EntityRef& object = run.object(i);
    if (object.exists()) {
        if (auto k = model::kindOfLayer(run.ws.crossKinds, run.ws.controls, object.layer())) {
            return *k;
        }
    }
    return model::CrossKind::Other;
}

// "Водопр. Ø100, верх 149,40"; a channel gives its height: "Канал h=800, ...";
// a utility without its size says so and is drawn at the smallest size.
std::string labelOf(const Run& run, model::CrossKind kind, const model::Crossed& c) {
    std::string s(model::info(kind).label);
    const bool channel = kind == model::CrossKind::Channel;
    if (c.diameter) {
        s += (channel ? " h=" : " Ø") + run.number(c.diameter->value);
    } else {
        s += channel ? " h не задана" : " Ø не задан";
    }
    return s + ", верх " + model::fixedNumber(c.top->value, 2, run.ws.decimalSeparator);
}

// The highest y the strokes reach over [a, b]. The strokes run along the
// route in its order, each from left to right, so only those from the first
// that ends at a or later on are looked at.
std::optional<double> reach(const std::vector<Run::Stroke>& strokes, double a, double b) {
    std::optional<double> out;
    auto k = std::partition_point(strokes.begin(), strokes.end(),
                                  [a](const Run::Stroke& s) { return s.x1 < a; });
    for (; k != strokes.end() && k->x0 <= b; ++k) {
        const Run::Stroke& s = *k;
        auto yAt = [&s](double x) {
            if (s.x1 == s.x0) return std::max(s.y0, s.y1);
            return s.y0 + (s.y1 - s.y0) * (x - s.x0) / (s.x1 - s.x0);
        };
        const double y = std::max(yAt(std::clamp(a, s.x0, s.x1)), yAt(std::clamp(b, s.x0, s.x1)));
        out = out ? std::max(*out, y) : y;
    }
    return out;
}

void drawSection(Run& run, const Section& s) {
    model::Workspace& ws = run.ws;
    const double cy = s.top - s.height / 2;
    auto onLayer = [&](cad::EntityRef e) { e.setLayer(s.layer); };
    if (s.box) {
        const double l = s.x - s.width / 2, r = s.x + s.width / 2, b = s.top - s.height;
        onLayer(run.line(l, b, r, b));
        onLayer(run.line(r, b, r, s.top));
        onLayer(run.line(r, s.top, l, s.top));
        onLayer(run.line(l, s.top, l, b));
        return;
    }
    cad::Drawing& doc = *ws.sheetDoc;
    if (doc.data().version < "AC1012") {
        for (int k = 0; k < kPolygonSides; ++k) {
            const double a0 = 2 * std::numbers::pi * k / kPolygonSides;
            const double a1 = 2 * std::numbers::pi * (k + 1) / kPolygonSides;
            onLayer(run.line(s.x + s.width / 2 * std::cos(a0), cy + s.height / 2 * std::sin(a0),
                             s.x + s.width / 2 * std::cos(a1), cy + s.height / 2 * std::sin(a1)));
        }
        return;
    }
    const double k = model::sheetScale(ws);
    cad::EllipseGeom g;
    g.center = model::sheetPoint(ws, s.x, cy + run.offsetY);
    if (s.height >= s.width) {
        g.majorAxis = {0.0, s.height / 2 * k, 0.0};
        g.ratio = s.width / s.height;
    } else {
        g.majorAxis = {s.width / 2 * k, 0.0, 0.0};
        g.ratio = s.height / s.width;
    }
    g.startParam = 0.0;
    g.endParam = 2 * std::numbers::pi;
    cad::Entity e;
    e.dxfType = "ELLIPSE";
    e.layer = s.layer;
    e.geom = g;
    cad::EntityRef ref = doc.addEntity(std::move(e));
    ref.setVisible(true);
    run.drawn.push_back({s.x - s.width / 2, s.x + s.width / 2, s.top - s.height, s.top});
    ws.profileObjects.push_back(ref);
}

}  // namespace

void drawCrossedUtilities(Run& run) {
    std::vector<Section> sections;
    for (int i = 0; i < run.count(); ++i) {
        const model::Crossed& c = run.piket.crossed[static_cast<std::size_t>(i)];
        if (!c.top) continue;
        const model::CrossKind kind = kindAt(run, i, c);
        Section s;
        s.point = i;
        s.layer = layerOf(kind);
        s.label = labelOf(run, kind, c);
        s.box = kind == model::CrossKind::Channel;
        s.x = run.x(i);
        const double metres = c.diameter ? c.diameter->value / 1000.0 : 0.0;
        s.width = std::max(kMinSection, metres * sheet::kUnitsPerMetreAlong * run.along);
        s.height = std::max(kMinSection, metres * run.up);
        s.top = kDatumY + (c.top->value - datumAtPoint(run, i)) * run.up;
        sections.push_back(std::move(s));
    }
    if (sections.empty()) return;
    for (const Section& s : sections) run.ws.sheetDoc->addLayer(s.layer);
    for (const Section& s : sections) drawSection(run, s);

    // The labels, each in a band as wide as its height, stand side by side
    // along the route: only those that would meet move apart.
    std::vector<LaneBox> boxes;
    for (const Section& s : sections) {
        boxes.push_back(
            {s.x - kTextHeight / 2, kTextHeight, kDataAreaX, sheet::kFrameRight - 2 * kTextHeight});
    }
    const std::vector<double> starts = placeLane(boxes, kLabelGap);
    for (std::size_t k = 0; k < sections.size(); ++k) {
        const Section& s = sections[k];
        const double a = starts[k] - kClearance, b = starts[k] + kTextHeight + kClearance;
        // Over the ground and pipe lines and every section under its band.
        double foot = std::max(s.top, reach(run.strokes, a, b).value_or(s.top));
        for (const Section& o : sections) {
            if (o.x + o.width / 2 >= a && o.x - o.width / 2 <= b) foot = std::max(foot, o.top);
        }
        foot += kClearance;
        const double characters = static_cast<double>(cad::codePoints(s.label));
        // Smaller, down to the table's floor, where the frame is near.
        double height = kTextHeight;
        while (height > kMinTableTextHeight &&
               foot + characters * kCharLength * height > kCeiling) {
            height = std::max(kMinTableTextHeight, height * 0.8);
        }
        const double middle = starts[k] + kTextHeight / 2;
        run.line(s.x, s.top, middle, foot - kClearance / 2).setLayer(s.layer);
        // The glyphs of an upright text lie left of its insertion point.
        run.text(s.label, middle + height / 2, foot, kUpright, height).setLayer(s.layer);
    }
}

}  // namespace profile::detail
