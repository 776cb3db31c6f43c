#include "cad/spline.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace cad {

SplineCurve::SplineCurve(const SplineGeom& s) {
    const std::size_t n = s.controlPoints.size();
    if (n >= 2) {
        bool drawable = s.degree <= kMaxSplineDegree && n <= kMaxSplineControlPoints;
        degree_ = drawable ? std::clamp(s.degree, 1, static_cast<int>(n) - 1) : 1;
        for (std::size_t i = 0; i < n; ++i) {
            double w = s.weights.size() == n && s.weights[i] > 0 ? s.weights[i] : 1.0;
            const Point3& p = s.controlPoints[i];
            ctrl_.push_back({p.x * w, p.y * w, p.z * w, w});
        }
        knots_ = s.knots;
        bool valid = knots_.size() == n + degree_ + 1;
        for (std::size_t i = 1; valid && i < knots_.size(); ++i) {
            valid = std::isfinite(knots_[i]) && knots_[i] >= knots_[i - 1];
        }
        if (valid) valid = knots_[degree_] < knots_[n];
        if (!valid) clampedUniformKnots(n);
        ok_ = true;
    } else if (s.fitPoints.size() >= 2) {
        fitInterpolation(s.fitPoints);
        ok_ = true;
    }
}

std::vector<double> SplineCurve::breaks() const {
    std::vector<double> b;
    if (!fitParams_.empty()) return fitParams_;
    std::size_t n = ctrl_.size();
    for (std::size_t i = degree_; i <= n; ++i) {
        if (b.empty() || knots_[i] > b.back()) b.push_back(knots_[i]);
    }
    return b;
}

void SplineCurve::clampedUniformKnots(std::size_t n) {
    knots_.assign(n + degree_ + 1, 0.0);
    std::size_t inner = n - degree_;
    for (std::size_t i = 0; i < knots_.size(); ++i) {
        if (i <= static_cast<std::size_t>(degree_)) {
            knots_[i] = 0.0;
        } else if (i >= n) {
            knots_[i] = 1.0;
        } else {
            knots_[i] = static_cast<double>(i - degree_) / static_cast<double>(inner);
        }
    }
}

Point3 SplineCurve::deBoor(double u) const {
    const std::size_t n = ctrl_.size();
    const int p = degree_;
    u = std::clamp(u, knots_[p], knots_[n]);
    // Span k with knots[k] <= u < knots[k + 1], k in [p, n - 1].
    auto span = std::upper_bound(knots_.begin() + p + 1, knots_.begin() + static_cast<long>(n), u);
    std::size_t k = static_cast<std::size_t>(span - knots_.begin()) - 1;
    std::array<HPoint, 32> d{};
    int deg = std::min(p, 31);
    for (int j = 0; j <= deg; ++j) d[j] = ctrl_[k - p + j];
    for (int r = 1; r <= deg; ++r) {
        for (int j = deg; j >= r; --j) {
            std::size_t i = k - p + j;
            double den = knots_[i + p - r + 1] - knots_[i];
            double alpha = den > 0 ? (u - knots_[i]) / den : 0.0;
            d[j].x = (1 - alpha) * d[j - 1].x + alpha * d[j].x;
            d[j].y = (1 - alpha) * d[j - 1].y + alpha * d[j].y;
            d[j].z = (1 - alpha) * d[j - 1].z + alpha * d[j].z;
            d[j].w = (1 - alpha) * d[j - 1].w + alpha * d[j].w;
        }
    }
    const HPoint& h = d[deg];
    double w = h.w != 0 ? h.w : 1.0;
    return {h.x / w, h.y / w, h.z / w};
}

