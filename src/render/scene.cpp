#include "render/scene.hpp"

#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRawFont>
#include <algorithm>
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/box.hpp>
#include <boost/geometry/geometries/point.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <cmath>
#include <iterator>
#include <limits>
#include <numbers>
#include <unordered_map>

#include "cad/geometry.hpp"
#include "render/qpainter_canvas.hpp"
#include "render/raster.hpp"

namespace render {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr double kTwoPi = 2 * std::numbers::pi;
// Same face and layout size as QPainterCanvas, so that boxes stand where the
// glyphs will.
constexpr int kFontPixels = 1000;

enum class Kind : std::uint8_t { Strip, Loop, Arc, Text, Fill };

struct P2 {
    double x, y;
};

struct Prim {
    Kind kind;
    std::uint8_t color;        // colour index 1..255
    std::uint16_t lineweight;  // hundredths of a millimetre
    std::uint32_t first;       // into points, arcs, texts or loops by kind
    std::uint32_t count;       // points of a strip, loops of a fill
    std::uint32_t trueColor;   // 0xffRRGGBB, or 0 when the index stands
};

struct ArcRec {
    double cx, cy, r, start, sweep;
};

// A text as its glyphs along the baseline, in the layout font's units; the
// glyphs' outlines are shared by every text.
struct TextRec {
    P2 quad[4];      // the capitals' box: baseline start, baseline end, top end, top start
    double height;   // of capitals, after the alignment's stretching
    double advance;  // length of the baseline in font units
    double slant;    // tangent of the oblique angle
    std::vector<quint32> glyphs;
    std::vector<float> x;  // where each glyph starts, font units
};

struct LoopRec {
    std::uint32_t first, count;  // into points
};

struct Item {
    cad::Box2 bounds;
    std::uint32_t primFirst = 0;
    std::uint32_t primCount = 0;
    cad::EntityId id;
};

using BPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using BBox = bg::model::box<BPoint>;
using Entry = std::pair<BBox, std::uint32_t>;

BBox toBBox(const cad::Box2& b) {
    return BBox(BPoint(b.minX, b.minY), BPoint(b.maxX, b.maxY));
}

bool contains(const cad::Box2& outer, const cad::Box2& inner) {
    return inner.minX >= outer.minX && inner.maxX <= outer.maxX && inner.minY >= outer.minY &&
           inner.maxY <= outer.maxY;
}

double segmentDistance(P2 p, P2 a, P2 b) {
    double dx = b.x - a.x, dy = b.y - a.y;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Whether the segment meets the box (Liang–Barsky).
bool segmentTouches(P2 a, P2 b, const cad::Box2& box) {
    double t0 = 0, t1 = 1;
    double dx = b.x - a.x, dy = b.y - a.y;
    auto clip = [&](double p, double q) {
        if (p == 0) return q >= 0;
        double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0) return false;
            t1 = std::min(t1, r);
        }
        return true;
    };
    return clip(-dx, a.x - box.minX) && clip(dx, box.maxX - a.x) && clip(-dy, a.y - box.minY) &&
           clip(dy, box.maxY - a.y) && t0 <= t1;
}

// Even-odd point in polygon.
bool insidePolygon(P2 p, const P2* pts, std::size_t n) {
    bool in = false;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        if ((pts[i].y > p.y) != (pts[j].y > p.y) &&
            p.x < (pts[j].x - pts[i].x) * (p.y - pts[i].y) / (pts[j].y - pts[i].y) + pts[i].x) {
            in = !in;
        }
    }
    return in;
}

double normalAngle(double a) {
    a = std::fmod(a, kTwoPi);
    return a < 0 ? a + kTwoPi : a;
}

bool angleOnArc(double angle, const ArcRec& a) {
    if (std::fabs(a.sweep) >= kTwoPi) return true;
    double from = a.sweep >= 0 ? a.start : a.start + a.sweep;
    return normalAngle(angle - from) <= std::fabs(a.sweep);
}

// Points along an arc, at least `segments` pieces.
void arcPoints(const ArcRec& a, int segments, std::vector<P2>& out) {
    out.clear();
    for (int i = 0; i <= segments; ++i) {
        double t = a.start + a.sweep * i / segments;
        out.push_back({a.cx + a.r * std::cos(t), a.cy + a.r * std::sin(t)});
    }
}

// Enough pieces for an arc of rp pixels radius to stray under a third of a pixel.
int arcSegments(double rp, double sweep) {
    if (!(rp > 0.34)) return 1;
    double step = 2.0 * std::acos(std::max(-1.0, 1.0 - 0.34 / rp));
    return std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / std::max(step, 1e-4))), 2,
                      1440);
}

