// The walk that draws a drawing onto a Canvas: visibility by entity and layer,
// colour and lineweight resolution (ByLayer, ByBlock, layer 0 inside blocks),
// block references with their transforms, and every kind turned into the
// canvas's few primitives.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string_view>

#include "cad/canvas.hpp"
#include "cad/geometry.hpp"
#include "cad/geometry_pieces.hpp"
#include "cad/mtext.hpp"
#include "cad/text_codes.hpp"
#include "cad/text_util.hpp"

namespace cad {

Rgb aciToRgb(int aci) {
    static const Rgb kFirst[10] = {{0, 0, 0},       {255, 0, 0},    {255, 255, 0}, {0, 255, 0},
                                   {0, 255, 255},   {0, 0, 255},    {255, 0, 255}, {255, 255, 255},
                                   {128, 128, 128}, {192, 192, 192}};
    static const std::uint8_t kGreys[6] = {51, 80, 105, 130, 190, 255};
    if (aci < 0) aci = -aci;  // a layer that is off keeps its colour negated
    if (aci >= 1 && aci <= 9) return kFirst[aci];
    if (aci >= 250 && aci <= 255) {
        std::uint8_t v = kGreys[aci - 250];
        return {v, v, v};
    }
    if (aci < 10 || aci > 249) return kFirst[7];
    // 24 hues 15° apart; the last digit picks the value and, when odd, a paler tint.
    double hue = ((aci - 10) / 10) * 15.0;
    int variant = aci % 10;
    static const double kValue[5] = {255, 165, 127, 76, 38};
    double v = kValue[variant / 2];
    double channel[3];
    for (int c = 0; c < 3; ++c) {
        // Red peaks at 0°, green at 120°, blue at 240°.
        double d = std::fabs(std::fmod(hue - c * 120.0 + 540.0, 360.0) - 180.0);
        double full = d <= 60 ? 1.0 : (d >= 120 ? 0.0 : (120 - d) / 60.0);
        double x = full * v;
        if (variant % 2 == 1) x = v - (v - x) / 2;
        channel[c] = std::floor(x + 1e-9);
    }
    return {static_cast<std::uint8_t>(channel[0]), static_cast<std::uint8_t>(channel[1]),
            static_cast<std::uint8_t>(channel[2])};
}

namespace {

constexpr double kLineSpacing = 5.0 / 3.0;  // MTEXT baselines, in text heights

double radians(double d) {
    return d * std::numbers::pi / 180.0;
}

// What an entity inside a block takes from the reference that shows it.
struct Inherited {
    int color = 7;                 // for ByBlock
    std::optional<Rgb> trueColor;  // for ByBlock
    int lineweight = -3;           // for ByBlock, hundredths of a millimetre
    const Layer* layer = nullptr;  // the reference's layer, for entities on layer 0
    EntityId top;
};

class Walker {
  public:
    Walker(const DrawingData& d, Canvas& c)
        : d_(d), c_(c), tol_(std::max(1e-9, c.flattenTolerance())) {}

    // A model-space entity: the block budget starts afresh.
    void top(const Entity& e, const Inherited& inh) {
        expanded_ = 0;
        entity(e, Transform{}, inh);
    }

    void entity(const Entity& e, const Transform& t, const Inherited& inh) {
        if (e.erased || !e.visible) return;
        const Layer* layer = findLayer(e.layer);
        if (inh.layer && e.layer == "0") layer = inh.layer;
        if (layer && (layer->color < 0 || (layer->flags & 1))) return;
        Style style;
        style.entity = inh.top;
        style.color = resolveColor(e.color, layer, inh);
        style.trueColor = resolveTrueColor(e, layer, inh);
        style.lineweightMm = resolveLineweight(e.lineweight, layer, inh) / 100.0;
        visitGeom([&](const auto& g) { draw(g, e, t, style, layer, inh); }, e.geom);
    }

  private:
    const Layer* findLayer(const std::string& name) const {
        std::size_t at = d_.findLayer(name);
        return at < d_.layers.size() ? &d_.layers[at] : nullptr;
    }

    static int resolveColor(int color, const Layer* layer, const Inherited& inh) {
        int c = color;
        if (c == 256) c = layer ? std::abs(layer->color) : 7;
        if (c == 0) c = inh.color;
        if (c < 1 || c > 255) c = 7;
        return c;
    }

