// One frame of the scene, and outlines over it.
#include "render/scene.hpp"

#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <system_error>
#include <thread>

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

// fn(0) … fn(count − 1) at once, each but the first on a thread of its own;
// one no thread can be started for runs on the calling thread.
template <class Fn>
void inParallel(int count, Fn fn) {
    std::vector<std::thread> helpers;
    std::vector<int> here{0};
    for (int i = 1; i < count; ++i) {
        try {
            helpers.emplace_back(fn, i);
        } catch (const std::system_error&) {
            here.push_back(i);
        }
    }
    for (int i : here) fn(i);
    for (std::thread& t : helpers) t.join();
}

}  // namespace

void Scene::render(QImage& image, const ScreenMap& map, const FrameOptions& options) const {
    const Data& d = *d_;
    image.fill(options.background);
    if (image.isNull() || d.items.empty()) return;
    const int w = image.width(), h = image.height();
    // Past a few threads the frame waits on memory, and every layer beyond
    // the first costs a pass over the image.
    int threads = options.threads > 0
                      ? options.threads
                      : std::min(4, static_cast<int>(std::thread::hardware_concurrency()));
    threads = std::clamp(threads, 1, 8);
    while (d.bandCaches.size() < static_cast<std::size_t>(threads)) {
        d.bandCaches.push_back(std::make_unique<Data::BandCache>());
    }
    for (auto& cache : d.bandCaches) cache->masks.trim();

    cad::Box2 view = map.worldRect(w, h);
    double viewArea = (view.maxX - view.minX) * (view.maxY - view.minY);
    double allArea = d.extents.empty()
                         ? 0.0
                         : (d.extents.maxX - d.extents.minX) * (d.extents.maxY - d.extents.minY);
    // Most of the drawing in view: one pass in drawing order beats sorting
    // what the index finds.
    std::vector<std::uint32_t> found;
    const bool walkAll = allArea > 0 && viewArea * 4 >= allArea;
    if (!walkAll) found = query(view);

    std::uint32_t* bits = reinterpret_cast<std::uint32_t*>(image.bits());
    const qsizetype bytesPerLine = image.bytesPerLine();
    const std::size_t n = d.items.size();
    auto run = [&](int count, auto part) {
        std::vector<char> done(static_cast<std::size_t>(count), 1);
        inParallel(count, [&](int i) {
            done[static_cast<std::size_t>(i)] = d.renderPart(
                part(i), image, map, options, *d.bandCaches[static_cast<std::size_t>(i)]);
        });
        return done;
    };

    if (!walkAll) {
        // Few items, spread over the frame: horizontal bands, each drawing
        // the items that reach its rows. Bands of fewer rows than this cost
        // more in walking the items than they save.
        constexpr int kLeastRows = 64;
        const int bands = std::clamp(threads, 1, std::max(1, h / kLeastRows));
        run(bands, [&](int i) {
            return Data::Part{bits,          bytesPerLine,        &found, 0, 0,
                              h * i / bands, h * (i + 1) / bands, false};
        });
        return;
    }
    // Much of a large drawing: every band would read all of it from memory.
    // Each thread draws a stretch of the drawing order instead, the first
    // into the image, the others into layers of their own laid over it in
    // order; a stretch that would blend with what lies under it is drawn
    // again over the image when those before it are down.
    const int parts = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(threads), n));
    if (d.layers.size() < static_cast<std::size_t>(parts)) {
        d.layers.resize(static_cast<std::size_t>(parts));
    }
    const std::size_t pixels = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    auto stretch = [&](int i, std::uint32_t* to, qsizetype stride, bool solidOnly) {
        return Data::Part{to,
                          stride,
                          nullptr,
                          n * static_cast<std::size_t>(i) / static_cast<std::size_t>(parts),
                          n * static_cast<std::size_t>(i + 1) / static_cast<std::size_t>(parts),
                          0,
                          h,
                          solidOnly};
    };
    const std::vector<char> done = run(parts, [&](int i) {
        if (i == 0) return stretch(0, bits, bytesPerLine, false);
        // Empty pixels are transparent: every colour drawn is opaque.
        auto& layer = d.layers[static_cast<std::size_t>(i)];
        layer.assign(pixels, 0u);
        return stretch(i, layer.data(), static_cast<qsizetype>(w) * 4, true);
    });
    // Layer i over rows [y0, y1) of the image.
    auto lay = [&](int i, int y0, int y1) {
        const std::uint32_t* layer = d.layers[static_cast<std::size_t>(i)].data();
        for (int y = y0; y < y1; ++y) {
            auto* row =
                reinterpret_cast<std::uint32_t*>(reinterpret_cast<uchar*>(bits) + y * bytesPerLine);
            const std::uint32_t* over =
                layer + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
            for (int x = 0; x < w; ++x) row[x] = over[x] >> 24 ? over[x] : row[x];
        }
    };
    if (std::all_of(done.begin(), done.end(), [](char ok) { return ok != 0; })) {
        // Every layer is whole: the threads lay them all, each over its own rows.
        inParallel(parts, [&](int k) {
            for (int i = 1; i < parts; ++i) lay(i, h * k / parts, h * (k + 1) / parts);
        });
        return;
    }
    for (int i = 1; i < parts; ++i) {
        if (done[static_cast<std::size_t>(i)]) {
            lay(i, 0, h);
        } else {
            d.renderPart(stretch(i, bits, bytesPerLine, false), image, map, options,
                         *d.bandCaches[0]);
        }
    }
}