bool flattensCurves(const cad::Entity& e) {
    if (auto* p = cad::geomIf<cad::PolylineGeom>(e.geom)) {
        return std::any_of(p->vertices.begin(), p->vertices.end(),
                           [](const cad::PolyVertex& v) { return v.bulge != 0; });
    }
    return cad::holdsGeom<cad::EllipseGeom>(e.geom) || cad::holdsGeom<cad::SplineGeom>(e.geom) ||
           cad::holdsGeom<cad::InsertGeom>(e.geom) || cad::holdsGeom<cad::DimensionGeom>(e.geom) ||
           cad::holdsGeom<cad::HatchGeom>(e.geom);
}

}  // namespace

struct Scene::Data {
    std::vector<Item> items;
    std::vector<std::uint32_t> itemOf;  // by EntityId::v
    std::vector<Prim> prims;
    std::vector<P2> points;
    std::vector<ArcRec> arcs;
    std::vector<TextRec> texts;
    std::vector<LoopRec> loops;
    bgi::rtree<Entry, bgi::rstar<16>> tree;
    cad::Box2 extents;
    QRawFont font;
    double cap = 1.0;  // capital height of font
    mutable std::unordered_map<quint32, QPainterPath> glyphPaths;

    const QPainterPath& glyphPath(quint32 glyph) const {
        auto it = glyphPaths.find(glyph);
        if (it == glyphPaths.end()) it = glyphPaths.emplace(glyph, font.pathForGlyph(glyph)).first;
        return it->second;
    }
    std::size_t modelSpaceSeen = 0;

    void record(const cad::DrawingData& drawing, const std::vector<cad::EntityId>& ids);
    void drawPrims(const Item& item, QPainter& painter, const ScreenMap& map,
                   const QPen& pen) const;
};

namespace {

// The canvas the walk draws into when the scene is built: primitives are filed
// under the model-space entity they belong to.
class Recorder : public cad::Canvas {
  public:
    explicit Recorder(Scene::Data& d) : d_(d), font_(QStringLiteral("DejaVu Sans")) {
        font_.setPixelSize(kFontPixels);
        font_.setHintingPreference(QFont::PreferNoHinting);
        font_.setStyleStrategy(QFont::PreferOutline);
        metrics_ = std::make_unique<QFontMetricsF>(font_);
        cap_ = metrics_->capHeight();
        if (!(cap_ > 0)) cap_ = kFontPixels * 0.73;
        if (!d_.font.isValid()) {
            d_.font = QRawFont::fromFont(font_);
            d_.cap = cap_;
        }
    }

    void setTolerance(double t) { tol_ = t; }

    void line(cad::Point3 a, cad::Point3 b, const cad::Style& s) override {
        Prim& p = add(Kind::Strip, s);
        p.first = static_cast<std::uint32_t>(d_.points.size());
        p.count = 2;
        point(a.x, a.y);
        point(b.x, b.y);
    }

    void polyline(const std::vector<cad::Point3>& pts, bool closed, const cad::Style& s) override {
        if (pts.empty()) return;
        Prim& p = add(closed ? Kind::Loop : Kind::Strip, s);
        p.first = static_cast<std::uint32_t>(d_.points.size());
        p.count = static_cast<std::uint32_t>(pts.size());
        for (const cad::Point3& q : pts) point(q.x, q.y);
    }

    void arc(cad::Point3 c, double r, double start, double sweep, const cad::Style& s) override {
        Prim& p = add(Kind::Arc, s);
        p.first = static_cast<std::uint32_t>(d_.arcs.size());
        p.count = 1;
        ArcRec a{c.x, c.y, r, start, sweep};
        d_.arcs.push_back(a);
        // The arc's ends and the quadrant points it passes.
        bounds_->add(c.x + r * std::cos(start), c.y + r * std::sin(start));
        bounds_->add(c.x + r * std::cos(start + sweep), c.y + r * std::sin(start + sweep));
        for (int q = 0; q < 4; ++q) {
            double angle = q * std::numbers::pi / 2;
            if (angleOnArc(angle, a))
                bounds_->add(c.x + r * std::cos(angle), c.y + r * std::sin(angle));
        }
    }

    void circle(cad::Point3 c, double r, const cad::Style& s) override {
        arc(c, r, 0.0, kTwoPi, s);
    }

