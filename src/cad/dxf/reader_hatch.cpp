// Hatch boundaries: polyline loops and edge loops (lines, arcs, elliptic
// arcs, splines), each edge turned into boundary points.
#include <numbers>

#include "cad/dxf/reader_impl.hpp"
#include "cad/spline.hpp"

namespace cad::dxf_read {

namespace {

// Points of a spline edge at even steps of its parameter; an edge whose
// degree, knots or size no CAD program writes is taken as its control points.
std::vector<Point3> sampleSpline(int degree, const std::vector<double>& knots,
                                 const std::vector<Point3>& ctrl,
                                 const std::vector<double>& weights, int segments) {
    std::size_t n = ctrl.size();
    auto p = static_cast<std::size_t>(degree);
    if (degree < 1 || degree > kMaxSplineDegree || n > kMaxSplineControlPoints || n < p + 1 ||
        knots.size() != n + p + 1 || !(knots[n] > knots[p])) {
        return ctrl;
    }
    SplineGeom g;
    g.degree = degree;
    g.knots = knots;
    g.weights = weights;
    g.controlPoints = ctrl;
    SplineCurve curve(g);
    std::vector<double> range = curve.breaks();
    double t0 = range.front(), t1 = range.back();
    std::vector<Point3> out;
    out.reserve(static_cast<std::size_t>(segments) + 1);
    for (int s = 0; s <= segments; ++s) out.push_back(curve.at(t0 + (t1 - t0) * s / segments));
    return out;
}

// Eight points for each control point, fewer for high degrees: a point costs
// the square of the degree.
int hatchSplineSegments(int degree, std::size_t controlPoints) {
    long long p = std::clamp(degree, 1, kMaxSplineDegree) + 1;
    long long most = std::max(16LL, 20'000'000 / (p * p));
    return static_cast<int>(std::clamp(8 * static_cast<long long>(controlPoints), 16LL, most));
}

}  // namespace

std::string splineLimitMessage(Handle h, int degree) {
    std::string what = h ? "Сплайн " + formatHandle(h) : std::string("Сплайн в контуре штриховки");
    return what + " степени " + std::to_string(degree) + " (CAD-программы строят не выше " +
           std::to_string(kMaxSplineDegree) + ") или с более чем " +
           std::to_string(kMaxSplineControlPoints) +
           " управляющими точками взят по своим управляющим точкам";
}

void Reader::hatch(HatchGeom& h, std::size_t gb, std::size_t ge) {
    bool loopsDone = false;
    for (std::size_t k = gb; k < ge; ++k) {
        int c = code(k);
        if (c == 1001) break;
        if (c == 102) {
            k = appGroupEnd(k, ge);
            continue;
        }
        if (c == 10 && !loopsDone) {
            h.elevation = point(k, ge).z;
        } else if (c == 210) {
            h.extrusion = point(k, ge);
        } else if (c == 2) {
            h.pattern = text(trim(val(k)));
        } else if (c == 70) {
            h.solid = inum(k) == 1;
        } else if (c == 91 && !loopsDone) {
            loopsDone = true;
            int loops = inum(k);
            ++k;
            for (int l = 0; l < loops && k < ge && code(k) == 92; ++l) {
                int flags = inum(k++);
                PolylineGeom loop;
                loop.closed = true;
                loop.elevation = h.elevation;
                loop.extrusion = h.extrusion;
                if (flags & 2) {  // a polyline loop
                    while (k < ge) {
                        int cc = code(k);
                        if (cc == 10) {
                            Point3 p = point(k, ge);
                            loop.vertices.push_back(PolyVertex{p.x, p.y, 0.0, 0.0});
                        } else if (cc == 42) {
                            if (!loop.vertices.empty()) loop.vertices.back().bulge = num(k);
                        } else if (cc == 73) {
                            loop.closed = inum(k) != 0 || true;
                        } else if (cc != 72 && cc != 93) {
                            break;
                        }
                        ++k;
                    }
                } else {
                    int edges = 0;
                    if (k < ge && code(k) == 93) edges = inum(k++);
                    for (int ed = 0; ed < edges && k < ge && code(k) == 72; ++ed) {
                        int type = inum(k++);
                        Point3 a, b;
                        double r = 0, s0 = 0, s1 = 0, ratio = 1;
                        bool ccw = true;
                        if (type == 4) {
                            int degree = 3;
                            std::vector<double> knots, weights;
                            std::vector<Point3> ctrl, fit;
                            bool fitCount = false;
                            while (k < ge) {
                                int cc = code(k);
                                if (cc == 94) {
                                    degree = inum(k);
                                } else if (cc == 40) {
                                    knots.push_back(num(k));
                                } else if (cc == 10) {
                                    ctrl.push_back(point(k, ge));
                                } else if (cc == 42) {
                                    weights.push_back(num(k));
                                } else if (cc == 11) {
                                    fit.push_back(point(k, ge));
                                } else if (cc == 12 || cc == 13) {
                                    point(k, ge);
                                } else if (cc == 97 && !fitCount &&
                                           !(k + 1 < ge && code(k + 1) == 330)) {
                                    // R2010 on: the fit point count, even when it is 0, then
                                    // the fit points and tangents. A 97 followed by 330s is
                                    // the loop's count of source objects instead.
                                    fitCount = true;
                                } else if (cc != 73 && cc != 74 && cc != 95 && cc != 96) {
                                    break;
                                }
                                ++k;
                            }
                            if (degree > kMaxSplineDegree ||
                                ctrl.size() > kMaxSplineControlPoints) {
                                issue("spline-limit", gb, 0, splineLimitMessage(0, degree));
                            }
                            std::vector<Point3> pts =
                                ctrl.empty()
                                    ? fit
                                    : sampleSpline(degree, knots, ctrl, weights,
                                                   hatchSplineSegments(degree, ctrl.size()));
                            for (std::size_t q = 0; q + 1 < pts.size(); ++q) {
                                loop.vertices.push_back(PolyVertex{pts[q].x, pts[q].y, 0.0, 0.0});
                            }
                            continue;
                        }
                        while (k < ge) {
                            int cc = code(k);
                            if (cc == 10) {
                                a = point(k, ge);
                            } else if (cc == 11) {
                                b = point(k, ge);
                            } else if (cc == 40) {
                                if (type == 2)
                                    r = num(k);
                                else
                                    ratio = num(k);
                            } else if (cc == 50) {
                                s0 = num(k);
                            } else if (cc == 51) {
                                s1 = num(k);
                            } else if (cc == 73 && type != 1) {
                                ccw = inum(k) != 0;
                            } else {
                                break;
                            }
                            ++k;
                        }
                        constexpr double kDeg = std::numbers::pi / 180.0;
                        if (type == 1) {
                            loop.vertices.push_back(PolyVertex{a.x, a.y, 0.0, 0.0});
                        } else if (type == 2) {
                            // Clockwise arcs keep their angles as 360 - angle.
                            double from = ccw ? s0 : -s0;
                            double sweep = std::fmod(s1 - s0, 360.0);
                            if (sweep <= 0) sweep += 360.0;
                            if (!ccw) sweep = -sweep;
                            Point3 p{a.x + r * std::cos(from * kDeg),
                                     a.y + r * std::sin(from * kDeg), 0.0};
                            loop.vertices.push_back(
                                PolyVertex{p.x, p.y, 0.0, std::tan(sweep * kDeg / 4.0)});
                        } else if (type == 3) {
                            // The angles are true angles from the major axis (clockwise
                            // ones as 360 - angle); points are walked by the ellipse's
                            // parameter, atan2(sin a / ratio, cos a).
                            double sweepAngle = std::fmod(s1 - s0, 360.0);
                            if (sweepAngle <= 0) sweepAngle += 360.0;
                            auto param = [&](double degrees) {
                                double rad = degrees * kDeg;
                                return ratio != 0.0
                                           ? std::atan2(std::sin(rad) / ratio, std::cos(rad))
                                           : rad;
                            };
                            double from = param(ccw ? s0 : -s0);
                            double sweep = 2 * std::numbers::pi;
                            if (sweepAngle < 360.0) {
                                sweep = std::remainder(param(ccw ? s1 : -s1) - from,
                                                       2 * std::numbers::pi);
                                if (ccw && sweep <= 0) sweep += 2 * std::numbers::pi;
                                if (!ccw && sweep >= 0) sweep -= 2 * std::numbers::pi;
                            } else if (!ccw) {
                                sweep = -sweep;
                            }
                            Point3 minor{-b.y * ratio, b.x * ratio, 0.0};
                            constexpr int kSteps = 16;
                            for (int q = 0; q < kSteps; ++q) {
                                double t = from + sweep * q / kSteps;
                                loop.vertices.push_back(PolyVertex{
                                    a.x + b.x * std::cos(t) + minor.x * std::sin(t),
                                    a.y + b.y * std::cos(t) + minor.y * std::sin(t), 0.0, 0.0});
                            }
                        }
                    }
                }
                // Source boundary objects of an associative hatch.
                if (k < ge && code(k) == 97) {
                    ++k;
                    while (k < ge && code(k) == 330) ++k;
                }
                h.loops.push_back(std::move(loop));
            }
            --k;
        }
    }
}

}  // namespace cad::dxf_read
