// The distance, slope and picket rows of the profile table.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <string>
#include <utility>
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
    const RowLabels fit =
        fitLabels(xs, kTextHeight, kMinTableTextHeight, run.x(0), run.x(run.count() - 1));
    // A sheet that goes on from the one above has the distance to its first
    // point there.
    auto valueText = [&run](int i) -> std::optional<std::string> {
        if (i == 0) return run.continues ? std::nullopt : std::optional<std::string>("0");
        return run.tableNumber(toMetres(run.chainage(i) - run.chainage(i - 1)));
    };
    for (int i = 0; i < run.count(); ++i) {
        ticks(run.x(i));
        const int group = fit.group[static_cast<std::size_t>(i)];
        if (group < 0) {
            const std::optional<std::string> text = valueText(i);
            if (!text) continue;
            const LabelSlot& slot = fit.slots[static_cast<std::size_t>(i)];
            run.text(*text, slot.x + slot.height / 2, kDistanceTextY, kUpright, slot.height);
            continue;
        }
        const auto& members = fit.members[static_cast<std::size_t>(group)];
        if (members.front() != static_cast<std::size_t>(i)) continue;
        std::vector<std::string> values;
        std::vector<int> points;
        for (std::size_t k : members) {
            if (std::optional<std::string> text = valueText(static_cast<int>(k))) {
                values.push_back(*text);
                points.push_back(static_cast<int>(k));
            }
        }
        const LabelSlot& slot = fit.references[static_cast<std::size_t>(group)];
        run.text(run.note(values, points, slot.x), slot.x + slot.height / 2, kDistanceTextY,
                 kUpright, slot.height);
    }
}