    void text(const cad::TextItem& t, const cad::Style& s) override {
        QString str = QString::fromUtf8(t.text.data(), static_cast<qsizetype>(t.text.size()));
        if (str.isEmpty() || !(t.height > 0)) return;
        QList<quint32> glyphs = d_.font.glyphIndexesForString(str);
        QList<QPointF> advances = d_.font.advancesForGlyphIndexes(glyphs);
        std::vector<float> xs;
        double advance = 0.0;
        for (const QPointF& a : advances) {
            xs.push_back(static_cast<float>(advance));
            advance += a.x();
        }
        if (!(advance > 0)) return;
        double k = t.height / cap_;  // world units per font unit
        double wf = t.widthFactor > 0 ? t.widthFactor : 1.0;
        double angle = t.rotation;
        double x0 = 0.0;
        cad::VAlign v = t.vAlign;
        switch (t.hAlign) {
            case cad::HAlign::Left:
                break;
            case cad::HAlign::Center:
                x0 = -advance / 2;
                break;
            case cad::HAlign::Middle:
                x0 = -advance / 2;
                if (v == cad::VAlign::Baseline) v = cad::VAlign::Middle;
                break;
            case cad::HAlign::Right:
                x0 = -advance;
                break;
            case cad::HAlign::Aligned:
            case cad::HAlign::Fit: {
                double dx = t.second.x - t.position.x, dy = t.second.y - t.position.y;
                double length = std::hypot(dx, dy);
                if (length > 0) {
                    angle = std::atan2(dy, dx);
                    double natural = advance * k * wf;
                    if (t.hAlign == cad::HAlign::Fit) {
                        wf *= length / natural;
                    } else {
                        k *= length / natural;
                    }
                }
                v = cad::VAlign::Baseline;
                break;
            }
        }
        double descent = metrics_->descent();
        double yb = 0.0;  // baseline above the anchor, font units
        if (v == cad::VAlign::Bottom) yb = descent;
        if (v == cad::VAlign::Middle) yb = -cap_ / 2;
        if (v == cad::VAlign::Top) yb = -cap_;
        double c = std::cos(angle), sn = std::sin(angle);
        auto at = [&](double x, double y) {
            double wx = x * k * wf, wy = y * k;
            return P2{t.position.x + wx * c - wy * sn, t.position.y + wx * sn + wy * c};
        };
        Prim& p = add(Kind::Text, s);
        p.first = static_cast<std::uint32_t>(d_.texts.size());
        p.count = 1;
        TextRec rec{
            {at(x0, yb), at(x0 + advance, yb), at(x0 + advance, yb + cap_), at(x0, yb + cap_)},
            cap_ * k,
            advance,
            std::tan(t.oblique),
            std::vector<quint32>(glyphs.begin(), glyphs.end()),
            std::move(xs)};
        for (const P2& q : rec.quad) bounds_->add(q.x, q.y);
        P2 low0 = at(x0, yb - descent), low1 = at(x0 + advance, yb - descent);
        bounds_->add(low0.x, low0.y);
        bounds_->add(low1.x, low1.y);
        d_.texts.push_back(std::move(rec));
    }

    void fill(const std::vector<std::vector<cad::Point3>>& loops, const cad::Style& s) override {
        Prim& p = add(Kind::Fill, s);
        p.first = static_cast<std::uint32_t>(d_.loops.size());
        p.count = 0;
        for (const auto& loop : loops) {
            if (loop.size() < 2) continue;
            d_.loops.push_back({static_cast<std::uint32_t>(d_.points.size()),
                                static_cast<std::uint32_t>(loop.size())});
            for (const cad::Point3& q : loop) point(q.x, q.y);
            ++p.count;
        }
    }

    double flattenTolerance() const override { return tol_; }

    double textWidth(std::string_view utf8, double height) const override {
        QString s = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        return metrics_->horizontalAdvance(s) / cap_ * height;
    }

  private:
    Prim& add(Kind kind, const cad::Style& s) {
        std::uint32_t idx = s.entity.v < d_.itemOf.size() ? d_.itemOf[s.entity.v] : kNone;
        if (idx == kNone) {
            // Not a model-space entity the scene knows: kept aside, never shown.
            stray_ = cad::Box2{};
            bounds_ = &stray_;
        } else {
            Item& item = d_.items[idx];
            if (idx != current_) {
                current_ = idx;
                item.primFirst = static_cast<std::uint32_t>(d_.prims.size());
                item.primCount = 0;
                item.bounds = cad::Box2{};
            }
            ++item.primCount;
            bounds_ = &item.bounds;
        }
        Prim p{};
        p.kind = kind;
        p.color = static_cast<std::uint8_t>(std::clamp(s.color, 1, 255));
        if (s.trueColor) {
            p.trueColor = 0xff000000u | (std::uint32_t{s.trueColor->r} << 16) |
                          (std::uint32_t{s.trueColor->g} << 8) | s.trueColor->b;
        }
        p.lineweight =
            static_cast<std::uint16_t>(std::clamp(std::lround(s.lineweightMm * 100.0), 0L, 211L));
        d_.prims.push_back(p);
        return d_.prims.back();
    }

