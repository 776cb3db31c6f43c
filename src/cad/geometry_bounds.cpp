// Bounds of entities in world XY: curves by their pieces, texts by a frame
// around their characters, inserts through their blocks (or, past the budget of
// a walk, by the blocks' own bounds).
#include <algorithm>
#include <string>
#include <type_traits>

#include "cad/geometry_pieces.hpp"
#include "cad/mtext.hpp"
#include "cad/text_codes.hpp"
#include "cad/text_util.hpp"

namespace cad {

namespace {

using namespace geometry_detail;

void addMapped(Box2& box, const Transform& m, Point3 p) {
    box.add(m.apply(p));
}

// Local box of a single-line text around its anchor, in text units before rotation.
struct TextFrame {
    double x0, x1, y0, y1;  // relative to the anchor, along and across the baseline
    Point3 anchor;          // OCS
    double angle;           // radians
};

TextFrame textFrame(const TextGeom& t) {
    double h = t.height > 0 ? t.height : 1.0;
    double wf = t.widthFactor > 0 ? t.widthFactor : 1.0;
    double w = h * wf * static_cast<double>(codePoints(decodeTextCodes(t.text)));
    TextFrame f{0, w, 0, h, t.insertion, radians(t.rotation)};
    bool aligned = t.hasAlignment && (t.hAlign != 0 || t.vAlign != 0);
    if (!aligned) return f;
    if (t.hAlign == 3 || t.hAlign == 5) {  // aligned / fit between the two points
        Point3 d = t.alignment - t.insertion;
        double len = std::hypot(d.x, d.y);
        f.angle = len > 0 ? std::atan2(d.y, d.x) : f.angle;
        f.x1 = len;
        return f;
    }
    f.anchor = t.alignment;
    double shiftX = 0.0;
    if (t.hAlign == 1 || t.hAlign == 4) shiftX = -w / 2;
    if (t.hAlign == 2) shiftX = -w;
    double shiftY = 0.0;
    if (t.hAlign == 4 && t.vAlign == 0) shiftY = -h / 2;
    if (t.vAlign == 1) shiftY = h / 3;  // the anchor sits under the descenders
    if (t.vAlign == 2) shiftY = -h / 2;
    if (t.vAlign == 3) shiftY = -h;
    f.x0 += shiftX;
    f.x1 += shiftX;
    f.y0 += shiftY;
    f.y1 += shiftY;
    return f;
}

void addFrame(Box2& box, const Transform& m, const TextFrame& f, double ox = 0.0, double oy = 0.0) {
    double c = std::cos(f.angle), s = std::sin(f.angle);
    for (double x : {f.x0, f.x1}) {
        for (double y : {f.y0, f.y1}) {
            double lx = x + ox, ly = y + oy;
            addMapped(box, m,
                      {f.anchor.x + lx * c - ly * s, f.anchor.y + lx * s + ly * c, f.anchor.z});
        }
    }
}

void entityBox(Walk& walk, const Entity& e, const Transform& t, Box2& box);

// The cells of an insert's array at its four corners: every other cell lies
// between them, the offsets being linear in column and row.
template <class F>
void cornerCells(int cols, int rows, F f) {
    for (int r : {0, rows - 1}) {
        for (int c : {0, cols - 1}) {
            f(c, r);
            if (cols == 1) break;
        }
        if (rows == 1) break;
    }
}

// A block's bounds in its own coordinates, nested blocks taken by their own
// bounds in turn: a box that holds it, found in one pass over each block.
LocalBox ownBox(Walk& walk, const Block& block, std::size_t depth) {
    if (auto it = walk.own.find(&block); it != walk.own.end()) return it->second;
    walk.own[&block] = LocalBox{};  // a block met again on the way adds nothing
    LocalBox lb;
    Walk plain;  // for entities that are not blocks
    Transform zOnly;
    zOnly.m[0][0] = zOnly.m[1][1] = zOnly.m[2][2] = 0.0;
    zOnly.m[0][2] = 1.0;  // Z into X: the Z range as an X range
    auto nested = [&](const Block* child, int cols, int rows, auto cellTransform) {
        if (!child || depth + 1 >= static_cast<std::size_t>(kMaxBlockDepth)) return;
        LocalBox cb = ownBox(walk, *child, depth + 1);
        if (cb.empty()) return;
        cornerCells(cols, rows, [&](int c, int r) {
            Transform m = cellTransform(c, r);
            cb.corners([&](Point3 p) { lb.add(m.apply(p)); });
        });
    };
    for (EntityId id : block.entities) {
        if (!walk.drawing || id.v >= walk.drawing->entities.size()) continue;
        const Entity& sub = walk.drawing->entities[id.v];
        if (sub.erased) continue;
        if (auto* ins = geomIf<InsertGeom>(sub.geom)) {
            const Block* child = findBlock(*walk.drawing, ins->blockName);
            if (!child) {
                lb.add(ocsTransform(ins->extrusion).apply(ins->insertion));
                continue;
            }
            int cols = std::max(1, ins->columns), rows = std::max(1, ins->rows);
            if (static_cast<long long>(cols) * rows > kMaxArrayCells) cols = rows = 1;
            nested(child, cols, rows,
                   [&](int c, int r) { return insertTransform(*ins, child->base, c, r); });
            continue;
        }
        if (auto* dim = geomIf<DimensionGeom>(sub.geom)) {
            if (const Block* child = findBlock(*walk.drawing, dim->blockName)) {
                nested(child, 1, 1, [](int, int) { return Transform{}; });
                continue;
            }
        }
        Box2 xy, z;
        entityBox(plain, sub, Transform{}, xy);
        if (xy.empty()) continue;
        entityBox(plain, sub, zOnly, z);
        lb.add({xy.minX, xy.minY, z.empty() ? 0.0 : z.minX});
        lb.add({xy.maxX, xy.maxY, z.empty() ? 0.0 : z.maxX});
    }
    walk.own[&block] = lb;
    return lb;
}

void addOwnBox(Walk& walk, const Block& block, const Transform& t, Box2& box) {
    LocalBox lb = ownBox(walk, block, walk.stack.size());
    if (!lb.empty()) lb.corners([&](Point3 p) { addMapped(box, t, p); });
}

void blockBox(Walk& walk, const Block& block, const Transform& t, Box2& box) {
    forEachBlockEntity(walk, block, [&](const Entity& sub) {
        entityBox(walk, sub, t, box);
        return true;
    });
    // Cut short by the budget: what was not visited lies within the block's own bounds.
    if (walk.exhausted()) addOwnBox(walk, block, t, box);
}

void piecesBox(Walk& walk, const Entity& e, const Transform& t, Box2& box) {
    // A line is its two ends; no pieces need to be made for it.
    if (const auto* l = geomIf<LineGeom>(e.geom)) {
        box.add(t.apply(l->start));
        box.add(t.apply(l->end));
        return;
    }
    // A polyline of straight segments is its vertices.
    if (const auto* pl = geomIf<PolylineGeom>(e.geom)) {
        const auto& v = pl->vertices;
        bool straight = pl->is3d || std::none_of(v.begin(), v.end(), [](const PolyVertex& p) {
                            return hasBulge(p.bulge);
                        });
        if (straight && v.size() <= kMaxPieces) {
            Transform m = pl->is3d ? t : t * ocsTransform(pl->extrusion);
            for (const PolyVertex& p : v) {
                box.add(m.apply({p.x, p.y, pl->is3d ? p.z : pl->elevation}));
            }
            return;
        }
    }
    // The pieces' room is kept from one entity to the next: the bounds of a
    // whole plan would otherwise ask for it a million times.
    thread_local std::vector<Piece> room;
    std::vector<Piece> pieces = std::move(room);
    pieces.clear();
    PieceSink sink{pieces};
    entityPieces(walk, e, t, sink);
    for (const Piece& p : pieces) box.add(p.box);
    room = std::move(pieces);
}

void entityBox(Walk& walk, const Entity& e, const Transform& t, Box2& box) {
    visitGeom(
        [&](const auto& g) {
            using G = std::decay_t<decltype(g)>;
            if constexpr (std::is_same_v<G, LineGeom> || std::is_same_v<G, PolylineGeom> ||
                          std::is_same_v<G, ArcGeom> || std::is_same_v<G, CircleGeom> ||
                          std::is_same_v<G, EllipseGeom> || std::is_same_v<G, SplineGeom>) {
                piecesBox(walk, e, t, box);
            } else if constexpr (std::is_same_v<G, TextGeom>) {
                addFrame(box, t * ocsTransform(g.extrusion), textFrame(g));
            } else if constexpr (std::is_same_v<G, MTextGeom>) {
                std::string plain = plainMText(g.text);
                double h = g.height > 0 ? g.height : 1.0;
                // A character is taken as wide as it is high, more than any font
                // gives; in a box, a paragraph takes as many lines as that width
                // needs, and one more for the room wrapping between words leaves.
                std::size_t lines = 0, longest = 0;
                for (std::size_t from = 0; from <= plain.size();) {
                    std::size_t nl = std::min(plain.find('\n', from), plain.size());
                    std::size_t chars = codePoints(std::string_view(plain).substr(from, nl - from));
                    double width = h * static_cast<double>(chars);
                    if (g.rectWidth > 0 && width > g.rectWidth) {
                        lines += static_cast<std::size_t>(std::ceil(width / g.rectWidth)) + 1;
                    } else {
                        lines += 1;
                        longest = std::max(longest, chars);
                    }
                    from = nl + 1;
                }
                double w = std::max(h * static_cast<double>(longest), g.rectWidth);
                double th = h + (static_cast<double>(lines) - 1) * h * 5.0 / 3.0;
                int att = std::clamp(g.attachment, 1, 9);
                int col = (att - 1) % 3, row = (att - 1) / 3;
                double x0 = -w * col / 2.0, y1 = th * row / 2.0;
                double angle = radians(g.rotation);
                bool defaultDirection = g.xDirection.x == 1 && g.xDirection.y == 0;
                if (!defaultDirection && (g.xDirection.x != 0 || g.xDirection.y != 0)) {
                    angle = std::atan2(g.xDirection.y, g.xDirection.x);
                }
                TextFrame f{x0, x0 + w, y1 - th, y1, g.insertion, angle};
                addFrame(box, t, f);
            } else if constexpr (std::is_same_v<G, InsertGeom>) {
                const Block* block = walk.drawing ? findBlock(*walk.drawing, g.blockName) : nullptr;
                if (!block) {
                    addMapped(box, t * ocsTransform(g.extrusion), g.insertion);
                    return;
                }
                int cols = std::max(1, g.columns), rows = std::max(1, g.rows);
                if (static_cast<long long>(cols) * rows > kMaxArrayCells) cols = rows = 1;
                for (int r = 0; r < rows; ++r) {
                    for (int c = 0; c < cols; ++c) {
                        if (walk.exhausted()) {
                            cornerCells(cols, rows, [&](int cc, int rr) {
                                addOwnBox(walk, *block, t * insertTransform(g, block->base, cc, rr),
                                          box);
                            });
                            return;
                        }
                        blockBox(walk, *block, t * insertTransform(g, block->base, c, r), box);
                    }
                }
            } else if constexpr (std::is_same_v<G, DimensionGeom>) {
                const Block* block = walk.drawing ? findBlock(*walk.drawing, g.blockName) : nullptr;
                if (block) {
                    blockBox(walk, *block, t, box);
                } else {
                    for (const Point3& p : {g.definition, g.textMidpoint, g.p13, g.p14}) {
                        addMapped(box, t, p);
                    }
                }
            } else if constexpr (std::is_same_v<G, HatchGeom>) {
                for (const PolylineGeom& loop : g.loops) {
                    PolylineGeom pl = loop;
                    pl.extrusion = g.extrusion;
                    pl.elevation = g.elevation;
                    pl.is3d = false;
                    std::vector<Piece> pieces;
                    PieceSink sink{pieces};
                    polylinePieces(pl, t, sink);
                    for (const Piece& p : pieces) box.add(p.box);
                }
            } else if constexpr (std::is_same_v<G, PointGeom>) {
                addMapped(box, t, g.position);
            } else if constexpr (std::is_same_v<G, SolidGeom>) {
                Transform m = t * ocsTransform(g.extrusion);
                for (const Point3& p : g.corners) addMapped(box, m, p);
            }
        },
        e.geom);
}

}  // namespace

Box2 entityBounds(const DrawingData& drawing, const Entity& e) {
    Box2 box;
    Walk walk;
    walk.drawing = &drawing;
    entityBox(walk, e, Transform{}, box);
    return box;
}

}  // namespace cad