namespace {

// The texts of the slope row stand in two lanes, the lengths in the lower
// half of the row and the slopes in the upper, each in the corner of its cell
// that the diagonal leaves free. Neighbouring texts keep this much apart.
constexpr double kLaneGap = 250.0;  // 0.5 mm on paper at 1:500
constexpr double kLaneMargin = 200.0;

// Where a lane's texts may stand: along the row, texts written across it
// stay within the table, from the sheet's first point to its last; `room` is
// the lane's height, which an upright text must not outgrow.
struct Lane {
    double tableLo;
    double tableHi;
    double room;
};

// One text of a lane: its cell, and where and how it is written.
struct LaneText {
    std::string text;
    double a = 0.0, b = 0.0;  // its cell along the row
    double height = kTextHeight;
    bool upright = false;  // written across the row: the cell is too short for it
    LaneBox box;           // along the row
    int point = -1;        // the point that ends the cell
};

// Written across the row, reading upwards, at the floor size (smaller only
// where the lane is not high enough for so many characters), its band on
// the cell's middle; it moves along the row to where there is room.
void writeAcross(LaneText& t, const Lane& lane) {
    t.upright = true;
    t.height = std::min(kMinTableTextHeight, kTextHeight * lane.room / widthOf(t.text));
    const double band = t.height;
    t.box = {(t.a + t.b) / 2 - band / 2, band, lane.tableLo,
             std::max(lane.tableLo, lane.tableHi - band)};
}

// A length or slope text of the cell [a, b] as the layout places it: at
// `place` for a text of width `width` (which depends on the size it gets).
// A text longer than its cell is made smaller to stay in it, and no smaller
// than the floor; placed where the layout says, as far as it stays in the
// cell. A cell too short for the text at the floor size has it written
// across the row.
template <typename Place>
LaneText laneText(std::string text, double a, double b, const Lane& lane, Place place) {
    LaneText t;
    t.text = std::move(text);
    t.a = a;
    t.b = b;
    const double cell = b - a;
    const double full = widthOf(t.text);
    if (full + kLaneGap <= cell) {
        // The layout measures the cell by its length to the centimetre,
        // which may reach up to 5 units past its boundary.
        t.box = {std::clamp(place(full), a, b - full), full, a, b - full};
        return t;
    }
    const double height = kTextHeight * (cell - kLaneGap) / full;
    if (height >= kMinTableTextHeight) {
        const double width = widthOf(t.text, height);
        t.height = height;
        t.box = {std::clamp(place(width), a, b - width), width, a, b - width};
        return t;
    }
    writeAcross(t, lane);
    return t;
}

// Places the lane's texts apart and draws nothing; returns the boxes' starts.
// Texts written across the row take their room from the cells beside them;
// where a crowd of them finds none, the texts of the crowd that still stand
// in their cells are written across the row as well, and then, while it
// does not fit, the nearest such text on either side.
std::vector<double> placeTexts(std::vector<LaneText>& texts, const Lane& lane, bool* overflow) {
    *overflow = false;
    for (;;) {
        std::vector<LaneBox> boxes;
        boxes.reserve(texts.size());
        for (const LaneText& t : texts) boxes.push_back(t.box);
        std::optional<LaneRun> failed;
        std::vector<double> starts = placeLane(boxes, kLaneGap, &failed);
        if (!failed) return starts;
        bool turned = false;
        for (std::size_t k = failed->first; k <= failed->last; ++k) {
            if (!texts[k].upright) {
                writeAcross(texts[k], lane);
                turned = true;
            }
        }
        if (turned) continue;
        for (std::size_t k = failed->first; k-- > 0;) {
            if (!texts[k].upright) {
                writeAcross(texts[k], lane);
                turned = true;
                break;
            }
        }
        for (std::size_t k = failed->last + 1; k < texts.size(); ++k) {
            if (!texts[k].upright) {
                writeAcross(texts[k], lane);
                turned = true;
                break;
            }
        }
        if (!turned) {
            *overflow = true;  // the row is too short for its texts
            return starts;
        }
    }
}

// A lane's texts as placeTexts places them where the lane holds them. Where
// it does not, the largest group of cells whose texts stand closer than a
// text across the row and its gap leaves the lane for a note, and one
// reference takes its place in the group's cells; then the next largest,
// until the lane holds its texts.
struct LaneFit {
    std::vector<LaneText> texts;                    // as written: the lane's texts and references
    std::vector<double> starts;                     // of their boxes
    std::vector<std::size_t> entry;                 // per text of the lane: its entry in `texts`
    std::vector<bool> lead;                         // per text: the first its entry stands for
    std::vector<std::string> references;            // per entry: "" for a value of its own
    std::vector<std::vector<std::size_t>> members;  // per entry: the lane's texts it stands for
};

LaneFit fitLane(const std::vector<LaneText>& texts, const Lane& lane, std::size_t firstNote) {
    LaneFit fit;
    auto plain = [&] {
        fit.texts = texts;
        fit.entry.resize(texts.size());
        std::iota(fit.entry.begin(), fit.entry.end(), std::size_t{0});
        fit.lead.assign(texts.size(), true);
        fit.references.assign(texts.size(), "");
        fit.members.clear();
        for (std::size_t k = 0; k < texts.size(); ++k) fit.members.push_back({k});
    };
    plain();
    bool overflow = false;
    fit.starts = placeTexts(fit.texts, lane, &overflow);
    if (!overflow) return fit;
    std::vector<double> middles;
    for (const LaneText& t : texts) middles.push_back((t.a + t.b) / 2);
    const std::vector<LaneRun> runs = closeRuns(middles, kMinTableTextHeight + kLaneGap);
    std::vector<bool> noted(runs.size(), false);
    for (;;) {
        const std::size_t best = largestOpenRun(runs, noted);
        if (best == runs.size()) return fit;
        noted[best] = true;
        fit = {};
        std::size_t note = firstNote;
        for (std::size_t r = 0; r < runs.size(); ++r) {
            const auto [f, l] = runs[r];
            if (!noted[r]) {
                for (std::size_t k = f; k <= l; ++k) {
                    fit.entry.push_back(fit.texts.size());
                    fit.lead.push_back(true);
                    fit.references.push_back("");
                    fit.members.push_back({k});
                    fit.texts.push_back(texts[k]);
                }
                continue;
            }
            const std::string reference = std::to_string(++note) + ")";
            fit.members.emplace_back();
            for (std::size_t k = f; k <= l; ++k) {
                fit.entry.push_back(fit.texts.size());
                fit.lead.push_back(k == f);
                fit.members.back().push_back(k);
            }
            fit.references.push_back(reference);
            // The group's cell boundaries stand too close to read a text
            // between them: the reference is written across the row right
            // after the group (before it, at the end of the row).
            LaneText t;
            t.text = reference;
            t.a = texts[f].a;
            t.b = texts[l].b;
            writeAcross(t, lane);
            t.box.preferred =
                l + 1 < texts.size() || f == 0 ? t.b + kLaneGap : t.a - kLaneGap - t.box.width;
            t.box.preferred = std::clamp(t.box.preferred, t.box.lo, t.box.hi);
            fit.texts.push_back(t);
        }
        fit.starts = placeTexts(fit.texts, lane, &overflow);
        if (!overflow) return fit;
    }
}

void writeLaneText(Run& run, const LaneText& t, double start, double baseline, double uprightBase) {
    if (t.upright) {
        // The glyphs of an upright text lie left of its insertion point.
        run.text(t.text, start + t.height, uprightBase, kUpright, t.height);
    } else {
        run.text(t.text, start, baseline, 0.0, t.height);
    }
}

}  // namespace