    void point(double x, double y) {
        d_.points.push_back({x, y});
        bounds_->add(x, y);
    }

    Scene::Data& d_;
    QFont font_;
    std::unique_ptr<QFontMetricsF> metrics_;
    double cap_ = 1.0;
    double tol_ = 0.01;
    std::uint32_t current_ = kNone;
    cad::Box2* bounds_ = nullptr;
    cad::Box2 stray_;
};

}  // namespace

void Scene::Data::record(const cad::DrawingData& drawing, const std::vector<cad::EntityId>& ids) {
    Recorder recorder(*this);
    // Runs of entities whose kinds are drawn without flattening share one walk;
    // the others get a tolerance from their own size, so that a long curved
    // polyline stays smooth when zoomed in and a small one stays light.
    std::vector<cad::EntityId> run;
    auto flush = [&] {
        if (run.empty()) return;
        recorder.setTolerance(1.0);
        cad::drawEntities(drawing, recorder, run);
        run.clear();
    };
    for (cad::EntityId id : ids) {
        if (id.v >= drawing.entities.size()) continue;
        const cad::Entity& e = drawing.entities[id.v];
        if (!flattensCurves(e)) {
            run.push_back(id);
            continue;
        }
        flush();
        cad::Box2 b = cad::entityBounds(drawing, e);
        double size = b.empty() ? 0.0 : std::hypot(b.maxX - b.minX, b.maxY - b.minY);
        recorder.setTolerance(std::max(size * 1e-4, 1e-9));
        run.push_back(id);
        cad::drawEntities(drawing, recorder, run);
        run.clear();
    }
    flush();
    // Coordinates no screen can show (a damaged file's) leave nothing to draw
    // or to index.
    for (cad::EntityId id : ids) {
        if (id.v >= itemOf.size() || itemOf[id.v] == kNone) continue;
        Item& item = items[itemOf[id.v]];
        const cad::Box2& b = item.bounds;
        if (!(std::isfinite(b.minX) && std::isfinite(b.minY) && std::isfinite(b.maxX) &&
              std::isfinite(b.maxY))) {
            item.primCount = 0;
            item.bounds = cad::Box2{};
        }
    }
}

QTransform ScreenMap::transform() const {
    return QTransform(scale, 0, 0, -scale, -originX * scale, originY * scale);
}

cad::Box2 ScreenMap::worldRect(double width, double height) const {
    cad::Box2 b;
    b.add(originX, originY);
    b.add(originX + width / scale, originY - height / scale);
    return b;
}

ScreenMap ScreenMap::fit(const cad::Box2& box, double width, double height, double margin) {
    ScreenMap m;
    if (box.empty() || !(width > 0) || !(height > 0)) {
        m.scale = 1.0;
        m.originX = -width / 2;
        m.originY = height / 2;
        return m;
    }
    double bw = std::max(box.maxX - box.minX, 1e-9), bh = std::max(box.maxY - box.minY, 1e-9);
    double usable = 1.0 - 2 * margin;
    m.scale = std::min(width * usable / bw, height * usable / bh);
    double cx = (box.minX + box.maxX) / 2, cy = (box.minY + box.maxY) / 2;
    m.originX = cx - width / 2 / m.scale;
    m.originY = cy + height / 2 / m.scale;
    return m;
}

Scene::Scene() : d_(std::make_unique<Data>()) {}
Scene::~Scene() = default;

void Scene::clear() {
    d_ = std::make_unique<Data>();
}

void Scene::build(const cad::DrawingData& drawing) {
    clear();
    Data& d = *d_;
    d.itemOf.assign(drawing.entities.size(), kNone);
    std::vector<cad::EntityId> ids;
    ids.reserve(drawing.modelSpace.size());
    for (cad::EntityId id : drawing.modelSpace) {
        if (id.v >= drawing.entities.size() || d.itemOf[id.v] != kNone) continue;
        d.itemOf[id.v] = static_cast<std::uint32_t>(d.items.size());
        Item item;
        item.id = id;
        d.items.push_back(item);
        ids.push_back(id);
    }
    d.modelSpaceSeen = drawing.modelSpace.size();
    d.record(drawing, ids);
    std::vector<Entry> entries;
    entries.reserve(d.items.size());
    for (std::uint32_t i = 0; i < d.items.size(); ++i) {
        const Item& item = d.items[i];
        if (item.primCount == 0 || item.bounds.empty()) continue;
        entries.emplace_back(toBBox(item.bounds), i);
        d.extents.add(item.bounds);
    }
    d.tree = bgi::rtree<Entry, bgi::rstar<16>>(entries.begin(), entries.end());
}