    // A true colour is read from the tags the file gave the entity or layer;
    // a colour the program set since replaces it.
    std::optional<Rgb> tagTrueColor(std::uint32_t begin, std::uint32_t end) const {
        if (begin == kNoTags || end == kNoTags) return std::nullopt;
        const TagStore& tags = d_.tags;
        std::size_t last = std::min<std::size_t>(end, tags.size());
        for (std::size_t i = std::size_t{begin} + 1; i < last; ++i) {
            int code = tags.code(i);
            if (code == 0) break;  // a POLYLINE's vertices have their own
            if (code != 420) continue;
            std::string_view v = tags.value(i);
            while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
            long long rgb = 0;
            auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), rgb);
            if (ec != std::errc()) return std::nullopt;
            (void)ptr;
            return Rgb{static_cast<std::uint8_t>((rgb >> 16) & 0xff),
                       static_cast<std::uint8_t>((rgb >> 8) & 0xff),
                       static_cast<std::uint8_t>(rgb & 0xff)};
        }
        return std::nullopt;
    }

    std::optional<Rgb> resolveTrueColor(const Entity& e, const Layer* layer,
                                        const Inherited& inh) const {
        if (e.color == 0) return inh.trueColor;
        if (e.color == 256)
            return layer ? tagTrueColor(layer->tagBegin, layer->tagEnd) : std::nullopt;
        if (e.changed & kChangedColor) return std::nullopt;
        return tagTrueColor(e.tagBegin, e.tagEnd);
    }

    static int resolveLineweight(int lw, const Layer* layer, const Inherited& inh) {
        int w = lw;
        if (w == -1) w = layer ? layer->lineweight : -3;
        if (w == -2) w = inh.lineweight;
        if (w < 0) w = static_cast<int>(std::lround(kDefaultLineweightMm * 100));
        return w;
    }

    std::vector<Point3> mapped(std::vector<Point3> pts, const Transform& m) const {
        if (!m.isIdentity()) {
            for (Point3& p : pts) p = m.apply(p);
        }
        return pts;
    }