// A cubic through the fit points, chord-length parameters, natural ends.
void SplineCurve::fitInterpolation(const std::vector<Point3>& pts) {
    fit_ = pts;
    const std::size_t n = pts.size();
    fitParams_.assign(n, 0.0);
    for (std::size_t i = 1; i < n; ++i) {
        double d = norm(pts[i] - pts[i - 1]);
        fitParams_[i] = fitParams_[i - 1] + (d > 0 ? d : 1e-9);
    }
    // Second derivatives by the tridiagonal system of a natural cubic spline.
    m_.assign(n, Point3{});
    if (n < 3) return;
    std::vector<double> c(n, 0.0);
    std::vector<Point3> rhs(n, Point3{});
    std::vector<double> diag(n, 1.0);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        double h0 = fitParams_[i] - fitParams_[i - 1];
        double h1 = fitParams_[i + 1] - fitParams_[i];
        Point3 g = (pts[i + 1] - pts[i]) * (6.0 / h1) - (pts[i] - pts[i - 1]) * (6.0 / h0);
        diag[i] = 2 * (h0 + h1);
        // Forward elimination (Thomas algorithm).
        double lower = h0;
        double prevUpper = (i >= 2) ? c[i - 1] : 0.0;
        double denom = diag[i] - lower * prevUpper;
        c[i] = h1 / denom;
        rhs[i] = (g - rhs[i - 1] * lower) * (1.0 / denom);
    }
    for (std::size_t i = n - 2; i >= 1; --i) {
        m_[i] = rhs[i] - m_[i + 1] * c[i];
        if (i == 1) break;
    }
}

Point3 SplineCurve::fitAt(double u) const {
    const std::size_t n = fit_.size();
    u = std::clamp(u, fitParams_.front(), fitParams_.back());
    auto span =
        std::upper_bound(fitParams_.begin() + 1, fitParams_.begin() + static_cast<long>(n) - 1, u);
    std::size_t i = static_cast<std::size_t>(span - fitParams_.begin()) - 1;
    double h = fitParams_[i + 1] - fitParams_[i];
    double a = (fitParams_[i + 1] - u) / h, b = (u - fitParams_[i]) / h;
    return fit_[i] * a + fit_[i + 1] * b +
           (m_[i] * (a * a * a - a) + m_[i + 1] * (b * b * b - b)) * (h * h / 6.0);
}

namespace {

double chordDeviation(Point3 a, Point3 b, Point3 m) {
    Point3 ab = b - a;
    double len = norm(ab);
    if (len == 0) return norm(m - a);
    return norm(cross(ab, m - a)) / len;
}

void refine(const SplineCurve& c, double u0, Point3 p0, double u1, Point3 p1, double tol, int depth,
            std::vector<Point3>& out) {
    double um = 0.5 * (u0 + u1);
    Point3 pm = c.at(um);
    // Quarter points too, so that an S-bend whose middle lies on the chord is seen.
    Point3 q1 = c.at(0.5 * (u0 + um)), q3 = c.at(0.5 * (um + u1));
    double dev = std::max(
        {chordDeviation(p0, p1, pm), chordDeviation(p0, p1, q1), chordDeviation(p0, p1, q3)});
    if (depth >= 18 || dev <= tol) {
        out.push_back(p1);
        return;
    }
    refine(c, u0, p0, um, pm, tol, depth + 1, out);
    refine(c, um, pm, u1, p1, tol, depth + 1, out);
}

}  // namespace

std::vector<Point3> splinePoints(const SplineGeom& s, double tolerance) {
    SplineCurve c(s);
    if (!c.ok()) return {};
    std::vector<double> br = c.breaks();
    if (br.size() < 2) return {};
    double tol = std::max(tolerance, 1e-12);
    std::vector<Point3> out;
    out.push_back(c.at(br.front()));
    for (std::size_t i = 0; i + 1 < br.size(); ++i) {
        Point3 p0 = out.back();
        Point3 p1 = c.at(br[i + 1]);
        refine(c, br[i], p0, br[i + 1], p1, tol, 0, out);
        if (out.size() > 200000) break;
    }
    // Exact control or fit end points where the curve is clamped to them.
    if (!s.fitPoints.empty() && s.controlPoints.size() < 2) {
        out.front() = s.fitPoints.front();
        out.back() = s.fitPoints.back();
    }
    if ((s.flags & 1) && out.size() > 2 && norm(out.back() - out.front()) <= tol) {
        out.back() = out.front();
    }
    return out;
}

}  // namespace cad