void Scene::update(const cad::DrawingData& drawing, const std::vector<cad::EntityId>& ids) {
    Data& d = *d_;
    if (d.itemOf.size() < drawing.entities.size()) d.itemOf.resize(drawing.entities.size(), kNone);
    std::vector<cad::EntityId> redo;
    bool shrunk = false;
    auto take = [&](cad::EntityId id) {
        if (id.v >= drawing.entities.size()) return;
        std::uint32_t idx = d.itemOf[id.v];
        if (idx == kNone) return;
        Item& item = d.items[idx];
        if (item.primCount > 0 && !item.bounds.empty()) {
            d.tree.remove(Entry(toBBox(item.bounds), idx));
            shrunk = true;
        }
        item.primCount = 0;
        item.bounds = cad::Box2{};
        redo.push_back(id);
    };
    // Entities new in model space take the next places in the drawing order.
    for (std::size_t i = d.modelSpaceSeen; i < drawing.modelSpace.size(); ++i) {
        cad::EntityId id = drawing.modelSpace[i];
        if (id.v >= drawing.entities.size() || d.itemOf[id.v] != kNone) continue;
        d.itemOf[id.v] = static_cast<std::uint32_t>(d.items.size());
        Item item;
        item.id = id;
        d.items.push_back(item);
        redo.push_back(id);
    }
    d.modelSpaceSeen = drawing.modelSpace.size();
    for (cad::EntityId id : ids) {
        if (id.v < d.itemOf.size() && d.itemOf[id.v] != kNone &&
            std::find(redo.begin(), redo.end(), id) == redo.end()) {
            take(id);
        }
    }
    d.record(drawing, redo);
    for (cad::EntityId id : redo) {
        std::uint32_t idx = d.itemOf[id.v];
        const Item& item = d.items[idx];
        if (item.primCount == 0 || item.bounds.empty()) continue;
        d.tree.insert(Entry(toBBox(item.bounds), idx));
        d.extents.add(item.bounds);
    }
    if (shrunk) {
        d.extents = cad::Box2{};
        for (const Item& item : d.items) {
            if (item.primCount > 0) d.extents.add(item.bounds);
        }
    }
}

std::size_t Scene::itemCount() const {
    return d_->items.size();
}

bool Scene::knows(cad::EntityId id) const {
    return id.v < d_->itemOf.size() && d_->itemOf[id.v] != kNone;
}

std::optional<std::uint32_t> Scene::itemOf(cad::EntityId id) const {
    if (!knows(id)) return std::nullopt;
    return d_->itemOf[id.v];
}

cad::EntityId Scene::entityOf(std::uint32_t item) const {
    return d_->items.at(item).id;
}

cad::Box2 Scene::boundsOf(std::uint32_t item) const {
    return d_->items.at(item).bounds;
}

cad::Box2 Scene::extents() const {
    return d_->extents;
}

std::vector<std::uint32_t> Scene::query(const cad::Box2& box) const {
    std::vector<std::uint32_t> out;
    if (box.empty()) return out;
    std::vector<Entry> found;
    d_->tree.query(bgi::intersects(toBBox(box)), std::back_inserter(found));
    out.reserve(found.size());
    for (const Entry& e : found) out.push_back(e.second);
    std::sort(out.begin(), out.end());
    return out;
}

