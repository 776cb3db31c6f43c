// Breaking the datum where the heights of a sheet do not fit its profile
// area: where the steps go and what they draw.
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "profile/steps.hpp"
#include "sheet/layout.hpp"

namespace profile::detail {

namespace {

constexpr double kTopRoom = 2500.0;  // kept free under the inner frame
constexpr double kSlack = 1e-9;      // metres: heights computed from fractions of a segment
// A climb of a whole profile area between two points moves the datum by at
// least a metre a step; this many steps in one segment is more than a sheet holds.
constexpr int kMaxStepsInSegment = 64;

// Heights at one place along the route: the ground and the pipe top.
struct Heights {
    double ground;
    double pipe;
    double low() const { return std::min(ground, pipe); }
    double high() const { return std::max(ground, pipe); }
};

Heights heightsOf(const model::PointRow& p) {
    return {p[model::kRelief], p[model::kRelief] - p[model::kDepth]};
}

class StepFinder {
  public:
    StepFinder(const Run& run) : run_(run), room_(profileRoom(run.up)) {}

    std::vector<DatumStep> steps() {
        const int n = run_.count();
        double d = run_.datum;
        if (!run_.datumByHand && !holds(d, at(0))) {
            if (std::optional<double> e = stretchDatum(at(0), 1)) d = *e;
        }
        out_.push_back({-1, run_.chainage(0), d});
        for (int i = 1; i < n; ++i) {
            if (holds(d, at(i))) continue;
            const int a = i - 1;
            // Where the point before still fits, the step goes there, at a point of the picket.
            if (holds(d, at(a))) {
                if (std::optional<double> e = stretchDatum(at(a), i); e && holds(*e, at(i))) {
                    d = stepAt(a, run_.chainage(a), *e);
                    continue;
                }
            }
            d = stepsInside(a, d);
        }
        return std::move(out_);
    }

  private:
    // A step on the sheet's first point is no step: the sheet starts from
    // its datum instead (unless the user set the datum there).
    double stepAt(int a, double chainage, double datum) {
        if (!run_.datumByHand && out_.size() == 1 && chainage == out_[0].chainage) {
            out_[0].datum = datum;
        } else {
            out_.push_back({a, chainage, datum});
        }
        return datum;
    }

    Heights at(int i) const { return heightsOf(run_.point(i)); }

    bool holds(double d, const Heights& h) const {
        return h.low() >= d - kSlack && h.high() <= d + room_ + kSlack;
    }

    // The whole datum nearest to 5 m under the lowest ground that holds
    // everything between `low` and `high`, with `ground` the lowest ground.
    std::optional<double> pick(double low, double high, double ground) const {
        const double lowest = std::ceil(high - room_ - kSlack);
        const double highest = std::floor(low + kSlack);
        if (lowest > highest) return std::nullopt;
        return std::clamp(std::trunc(ground - 5.0), lowest, highest);
    }

    // The datum of a stretch that starts with `start` and goes on over the
    // points from `k` as far as one datum holds them.
    std::optional<double> stretchDatum(const Heights& start, int k) const {
        double low = start.low(), high = start.high(), ground = start.ground;
        std::optional<double> d = pick(low, high, ground);
        for (int i = k; d && i < run_.count(); ++i) {
            const Heights h = at(i);
            const std::optional<double> e =
                pick(std::min(low, h.low()), std::max(high, h.high()), std::min(ground, h.ground));
            if (!e) break;
            low = std::min(low, h.low());
            high = std::max(high, h.high());
            ground = std::min(ground, h.ground);
            d = e;
        }
        return d;
    }

    // Ground or pipe climbs or falls more between points a and a + 1 than
    // the area holds: steps inside the segment, each where a line leaves the
    // area. Returns the datum in force at point a + 1.
    double stepsInside(int a, double d) {
        const Heights from = at(a), to = at(a + 1);
        const double ch0 = run_.chainage(a), ch1 = run_.chainage(a + 1);
        double t0 = 0.0;
        for (int guard = 0; guard < kMaxStepsInSegment && !holds(d, to); ++guard) {
            // The first fraction of the segment from t0 on where a line leaves.
            double t = 1.0;
            bool rising = false;
            for (auto [f0, f1] : {std::pair{from.ground, to.ground}, {from.pipe, to.pipe}}) {
                const bool above = f1 > d + room_ + kSlack;
                if (!above && f1 >= d - kSlack) continue;
                const double edge = above ? d + room_ : d;
                // A line already outside where the search starts leaves there.
                const double ft0 = f0 + (f1 - f0) * t0;
                const bool outside = ft0 > d + room_ + kSlack || ft0 < d - kSlack;
                const double te =
                    outside || f1 == f0 ? t0 : std::clamp((edge - f0) / (f1 - f0), t0, 1.0);
                if (te < t) {
                    t = te;
                    rising = above;
                }
            }
            const Heights h{from.ground + (to.ground - from.ground) * t,
                            from.pipe + (to.pipe - from.pipe) * t};
            const double ch = ch0 + (ch1 - ch0) * t;
            if (std::optional<double> e = stretchDatum(h, a + 1); e && holds(*e, to)) {
                return stepAt(a, ch, *e);
            }
            // The datum that leaves the most room the way the lines go.
            const double lowest = std::ceil(h.high() - room_ - kSlack);
            const double highest = std::floor(h.low() + kSlack);
            const double next = rising ? highest : lowest;
            if (lowest > highest || next == d) break;  // the pipe lies deeper than the area is high
            d = stepAt(a, ch, next);
            t0 = t;
        }
        return d;
    }

    const Run& run_;
    const double room_;
    std::vector<DatumStep> out_;
};

}  // namespace

double profileRoom(double up) {
    return (sheet::kFrameTop - kTopRoom - kDatumY) / up;
}

std::vector<DatumStep> datumSteps(const Run& run) {
    if (run.count() == 0) return {{-1, 0.0, run.datum}};
    return StepFinder(run).steps();
}

double datumAtPoint(const Run& run, int i) {
    // As drawProfileLines goes: the steps on the way to a point come before
    // its line, a step at the first point only where it stands at the point.
    double d = run.steps.empty() ? run.datum : run.steps.front().datum;
    for (std::size_t s = 1; s < run.steps.size(); ++s) {
        const DatumStep& step = run.steps[s];
        const bool before =
            step.after < i || (i == 0 && step.after == 0 && step.chainage <= run.chainage(0));
        if (!before) break;
        d = step.datum;
    }
    return d;
}

void drawDatumStep(Run& run, double chainage, double ground, double before, double after) {
    const double x = run.xAt(chainage);
    const double top = kDatumY + (ground - std::min(before, after)) * run.up;
    run.line(x, kDatumY, x, top);
    // Written as the sheet's datum label is, reading upwards beside the line
    // near the datum line, on the side where the ground stands higher and
    // leaves that corner free: before the step where the datum rises.
    const double gap = 250.0;
    const double at = after > before ? x - gap : x + gap + kTextHeight;
    run.text("УГ " + run.datumNumber(after), at, kDatumY + 860, kUpright);
}

}  // namespace profile::detail
