// Nearest-neighbour order of a picket's points. The plain form scans every
// later point at each step; the indexed form asks an R-tree of the points
// not yet placed for the nearest one and then settles equal distances exactly
// as the scan does, so both give the same order.
#include <cmath>
#include <limits>

#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>

#include "pickets/detail.hpp"

namespace pickets::detail {

namespace {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

using IndexPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using IndexBox = bg::model::box<IndexPoint>;
using IndexValue = std::pair<IndexPoint, std::size_t>;  // the point and its id

// Below this many points the scan is as fast as building the tree.
constexpr std::size_t kIndexFrom = 48;

void swapPoints(std::vector<model::PointRow>& rows, std::vector<cad::EntityRef>& objects,
                std::size_t a, std::size_t b) {
    std::swap(rows[a], rows[b]);
    std::swap(objects[a], objects[b]);
}

void orderByScan(std::vector<model::PointRow>& rows, std::vector<cad::EntityRef>& objects,
                 double bound) {
    std::size_t n = rows.size();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        double xi = rows[i][model::kX], yi = rows[i][model::kY];
        std::size_t best = n;
        double bestDistance = bound;
        // The root is monotonic, so a larger square can never give a smaller
        // distance: the root is taken only where it may win.
        double bestSquare = std::numeric_limits<double>::infinity();
        for (std::size_t j = i + 1; j < n; ++j) {
            double dx = rows[j][model::kX] - xi, dy = rows[j][model::kY] - yi;
            double square = dx * dx + dy * dy;
            if (square > bestSquare) continue;
            double distance = std::sqrt(square);
            if (distance < bestDistance) {
                bestDistance = distance;
                bestSquare = square;
                best = j;
            }
        }
        if (best != n && best != i + 1) swapPoints(rows, objects, i + 1, best);
    }
}

void orderByIndex(std::vector<model::PointRow>& rows, std::vector<cad::EntityRef>& objects,
                  double bound) {
    std::size_t n = rows.size();
    // Ids are the positions before ordering; the coordinates of an id never change.
    std::vector<double> xs(n), ys(n);
    std::vector<std::size_t> idAt(n), positionOf(n);
    std::vector<IndexValue> values;
    values.reserve(n);
    for (std::size_t k = 0; k < n; ++k) {
        xs[k] = rows[k][model::kX];
        ys[k] = rows[k][model::kY];
        idAt[k] = positionOf[k] = k;
        if (k > 0) values.push_back({IndexPoint(xs[k], ys[k]), k});
    }
    // The tree holds exactly the points after the current position.
    bgi::rtree<IndexValue, bgi::rstar<16>> tree(values.begin(), values.end());

    std::vector<IndexValue> near;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        std::size_t current = idAt[i];
        double xi = xs[current], yi = ys[current];
        auto distanceTo = [&](std::size_t id) {
            double dx = xs[id] - xi, dy = ys[id] - yi;
            return std::sqrt(dx * dx + dy * dy);
        };

        IndexValue nearest;
        if (tree.query(bgi::nearest(IndexPoint(xi, yi), 1), &nearest) == 1) {
            // Every point as near as the tree's answer lies within its distance;
            // the margin keeps rounding of the box edges from losing one.
            double reach = distanceTo(nearest.second);
            if (reach < bound || std::isnan(reach)) {
                double margin = 1e-9 * (std::abs(xi) + std::abs(yi) + reach) + 1e-12;
                double r = reach + margin;
                near.clear();
                tree.query(bgi::intersects(
                               IndexBox(IndexPoint(xi - r, yi - r), IndexPoint(xi + r, yi + r))),
                           std::back_inserter(near));
                std::size_t best = n;  // a position
                double bestDistance = bound;
                for (const IndexValue& v : near) {
                    double d = distanceTo(v.second);
                    std::size_t position = positionOf[v.second];
                    if (d < bestDistance || (d == bestDistance && best != n && position < best)) {
                        bestDistance = d;
                        best = position;
                    }
                }
                if (best != n && best != i + 1) {
                    swapPoints(rows, objects, i + 1, best);
                    std::size_t a = idAt[i + 1], b = idAt[best];
                    std::swap(idAt[i + 1], idAt[best]);
                    positionOf[a] = best;
                    positionOf[b] = i + 1;
                }
            }
        }
        std::size_t next = idAt[i + 1];
        tree.remove(IndexValue{IndexPoint(xs[next], ys[next]), next});
    }
}

}  // namespace

void orderByNearest(std::vector<model::PointRow>& rows, std::vector<cad::EntityRef>& objects,
                    double bound, bool useIndex) {
    if (useIndex && rows.size() >= kIndexFrom) {
        orderByIndex(rows, objects, bound);
    } else {
        orderByScan(rows, objects, bound);
    }
}

}  // namespace pickets::detail