double Scene::distance(std::uint32_t index, cad::Point3 pt) const {
    const Data& d = *d_;
    const Item& item = d.items.at(index);
    P2 p{pt.x, pt.y};
    double best = std::numeric_limits<double>::infinity();
    for (std::uint32_t k = 0; k < item.primCount; ++k) {
        const Prim& prim = d.prims[item.primFirst + k];
        switch (prim.kind) {
            case Kind::Strip:
            case Kind::Loop: {
                const P2* q = &d.points[prim.first];
                if (prim.count == 1) best = std::min(best, std::hypot(p.x - q->x, p.y - q->y));
                for (std::uint32_t i = 1; i < prim.count; ++i) {
                    best = std::min(best, segmentDistance(p, q[i - 1], q[i]));
                }
                if (prim.kind == Kind::Loop && prim.count > 2) {
                    best = std::min(best, segmentDistance(p, q[prim.count - 1], q[0]));
                }
                break;
            }
            case Kind::Arc: {
                const ArcRec& a = d.arcs[prim.first];
                double angle = std::atan2(p.y - a.cy, p.x - a.cx);
                if (angleOnArc(angle, a)) {
                    best = std::min(best, std::fabs(std::hypot(p.x - a.cx, p.y - a.cy) - a.r));
                }
                for (double t : {a.start, a.start + a.sweep}) {
                    best = std::min(best, std::hypot(p.x - (a.cx + a.r * std::cos(t)),
                                                     p.y - (a.cy + a.r * std::sin(t))));
                }
                break;
            }
            case Kind::Text: {
                const TextRec& t = d.texts[prim.first];
                if (insidePolygon(p, t.quad, 4)) return 0.0;
                for (int i = 0; i < 4; ++i) {
                    best = std::min(best, segmentDistance(p, t.quad[i], t.quad[(i + 1) % 4]));
                }
                break;
            }
            case Kind::Fill: {
                int crossings = 0;
                for (std::uint32_t l = 0; l < prim.count; ++l) {
                    const LoopRec& loop = d.loops[prim.first + l];
                    const P2* q = &d.points[loop.first];
                    if (insidePolygon(p, q, loop.count)) ++crossings;
                    for (std::uint32_t i = 0; i < loop.count; ++i) {
                        best = std::min(best, segmentDistance(p, q[i], q[(i + 1) % loop.count]));
                    }
                }
                if (crossings % 2 == 1) return 0.0;
                break;
            }
        }
    }
    return best;
}

bool Scene::inside(std::uint32_t index, const cad::Box2& box) const {
    const Item& item = d_->items.at(index);
    return item.primCount > 0 && !item.bounds.empty() && contains(box, item.bounds);
}

bool Scene::touches(std::uint32_t index, const cad::Box2& box) const {
    const Data& d = *d_;
    const Item& item = d.items.at(index);
    if (item.primCount == 0 || item.bounds.empty() || !item.bounds.intersects(box)) return false;
    if (contains(box, item.bounds)) return true;
    P2 corner{box.minX, box.minY};
    std::vector<P2> pts;
    for (std::uint32_t k = 0; k < item.primCount; ++k) {
        const Prim& prim = d.prims[item.primFirst + k];
        switch (prim.kind) {
            case Kind::Strip:
            case Kind::Loop: {
                const P2* q = &d.points[prim.first];
                if (prim.count == 1 && segmentTouches(q[0], q[0], box)) return true;
                for (std::uint32_t i = 1; i < prim.count; ++i) {
                    if (segmentTouches(q[i - 1], q[i], box)) return true;
                }
                if (prim.kind == Kind::Loop && prim.count > 2 &&
                    segmentTouches(q[prim.count - 1], q[0], box)) {
                    return true;
                }
                break;
            }
            case Kind::Arc: {
                const ArcRec& a = d.arcs[prim.first];
                arcPoints(a, std::max(16, static_cast<int>(std::fabs(a.sweep) * 32)), pts);
                for (std::size_t i = 1; i < pts.size(); ++i) {
                    if (segmentTouches(pts[i - 1], pts[i], box)) return true;
                }
                break;
            }
            case Kind::Text: {
                const TextRec& t = d.texts[prim.first];
                if (insidePolygon(corner, t.quad, 4)) return true;
                for (int i = 0; i < 4; ++i) {
                    if (segmentTouches(t.quad[i], t.quad[(i + 1) % 4], box)) return true;
                }
                break;
            }
            case Kind::Fill: {
                int in = 0;
                for (std::uint32_t l = 0; l < prim.count; ++l) {
                    const LoopRec& loop = d.loops[prim.first + l];
                    const P2* q = &d.points[loop.first];
                    if (insidePolygon(corner, q, loop.count)) ++in;
                    for (std::uint32_t i = 0; i < loop.count; ++i) {
                        if (segmentTouches(q[i], q[(i + 1) % loop.count], box)) return true;
                    }
                }
                if (in % 2 == 1) return true;
                break;
            }
        }
    }
    return false;
}

