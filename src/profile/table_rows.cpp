// The distance, slope and picket rows of the profile table.
#include <algorithm>
#include <cmath>
#include <vector>

#include "cad/check.hpp"
#include "model/primitives.hpp"
#include "model/value_checks.hpp"
#include "profile/labels.hpp"
#include "profile/steps.hpp"

namespace profile::detail {

namespace {

// Drawing units (mm) to metres, to the centimetre.
double toMetres(double units) {
    return model::roundHalfEven(units / 10.0) / 100.0;
}

double sign(double v) {
    return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0);
}

constexpr double kDistanceTextY = sheet::kDistanceRow.bottom + 450;
constexpr double kPiketTextY = sheet::kPiketRow.bottom + 450;

constexpr double kCharWidth = 700.0;  // estimated width of one character of a table text

double widthOf(const std::string& text) {
    return kCharWidth * static_cast<double>(text.size());  // table texts are ASCII
}

// The estimate for a text made smaller than the table's.
double widthOf(const std::string& text, double height) {
    return height == kTextHeight ? widthOf(text) : widthOf(text) * height / kTextHeight;
}

// A text longer than its cell is made smaller, down to the floor, to stay in it.
double heightToFit(const std::string& text, double cell) {
    const double width = widthOf(text);
    if (width <= cell) return kTextHeight;
    return std::max(kMinTableTextHeight, kTextHeight * cell / width);
}

void piketTicks(Run& run, double x) {
    run.line(x, sheet::kPiketRow.top, x, sheet::kPiketRow.top - kTick);
    run.line(x, sheet::kPiketRow.bottom, x, sheet::kPiketRow.bottom + kTick);
}

}  // namespace

void drawDistanceRow(Run& run) {
    auto ticks = [&run](double x) {
        run.line(x, sheet::kDistanceRow.top, x, sheet::kDistanceRow.top - kTick);
        run.line(x, sheet::kDistanceRow.bottom, x, sheet::kDistanceRow.bottom + kTick);
    };
    std::vector<double> xs;
    for (int i = 0; i < run.count(); ++i) xs.push_back(run.x(i));
    const std::vector<LabelSlot> slots = spreadLabels(xs, kTextHeight);
    const double x0 = run.x(0);
    ticks(x0);
    // A sheet that goes on from the one above has the distance to its first
    // point there.
    if (!run.continues) {
        run.text("0", slots[0].x + slots[0].height / 2, kDistanceTextY, kUpright, slots[0].height);
    }
    for (int i = 0; i + 1 < run.count(); ++i) {
        const double x = run.x(i + 1);
        const LabelSlot& slot = slots[static_cast<std::size_t>(i + 1)];
        ticks(x);
        run.text(run.tableNumber(toMetres(run.chainage(i + 1) - run.chainage(i))),
                 slot.x + slot.height / 2, kDistanceTextY, kUpright, slot.height);
    }
}

void drawSlopeRow(Run& run) {
    using sheet::kSlopeRow;
    // A cell's diagonal rises or falls across the row through its middle; its
    // texts centre on the cell, whose length is in metres.
    constexpr double mid = kSlopeRow.middle();
    constexpr double halfRow = (kSlopeRow.top - kSlopeRow.bottom) / 2.0;
    const double halfMetre = sheet::kUnitsPerMetreAlong / 2.0 * run.along;
    const model::PointRow& p0 = run.point(0);
    double hb = p0[model::kRelief] - p0[model::kDepth];
    double cb = run.chainage(0);
    run.line(run.x(0), kSlopeRow.top, run.x(0), kSlopeRow.bottom);
    for (int i = 1; i < run.count(); ++i) {
        const model::PointRow& p = run.point(i);
        // Inside the cell that spans it; so is a ground point from the survey,
        // where the pipe keeps its course.
        if (p[model::kDepth] == model::kAuto || p[model::kPointKind] == model::kGroundPoint) {
            continue;
        }
        const double xi = run.x(i);
        run.line(xi, kSlopeRow.top, xi, kSlopeRow.bottom);
        const double h = p[model::kRelief] - p[model::kDepth];
        const double len = toMetres(run.chainage(i) - cb);
        // Break points 5 units apart or less make a cell of no length: it keeps
        // its boundary but has no slope to show.
        if (len != 0.0) {
            const double slope = (h - hb) * 1000.0 / len;
            const double s = sign(slope);
            if (s != 0.0) {
                run.line(run.xAt(cb), mid - halfRow * s, xi, mid + halfRow * s);
            } else {
                run.line(run.xAt(cb), mid, xi, mid);
            }
            const double cell = 2.0 * halfMetre * len;
            const std::string lenText = run.tableNumber(len);
            const double lenHeight = heightToFit(lenText, cell);
            const double lenShift = s > 0.0 ? widthOf(lenText, lenHeight) : 0.0;
            run.text(lenText, run.xAt(cb) + halfMetre * len + halfMetre * len * s - lenShift,
                     kSlopeRow.bottom + 450, 0.0, lenHeight);
            const std::string slopeText =
                run.tableNumber(model::roundHalfEven(std::fabs(slope) * 10.0) / 10.0);
            const double slopeHeight = heightToFit(slopeText, cell);
            const double slopeShift = s < 0.0 ? widthOf(slopeText, slopeHeight) : 0.0;
            run.text(slopeText, run.xAt(cb) + halfMetre * len - halfMetre * len * s - slopeShift,
                     mid + 1200, 0.0, slopeHeight);
        }
        hb = h;
        cb = run.chainage(i);
    }
}

