#include "profile/labels.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <numeric>
#include <utility>

namespace profile::detail {

namespace {

constexpr double kSlack = 1e-6;  // sheet units: boxes that only touch do not collide

struct Block {
    std::size_t count = 0;
    double sum = 0.0;
    double mean() const { return sum / static_cast<double>(count); }
};

// The indexes of the centres in their order along the row (equal ones as given).
std::vector<std::size_t> alongOrder(const std::vector<double>& centres) {
    std::vector<std::size_t> order(centres.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return centres[a] < centres[b]; });
    return order;
}

// The least-squares non-decreasing fit of q: pool adjacent blocks while they
// are out of order.
std::vector<double> isotonic(const std::vector<double>& q) {
    std::vector<Block> blocks;
    for (double v : q) {
        blocks.push_back({1, v});
        while (blocks.size() > 1 && blocks[blocks.size() - 2].mean() > blocks.back().mean()) {
            Block last = blocks.back();
            blocks.pop_back();
            blocks.back().count += last.count;
            blocks.back().sum += last.sum;
        }
    }
    std::vector<double> out;
    out.reserve(q.size());
    for (const Block& b : blocks) out.insert(out.end(), b.count, b.mean());
    return out;
}

// The runs of consecutive colliding texts, as index ranges [first, last].
std::vector<std::pair<std::size_t, std::size_t>> runsOf(const std::vector<bool>& collide) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t k = 0; k < collide.size(); ++k) {
        if (!collide[k]) continue;
        if (!runs.empty() && runs.back().second + 1 == k) {
            runs.back().second = k;
        } else {
            runs.push_back({k, k});
        }
    }
    return runs;
}

// Solves each run of colliding texts between its neighbours as they stand;
// a run that `solve` cannot place takes the neighbour on either side in
// (merging with the run beyond it) and is solved again. `last` places a
// run that spans the whole row and still failed.
void solveRuns(std::size_t n, const std::vector<bool>& collide,
               const std::function<bool(std::size_t, std::size_t)>& solve,
               const std::function<void(std::size_t, std::size_t)>& last) {
    auto runs = runsOf(collide);
    for (std::size_t r = 0; r < runs.size(); ++r) {
        auto [f, l] = runs[r];
        const auto [f0, l0] = runs[r];
        while (!solve(f, l)) {
            bool grown = false;
            if (f > 0) {
                --f;
                grown = true;
                if (r > 0 && runs[r - 1].second == f) {
                    f = runs[r - 1].first;
                    runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(r - 1));
                    --r;
                }
            }
            if (l + 1 < n) {
                ++l;
                grown = true;
                if (r + 1 < runs.size() && runs[r + 1].first == l) {
                    l = runs[r + 1].second;
                    runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(r + 1));
                }
            }
            if (!grown) {
                last(f0, l0);
                return;
            }
        }
        runs[r] = {f, l};
    }
}

}  // namespace

std::vector<double> packLane(const std::vector<LaneBox>& boxes, double gap, bool* feasible) {
    const std::size_t n = boxes.size();
    // With q[k] = start[k] - S[k], S[k] the widths and gaps before k, the
    // order constraint is q non-decreasing. The ranges, narrowed by what the
    // neighbours' ranges imply, are non-decreasing in q as well, so the
    // bounded fit is the unbounded one clamped into them.
    std::vector<double> before(n, 0.0), lo(n), hi(n), q(n);
    for (std::size_t k = 1; k < n; ++k) before[k] = before[k - 1] + boxes[k - 1].width + gap;
    bool ok = true;
    for (std::size_t k = 0; k < n; ++k) {
        lo[k] = boxes[k].lo;
        if (k > 0) lo[k] = std::max(lo[k], lo[k - 1] + boxes[k - 1].width + gap);
    }
    for (std::size_t k = n; k-- > 0;) {
        hi[k] = boxes[k].hi;
        if (k + 1 < n) hi[k] = std::min(hi[k], hi[k + 1] - boxes[k].width - gap);
        if (lo[k] > hi[k] + kSlack) ok = false;
    }
    for (std::size_t k = 0; k < n; ++k) q[k] = boxes[k].preferred - before[k];
    std::vector<double> fit = isotonic(q);
    std::vector<double> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        double v = fit[k];
        if (ok) v = std::clamp(v, lo[k] - before[k], std::max(lo[k], hi[k]) - before[k]);
        out[k] = v + before[k];
    }
    if (feasible) *feasible = ok;
    return out;
}

