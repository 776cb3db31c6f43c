// One frame of the scene, and outlines over it.
#include "render/scene.hpp"

#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <algorithm>
#include <array>
#include <cmath>

#include "render/raster.hpp"

#include "render/scene_data.hpp"

namespace render {

using namespace scene_detail;

namespace {

// Opaque screen colours by colour index, made once: colour 7 (and 0, which a
// primitive never keeps) is white.
const std::array<std::uint32_t, 256>& screenPalette() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            cad::Rgb c = cad::aciToRgb(i == 0 ? 7 : i);
            t[static_cast<std::size_t>(i)] =
                0xff000000u | (i == 7 ? qRgb(255, 255, 255) : qRgb(c.r, c.g, c.b));
        }
        return t;
    }();
    return table;
}

}  // namespace

void Scene::render(QImage& image, const ScreenMap& map, const FrameOptions& options) const {
    const Data& d = *d_;
    image.fill(options.background);
    if (image.isNull() || d.items.empty()) return;
    const int w = image.width(), h = image.height();
    Raster raster(reinterpret_cast<std::uint32_t*>(image.bits()),
                  static_cast<int>(image.bytesPerLine() / 4), w, h);

    const std::array<std::uint32_t, 256>& palette = screenPalette();

    QPainter painter(&image);

    const double s = map.scale;
    const double ox = map.originX, oy = map.originY;
    auto sx = [&](double x) { return (x - ox) * s; };
    auto sy = [&](double y) { return (oy - y) * s; };
    auto argb = [&](const Prim& p) { return p.trueColor ? p.trueColor : palette[p.color]; };
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
        for (const Prim& p : d.primsOf(item)) {
            switch (p.kind) {
                case Kind::Strip:
                case Kind::Loop: {
                    const P2* q = &d.points[p.first];
                    std::uint32_t n = p.count;
                    // The lightest form that stays true to a fraction of a pixel.
                    for (std::uint32_t l = p.lodCount; l-- > 0;) {
                        const LodRec& lod = d.lods[p.lodFirst + l];
                        if (lod.tolerance * s <= kLodPixels) {
                            q = &d.points[lod.first];
                            n = lod.count;
                            break;
                        }
                    }
                    scratch.resize(n);
                    for (std::uint32_t i = 0; i < n; ++i) scratch[i] = {sx(q[i].x), sy(q[i].y)};
                    strokeScreen(scratch.data(), n, p.kind == Kind::Loop, p);
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
                    // Small letters' stems are thinner than a pixel and would
                    // vanish without antialiasing; large ones do without it.
                    painter.setRenderHint(QPainter::Antialiasing, hp < kSmoothTextPixels);
                    for (std::size_t g = 0; g < t.glyphs.size(); ++g) {
                        painter.setTransform(QTransform::fromTranslate(t.x[g], 0) * toScreen);
                        painter.fillPath(d.glyphPath(t.glyphs[g]), colour);
                    }
                    painter.setRenderHint(QPainter::Antialiasing, false);
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
