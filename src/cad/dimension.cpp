// Angular dimensions the program draws: a 3-point angular DIMENSION and the
// anonymous block (*Dn) that shows it, drawn here as a CAD program draws it
// (extension lines, the dimension arc, filled arrowheads, the measured angle),
// so that any program displays it without regenerating. Sizes come from the
// drawing's dimension style; a text height set later is kept as a DIMTXT
// override and the block is drawn anew.
#include <charconv>
#include <cmath>
#include <numbers>
#include <optional>

#include "cad/drawing.hpp"
#include "cad/number_text.hpp"
#include "cad/text_util.hpp"

namespace cad {

namespace {

constexpr double kPi = std::numbers::pi;

std::optional<double> number(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

// The dimension variables an angular dimension is drawn with. Defaults are
// those of a CAD program's "Standard" style when the drawing names none.
struct DimStyle {
    double txt = 0.18;    // DIMTXT 140: text height
    double asz = 0.18;    // DIMASZ 41: arrow size
    double exo = 0.0625;  // DIMEXO 42: gap between the measured point and its extension line
    double exe = 0.18;    // DIMEXE 44: extension beyond the dimension line
    double gap = 0.09;    // DIMGAP 147: gap around the text
    double scale = 1.0;   // DIMSCALE 40: multiplies every size
    int tad = 0;          // DIMTAD 77: text above the dimension line
    int tih = 1;          // DIMTIH 73: text inside horizontal
    int adec = 0;         // DIMADEC 179: decimals of angles
};

void applyVariable(DimStyle& s, int code, double v) {
    switch (code) {
        case 140:
            s.txt = v;
            break;
        case 41:
            s.asz = v;
            break;
        case 42:
            s.exo = v;
            break;
        case 44:
            s.exe = v;
            break;
        case 147:
            s.gap = v;
            break;
        case 40:
            s.scale = v;
            break;
        case 77:
            s.tad = static_cast<int>(v);
            break;
        case 73:
            s.tih = static_cast<int>(v);
            break;
        case 179:
            s.adec = static_cast<int>(v);
            break;
        default:
            break;
    }
}

// The style from the drawing's DIMSTYLE table; the header's $DIM variables
// stand in for a style the table lacks.
DimStyle readDimStyle(const DrawingData& d, std::string_view name) {
    DimStyle s;
    const TagStore& t = d.tags;
    static constexpr std::pair<const char*, int> kHeader[] = {
        {"$DIMTXT", 140},  {"$DIMASZ", 41}, {"$DIMEXO", 42}, {"$DIMEXE", 44},  {"$DIMGAP", 147},
        {"$DIMSCALE", 40}, {"$DIMTAD", 77}, {"$DIMTIH", 73}, {"$DIMADEC", 179}};
    bool inHeader = true;
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        int code = t.code(i);
        if (code == 0) {
            std::string_view v = trim(t.value(i));
            if (v == "ENDSEC") inHeader = false;
            if (v == "ENTITIES" || v == "BLOCKS") break;
            if (v != "DIMSTYLE") continue;
            std::size_t end = i + 1;
            bool match = false;
            while (end < t.size() && t.code(end) != 0) {
                if (t.code(end) == 2) match = equalsNoCase(trim(t.value(end)), name);
                ++end;
            }
            if (!match) continue;
            DimStyle fromTable = s;
            for (std::size_t k = i + 1; k < end; ++k) {
                if (auto n = number(t.value(k))) applyVariable(fromTable, t.code(k), *n);
            }
            return fromTable;
        }
        if (inHeader && code == 9) {
            std::string_view var = trim(t.value(i));
            for (auto [header, group] : kHeader) {
                if (var != header) continue;
                if (auto n = number(t.value(i + 1))) applyVariable(s, group, *n);
            }
        }
    }
    return s;
}

double angleOf(Point3 from, Point3 to) {
    return std::atan2(to.y - from.y, to.x - from.x);
}

// Counter-clockwise sweep from angle a to angle b, in [0, 2 pi).
double sweepFrom(double a, double b) {
    double s = std::fmod(b - a, 2.0 * kPi);
    if (s < 0.0) s += 2.0 * kPi;
    return s;
}

Point3 polar(Point3 c, double angle, double r) {
    return {c.x + r * std::cos(angle), c.y + r * std::sin(angle), c.z};
}

double degrees(double radians) {
    return radians * 180.0 / kPi;
}

Entity blockPart(Geometry g, const char* type) {
    Entity e;
    e.dxfType = type;
    e.layer = "0";
    e.color = 0;        // ByBlock: the dimension's colour
    e.lineweight = -2;  // ByBlock
    e.geom = std::move(g);
    return e;
}

// The text that shows an angle: whole degrees unless the style asks for
// decimals, with the degree sign.
std::string angleText(double sweep, int decimals) {
    return fixedText(degrees(sweep), std::clamp(decimals, 0, 8)) + "\xC2\xB0";
}

struct AngularDrawing {
    std::vector<Entity> entities;
    Point3 textMidpoint;
};

// Draws a 3-point angular dimension: legs from vertex v through p1 and p2,
// the arc through `location`, measured counter-clockwise from p1 to p2.
AngularDrawing drawAngular(Point3 v, Point3 p1, Point3 p2, Point3 location, const DimStyle& s,
                           double textHeight) {
    const double k = s.scale > 0.0 ? s.scale : 1.0;
    const double h = textHeight > 0.0 ? textHeight : s.txt * k;
    const double asz = s.asz * k, exo = s.exo * k, exe = s.exe * k, gap = s.gap * k;
    const double a1 = angleOf(v, p1);
    const double sweep = sweepFrom(a1, angleOf(v, p2));
    const double r = planeDistance(v, location);
    const double mid = a1 + sweep / 2.0;

    AngularDrawing out;
    // Extension lines: from near the measured point to just past the arc.
    for (auto [p, angle] : {std::pair{p1, a1}, std::pair{p2, a1 + sweep}}) {
        double dist = planeDistance(v, p);
        if (std::abs(dist - r) <= exo) continue;
        double dir = dist > r ? -1.0 : 1.0;
        LineGeom line{polar(v, angle, dist + dir * exo), polar(v, angle, r + dir * exe)};
        out.entities.push_back(blockPart(line, "LINE"));
    }

    // The text: on the arc with the arc broken around it, or above the arc
    // (outside it) turned along it, as the style says.
    std::string text = angleText(sweep, s.adec);
    const double width = estimatedTextWidth(text, h);
    const double halfBreak = (width / 2.0 + gap) / r;
    const bool onArc = s.tad == 0 && 2.0 * halfBreak < sweep - 2.0 * asz / r;
    TextGeom t;
    t.text = text;
    t.height = h;
    t.hAlign = 1;  // centre
    t.vAlign = 2;  // middle
    t.hasAlignment = true;
    if (onArc) {
        t.alignment = polar(v, mid, r);
        t.rotation = s.tih ? 0.0 : degrees(mid) - 90.0;
    } else {
        t.alignment = polar(v, mid, r + gap + h / 2.0);
        t.rotation = s.tih ? 0.0 : degrees(mid) - 90.0;
    }
    // Keep the text readable: never upside down.
    t.rotation = std::fmod(t.rotation, 360.0);
    if (t.rotation < 0.0) t.rotation += 360.0;
    if (t.rotation > 90.0 && t.rotation <= 270.0) t.rotation = std::fmod(t.rotation + 180.0, 360.0);
    t.insertion = t.alignment;
    out.textMidpoint = t.alignment;

    // The dimension arc.
    auto arc = [&](double from, double to) {
        ArcGeom g;
        g.center = v;
        g.radius = r;
        g.startAngle = degrees(from);
        g.endAngle = degrees(to);
        out.entities.push_back(blockPart(g, "ARC"));
    };
    if (onArc) {
        arc(a1, mid - halfBreak);
        arc(mid + halfBreak, a1 + sweep);
    } else {
        arc(a1, a1 + sweep);
    }

    // Closed filled arrowheads at both ends of the arc, pointing outwards
    // along it: a SOLID from the tip to a base asz back along the arc.
    if (asz > 0.0) {
        for (auto [tipAngle, inward] : {std::pair{a1, 1.0}, std::pair{a1 + sweep, -1.0}}) {
            Point3 tip = polar(v, tipAngle, r);
            double baseAngle = tipAngle + inward * 2.0 * std::asin(std::min(1.0, asz / (2.0 * r)));
            Point3 base = polar(v, baseAngle, r);
            Point3 radial{std::cos(baseAngle), std::sin(baseAngle), 0.0};
            SolidGeom sol;
            sol.corners[0] = tip;
            sol.corners[1] = base + radial * (asz / 6.0);
            sol.corners[2] = base - radial * (asz / 6.0);
            sol.corners[3] = sol.corners[2];
            out.entities.push_back(blockPart(sol, "SOLID"));
        }
    }
    out.entities.push_back(blockPart(t, "TEXT"));
    return out;
}

}  // namespace

EntityRef Drawing::addDimAngular(Point3 vertex, Point3 first, Point3 second, Point3 textPoint) {
    requireOpen();
    const double r = planeDistance(vertex, textPoint);
    if (planeDistance(vertex, first) == 0.0 || planeDistance(vertex, second) == 0.0 || r == 0.0) {
        throw Error("Угловой размер: точка совпадает с вершиной угла");
    }
    const double a1 = angleOf(vertex, first);
    const double sweep = sweepFrom(a1, angleOf(vertex, second));
    if (sweep == 0.0) throw Error("Угловой размер: стороны угла совпадают");
    // The arc through the text point decides which angle is measured. The
    // legs are stored counter-clockwise around it (13 first, 14 second), the
    // way every reader that draws the dimension anew expects them.
    if (sweepFrom(a1, angleOf(vertex, textPoint)) > sweep) std::swap(first, second);

    DimensionGeom g;
    g.dimType = 5 | 32;  // 3-point angular; the block belongs to this dimension only
    g.definition = textPoint;
    g.p13 = first;
    g.p14 = second;
    g.p15 = vertex;
    g.text.clear();  // the measurement
    g.style = "Standard";

    const DimStyle style = readDimStyle(*data_, g.style);
    AngularDrawing drawn = drawAngular(vertex, first, second, textPoint, style, 0.0);
    g.textMidpoint = drawn.textMidpoint;
    g.blockName = newAnonymousBlockName("*D");
    addBlock(g.blockName, {}, std::move(drawn.entities), 1);

    Entity e;
    e.dxfType = "DIMENSION";
    e.layer = Name();
    e.geom = std::move(g);
    return addEntity(std::move(e));
}

void Drawing::setDimensionTextHeight(EntityId id, double height) {
    requireOpen();
    if (!(height > 0.0) || !std::isfinite(height)) {
        throw Error("Высота текста должна быть больше нуля");
    }
    Entity& e = data_->entities.at(id.v);
    auto* g = geomIf<DimensionGeom>(e.geom);
    if (!g) throw Error("Объект не является размером");
    auto it = data_->blockIndex.find(g->blockName);
    if (e.tagBegin != kNoTags || it == data_->blockIndex.end() ||
        data_->blocks[it->second].tagBegin != kNoTags || (g->dimType & 0x0F) != 5) {
        throw Error("Высоту текста можно задать только угловому размеру, созданному программой");
    }
    touch(id);
    touchBlock(it->second);
    const DimStyle style = readDimStyle(*data_, g->style);
    AngularDrawing drawn = drawAngular(g->p15, g->p13, g->p14, g->definition, style, height);
    g->textHeight = height;
    g->textMidpoint = drawn.textMidpoint;

    Block& block = data_->blocks[it->second];
    for (EntityId old : block.entities) {
        touch(old);
        data_->entities[old.v].erased = true;
        data_->entityByHandle.erase(data_->entities[old.v].handle);
    }
    block.entities.clear();
    for (Entity& part : drawn.entities) block.entities.push_back(storeEntity(std::move(part)));
    modified_ = true;
    notifyUpdate(id);
}

}  // namespace cad