void drawSlopeRow(Run& run) {
    using sheet::kSlopeRow;
    // A cell's diagonal rises or falls across the row through its middle; its
    // texts centre on the cell, whose length is in metres.
    constexpr double mid = kSlopeRow.middle();
    constexpr double halfRow = (kSlopeRow.top - kSlopeRow.bottom) / 2.0;
    const double halfMetre = sheet::kUnitsPerMetreAlong / 2.0 * run.along;
    constexpr double lengthBase = kSlopeRow.bottom + 450;
    constexpr double slopeBase = mid + 1200;
    constexpr double lowerLane = kSlopeRow.bottom + kLaneMargin;
    constexpr double upperLane = mid + kLaneMargin;
    constexpr double laneRoom = halfRow - 2 * kLaneMargin;
    // Texts written across the row stay within the table: from the sheet's
    // first point to its last, or to the frame where the picket is shorter.
    const Lane lane{run.x(0), run.x(run.count() - 1), laneRoom};

    struct Cell {
        int point;        // the break point that ends it
        double from;      // chainage of the break point before
        double len;       // metres
        double slope;     // thousandths
        int length = -1;  // its texts in the lanes, -1 for none
        int slopeText = -1;
    };
    std::vector<Cell> cells;
    std::vector<LaneText> lengths, slopes;
    const model::PointRow& p0 = run.point(0);
    double hb = p0[model::kRelief] - p0[model::kDepth];
    double cb = run.chainage(0);
    for (int i = 1; i < run.count(); ++i) {
        const model::PointRow& p = run.point(i);
        // Inside the cell that spans it; so is a ground point from the survey,
        // where the pipe keeps its course.
        if (p[model::kDepth] == model::kAuto || p[model::kPointKind] == model::kGroundPoint) {
            continue;
        }
        const double h = p[model::kRelief] - p[model::kDepth];
        Cell cell{i, cb, toMetres(run.chainage(i) - cb), 0.0};
        // Break points 5 units apart or less make a cell of no length: it keeps
        // its boundary but has no slope to show.
        if (cell.len != 0.0) {
            cell.slope = (h - hb) * 1000.0 / cell.len;
            const double s = sign(cell.slope);
            const double a = run.xAt(cb);
            const double b = run.x(i);
            const double half = halfMetre * cell.len;
            // A rising cell has its length at the right end of the lower half
            // and its slope at the left end of the upper, a falling one the
            // other way round, a level one both from the middle on.
            cell.length = static_cast<int>(lengths.size());
            lengths.push_back(laneText(run.tableNumber(cell.len), a, b, lane, [&](double w) {
                return a + half + half * s - (s > 0.0 ? w : 0.0);
            }));
            lengths.back().point = i;
            cell.slopeText = static_cast<int>(slopes.size());
            slopes.push_back(laneText(
                run.tableNumber(model::roundHalfEven(std::fabs(cell.slope) * 10.0) / 10.0), a, b,
                lane, [&](double w) { return a + half - half * s - (s < 0.0 ? w : 0.0); }));
            slopes.back().point = i;
        }
        cells.push_back(cell);
        hb = h;
        cb = run.chainage(i);
    }
    const LaneFit lengthFit = fitLane(lengths, lane, run.notes.size());
    const std::size_t lengthNotes =
        std::count_if(lengthFit.references.begin(), lengthFit.references.end(),
                      [](const std::string& r) { return !r.empty(); });
    const LaneFit slopeFit = fitLane(slopes, lane, run.notes.size() + lengthNotes);
    // The lane's text of a cell, or the reference of the group it went to
    // with the group's values in a note, on the group's first cell.
    auto write = [&](const LaneFit& fit, const std::vector<LaneText>& texts, std::size_t k,
                     double baseline, double uprightBase) {
        if (!fit.lead[k]) return;
        const std::size_t e = fit.entry[k];
        if (!fit.references[e].empty()) {
            std::vector<std::string> values;
            std::vector<int> points;
            for (std::size_t m : fit.members[e]) {
                values.push_back(texts[m].text);
                points.push_back(texts[m].point);
            }
            const double x = fit.starts[e] + fit.texts[e].box.width / 2;
            run.note(values, points, x, std::stoi(fit.references[e]));
        }
        writeLaneText(run, fit.texts[e], fit.starts[e], baseline, uprightBase);
    };

    run.line(run.x(0), kSlopeRow.top, run.x(0), kSlopeRow.bottom);
    for (const Cell& cell : cells) {
        const double xi = run.x(cell.point);
        run.line(xi, kSlopeRow.top, xi, kSlopeRow.bottom);
        if (cell.length < 0) continue;
        const double s = sign(cell.slope);
        if (s != 0.0) {
            run.line(run.xAt(cell.from), mid - halfRow * s, xi, mid + halfRow * s);
        } else {
            run.line(run.xAt(cell.from), mid, xi, mid);
        }
        write(lengthFit, lengths, static_cast<std::size_t>(cell.length), lengthBase, lowerLane);
        write(slopeFit, slopes, static_cast<std::size_t>(cell.slopeText), slopeBase, upperLane);
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
    const RowLabels fit =
        fitLabels(xs, kTextHeight, kMinTableTextHeight, run.x(0), run.x(run.count() - 1));
    // The small text of the current point stands on the label's picket
    // number, at half its size, in the band of the label.
    auto small = [&](const std::string& wholeText, const LabelSlot& slot) {
        run.text(workPointText, slot.x, kPiketTextY + widthOf(wholeText, slot.height), kUpright,
                 625 * (slot.height / kTextHeight));
    };
    // Label k of the row: its text and the text its small one stands on.
    auto labelOf = [&](std::size_t k) -> std::pair<std::string, std::string> {
        if (k < marked.size()) {
            const double m = toMetres(run.chainage(marked[k]));
            const double whole = std::trunc(m / 100.0);
            std::string label = run.number(whole);
            const std::string wholeText = label;
            // The metres past the picket, to the centimetre: 205,57 - 200 is 5,57.
            const double past = model::roundHalfEven((m - 100.0 * whole) * 100.0) / 100.0;
            if (past != 0.0) label += " +" + run.number(past);
            return {label, wholeText};
        }
        const std::string label =
            run.number(static_cast<double>(firstPiket + static_cast<long long>(k - marked.size())));
        return {label, label};
    };
    // A group of labels too close for the row: its reference on the group's
    // first label, the labels in a note (a whole picket's as "ПК 3").
    auto reference = [&](std::size_t k) {
        const auto& members = fit.members[static_cast<std::size_t>(fit.group[k])];
        if (members.front() != k) return;
        std::vector<std::string> values;
        std::vector<int> points;
        for (std::size_t m : members) {
            if (m < marked.size()) {
                values.push_back(labelOf(m).first);
                points.push_back(marked[m]);
            } else {
                values.push_back("ПК " + labelOf(m).first);
            }
        }
        const LabelSlot& slot = fit.references[static_cast<std::size_t>(fit.group[k])];
        run.text(run.note(values, points, slot.x), slot.x + slot.height / 2, kPiketTextY, kUpright,
                 slot.height);
    };
    for (std::size_t k = 0; k < marked.size(); ++k) {
        piketTicks(run, run.x(marked[k]));
        if (fit.group[k] >= 0) {
            reference(k);
            continue;
        }
        const auto [label, wholeText] = labelOf(k);
        const LabelSlot& slot = fit.slots[k];
        small(wholeText, slot);
        run.text(label, slot.x + slot.height / 2, kPiketTextY, kUpright, slot.height);
    }
    for (long long j = firstPiket; j <= wholePikets; ++j) {
        const std::size_t k = marked.size() + static_cast<std::size_t>(j - firstPiket);
        piketTicks(run, run.xAt(static_cast<double>(j) * sheet::kPiketSpacing));
        if (fit.group[k] >= 0) {
            reference(k);
            continue;
        }
        const std::string label = labelOf(k).first;
        const LabelSlot& slot = fit.slots[k];
        run.text(label, slot.x + slot.height / 2, kPiketTextY, kUpright, slot.height);
        small(label, slot);
    }
}

}  // namespace profile::detail