    // An arc in a local plane through m: a canvas arc when circles stay circles.
    void arc(const Transform& m, Point3 c, double r, double a0, double sweep, bool full,
             const Style& s) {
        double k = 1.0;
        bool mirrored = false;
        if (m.keepsCircles(k, mirrored)) {
            Point3 wc = m.apply(c);
            if (full) {
                c_.circle(wc, r * k, s);
                return;
            }
            Point3 dir = m.applyVector({std::cos(a0), std::sin(a0), 0});
            c_.arc(wc, r * k, std::atan2(dir.y, dir.x), mirrored ? -sweep : sweep, s);
            return;
        }
        double rr = std::max(r * m.maxScale(), 1e-12);
        double step = 2.0 * std::acos(std::max(-1.0, 1.0 - tol_ / rr));
        int n = std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / std::max(step, 1e-6))), 8,
                           20000);
        std::vector<Point3> pts;
        for (int i = 0; i <= n; ++i) {
            double a = a0 + sweep * i / n;
            pts.push_back(m.apply({c.x + r * std::cos(a), c.y + r * std::sin(a), c.z}));
        }
        if (full) pts.pop_back();
        c_.polyline(pts, full, s);
    }

    void draw(const LineGeom& g, const Entity&, const Transform& t, const Style& s, const Layer*,
              const Inherited&) {
        c_.line(t.apply(g.start), t.apply(g.end), s);
    }

    void draw(const PolylineGeom& g, const Entity&, const Transform& t, const Style& s,
              const Layer*, const Inherited&) {
        if (g.vertices.empty()) return;
        Transform m = g.is3d ? t : t * ocsTransform(g.extrusion);
        if (c_.keepsArcs() && !g.is3d && g.vertices.size() > 1 &&
            std::any_of(g.vertices.begin(), g.vertices.end(),
                        [](const PolyVertex& v) { return geometry_detail::hasBulge(v.bulge); })) {
            withArcs(g, m, s);
            return;
        }
        double k = std::max(m.maxScale(), 1e-12);
        std::vector<Point3> pts = mapped(polylinePoints(g, tol_ / k), m);
        if (g.closed && pts.size() > 2) pts.pop_back();  // the canvas closes it
        c_.polyline(pts, g.closed && pts.size() > 2, s);
    }

    // A polyline with bulges for a canvas that keeps arcs: its straight runs
    // as open polylines, each bulge as an arc.
    void withArcs(const PolylineGeom& g, const Transform& m, const Style& s) {
        const auto& v = g.vertices;
        auto local = [&](std::size_t i) { return Point3{v[i].x, v[i].y, g.elevation}; };
        std::vector<Point3> run;
        auto flush = [&] {
            if (run.size() >= 2) c_.polyline(run, false, s);
            run.clear();
        };
        const std::size_t count = g.closed ? v.size() : v.size() - 1;
        for (std::size_t i = 0; i < count; ++i) {
            const Point3 p = local(i), q = local((i + 1) % v.size());
            if (!geometry_detail::hasBulge(v[i].bulge) || (p.x == q.x && p.y == q.y)) {
                if (run.empty()) run.push_back(m.apply(p));
                run.push_back(m.apply(q));
                continue;
            }
            flush();
            const geometry_detail::BulgeArc a = geometry_detail::bulgeArc(p, q, v[i].bulge);
            arc(m, a.centre, a.r, a.a0, a.sweep, false, s);
        }
        flush();
    }

    void draw(const ArcGeom& g, const Entity&, const Transform& t, const Style& s, const Layer*,
              const Inherited&) {
        if (!(g.radius > 0)) return;
        double sweep = std::fmod(g.endAngle - g.startAngle, 360.0);
        if (sweep <= 0) sweep += 360.0;
        arc(t * ocsTransform(g.extrusion), g.center, g.radius, radians(g.startAngle),
            radians(sweep), false, s);
    }

    void draw(const CircleGeom& g, const Entity&, const Transform& t, const Style& s, const Layer*,
              const Inherited&) {
        if (!(g.radius > 0)) return;
        arc(t * ocsTransform(g.extrusion), g.center, g.radius, 0.0, 2 * std::numbers::pi, true, s);
    }

    void draw(const EllipseGeom& g, const Entity&, const Transform& t, const Style& s, const Layer*,
              const Inherited&) {
        double k = std::max(t.maxScale(), 1e-12);
        std::vector<Point3> pts = mapped(ellipsePoints(g, tol_ / k), t);
        bool closed = pts.size() > 2 && pts.front() == pts.back();
        if (closed) pts.pop_back();
        c_.polyline(pts, closed, s);
    }

    void draw(const SplineGeom& g, const Entity&, const Transform& t, const Style& s, const Layer*,
              const Inherited&) {
        double k = std::max(t.maxScale(), 1e-12);
        std::vector<Point3> pts = mapped(splinePoints(g, tol_ / k), t);
        c_.polyline(pts, false, s);
    }

    // A text's frame through m: anchor, direction, height and width factor in world.
    void emitText(TextItem item, const Transform& m, const Style& s) {
        Point3 dir = m.applyVector({std::cos(item.rotation), std::sin(item.rotation), 0});
        Point3 up = m.applyVector({-std::sin(item.rotation), std::cos(item.rotation), 0});
        double lx = std::hypot(dir.x, dir.y), ly = std::hypot(up.x, up.y);
        if (lx == 0 || ly == 0) return;
        item.position = m.apply(item.position);
        item.second = m.apply(item.second);
        item.rotation = std::atan2(dir.y, dir.x);
        item.height *= ly;
        item.widthFactor *= lx / ly;
        c_.text(item, s);
    }

    void draw(const TextGeom& g, const Entity&, const Transform& t, const Style& s, const Layer*,
              const Inherited&) {
        TextItem item;
        item.text = decodeTextCodes(g.text);
        if (item.text.empty()) return;
        item.height = g.height > 0 ? g.height : 1.0;
        item.rotation = radians(g.rotation);
        item.widthFactor = g.widthFactor > 0 ? g.widthFactor : 1.0;
        item.oblique = radians(g.oblique);
        item.position = g.insertion;
        bool aligned = g.hasAlignment && (g.hAlign != 0 || g.vAlign != 0);
        if (aligned) {
            static const HAlign kH[6] = {HAlign::Left,    HAlign::Center, HAlign::Right,
                                         HAlign::Aligned, HAlign::Middle, HAlign::Fit};
            static const VAlign kV[4] = {VAlign::Baseline, VAlign::Bottom, VAlign::Middle,
                                         VAlign::Top};
            item.hAlign = kH[std::clamp(g.hAlign, 0, 5)];
            item.vAlign = kV[std::clamp(g.vAlign, 0, 3)];
            if (item.hAlign == HAlign::Aligned || item.hAlign == HAlign::Fit) {
                item.second = g.alignment;
                item.vAlign = VAlign::Baseline;
                Point3 d = g.alignment - g.insertion;
                if (d.x != 0 || d.y != 0) item.rotation = std::atan2(d.y, d.x);
            } else {
                item.position = g.alignment;
            }
        }
        emitText(item, t * ocsTransform(g.extrusion), s);
    }

    // A paragraph of MTEXT as the lines it takes in a box of the given width
    // (0: no box), broken at spaces; a word wider than the box keeps a line
    // of its own.
    void wrapLine(const std::string& paragraph, double width, double h,
                  std::vector<std::string>& lines) const {
        if (!(width > 0) || c_.textWidth(paragraph, h) <= width) {
            lines.push_back(paragraph);
            return;
        }
        std::string line;
        std::size_t at = 0;
        while (at <= paragraph.size()) {
            std::size_t space = paragraph.find(' ', at);
            if (space == std::string::npos) space = paragraph.size();
            std::string word = paragraph.substr(at, space - at);
            std::string longer = line.empty() ? word : line + ' ' + word;
            if (!line.empty() && c_.textWidth(longer, h) > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = longer;
            }
            at = space + 1;
        }
        lines.push_back(line);
    }

    void draw(const MTextGeom& g, const Entity&, const Transform& t, const Style& s, const Layer*,
              const Inherited&) {
        // Dimension texts in particular keep %% codes inside MTEXT.
        std::string plain = decodeTextCodes(plainMText(g.text));
        double h = g.height > 0 ? g.height : 1.0;
        std::vector<std::string> lines;
        std::size_t from = 0;
        while (true) {
            std::size_t nl = plain.find('\n', from);
            wrapLine(plain.substr(from, nl == std::string::npos ? nl : nl - from), g.rectWidth, h,
                     lines);
            if (nl == std::string::npos) break;
            from = nl + 1;
        }
        double angle = radians(g.rotation);
        bool defaultDirection = g.xDirection.x == 1 && g.xDirection.y == 0;
        if (!defaultDirection && (g.xDirection.x != 0 || g.xDirection.y != 0)) {
            angle = std::atan2(g.xDirection.y, g.xDirection.x);
        }
        int att = std::clamp(g.attachment, 1, 9);
        int col = (att - 1) % 3, row = (att - 1) / 3;
        const HAlign kH[3] = {HAlign::Left, HAlign::Center, HAlign::Right};
        double n = static_cast<double>(lines.size());
        double total = h + (n - 1) * kLineSpacing * h;
        double c = std::cos(angle), sn = std::sin(angle);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].empty()) continue;
            double di = static_cast<double>(i);
            double y = 0.0;  // baseline of line i below the insertion point, along the text's up
            if (row == 0) y = -h - di * kLineSpacing * h;
            if (row == 1) y = total / 2 - h - di * kLineSpacing * h;
            if (row == 2) y = (n - 1 - di) * kLineSpacing * h;
            TextItem item;
            item.text = lines[i];
            item.height = h;
            item.rotation = angle;
            item.hAlign = kH[col];
            item.position = {g.insertion.x - sn * y, g.insertion.y + c * y, g.insertion.z};
            emitText(item, t, s);
        }
    }

    void block(const Block& b, const Transform& t, const Inherited& inh) {
        if (static_cast<int>(stack_.size()) >= kMaxBlockDepth) return;
        if (std::find(stack_.begin(), stack_.end(), &b) != stack_.end()) return;
        stack_.push_back(&b);
        for (EntityId id : b.entities) {
            // Blocks inserting blocks many times over multiply: the budget keeps
            // a small file from drawing for hours.
            if (expanded_ >= kMaxBlockExpansion) break;
            ++expanded_;
            if (id.v < d_.entities.size()) entity(d_.entities[id.v], t, inh);
        }
        stack_.pop_back();
    }

    static Inherited childOf(const Style& s, const Layer* layer, const Inherited& inh) {
        Inherited child;
        child.color = s.color;
        child.trueColor = s.trueColor;
        child.lineweight = static_cast<int>(std::lround(s.lineweightMm * 100));
        child.layer = layer;
        child.top = inh.top;
        return child;
    }

    void draw(const InsertGeom& g, const Entity&, const Transform& t, const Style& s,
              const Layer* layer, const Inherited& inh) {
        const Block* b = findBlock(d_, g.blockName);
        if (!b) return;
        Inherited child = childOf(s, layer, inh);
        int cols = std::max(1, g.columns), rows = std::max(1, g.rows);
        if (static_cast<long long>(cols) * rows > 100000) cols = rows = 1;
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) block(*b, t * insertTransform(g, b->base, c, r), child);
        }
    }

    void draw(const DimensionGeom& g, const Entity&, const Transform& t, const Style& s,
              const Layer* layer, const Inherited& inh) {
        const Block* b = findBlock(d_, g.blockName);
        if (b) block(*b, t, childOf(s, layer, inh));
    }

    std::vector<std::vector<Point3>> loops(const HatchGeom& g, const Transform& t) const {
        Transform m = t * ocsTransform(g.extrusion);
        double k = std::max(m.maxScale(), 1e-12);
        std::vector<std::vector<Point3>> out;
        for (const PolylineGeom& loop : g.loops) {
            PolylineGeom pl = loop;
            pl.is3d = false;
            pl.closed = true;
            pl.elevation = g.elevation;
            std::vector<Point3> pts = mapped(polylinePoints(pl, tol_ / k), m);
            if (pts.size() > 1) pts.pop_back();
            if (pts.size() >= 2) out.push_back(std::move(pts));
        }
        return out;
    }

    void draw(const HatchGeom& g, const Entity&, const Transform& t, const Style& s, const Layer*,
              const Inherited&) {
        auto ls = loops(g, t);
        if (ls.empty()) return;
        if (g.solid) {
            c_.fill(ls, s);
            return;
        }
        for (const auto& l : ls) c_.polyline(l, true, s);
    }

    void draw(const SolidGeom& g, const Entity&, const Transform& t, const Style& s, const Layer*,
              const Inherited&) {
        Transform m = t * ocsTransform(g.extrusion);
        // Corners 1, 2, 4, 3 go round the quadrilateral; a triangle repeats its third.
        std::vector<Point3> pts = {m.apply(g.corners[0]), m.apply(g.corners[1]),
                                   m.apply(g.corners[3]), m.apply(g.corners[2])};
        if (pts[1] == pts[2] || pts[2] == pts[3]) pts.erase(pts.begin() + 2);
        c_.fill({pts}, s);
    }

    void draw(const PointGeom& g, const Entity&, const Transform& t, const Style& s, const Layer*,
              const Inherited&) {
        Point3 p = t.apply(g.position);
        c_.line(p, p, s);
    }

    void draw(const OtherGeom&, const Entity&, const Transform&, const Style&, const Layer*,
              const Inherited&) {}

    const DrawingData& d_;
    Canvas& c_;
    double tol_;
    std::vector<const Block*> stack_;
    std::size_t expanded_ = 0;  // block entities drawn for the current top-level entity
};

}  // namespace

