#include "profile/labels.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>

namespace profile::detail {

namespace {

struct Block {
    std::size_t first = 0;  // positions into the sorted order
    std::size_t count = 0;
    double sum = 0.0;
    double mean() const { return sum / static_cast<double>(count); }
};

// Bands of width w one after another keep p[k+1] - p[k] >= w. With
// q[k] = c[k] - k w the constraint is q non-decreasing, and the least moves
// are the isotonic fit of q: pool adjacent blocks while they are out of order.
std::vector<Block> pool(const std::vector<double>& sorted, std::size_t from, std::size_t to,
                        double w) {
    std::vector<Block> blocks;
    for (std::size_t k = from; k < to; ++k) {
        blocks.push_back({k, 1, sorted[k] - static_cast<double>(k - from) * w});
        while (blocks.size() > 1 && blocks[blocks.size() - 2].mean() > blocks.back().mean()) {
            Block last = blocks.back();
            blocks.pop_back();
            blocks.back().count += last.count;
            blocks.back().sum += last.sum;
        }
    }
    return blocks;
}

}  // namespace

std::vector<LabelSlot> spreadLabels(const std::vector<double>& centres, double height,
                                    double floor) {
    const std::size_t n = centres.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return centres[a] < centres[b]; });
    std::vector<double> sorted(n);
    for (std::size_t k = 0; k < n; ++k) sorted[k] = centres[order[k]];

    std::vector<LabelSlot> slots(n);
    for (const Block& crowd : pool(sorted, 0, n, height)) {
        if (crowd.count == 1) {
            slots[order[crowd.first]] = {sorted[crowd.first], height};
            continue;
        }
        // Smaller texts need less room: take the largest size that keeps each
        // text of the crowd within one text height of its point.
        const std::size_t end = crowd.first + crowd.count;
        double h = height;
        std::vector<double> placed(crowd.count);
        for (;;) {
            for (const Block& b : pool(sorted, crowd.first, end, h)) {
                for (std::size_t k = b.first; k < b.first + b.count; ++k) {
                    placed[k - crowd.first] =
                        b.count == 1 ? sorted[k]
                                     : b.mean() + static_cast<double>(k - crowd.first) * h;
                }
            }
            double worst = 0.0;
            for (std::size_t k = crowd.first; k < end; ++k) {
                worst = std::max(worst, std::fabs(placed[k - crowd.first] - sorted[k]));
            }
            if (worst <= h || h <= floor) break;
            h = std::max(floor, h * 0.8);
        }
        for (std::size_t k = crowd.first; k < end; ++k) {
            slots[order[k]] = {placed[k - crowd.first], h};
        }
    }
    return slots;
}

}  // namespace profile::detail