std::vector<bool> collisions(const std::vector<LaneBox>& boxes, double gap) {
    std::vector<bool> out(boxes.size(), false);
    double reach = -std::numeric_limits<double>::infinity();
    std::size_t reacher = 0;
    for (std::size_t k = 0; k < boxes.size(); ++k) {
        if (k > 0 && boxes[k].preferred < reach + gap - kSlack) {
            out[k] = true;
            out[reacher] = true;
        }
        const double end = boxes[k].preferred + boxes[k].width;
        if (end > reach) {
            reach = end;
            reacher = k;
        }
    }
    return out;
}

std::vector<double> placeLane(const std::vector<LaneBox>& boxes, double gap,
                              std::optional<LaneRun>* failed) {
    if (failed) failed->reset();
    const std::size_t n = boxes.size();
    std::vector<double> placed(n);
    for (std::size_t k = 0; k < n; ++k) placed[k] = boxes[k].preferred;
    auto solve = [&](std::size_t f, std::size_t l) {
        std::vector<LaneBox> part;
        auto wall = [&](std::size_t k) {
            part.push_back({placed[k], boxes[k].width, placed[k], placed[k]});
        };
        if (f > 0) wall(f - 1);
        part.insert(part.end(), boxes.begin() + static_cast<std::ptrdiff_t>(f),
                    boxes.begin() + static_cast<std::ptrdiff_t>(l + 1));
        if (l + 1 < n) wall(l + 1);
        bool ok = false;
        std::vector<double> starts = packLane(part, gap, &ok);
        if (!ok) return false;
        const std::size_t shift = f > 0 ? 1 : 0;
        for (std::size_t k = f; k <= l; ++k) placed[k] = starts[k - f + shift];
        return true;
    };
    solveRuns(n, collisions(boxes, gap), solve, [&](std::size_t f, std::size_t l) {
        if (failed) *failed = LaneRun{f, l};
        std::vector<LaneBox> loose = boxes;
        for (LaneBox& b : loose) {
            b.lo = -std::numeric_limits<double>::infinity();
            b.hi = std::numeric_limits<double>::infinity();
        }
        placed = packLane(loose, gap, nullptr);
    });
    return placed;
}

std::vector<LabelSlot> spreadLabels(const std::vector<double>& centres, double height, double floor,
                                    double low, double high, bool* overflow) {
    if (overflow) *overflow = false;
    const std::size_t n = centres.size();
    const std::vector<std::size_t> order = alongOrder(centres);
    std::vector<double> c(n);
    for (std::size_t k = 0; k < n; ++k) c[k] = centres[order[k]];

    // Every text in its band at full size; only the colliding ones move.
    std::vector<LabelSlot> placed(n);
    std::vector<LaneBox> full(n);
    for (std::size_t k = 0; k < n; ++k) {
        placed[k] = {c[k], height};
        full[k] = {c[k] - height / 2, height};
    }
    std::vector<double> heights;
    for (double h = height;; h = std::max(floor, h * 0.8)) {
        heights.push_back(h);
        if (h <= floor) break;
    }

    // The crowd [f, l] at height h between the texts beside it as they stand;
    // `near` keeps each within one height of its point.
    auto attempt = [&](std::size_t f, std::size_t l, double h, bool near, bool bounded) {
        std::vector<LaneBox> boxes;
        auto wall = [&](std::size_t k) {
            const double start = placed[k].x - placed[k].height / 2;
            boxes.push_back({start, placed[k].height, start, start});
        };
        if (f > 0) wall(f - 1);
        for (std::size_t k = f; k <= l; ++k) {
            LaneBox b{c[k] - h / 2, h};
            if (near) {
                b.lo = b.preferred - h;
                b.hi = b.preferred + h;
            }
            if (bounded) {
                b.lo = std::max(b.lo, low - h / 2);
                b.hi = std::min(b.hi, high - h / 2);
            }
            boxes.push_back(b);
        }
        if (l + 1 < n) wall(l + 1);
        bool ok = false;
        std::vector<double> starts = packLane(boxes, 0.0, &ok);
        if (!ok && bounded) return false;
        const std::size_t shift = f > 0 ? 1 : 0;
        for (std::size_t k = f; k <= l; ++k) placed[k] = {starts[k - f + shift] + h / 2, h};
        return true;
    };
    auto solve = [&](std::size_t f, std::size_t l) {
        for (double h : heights) {
            if (attempt(f, l, h, true, true)) return true;
        }
        return attempt(f, l, floor, false, true);
    };
    solveRuns(n, collisions(full, 0.0), solve, [&](std::size_t, std::size_t) {
        if (overflow) *overflow = true;
        attempt(0, n - 1, floor, false, false);
    });

    std::vector<LabelSlot> slots(n);
    for (std::size_t k = 0; k < n; ++k) slots[order[k]] = placed[k];
    return slots;
}

