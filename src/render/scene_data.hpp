// The scene's own records, shared by the files that build, draw and hit-test
// it: primitives in world coordinates filed by model-space entity, and the
// R-tree over the entities' bounds.
#pragma once

#include <QPainterPath>
#include <QRawFont>
#include <algorithm>
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/box.hpp>
#include <boost/geometry/geometries/point.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <numbers>
#include <span>
#include <unordered_map>
#include <vector>

#include "render/flat_array.hpp"
#include "render/glyph_masks.hpp"
#include "render/scene.hpp"

namespace render {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

namespace scene_detail {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr double kTwoPi = 2 * std::numbers::pi;
// Same face and layout size as QPainterCanvas, so that boxes stand where the
// glyphs will.
constexpr int kFontPixels = 1000;
constexpr double kSmoothTextPixels = 16.0;  // capital height below which letters are smoothed

enum class Kind : std::uint8_t { Strip, Loop, Arc, Text, Fill };

struct P2 {
    double x, y;
};

struct Prim {
    Kind kind;
    std::uint8_t color;       // colour index 1..255
    std::uint8_t lineweight;  // hundredths of a millimetre, up to 211
    std::uint8_t lodCount;    // a strip's or loop's lighter forms (Data::lodsOf)
    std::uint32_t first;      // into points, arcs, texts or loops by kind
    std::uint32_t count;      // points of a strip, loops of a fill
    std::uint32_t trueColor;  // 0xffRRGGBB, or 0 when the index stands
};
static_assert(sizeof(Prim) == 16, "a million and a half of them on a large plan");

// A lighter form of a long strip or loop for when it is small on the screen:
// its points thinned so that none strays from the full form by more than
// tolerance (world units). The forms of a strip follow each other, found by
// the strip's first point: few strips have them, so the strip keeps no
// number of its own for them.
struct LodRec {
    std::uint32_t of;            // the full form's first point
    std::uint32_t first, count;  // into points
    double tolerance;
};
constexpr double kLodPixels = 0.35;  // how far a lighter form may stray on the screen

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
    std::uint32_t glyphFirst, glyphCount;  // into glyphs and glyphX
};

struct LoopRec {
    std::uint32_t first, count;  // into points
};

// Which part of the index holds an item.
enum class Indexed : std::uint8_t { No, Packed, Tree };

struct Item {
    cad::Box2 bounds;
    std::uint32_t primFirst = 0;
    std::uint32_t primCount = 0;
    cad::EntityId id;
    Indexed indexed = Indexed::No;  // in the padding: costs nothing
};

using BPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using BBox = bg::model::box<BPoint>;
// The items drawn when the scene was built, packed once into a static
// R-tree: item numbers in the order of a Hilbert curve through their
// centres, kFanout to a leaf, and above the leaves one box per kFanout
// boxes of the level below, up to one. No node keeps a list of children: a
// node's children are the kFanout that follow from kFanout times its
// number. About six bytes an item, where Boost's nodes (of one size for
// leaves and branches) cost 48. An item taken out is only marked
// (Item::indexed); the boxes above it stay, larger than they need be, which
// costs a query a look but never an item.
struct PackedIndex {
    static constexpr std::uint32_t kFanout = 16;
    FlatArray<std::uint32_t> order;
    std::vector<FlatArray<cad::Box2>> levels;  // [0]: one box a leaf

    // entries: the items to pack (non-empty bounds), in any order.
    void build(FlatArray<Item>& items, FlatArray<std::uint32_t> entries);
    // Calls take(i) for each packed item still in it whose bounds meet box.
    template <class Take>
    void query(const cad::Box2& box, const FlatArray<Item>& items, Take take) const;
};

template <class Take>
void PackedIndex::query(const cad::Box2& box, const FlatArray<Item>& items, Take take) const {
    if (levels.empty()) return;
    struct Node {
        std::uint32_t level, index;
    };
    // At most kFanout waiting at each level, and no more than 2³² items
    // make nine levels.
    Node stack[kFanout * 16];
    int top = 0;
    const auto root = static_cast<std::uint32_t>(levels.size() - 1);
    for (std::uint32_t j = 0; j < levels[root].size(); ++j) stack[top++] = {root, j};
    while (top > 0) {
        const Node node = stack[--top];
        if (!levels[node.level][node.index].intersects(box)) continue;
        const std::size_t from = std::size_t{node.index} * kFanout;
        if (node.level == 0) {
            const std::size_t to = std::min(order.size(), from + kFanout);
            for (std::size_t k = from; k < to; ++k) {
                const std::uint32_t i = order[k];
                const Item& item = items[i];
                if (item.indexed == Indexed::Packed && item.bounds.intersects(box)) take(i);
            }
            continue;
        }
        const std::size_t to = std::min(levels[node.level - 1].size(), from + kFanout);
        for (std::size_t k = to; k-- > from;) {
            stack[top++] = {node.level - 1, static_cast<std::uint32_t>(k)};
        }
    }
}

// Items drawn after the scene was built (edits) go into a Boost R-tree of
// item numbers; their boxes are the items' own bounds, read where the tree
// needs them. An item's bounds do not change while it is in either part of
// the index: it is taken out first.
struct ItemBox {
    using result_type = BBox;
    const FlatArray<Item>* items = nullptr;
    BBox operator()(std::uint32_t i) const;
};
using Tree = bgi::rtree<std::uint32_t, bgi::rstar<16>, ItemBox>;

inline BBox toBBox(const cad::Box2& b) {
    return BBox(BPoint(b.minX, b.minY), BPoint(b.maxX, b.maxY));
}

inline BBox ItemBox::operator()(std::uint32_t i) const {
    return toBBox((*items)[i].bounds);
}

inline bool contains(const cad::Box2& outer, const cad::Box2& inner) {
    return inner.minX >= outer.minX && inner.maxX <= outer.maxX && inner.minY >= outer.minY &&
           inner.maxY <= outer.maxY;
}

inline double normalAngle(double a) {
    a = std::fmod(a, kTwoPi);
    return a < 0 ? a + kTwoPi : a;
}

inline bool angleOnArc(double angle, const ArcRec& a) {
    if (std::fabs(a.sweep) >= kTwoPi) return true;
    double from = a.sweep >= 0 ? a.start : a.start + a.sweep;
    return normalAngle(angle - from) <= std::fabs(a.sweep);
}

// Points along an arc, at least `segments` pieces.
inline void arcPoints(const ArcRec& a, int segments, std::vector<P2>& out) {
    out.clear();
    for (int i = 0; i <= segments; ++i) {
        double t = a.start + a.sweep * i / segments;
        out.push_back({a.cx + a.r * std::cos(t), a.cy + a.r * std::sin(t)});
    }
}

// Enough pieces for an arc of rp pixels radius to stray under a third of a pixel.
inline int arcSegments(double rp, double sweep) {
    if (!(rp > 0.34)) return 1;
    double step = 2.0 * std::acos(std::max(-1.0, 1.0 - 0.34 / rp));
    return std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / std::max(step, 1e-4))), 2,
                      1440);
}