double Canvas::textWidth(std::string_view utf8, double height) const {
    return estimatedTextWidth(utf8, height);
}

void drawDrawing(const DrawingData& d, Canvas& canvas, std::optional<Box2> region) {
    Walker walker(d, canvas);
    for (EntityId id : d.modelSpace) {
        if (id.v >= d.entities.size()) continue;
        const Entity& e = d.entities[id.v];
        if (e.erased || !e.visible || e.paperSpace) continue;
        if (region) {
            Box2 b = entityBounds(d, e);
            if (b.empty() || !b.intersects(*region)) continue;
        }
        Inherited top;
        top.top = id;
        walker.top(e, top);
    }
}

void drawEntities(const DrawingData& d, Canvas& canvas, const std::vector<EntityId>& ids) {
    Walker walker(d, canvas);
    for (EntityId id : ids) {
        if (id.v >= d.entities.size()) continue;
        const Entity& e = d.entities[id.v];
        if (e.erased || !e.visible || e.paperSpace) continue;
        Inherited top;
        top.top = id;
        walker.entity(e, Transform{}, top);
    }
}

void drawDrawing(const Drawing& drawing, Canvas& canvas, std::optional<Box2> region) {
    drawDrawing(drawing.data(), canvas, region);
}

}  // namespace cad
