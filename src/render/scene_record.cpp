// Building the scene: the engine's walk drawn into a recorder that files
// primitives under their model-space entity.
#include "render/scene.hpp"

#include <QFont>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "cad/geometry.hpp"
#include "render/text_layout.hpp"

#include "render/scene_data.hpp"

namespace render {

using namespace scene_detail;

namespace {

bool flattensCurves(const cad::Entity& e) {
    if (auto* p = cad::geomIf<cad::PolylineGeom>(e.geom)) {
        return std::any_of(p->vertices.begin(), p->vertices.end(),
                           [](const cad::PolyVertex& v) { return v.bulge != 0; });
    }
    return cad::holdsGeom<cad::EllipseGeom>(e.geom) || cad::holdsGeom<cad::SplineGeom>(e.geom) ||
           cad::holdsGeom<cad::InsertGeom>(e.geom) || cad::holdsGeom<cad::DimensionGeom>(e.geom) ||
           cad::holdsGeom<cad::HatchGeom>(e.geom);
}

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
        d_.addLighterForms(p);
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
        double advance = 0.0;
        for (const QPointF& a : advances) advance += a.x();
        if (!(advance > 0) || glyphs.size() != advances.size()) return;
        double k = t.height / cap_;  // world units per font unit
        double wf = t.widthFactor > 0 ? t.widthFactor : 1.0;
        double angle = t.rotation;
        const TextPlacement place = placeText(t, advance, k, wf, [&] {
            return std::pair{t.second.x - t.position.x, t.second.y - t.position.y};
        });
        k = place.k;
        wf = place.wf;
        if (place.turned) angle = place.angle;
        const double x0 = place.x0;
        const cad::VAlign v = place.v;
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
            static_cast<std::uint32_t>(d_.glyphs.size()),
            static_cast<std::uint32_t>(glyphs.size())};
        double x = 0.0;
        for (qsizetype g = 0; g < glyphs.size(); ++g) {
            d_.glyphs.push_back(glyphs[g]);
            d_.glyphX.push_back(static_cast<float>(x));
            x += advances[g].x();
        }
        for (const P2& q : rec.quad) bounds_->add(q.x, q.y);
        // Slanted letters lean out of the box: tops ahead, descenders behind.
        const double lean = rec.slant;
        for (const P2& q :
             {at(x0 + cap_ * lean, yb + cap_), at(x0 + advance + cap_ * lean, yb + cap_),
              at(x0 - descent * lean, yb - descent),
              at(x0 + advance - descent * lean, yb - descent)}) {
            bounds_->add(q.x, q.y);
        }
        d_.texts.push_back(rec);
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
    // Arcs are drawn at the scale they are seen, from five numbers each.
    bool keepsArcs() const override { return true; }

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
            static_cast<std::uint8_t>(std::clamp(std::lround(s.lineweightMm * 100.0), 0L, 211L));
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

namespace {

// Douglas–Peucker: marks the points that keep the run within tol of itself.
void thin(const P2* q, std::uint32_t n, double tol, std::vector<std::uint8_t>& keep,
          std::vector<std::pair<std::uint32_t, std::uint32_t>>& spans) {
    keep.assign(n, 0);
    keep[0] = keep[n - 1] = 1;
    spans.assign(1, {0, n - 1});
    const double tol2 = tol * tol;
    while (!spans.empty()) {
        auto [a, b] = spans.back();
        spans.pop_back();
        double worst = -1.0;
        std::uint32_t at = a;
        for (std::uint32_t i = a + 1; i < b; ++i) {
            double e = segmentDistance2(q[i], q[a], q[b]);
            if (e > worst) {
                worst = e;
                at = i;
            }
        }
        if (worst <= tol2) continue;
        keep[at] = 1;
        spans.push_back({a, at});
        spans.push_back({at, b});
    }
}

}  // namespace

void Scene::Data::addLighterForms(Prim& prim) {
    prim.lodCount = 0;
    // Short runs cost less to draw than to choose a form for.
    constexpr std::uint32_t kWorthThinning = 8;
    if (prim.count < kWorthThinning) return;
    cad::Box2 box;
    for (std::uint32_t i = 0; i < prim.count; ++i) {
        box.add(points[prim.first + i].x, points[prim.first + i].y);
    }
    const double size = std::hypot(box.maxX - box.minX, box.maxY - box.minY);
    if (!(size > 0) || !std::isfinite(size)) return;
    static thread_local std::vector<std::uint8_t> keep;
    static thread_local std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
    // Each form four times coarser, thinned from the one before: it serves an
    // entity a quarter the size on the screen. Its stray from the full form is
    // at most the sum of the steps.
    std::uint32_t from = prim.first, count = prim.count;
    double stray = 0.0;
    for (double tol = size / 1024; tol <= size / 16 * 1.001; tol *= 4) {
        thin(&points[from], count, tol, keep, spans);
        auto kept = static_cast<std::uint32_t>(std::count(keep.begin(), keep.end(), 1));
        if (kept * 4 > count * 3) continue;  // not light enough to be worth its memory
        stray += tol;
        LodRec rec{prim.first, static_cast<std::uint32_t>(points.size()), kept, stray};
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!keep[i]) continue;
            const P2 q = points[from + i];
            points.push_back(q);
        }
        lods.push_back(rec);
        ++prim.lodCount;
        from = rec.first;
        count = kept;
    }
}

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

}  // namespace render
