// A picket's route as one line from its start: its elements chained end to
// end, each taken in the direction the route runs through it, curves
// flattened finely. Points of a picket are placed on it by their distance
// along it, which orders them and measures the chainage over bends and arcs.
#pragma once

#include <cstddef>
#include <vector>

#include "cad/drawing.hpp"
#include "model/workspace.hpp"

namespace model {

class RoutePath {
  public:
    // Chains the elements from `start`. The next element is the following one
    // of the list when it touches the place reached (at first: the start);
    // otherwise the unused element with an end nearest to it (the earlier of
    // the list on equal distance). Each is entered at its end nearer that
    // place. A gap between elements is crossed straight. Elements that cannot
    // be read are left out.
    RoutePath(const std::vector<cad::EntityRef>& elements, cad::Point3 start);

    bool empty() const { return nodes_.size() < 2; }
    double length() const { return nodes_.empty() ? 0.0 : nodes_.back().along; }

    struct Vertex {
        cad::Point3 at;
        double along = 0.0;
    };
    // The element's ends and, for a polyline, each of its vertices, in the
    // order the route passes them. Empty for an element left out.
    std::vector<Vertex> vertices(std::size_t element) const;

    struct Place {
        double along = 0.0;   // distance from the route's start
        double offset = 0.0;  // distance of the point from the route
        std::size_t segment = 0;
    };
    // The nearest place on the stretch of one element.
    Place locateOn(std::size_t element, cad::Point3 p) const;
    // The nearest place on the whole route; of places about as near, the first.
    Place locate(cad::Point3 p) const;
    // The first place on or after segment `from` lying within `tolerance` of p.
    bool locateForward(cad::Point3 p, std::size_t from, double tolerance, Place& out) const;

    // Whether both distances lie on one element that is a LINE.
    bool onOneLineElement(double a, double b) const;

  private:
    struct Node {
        cad::Point3 at;
        double along = 0.0;
        bool vertex = false;  // an element end or a polyline vertex
        bool line = false;    // the segment to the next node is a LINE element
    };
    struct Span {
        std::size_t first = 0, last = 0;  // node range, route order
        bool present = false;
    };
    Place nearestOn(std::size_t firstSegment, std::size_t lastSegment, cad::Point3 p) const;

    std::vector<Node> nodes_;
    std::vector<Span> spans_;  // by element index
};

// How far from the route a point may lie and still count as on it: picket
// points are rounded to 0.01 of a unit.
inline constexpr double kOnRouteTolerance = 0.02;

// The chainage of each point (value 9 of its row), in plan
// units times `millimetresPerUnit`: between two neighbouring points on one
// LINE element (or off the route) the straight distance between the points,
// as it always was; elsewhere the distance along the route between their
// places on it, which follows bends and arcs and does not pick up the
// rounding of the points. The last one is the picket's length.
std::vector<double> chainages(const Piket& piket, double millimetresPerUnit = 1.0);

// Where a new point goes in the picket's list: after the last point whose
// place along the route is not past its own. Points off the route keep the
// place of the point before them.
std::size_t insertionIndex(const Piket& piket, cad::Point3 p);

}  // namespace model
