// The notes of a sheet: the values of rows too short for them, each note a
// block of lines in the profile area under the top of the frame, clear of
// everything the run drew.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "profile/labels.hpp"
#include "profile/steps.hpp"
#include "sheet/layout.hpp"

namespace profile::detail {

namespace {

constexpr double kNoteHeight = kMinTableTextHeight;
constexpr double kLinePitch = 1.6 * kNoteHeight;
constexpr double kFrameMargin = 1000.0;  // from the inner frame
constexpr double kClear = 750.0;         // from anything drawn

// The note broken into lines no longer than `width`, between its words.
std::vector<std::string> wrap(const std::string& text, double width) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && textLength(line + " " + word, kNoteHeight) > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = line.empty() ? word : line + " " + word;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

struct Place {
    double x, top;
};

// A place for a block of `width` by `height` in the profile area where no
// box of `boxes` comes nearer than kClear: of the places under the frame or
// under something drawn, the one nearest its reference at `want` (along the
// sheet) and the frame's top (down it), the two distances summed; so notes
// stand one under the other beside their references while there is room.
std::optional<Place> placeFor(const std::vector<Run::Box>& boxes, double width, double height,
                              double want) {
    const double xLo = kDataAreaX, xHi = sheet::kFrameRight - kFrameMargin;
    const double yLo = kDatumY + kFrameMargin, yHi = sheet::kFrameTop - kFrameMargin;
    if (xHi - xLo < width || yHi - yLo < height) return std::nullopt;
    std::vector<double> tops = {yHi};
    for (const Run::Box& b : boxes) {
        const double t = b.bottom - kClear;
        if (t < yHi && t - height >= yLo) tops.push_back(t);
    }
    std::sort(tops.begin(), tops.end(), std::greater<>());
    tops.erase(std::unique(tops.begin(), tops.end()), tops.end());
    std::optional<Place> best;
    double bestOff = std::numeric_limits<double>::infinity();
    for (double top : tops) {
        if (yHi - top >= bestOff) break;
        const double bottom = top - height;
        // What stands in the band, as spans along the sheet.
        std::vector<std::pair<double, double>> taken;
        for (const Run::Box& b : boxes) {
            if (b.top + kClear > bottom && b.bottom - kClear < top) {
                taken.push_back({b.left - kClear, b.right + kClear});
            }
        }
        std::sort(taken.begin(), taken.end());
        double from = xLo;
        auto tryGap = [&](double a, double b) {
            if (b - a < width) return;
            const double x = std::clamp(want - width / 2, a, b - width);
            const double off = std::fabs(x + width / 2 - want) + (yHi - top);
            if (off < bestOff) {
                bestOff = off;
                best = Place{x, top};
            }
        };
        for (const auto& [a, b] : taken) {
            tryGap(from, std::min(a, xHi));
            from = std::max(from, b);
            if (from >= xHi) break;
        }
        tryGap(from, xHi);
    }
    return best;
}

}  // namespace

void drawNotes(Run& run) {
    for (const Run::Note& note : run.notes) {
        if (note.text.empty()) continue;
        std::vector<std::string> lines;
        std::optional<Place> at;
        double width = 0.0;
        // As wide as a sixth of the sheet, narrower where only a narrow
        // place is free.
        for (double limit : {100000.0, 50000.0, 25000.0}) {
            lines = wrap(note.text, limit);
            width = 0.0;
            for (const std::string& l : lines) width = std::max(width, textLength(l, kNoteHeight));
            const double height = kLinePitch * static_cast<double>(lines.size() - 1) + kNoteHeight;
            at = placeFor(run.drawn, width, height, note.x);
            if (at) break;
        }
        // A profile area with no room left at all gets the note over the
        // start of the sheet, under the frame.
        const Place p = at.value_or(Place{kDataAreaX, sheet::kFrameTop - kFrameMargin});
        for (std::size_t k = 0; k < lines.size(); ++k) {
            run.text(lines[k], p.x, p.top - kNoteHeight - kLinePitch * static_cast<double>(k), 0.0,
                     kNoteHeight);
        }
    }
}

}  // namespace profile::detail
