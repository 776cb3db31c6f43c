// CGAL's Delaunay triangulation with exact predicates: the orientation and
// in-circle tests decide exactly even for the nearly collinear and nearly
// co-circular spots of a levelled site, so the triangulation is always valid.
#include "ground/surface.hpp"

#include <CGAL/Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Triangulation_face_base_with_info_2.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace ground {

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using VertexBase = CGAL::Triangulation_vertex_base_with_info_2<double, Kernel>;
using FaceBase = CGAL::Triangulation_face_base_with_info_2<bool, Kernel>;
using Tds = CGAL::Triangulation_data_structure_2<VertexBase, FaceBase>;
using Delaunay = CGAL::Delaunay_triangulation_2<Kernel, Tds>;
using Point = Kernel::Point_2;

}  // namespace

struct Surface::Impl {
    Delaunay dt;
    // Plan coordinates run to millions of units: work near the spots so that
    // the interpolation keeps its digits.
    double originX = 0.0;
    double originY = 0.0;
    std::size_t kept = 0;
    mutable Delaunay::Face_handle hint;  // queries walk from the last face found

    bool usable(Delaunay::Face_handle f) const { return !dt.is_infinite(f) && f->info(); }

    static double interpolate(Delaunay::Face_handle f, double x, double y) {
        const Point& a = f->vertex(0)->point();
        const Point& b = f->vertex(1)->point();
        const Point& c = f->vertex(2)->point();
        const double det = (b.y() - c.y()) * (a.x() - c.x()) + (c.x() - b.x()) * (a.y() - c.y());
        const double wa = ((b.y() - c.y()) * (x - c.x()) + (c.x() - b.x()) * (y - c.y())) / det;
        const double wb = ((c.y() - a.y()) * (x - c.x()) + (a.x() - c.x()) * (y - c.y())) / det;
        const double wc = 1.0 - wa - wb;
        return wa * f->vertex(0)->info() + wb * f->vertex(1)->info() + wc * f->vertex(2)->info();
    }
};

Surface::Surface(const std::vector<Spot>& spots, double maxEdge) : impl_(std::make_unique<Impl>()) {
    if (spots.empty()) return;
    double minX = spots[0].x, maxX = minX, minY = spots[0].y, maxY = minY;
    for (const Spot& s : spots) {
        minX = std::min(minX, s.x);
        maxX = std::max(maxX, s.x);
        minY = std::min(minY, s.y);
        maxY = std::max(maxY, s.y);
    }
    impl_->originX = std::round((minX + maxX) / 2.0);
    impl_->originY = std::round((minY + maxY) / 2.0);
    std::vector<std::pair<Point, double>> points;
    points.reserve(spots.size());
    for (const Spot& s : spots) {
        if (!std::isfinite(s.x) || !std::isfinite(s.y) || !std::isfinite(s.z)) continue;
        points.emplace_back(Point(s.x - impl_->originX, s.y - impl_->originY), s.z);
    }
    // Of spots at one place the first keeps its height: the range insertion
    // would keep any one of them.
    std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) {
        return a.first.x() != b.first.x() ? a.first.x() < b.first.x() : a.first.y() < b.first.y();
    });
    points.erase(std::unique(points.begin(), points.end(),
                             [](const auto& a, const auto& b) { return a.first == b.first; }),
                 points.end());
    // The range insertion sorts along a space-filling curve before inserting:
    // that is what makes 100 000 spots quick.
    impl_->dt.insert(points.begin(), points.end());

    const double limit2 = maxEdge > 0.0 ? maxEdge * maxEdge : 0.0;
    for (auto f = impl_->dt.finite_faces_begin(); f != impl_->dt.finite_faces_end(); ++f) {
        bool keep = true;
        if (limit2 > 0.0) {
            for (int i = 0; i < 3 && keep; ++i) {
                const Point& p = f->vertex(i)->point();
                const Point& q = f->vertex(Delaunay::cw(i))->point();
                const double dx = p.x() - q.x();
                const double dy = p.y() - q.y();
                keep = dx * dx + dy * dy <= limit2;
            }
        }
        f->info() = keep;
        if (keep) ++impl_->kept;
    }
}

Surface::~Surface() = default;
Surface::Surface(Surface&&) noexcept = default;
Surface& Surface::operator=(Surface&&) noexcept = default;

std::optional<double> Surface::heightAt(double x, double y) const {
    const Delaunay& dt = impl_->dt;
    if (dt.dimension() < 2 || !std::isfinite(x) || !std::isfinite(y)) return std::nullopt;
    const double lx = x - impl_->originX;
    const double ly = y - impl_->originY;
    Delaunay::Locate_type type;
    int li = 0;
    Delaunay::Face_handle f = dt.locate(Point(lx, ly), type, li, impl_->hint);
    if (f != Delaunay::Face_handle()) impl_->hint = f;
    switch (type) {
        case Delaunay::VERTEX:
            return f->vertex(li)->info();
        case Delaunay::EDGE: {
            // On an edge both faces give the same value: either kept one will do.
            if (impl_->usable(f)) return Impl::interpolate(f, lx, ly);
            Delaunay::Face_handle g = f->neighbor(li);
            if (impl_->usable(g)) return Impl::interpolate(g, lx, ly);
            return std::nullopt;
        }
        case Delaunay::FACE:
            if (impl_->usable(f)) return Impl::interpolate(f, lx, ly);
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<double> Surface::nearestSpot(double x, double y, double reach) const {
    const Delaunay& dt = impl_->dt;
    if (dt.number_of_vertices() == 0 || !std::isfinite(x) || !std::isfinite(y) || !(reach > 0.0)) {
        return std::nullopt;
    }
    const double lx = x - impl_->originX;
    const double ly = y - impl_->originY;
    const Delaunay::Vertex_handle v = dt.nearest_vertex(Point(lx, ly), impl_->hint);
    if (v == Delaunay::Vertex_handle()) return std::nullopt;
    if (std::hypot(v->point().x() - lx, v->point().y() - ly) > reach) return std::nullopt;
    return v->info();
}

std::size_t Surface::vertexCount() const {
    return impl_->dt.number_of_vertices();
}

std::size_t Surface::triangleCount() const {
    return impl_->kept;
}

}  // namespace ground