std::size_t largestOpenRun(const std::vector<LaneRun>& runs, const std::vector<bool>& noted) {
    std::size_t best = runs.size();
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const std::size_t size = runs[r].last - runs[r].first;
        if (!noted[r] && size > 0 &&
            (best == runs.size() || size > runs[best].last - runs[best].first)) {
            best = r;
        }
    }
    return best;
}

std::vector<LaneRun> closeRuns(const std::vector<double>& along, double spacing) {
    std::vector<LaneRun> runs;
    for (std::size_t k = 0; k < along.size(); ++k) {
        if (k > 0 && along[k] - along[k - 1] < spacing - kSlack) {
            runs.back().last = k;
        } else {
            runs.push_back({k, k});
        }
    }
    return runs;
}

RowLabels fitLabels(const std::vector<double>& centres, double height, double floor, double low,
                    double high) {
    const std::size_t n = centres.size();
    RowLabels out;
    bool overflow = false;
    out.slots = spreadLabels(centres, height, floor, low, high, &overflow);
    out.group.assign(n, -1);
    if (!overflow) return out;

    const std::vector<std::size_t> order = alongOrder(centres);
    std::vector<double> c(n);
    for (std::size_t k = 0; k < n; ++k) c[k] = centres[order[k]];
    const std::vector<LaneRun> runs = closeRuns(c, floor);
    std::vector<bool> noted(runs.size(), false);
    for (;;) {
        const std::size_t best = largestOpenRun(runs, noted);
        if (best == runs.size()) break;  // every group noted: the row holds what is left
        noted[best] = true;
        std::vector<double> reduced;
        for (std::size_t r = 0; r < runs.size(); ++r) {
            if (noted[r]) {
                reduced.push_back((c[runs[r].first] + c[runs[r].last]) / 2);
            } else {
                for (std::size_t k = runs[r].first; k <= runs[r].last; ++k) reduced.push_back(c[k]);
            }
        }
        const std::vector<LabelSlot> slots =
            spreadLabels(reduced, height, floor, low, high, &overflow);
        out.references.clear();
        out.members.clear();
        out.group.assign(n, -1);
        std::size_t e = 0;
        for (std::size_t r = 0; r < runs.size(); ++r) {
            if (noted[r]) {
                out.references.push_back(slots[e++]);
                out.members.emplace_back();
                for (std::size_t k = runs[r].first; k <= runs[r].last; ++k) {
                    out.group[order[k]] = static_cast<int>(out.members.size() - 1);
                    out.members.back().push_back(order[k]);
                }
            } else {
                for (std::size_t k = runs[r].first; k <= runs[r].last; ++k) {
                    out.slots[order[k]] = slots[e++];
                }
            }
        }
        if (!overflow) break;
    }
    return out;
}

}  // namespace profile::detail
