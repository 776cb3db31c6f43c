#include "ground/spot_heights.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>
#include <unordered_set>

#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>

#include "cad/geometry.hpp"
#include "cad/mtext.hpp"
#include "cad/text_codes.hpp"
#include "model/primitives.hpp"
#include "model/value_checks.hpp"

namespace ground {

namespace {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using IndexPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using IndexValue = std::pair<IndexPoint, std::size_t>;

// A height text's value; nullopt for a text that is no number, and for a
// number no ground has (1e308 would leave the surface without heights).
std::optional<double> heightOf(std::string_view text) {
    const std::optional<double> v = model::parseNumber(model::FixDecimalText(text, '.'), '.');
    if (!v || !model::plausibleHeight(*v)) return std::nullopt;
    return v;
}

struct HeightText {
    double x = 0.0;
    double y = 0.0;
    double value = 0.0;
    double height = 0.0;  // text height, drawing units
};

struct Mark {
    cad::Handle handle = 0;
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    bool hasZ = false;  // a POINT, INSERT or CIRCLE whose Z is not 0
    bool labelled = false;
};

bool onLayers(const cad::Entity& e, const std::unordered_set<std::string_view>& layers) {
    return layers.contains(std::string_view(e.layer.str()));
}

// The point a text is placed by: its alignment point when it has an alignment,
// else the start of its baseline.
cad::Point3 textAnchor(const cad::TextGeom& t) {
    const bool aligned = t.hasAlignment && (t.hAlign != 0 || t.vAlign != 0);
    return cad::ocsToWcs(aligned ? t.alignment : t.insertion, t.extrusion);
}

}  // namespace

SpotReading readSpotHeights(const cad::DrawingData& drawing, const SpotOptions& options) {
    std::unordered_set<std::string_view> layers;
    for (const std::string& l : options.layers) layers.insert(l);

    SpotReading out;
    std::vector<HeightText> texts;
    std::vector<Mark> marks;
    std::vector<Spot> vertices;  // of 3D polylines and contours
    auto addMark = [&marks](const cad::Entity& e, cad::Point3 w) {
        marks.push_back({e.handle, w.x, w.y, w.z, w.z != 0.0});
    };
    // A height of its own that no ground has is listed with the texts that
    // are no heights, and the mark or vertex left out.
    auto unreadZ = [&out](const cad::Entity& e, double z) {
        out.unread.push_back({e.handle, model::formatNumber(z, '.')});
    };
    for (cad::EntityId id : drawing.modelSpace) {
        const cad::Entity& e = drawing.entities[id.v];
        if (e.erased || !onLayers(e, layers)) continue;
        if (const auto* t = cad::geomIf<cad::TextGeom>(e.geom)) {
            if (auto v = heightOf(cad::decodeTextCodes(t->text))) {
                const cad::Point3 a = textAnchor(*t);
                texts.push_back({a.x, a.y, *v, t->height});
            } else {
                out.unread.push_back({e.handle, t->text});
            }
        } else if (const auto* m = cad::geomIf<cad::MTextGeom>(e.geom)) {
            const std::string plain = cad::plainMText(m->text);
            if (auto v = heightOf(plain)) {
                texts.push_back({m->insertion.x, m->insertion.y, *v, m->height});
            } else {
                out.unread.push_back({e.handle, plain});
            }
        } else if (const auto* p = cad::geomIf<cad::PointGeom>(e.geom)) {
            addMark(e, p->position);
        } else if (const auto* ins = cad::geomIf<cad::InsertGeom>(e.geom)) {
            addMark(e, cad::ocsToWcs(ins->insertion, ins->extrusion));
        } else if (const auto* c = cad::geomIf<cad::CircleGeom>(e.geom)) {
            // Manhole covers and pole footings are often drawn as circles
            // placed at their surveyed height.
            addMark(e, cad::ocsToWcs(c->center, c->extrusion));
        } else if (const auto* pl = cad::geomIf<cad::PolylineGeom>(e.geom)) {
            if (pl->is3d) {
                bool listed = false;
                for (const cad::PolyVertex& v : pl->vertices) {
                    if (model::plausibleHeight(v.z)) {
                        vertices.push_back({v.x, v.y, v.z});
                    } else if (!listed) {
                        unreadZ(e, v.z);  // the polyline once, by its first such vertex
                        listed = true;
                    }
                }
            } else if (pl->elevation != 0.0 && !model::plausibleHeight(pl->elevation)) {
                unreadZ(e, pl->elevation);
            } else if (pl->elevation != 0.0) {
                // A flat polyline lifted to its elevation: a contour line.
                for (const cad::PolyVertex& v : pl->vertices) {
                    const cad::Point3 w =
                        cad::ocsToWcs(cad::Point3{v.x, v.y, pl->elevation}, pl->extrusion);
                    vertices.push_back({w.x, w.y, w.z});
                }
            }
        }
    }

    // Each text takes the nearest mark within its reach that no nearer text
    // has taken: pairs are settled shortest first.
    struct Pair {
        double distance;
        std::size_t text;
        std::size_t mark;
    };
    std::vector<Pair> pairs;
    if (!marks.empty() && !texts.empty()) {
        std::vector<IndexValue> values;
        values.reserve(marks.size());
        for (std::size_t i = 0; i < marks.size(); ++i) {
            values.emplace_back(IndexPoint(marks[i].x, marks[i].y), i);
        }
        const bgi::rtree<IndexValue, bgi::rstar<16>> index(values.begin(), values.end());
        std::vector<IndexValue> found;
        for (std::size_t t = 0; t < texts.size(); ++t) {
            const double reach = options.labelReach * texts[t].height;
            if (!(reach > 0.0)) continue;
            found.clear();
            index.query(bgi::nearest(IndexPoint(texts[t].x, texts[t].y), 4),
                        std::back_inserter(found));
            for (const IndexValue& f : found) {
                const double d =
                    std::hypot(f.first.get<0>() - texts[t].x, f.first.get<1>() - texts[t].y);
                if (d <= reach) pairs.push_back({d, t, f.second});
            }
        }
        std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
            if (a.distance != b.distance) return a.distance < b.distance;
            return a.text != b.text ? a.text < b.text : a.mark < b.mark;
        });
    }
    std::vector<std::optional<std::size_t>> markOfText(texts.size());
    for (const Pair& p : pairs) {
        if (markOfText[p.text] || marks[p.mark].labelled) continue;
        markOfText[p.text] = p.mark;
        marks[p.mark].labelled = true;
    }

    out.spots.reserve(texts.size() + marks.size() + vertices.size());
    for (std::size_t t = 0; t < texts.size(); ++t) {
        if (markOfText[t]) {
            const Mark& m = marks[*markOfText[t]];
            out.spots.push_back({m.x, m.y, texts[t].value});
            ++out.labelled;
        } else {
            out.spots.push_back({texts[t].x, texts[t].y, texts[t].value});
        }
    }
    out.texts = static_cast<int>(texts.size());
    for (const Mark& m : marks) {
        if (m.labelled || !m.hasZ) continue;
        if (!model::plausibleHeight(m.z)) {
            out.unread.push_back({m.handle, model::formatNumber(m.z, '.')});
            continue;
        }
        out.spots.push_back({m.x, m.y, m.z});
        ++out.points;
    }
    for (const Spot& v : vertices) {
        out.spots.push_back(v);
        ++out.points;
    }
    return out;
}

}  // namespace ground