// Squared distance from p to the segment ab.
inline double segmentDistance2(P2 p, P2 a, P2 b) {
    double dx = b.x - a.x, dy = b.y - a.y;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    double ex = p.x - (a.x + t * dx), ey = p.y - (a.y + t * dy);
    return ex * ex + ey * ey;
}

}  // namespace scene_detail

struct Scene::Data {
    using Item = scene_detail::Item;
    using Prim = scene_detail::Prim;
    using P2 = scene_detail::P2;
    using ArcRec = scene_detail::ArcRec;
    using TextRec = scene_detail::TextRec;
    using LoopRec = scene_detail::LoopRec;
    using LodRec = scene_detail::LodRec;

    FlatArray<Item> items;
    FlatArray<std::uint32_t> itemOf;  // by EntityId::v
    FlatArray<Prim> prims;
    FlatArray<P2> points;
    FlatArray<ArcRec> arcs;
    FlatArray<TextRec> texts;
    FlatArray<quint32> glyphs;  // of every text, in turn
    FlatArray<float> glyphX;    // where each glyph starts, font units
    FlatArray<LoopRec> loops;
    FlatArray<LodRec> lods;
    scene_detail::PackedIndex packed;
    scene_detail::Tree tree{bgi::rstar<16>{}, scene_detail::ItemBox{&items}};
    cad::Box2 extents;
    QRawFont font;
    double cap = 1.0;  // capital height of font
    // What each band of a frame keeps from frame to frame for its own thread:
    // glyph outlines (a path is not to be shared between threads that paint
    // it) and glyph masks.
    struct BandCache {
        std::unordered_map<quint32, QPainterPath> paths;
        GlyphMasks masks;
    };
    mutable std::vector<std::unique_ptr<BandCache>> bandCaches;
    mutable std::mutex fontMutex;  // the font's outlines are read one thread at a time

    const QPainterPath& glyphPath(BandCache& cache, quint32 glyph) const {
        auto it = cache.paths.find(glyph);
        if (it == cache.paths.end()) {
            std::lock_guard lock(fontMutex);
            it = cache.paths.emplace(glyph, font.pathForGlyph(glyph)).first;
        }
        return it->second;
    }
    std::size_t modelSpaceSeen = 0;

    // Entities new in model space since it was last seen take the next places
    // in the drawing order; their ids join ids.
    void adoptNew(const cad::DrawingData& drawing, std::vector<cad::EntityId>& ids);
    std::span<const Prim> primsOf(const Item& item) const {
        return {prims.data() + item.primFirst, item.primCount};
    }
    // A strip's or loop's lighter forms, finest first (lods are in the
    // order of their strips' points, which only grow).
    const LodRec* lodsOf(const Prim& prim) const {
        if (prim.lodCount == 0) return nullptr;
        return std::lower_bound(lods.begin(), lods.end(), prim.first,
                                [](const LodRec& r, std::uint32_t of) { return r.of < of; });
    }
    void record(const cad::DrawingData& drawing, const std::vector<cad::EntityId>& ids);
    // Lighter forms of a strip or loop just recorded, coarsest last.
    void addLighterForms(Prim& prim);
    // What one thread draws of a frame: the items of visible (when null,
    // the items [from, to) of the drawing order) that reach rows [top,
    // bottom), into bits. With solidOnly it stops, returning false, where it
    // would blend with what lies under it (smoothed letters): a layer drawn
    // apart from what lies under it cannot.
    struct Part {
        std::uint32_t* bits;
        qsizetype bytesPerLine;
        const std::vector<std::uint32_t>* visible;
        std::size_t from, to;
        int top, bottom;
        bool solidOnly;
    };
    bool renderPart(const Part& part, const QImage& image, const ScreenMap& map,
                    const FrameOptions& options, BandCache& cache) const;
    mutable std::vector<std::vector<std::uint32_t>> layers;  // for parts drawn apart
    void drawPrims(const Item& item, QPainter& painter, const ScreenMap& map,
                   const QPen& pen) const;
};

}  // namespace render
