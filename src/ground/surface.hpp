// The ground surface of a survey: a Delaunay triangulation of the spot
// heights, linear inside each triangle. Triangles with an edge longer than a
// limit are left out, so that the surface does not bridge the gaps between
// surveyed areas or span a concave outline.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "ground/spot_heights.hpp"

namespace ground {

class Surface {
  public:
    // maxEdge in drawing units; 0 or less keeps every triangle. Spots at the
    // same place keep the first one's height.
    Surface(const std::vector<Spot>& spots, double maxEdge);
    ~Surface();
    Surface(Surface&&) noexcept;
    Surface& operator=(Surface&&) noexcept;

    // The height at (x, y), or nullopt outside the kept triangles.
    std::optional<double> heightAt(double x, double y) const;

    // The height of the spot nearest to (x, y) when it lies within reach
    // (drawing units), else nullopt.
    std::optional<double> nearestSpot(double x, double y, double reach) const;

    std::size_t vertexCount() const;
    std::size_t triangleCount() const;  // kept triangles

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ground
