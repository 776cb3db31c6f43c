// The datum label, the four elevation rows of the table (ground, trench
// bottom, pipe top, trench depth) and, above the datum line, the ground line,
// the pipe line and one vertical line per point.
#include <array>
#include <cmath>
#include <vector>

#include "model/primitives.hpp"
#include "profile/labels.hpp"
#include "profile/steps.hpp"

namespace profile::detail {

namespace {

double toHundredths(double v) {
    return model::roundHalfEven(v * 100.0) / 100.0;
}

// The outer diameter at a point, mm: the casing when there is one.
double outerDiameter(const model::PointRow& p) {
    return p[model::kPipe] > p[model::kCasing] ? p[model::kPipe] : p[model::kCasing];
}

// The rows in the order of their values: ground, trench bottom, pipe top, depth.
constexpr std::array<sheet::Row, 4> kRows = {sheet::kGroundRow, sheet::kTrenchBottomRow,
                                             sheet::kPipeTopRow, sheet::kDepthRow};

}  // namespace

void drawDatumLabel(Run& run) {
    // The datum is a whole number; its label always ends in a zero tenth,
    // written with the sheet's one decimal separator.
    run.text(run.datumNumber(run.datum), 32690, kDatumY + 860, 0.0);
}

void drawElevationRows(Run& run) {
    std::vector<double> xs;
    for (int i = 0; i < run.count(); ++i) xs.push_back(run.x(i));
    const RowLabels fit =
        fitLabels(xs, kTextHeight, kMinTableTextHeight, run.x(0), run.x(run.count() - 1));
    auto valueText = [&run](int i, std::size_t r) {
        const model::PointRow& p = run.point(i);
        const double g = p[model::kRelief];
        const double t = p[model::kDepth];
        const double d = outerDiameter(p) / 1000.0;
        const double values[4] = {g, g - t - d, g - t, d + t};
        return run.tableNumber(toHundredths(values[r]));
    };
    for (int i = 0; i < run.count(); ++i) {
        const double x = run.x(i);
        for (const sheet::Row& row : kRows) {
            run.line(x, row.top, x, row.top - kTick);
            run.line(x, row.bottom, x, row.bottom + kTick);
        }
        const int group = fit.group[static_cast<std::size_t>(i)];
        if (group < 0) {
            const LabelSlot& slot = fit.slots[static_cast<std::size_t>(i)];
            for (std::size_t r = 0; r < kRows.size(); ++r) {
                run.text(valueText(i, r), slot.x + slot.height / 2, kRows[r].bottom + 400, kUpright,
                         slot.height);
            }
            continue;
        }
        // A group of points too close for their values: each row has its
        // reference on the group's first point and the values in a note.
        const auto& members = fit.members[static_cast<std::size_t>(group)];
        if (members.front() != static_cast<std::size_t>(i)) continue;
        const LabelSlot& slot = fit.references[static_cast<std::size_t>(group)];
        std::vector<int> points(members.begin(), members.end());
        for (std::size_t r = 0; r < kRows.size(); ++r) {
            std::vector<std::string> values;
            for (int k : points) values.push_back(valueText(k, r));
            run.text(run.note(values, points, slot.x), slot.x + slot.height / 2,
                     kRows[r].bottom + 400, kUpright, slot.height);
        }
    }
}

void drawProfileLines(Run& run) {
    model::Workspace& ws = run.ws;
    const int n = run.count();
    ws.pointLines.assign(static_cast<std::size_t>(n), cad::EntityRef{});
    double datum = run.steps.empty() ? run.datum : run.steps.front().datum;
    auto y = [&run, &datum](double height) { return kDatumY + (height - datum) * run.up; };

    std::size_t next = 1;  // the next datum step along the route
    // A datum set by hand that does not hold the first point steps there,
    // before the point's line.
    const double g0 = run.point(0)[model::kRelief];
    for (; next < run.steps.size() && run.steps[next].after == 0 &&
           run.steps[next].chainage <= run.chainage(0);
         ++next) {
        drawDatumStep(run, run.chainage(0), g0, datum, run.steps[next].datum);
        datum = run.steps[next].datum;
    }
    cad::EntityRef first = run.line(run.x(0), kDatumY, run.x(0), y(g0));
    ws.pointLines[0] = first;
    first.setLayer("Vline-Kernavisto");

    for (int i = 1; i < n; ++i) {
        const model::PointRow& prev = run.point(i - 1);
        const model::PointRow& cur = run.point(i);
        ws.prevChainage = prev[model::kChainage];
        const double ch1 = run.chainage(i);
        double ch0 = ws.prevChainage;
        double ground0 = prev[model::kRelief];
        const double pipeFrom = prev[model::kRelief] - prev[model::kDepth];
        double pipe0 = pipeFrom;
        const double ground1 = cur[model::kRelief];
        const double pipe1 = cur[model::kRelief] - cur[model::kDepth];
        auto segment = [&](double chEnd, double groundEnd, double pipeEnd) {
            run.line(run.xAt(ch0), y(ground0), run.xAt(chEnd), y(groundEnd));
            cad::EntityRef pipe = run.line(run.xAt(ch0), y(pipe0), run.xAt(chEnd), y(pipeEnd));
            run.strokes.push_back({run.xAt(ch0), y(ground0), run.xAt(chEnd), y(groundEnd)});
            run.strokes.push_back({run.xAt(ch0), y(pipe0), run.xAt(chEnd), y(pipeEnd)});
            pipe.setLineweight(50);
            pipe.setLayer("Трасса");
        };

        // The steps on the way to this point: the lines up to each are drawn
        // over the datum before it, the rest over the new one.
        for (; next < run.steps.size() && run.steps[next].after == i - 1; ++next) {
            const DatumStep& step = run.steps[next];
            const double span = ch1 - prev[model::kChainage];
            const double t = span > 0.0 ? (step.chainage - prev[model::kChainage]) / span : 0.0;
            const double ground = prev[model::kRelief] + (ground1 - prev[model::kRelief]) * t;
            const double pipe = pipeFrom + (pipe1 - pipeFrom) * t;
            if (step.chainage > ch0) segment(step.chainage, ground, pipe);
            drawDatumStep(run, step.chainage, ground, datum, step.datum);
            datum = step.datum;
            ch0 = step.chainage;
            ground0 = ground;
            pipe0 = pipe;
        }
        segment(ch1, ground1, pipe1);

        cad::EntityRef pointLine = run.line(run.x(i), kDatumY, run.x(i), y(ground1));
        ws.pointLines[static_cast<std::size_t>(i)] = pointLine;
        pointLine.setLayer("Vline-Kernavisto");
    }
}

}  // namespace profile::detail