void Scene::render(QImage& image, const ScreenMap& map, const FrameOptions& options) const {
    const Data& d = *d_;
    image.fill(options.background);
    if (image.isNull() || d.items.empty()) return;
    const int w = image.width(), h = image.height();
    Raster raster(reinterpret_cast<std::uint32_t*>(image.bits()),
                  static_cast<int>(image.bytesPerLine() / 4), w, h);

    QRgb palette[256];
    for (int i = 0; i < 256; ++i) {
        cad::Rgb c = cad::aciToRgb(i == 0 ? 7 : i);
        palette[i] = i == 7 ? qRgb(255, 255, 255) : qRgb(c.r, c.g, c.b);
    }
    std::uint32_t palette32[256];
    for (int i = 0; i < 256; ++i) palette32[i] = 0xff000000u | palette[i];

    QPainter painter(&image);

    const double s = map.scale;
    const double ox = map.originX, oy = map.originY;
    auto sx = [&](double x) { return (x - ox) * s; };
    auto sy = [&](double y) { return (oy - y) * s; };
    auto argb = [&](const Prim& p) { return p.trueColor ? p.trueColor : palette32[p.color]; };
    auto penWidth = [&](const Prim& p) {
        if (!options.lineweights) return 1.0;
        return std::max(1.0, p.lineweight / 100.0 * options.pixelsPerMm);
    };
    std::vector<P2> scratch;
    QPolygonF poly;

    // A run of screen points as thin lines into the raster or wide ones through the painter.
    auto strokeScreen = [&](const P2* pts, std::size_t n, bool closed, const Prim& p) {
        double pw = penWidth(p);
        if (pw < 1.5) {
            std::uint32_t c = argb(p);
            if (n == 1) raster.pixel(pts[0].x, pts[0].y, c);
            for (std::size_t i = 1; i < n; ++i)
                raster.line(pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y, c);
            if (closed && n > 2) raster.line(pts[n - 1].x, pts[n - 1].y, pts[0].x, pts[0].y, c);
            return;
        }
        poly.clear();
        for (std::size_t i = 0; i < n; ++i) poly << QPointF(pts[i].x, pts[i].y);
        painter.setPen(
            QPen(QColor::fromRgb(argb(p)), pw, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        if (closed) {
            painter.drawPolygon(poly);
        } else {
            painter.drawPolyline(poly);
        }
    };

    auto drawItem = [&](const Item& item) {
        const cad::Box2& b = item.bounds;
        double iw = (b.maxX - b.minX) * s, ih = (b.maxY - b.minY) * s;
        if (iw < 1.0 && ih < 1.0) {
            // Smaller than a pixel: a pixel.
            const Prim& p = d.prims[item.primFirst];
            raster.pixel(sx((b.minX + b.maxX) / 2), sy((b.minY + b.maxY) / 2), argb(p));
            return;
        }
        for (std::uint32_t k = 0; k < item.primCount; ++k) {
            const Prim& p = d.prims[item.primFirst + k];
            switch (p.kind) {
                case Kind::Strip:
                case Kind::Loop: {
                    scratch.resize(p.count);
                    const P2* q = &d.points[p.first];
                    for (std::uint32_t i = 0; i < p.count; ++i)
                        scratch[i] = {sx(q[i].x), sy(q[i].y)};
                    strokeScreen(scratch.data(), p.count, p.kind == Kind::Loop, p);
                    break;
                }
                case Kind::Arc: {
                    const ArcRec& a = d.arcs[p.first];
                    double rp = a.r * s;
                    if (rp < 0.5) {
                        raster.pixel(sx(a.cx), sy(a.cy), argb(p));
                        break;
                    }
                    int n = arcSegments(rp, a.sweep);
                    scratch.resize(static_cast<std::size_t>(n) + 1);
                    double cx = sx(a.cx), cy = sy(a.cy);
                    // Turning a vector step by step saves a sine and cosine a point.
                    double ux = rp * std::cos(a.start), uy = rp * std::sin(a.start);
                    double step = a.sweep / n, cs = std::cos(step), sn = std::sin(step);
                    for (int i = 0; i <= n; ++i) {
                        scratch[static_cast<std::size_t>(i)] = {cx + ux, cy - uy};
                        double nx = ux * cs - uy * sn;
                        uy = ux * sn + uy * cs;
                        ux = nx;
                    }
                    strokeScreen(scratch.data(), scratch.size(), false, p);
                    break;
                }
                case Kind::Text: {
                    const TextRec& t = d.texts[p.first];
                    double hp = t.height * s;
                    if (hp < 1.5) break;  // too small to tell from noise
                    if (hp < 5.0) {
                        // A few pixels high: the box the text fills.
                        P2 quad[4];
                        for (int i = 0; i < 4; ++i) quad[i] = {sx(t.quad[i].x), sy(t.quad[i].y)};
                        Prim thin = p;
                        thin.lineweight = 0;
                        strokeScreen(quad, 4, true, thin);
                        break;
                    }
                    // Font units to the screen: along the baseline, up the
                    // capitals, slanted by the oblique angle.
                    QPointF a(sx(t.quad[0].x), sy(t.quad[0].y));
                    QPointF ex = (QPointF(sx(t.quad[1].x), sy(t.quad[1].y)) - a) / t.advance;
                    QPointF ey = (QPointF(sx(t.quad[3].x), sy(t.quad[3].y)) - a) / d.cap;
                    QTransform toScreen(ex.x(), ex.y(), -ex.x() * t.slant - ey.x(),
                                        -ex.y() * t.slant - ey.y(), a.x(), a.y());
                    QColor colour = QColor::fromRgb(argb(p));
                    painter.setPen(Qt::NoPen);
                    for (std::size_t g = 0; g < t.glyphs.size(); ++g) {
                        painter.setTransform(QTransform::fromTranslate(t.x[g], 0) * toScreen);
                        painter.fillPath(d.glyphPath(t.glyphs[g]), colour);
                    }
                    painter.resetTransform();
                    break;
                }
                case Kind::Fill: {
                    QPainterPath path;
                    path.setFillRule(Qt::OddEvenFill);
                    for (std::uint32_t l = 0; l < p.count; ++l) {
                        const LoopRec& loop = d.loops[p.first + l];
                        QPolygonF lp;
                        for (std::uint32_t i = 0; i < loop.count; ++i) {
                            const P2& q = d.points[loop.first + i];
                            lp << QPointF(sx(q.x), sy(q.y));
                        }
                        path.addPolygon(lp);
                        path.closeSubpath();
                    }
                    painter.fillPath(path, QColor::fromRgb(argb(p)));
                    break;
                }
            }
        }
    };

    cad::Box2 view = map.worldRect(w, h);
    double viewArea = (view.maxX - view.minX) * (view.maxY - view.minY);
    double allArea = d.extents.empty()
                         ? 0.0
                         : (d.extents.maxX - d.extents.minX) * (d.extents.maxY - d.extents.minY);
    if (allArea > 0 && viewArea * 4 >= allArea) {
        // Most of the drawing is in view: one pass in drawing order beats
        // sorting what the index finds.
        for (const Item& item : d.items) {
            if (item.primCount == 0 || !item.bounds.intersects(view)) continue;
            drawItem(item);
        }
    } else {
        for (std::uint32_t i : query(view)) drawItem(d.items[i]);
    }
}

void Scene::Data::drawPrims(const Item& item, QPainter& painter, const ScreenMap& map,
                            const QPen& pen) const {
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    QPolygonF poly;
    std::vector<P2> pts;
    for (std::uint32_t k = 0; k < item.primCount; ++k) {
        const Prim& p = prims[item.primFirst + k];
        poly.clear();
        switch (p.kind) {
            case Kind::Strip:
            case Kind::Loop:
                for (std::uint32_t i = 0; i < p.count; ++i) {
                    poly << map.toScreen(points[p.first + i].x, points[p.first + i].y);
                }
                if (p.kind == Kind::Loop) {
                    painter.drawPolygon(poly);
                } else if (poly.size() == 1) {
                    painter.drawPoint(poly.front());
                } else {
                    painter.drawPolyline(poly);
                }
                break;
            case Kind::Arc: {
                const ArcRec& a = arcs[p.first];
                arcPoints(a, arcSegments(a.r * map.scale, a.sweep), pts);
                for (const P2& q : pts) poly << map.toScreen(q.x, q.y);
                painter.drawPolyline(poly);
                break;
            }
            case Kind::Text:
                for (const P2& q : texts[p.first].quad) poly << map.toScreen(q.x, q.y);
                painter.drawPolygon(poly);
                break;
            case Kind::Fill:
                for (std::uint32_t l = 0; l < p.count; ++l) {
                    const LoopRec& loop = loops[p.first + l];
                    poly.clear();
                    for (std::uint32_t i = 0; i < loop.count; ++i) {
                        poly << map.toScreen(points[loop.first + i].x, points[loop.first + i].y);
                    }
                    painter.drawPolygon(poly);
                }
                break;
        }
    }
}

void Scene::outline(QPainter& painter, const ScreenMap& map,
                    const std::vector<std::uint32_t>& items, const QPen& pen) const {
    cad::Box2 view = map.worldRect(painter.device()->width(), painter.device()->height());
    for (std::uint32_t i : items) {
        if (i >= d_->items.size()) continue;
        const Item& item = d_->items[i];
        if (item.primCount == 0 || !item.bounds.intersects(view)) continue;
        d_->drawPrims(item, painter, map, pen);
    }
}

}  // namespace render
