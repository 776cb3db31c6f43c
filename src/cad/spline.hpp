// The one evaluator of spline curves: SPLINE entities and the spline edges of
// hatch boundaries both go through it.
#pragma once

#include <cstddef>
#include <vector>

#include "cad/entity.hpp"

namespace cad {

// Splines of a higher degree than CAD programs make, or with more control
// points than this, are taken as their control polygon: evaluating them costs
// the cube of the degree.
inline constexpr int kMaxSplineDegree = 25;
inline constexpr std::size_t kMaxSplineControlPoints = 20'000;

// A spline by its control points (a B-spline, rational where it has weights,
// evaluated by de Boor), or where it has none, a cubic through its fit points
// (chord-length parameters, natural ends). Knots that are missing, out of
// order or not finite give way to clamped uniform ones; weights that are not
// positive count as 1.
class SplineCurve {
  public:
    explicit SplineCurve(const SplineGeom& s);

    // Whether there is a curve at all: two control points, or two fit points.
    bool ok() const { return ok_; }

    // Parameter breaks: the curve is smooth between consecutive ones; the
    // first and the last bound the curve's parameter.
    std::vector<double> breaks() const;

    // The point at parameter u, clamped to the curve's parameter range.
    Point3 at(double u) const { return fitParams_.empty() ? deBoor(u) : fitAt(u); }

  private:
    struct HPoint {  // homogeneous point for rational evaluation
        double x = 0, y = 0, z = 0, w = 0;
    };

    void clampedUniformKnots(std::size_t n);
    Point3 deBoor(double u) const;
    void fitInterpolation(const std::vector<Point3>& pts);
    Point3 fitAt(double u) const;

    bool ok_ = false;
    int degree_ = 3;
    std::vector<HPoint> ctrl_;
    std::vector<double> knots_;
    std::vector<Point3> fit_;
    std::vector<double> fitParams_;
    std::vector<Point3> m_;
};

// Points along a spline in world coordinates, no farther than `tolerance` from
// the true curve; a closed spline ends with its first point again.
std::vector<Point3> splinePoints(const SplineGeom& s, double tolerance);

}  // namespace cad