void drawPiketRow(Run& run) {
    model::Workspace& ws = run.ws;
    const std::string workPointText = run.number(ws.workPoint);
    std::vector<int> marked;
    for (int i = 0; i < run.count(); ++i) {
        if (run.chainage(i) == 0.0) continue;
        const cad::EntityRef& object = run.object(i);
        if (!onLayerList(object, ws.controls.typeList(model::TypeList::Route)) &&
            !onLayerList(object, ws.controls.typeList(model::TypeList::Connections))) {
            continue;
        }
        marked.push_back(i);
    }
    const double last = run.chainage(run.count() - 1);
    const auto wholePikets =
        static_cast<long long>(std::trunc(last / sheet::kUnitsPerMetreAlong / 100.0));
    // A sheet that goes on from the one above starts at its first whole picket
    // after the one where that sheet ended.
    const long long firstPiket =
        run.continues ? static_cast<long long>(std::floor(run.start / sheet::kPiketSpacing)) + 1
                      : 0;
    // The build refuses a picket longer than model::kLongestPiketMm.
    KV_ASSERT(wholePikets - firstPiket <=
              static_cast<long long>(model::kLongestPiketMm / sheet::kUnitsPerMetreAlong / 100.0) +
                  1);
    // The labels of route points and of whole pickets share the row.
    std::vector<double> xs;
    for (int i : marked) xs.push_back(run.x(i));
    for (long long j = firstPiket; j <= wholePikets; ++j) {
        xs.push_back(run.xAt(static_cast<double>(j) * sheet::kPiketSpacing));
    }
    const std::vector<LabelSlot> slots = spreadLabels(xs, kTextHeight);
    // The small text of the current point stands on the label's picket
    // number, at half its size, in the band of the label.
    auto small = [&](const std::string& wholeText, const LabelSlot& slot) {
        run.text(workPointText, slot.x, kPiketTextY + widthOf(wholeText, slot.height), kUpright,
                 625 * (slot.height / kTextHeight));
    };
    std::size_t k = 0;
    for (int i : marked) {
        const double x = run.x(i);
        piketTicks(run, x);
        const double m = toMetres(run.chainage(i));
        const double whole = std::trunc(m / 100.0);
        std::string label = run.number(whole);
        const std::string wholeText = label;
        // The metres past the picket, to the centimetre: 205,57 - 200 is 5,57.
        const double past = model::roundHalfEven((m - 100.0 * whole) * 100.0) / 100.0;
        if (past != 0.0) label += " +" + run.number(past);
        const LabelSlot& slot = slots[k++];
        small(wholeText, slot);
        run.text(label, slot.x + slot.height / 2, kPiketTextY, kUpright, slot.height);
    }
    for (long long j = firstPiket; j <= wholePikets; ++j) {
        const double x = run.xAt(static_cast<double>(j) * sheet::kPiketSpacing);
        piketTicks(run, x);
        const std::string label = run.number(static_cast<double>(j));
        const LabelSlot& slot = slots[k++];
        run.text(label, slot.x + slot.height / 2, kPiketTextY, kUpright, slot.height);
        small(label, slot);
    }
}

}  // namespace profile::detail