bool Scene::Data::renderPart(const Part& part, const QImage& image, const ScreenMap& map,
                             const FrameOptions& options, BandCache& cache) const {
    std::uint32_t* const bits = part.bits;
    const qsizetype bytesPerLine = part.bytesPerLine;
    const int top = part.top, bottom = part.bottom;
    const std::vector<std::uint32_t>* visible = part.visible;
    bool blocked = false;  // a solid-only part came to something it would blend
    const Data& d = *this;
    const int w = image.width(), h = image.height();
    Raster raster(bits, static_cast<int>(bytesPerLine / 4), w, h);
    raster.setRows(top, bottom);

    const std::array<std::uint32_t, 256>& palette = screenPalette();

    // Wide lines, fills and outsize letters go through a painter of the
    // band's own over the same memory, kept to the band's rows.
    std::optional<QImage> canvas;
    std::optional<QPainter> painterHolder;
    auto painter = [&]() -> QPainter& {
        if (!painterHolder) {
            canvas.emplace(reinterpret_cast<uchar*>(bits), w, h, bytesPerLine, image.format());
            painterHolder.emplace(&*canvas);
            painterHolder->setClipRect(QRect(0, top, w, bottom - top));
        }
        return *painterHolder;
    };

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
        QPainter& pt = painter();
        pt.setPen(QPen(QColor::fromRgb(argb(p)), pw, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        pt.setBrush(Qt::NoBrush);
        if (closed) {
            pt.drawPolygon(poly);
        } else {
            pt.drawPolyline(poly);
        }
    };

    auto drawText = [&](const Prim& p, const TextRec& t) {
        // Font units to the screen: along the baseline, up the capitals,
        // slanted by the oblique angle.
        QPointF a(sx(t.quad[0].x), sy(t.quad[0].y));
        QPointF ex = (QPointF(sx(t.quad[1].x), sy(t.quad[1].y)) - a) / t.advance;
        QPointF ey = (QPointF(sx(t.quad[3].x), sy(t.quad[3].y)) - a) / d.cap;
        const double m11 = ex.x(), m12 = ex.y();
        const double m21 = -ex.x() * t.slant - ey.x(), m22 = -ex.y() * t.slant - ey.y();
        const std::uint32_t c = argb(p);
        // Small letters' stems are thinner than a pixel and would vanish
        // without antialiasing; large ones do without it.
        const bool smooth = t.height * s < kSmoothTextPixels;
        if (smooth && part.solidOnly) {
            blocked = true;
            return;
        }
        const GlyphMasks::Shape shape = GlyphMasks::shape(m11, m12, m21, m22, smooth);
        // No glyph reaches further from its origin than this.
        const double reach =
            2.0 * kFontPixels * (std::fabs(m11) + std::fabs(m12) + std::fabs(m21) + std::fabs(m22));
        auto pathOf = [&](quint32 glyph) -> const QPainterPath& { return glyphPath(cache, glyph); };
        const quint32* glyphs = d.glyphs.data() + t.glyphFirst;
        const float* gxs = d.glyphX.data() + t.glyphFirst;
        for (std::size_t g = 0; g < t.glyphCount; ++g) {
            cache.masks.prefetch(glyphs[g], shape, a.x() + m11 * gxs[g], a.y() + m12 * gxs[g]);
        }
        for (std::size_t g = 0; g < t.glyphCount; ++g) {
            const double gx = a.x() + m11 * gxs[g], gy = a.y() + m12 * gxs[g];
            if (gy + reach < top || gy - reach > bottom || gx + reach < 0 || gx - reach > w)
                continue;
            if (cache.masks.draw(raster, glyphs[g], shape, gx, gy, c, pathOf)) continue;
            QPainter& pt = painter();
            pt.setPen(Qt::NoPen);
            pt.setRenderHint(QPainter::Antialiasing, smooth);
            pt.setTransform(QTransform(m11, m12, m21, m22, gx, gy));
            pt.fillPath(pathOf(glyphs[g]), QColor::fromRgb(c));
            pt.setRenderHint(QPainter::Antialiasing, false);
            pt.resetTransform();
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
                    const LodRec* lods = d.lodsOf(p);
                    for (std::uint32_t l = p.lodCount; l-- > 0;) {
                        const LodRec& lod = lods[l];
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
                    drawText(p, t);
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
                    painter().fillPath(path, QColor::fromRgb(argb(p)));
                    break;
                }
            }
        }
    };

    // What the band shows, with room for wide lines and letters that stand
    // out of their entity's bounds a little.
    const double margin =
        (16.0 + (options.lineweights ? 2.11 * options.pixelsPerMm : 0.0)) / std::max(s, 1e-300);
    cad::Box2 view = map.worldRect(w, h);
    cad::Box2 reach;
    reach.add(view.minX, oy - bottom / s - margin);
    reach.add(view.maxX, oy - top / s + margin);
    const bool whole = top == 0 && bottom == h;
    auto wanted = [&](const Item& item) { return whole || item.bounds.intersects(reach); };
    if (visible) {
        // The items found are scattered over the drawing's memory: each is
        // asked for a few items ahead, its first primitive and that one's
        // points or text nearer, so that they are there when drawn.
        const std::uint32_t* v = visible->data();
        const std::size_t n = visible->size();
        for (std::size_t k = 0; k < n; ++k) {
            if (k + 8 < n) __builtin_prefetch(&d.items[v[k + 8]]);
            if (k + 4 < n) {
                const Item& ahead = d.items[v[k + 4]];
                if (ahead.primCount > 0) __builtin_prefetch(&d.prims[ahead.primFirst]);
            }
            if (k + 2 < n) {
                const Item& ahead = d.items[v[k + 2]];
                if (ahead.primCount > 0) {
                    const Prim& p = d.prims[ahead.primFirst];
                    if (p.kind == Kind::Strip || p.kind == Kind::Loop) {
                        __builtin_prefetch(&d.points[p.first]);
                    } else if (p.kind == Kind::Text) {
                        __builtin_prefetch(&d.texts[p.first]);
                    } else if (p.kind == Kind::Arc) {
                        __builtin_prefetch(&d.arcs[p.first]);
                    }
                }
            }
            const Item& item = d.items[v[k]];
            if (wanted(item)) drawItem(item);
        }
    } else {
        for (std::size_t i = part.from; i < part.to && !blocked; ++i) {
            const Item& item = d.items[i];
            if (item.primCount == 0 || !item.bounds.intersects(view) || !wanted(item)) continue;
            drawItem(item);
        }
    }
    return !blocked;
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
