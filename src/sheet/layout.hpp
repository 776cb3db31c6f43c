// Where things stand on the profile sheet, in drawing units (millimetres of
// the plan). The sheet is drawn with its lower-left corner on the origin and
// plotted at 1:500 onto 1260 x 297 mm; the picket's chainage runs to the right
// of the caption column from kDataAreaX, heights rise above the datum line at
// 1:100. The blank sheet, the profile steps and the plot all read these
// numbers, so moving a row means changing it here only.
#pragma once

namespace sheet {

// The outer frame.
inline constexpr double kWidth = 630000.0;
inline constexpr double kHeight = 148500.0;

// The plot: drawing units to one millimetre of paper.
inline constexpr double kPlotScale = 500.0;
inline constexpr double kPaperWidthMm = kWidth / kPlotScale;    // 1260
inline constexpr double kPaperHeightMm = kHeight / kPlotScale;  // 297

// The inner frame the drawing area keeps to.
inline constexpr double kFrameLeft = 10000.0;
inline constexpr double kFrameBottom = 2500.0;
inline constexpr double kFrameRight = 627500.0;
inline constexpr double kFrameTop = 146000.0;

// The caption column runs from the inner frame to here; its right edge goes on
// up as the axis of the height ruler.
inline constexpr double kCaptionRight = 38000.0;

// Along the route: chainage 0 stands at kDataAreaX, one metre is 1000 units,
// a picket (the 100 m station) 100 000.
inline constexpr double kDataAreaX = 55000.0;
inline constexpr double kUnitsPerMetreAlong = 1000.0;
inline constexpr double kPiketSpacing = 100.0 * kUnitsPerMetreAlong;

// Upwards: the datum level (the conventional horizon) at kDatumY, one metre
// of height is 5000 units (1:100 when the sheet is plotted at 1:500).
inline constexpr double kDatumY = 82500.0;
inline constexpr double kUnitsPerMetreUp = 5000.0;

// One row of the table under the profile, bottom and top.
struct Row {
    double bottom;
    double top;
    constexpr double middle() const { return (bottom + top) / 2.0; }
};

// The table's rows from the bottom up; the geology row's top is the datum line.
inline constexpr double kRowHeight = 5000.0;           // every row above the picket row
inline constexpr Row kPlanRow{kFrameBottom, 25000.0};  // the developed plan
inline constexpr Row kPiketRow{kPlanRow.top, 32500.0};
inline constexpr Row kDistanceRow{kPiketRow.top, kPiketRow.top + kRowHeight};
inline constexpr Row kSlopeRow{kDistanceRow.top, kDistanceRow.top + kRowHeight};
inline constexpr Row kBaseRow{kSlopeRow.top, kSlopeRow.top + kRowHeight};
inline constexpr Row kBallastRow{kBaseRow.top, kBaseRow.top + kRowHeight};
inline constexpr Row kPipeTypeRow{kBallastRow.top, kBallastRow.top + kRowHeight};
inline constexpr Row kDepthRow{kPipeTypeRow.top, kPipeTypeRow.top + kRowHeight};
inline constexpr Row kPipeTopRow{kDepthRow.top, kDepthRow.top + kRowHeight};
inline constexpr Row kTrenchBottomRow{kPipeTopRow.top, kPipeTopRow.top + kRowHeight};
inline constexpr Row kGroundRow{kTrenchBottomRow.top, kTrenchBottomRow.top + kRowHeight};
inline constexpr Row kGeologyRow{kGroundRow.top, kGroundRow.top + kRowHeight};
static_assert(kGeologyRow.top == kDatumY);
inline constexpr Row kTableRows[] = {
    kPlanRow,     kPiketRow, kDistanceRow, kSlopeRow,        kBaseRow,   kBallastRow,
    kPipeTypeRow, kDepthRow, kPipeTopRow,  kTrenchBottomRow, kGroundRow, kGeologyRow,
};

// The route line of the developed plan, and how far a crossing's mark reaches
// above and below it (a connection's half mark goes one way only).
inline constexpr double kPlanY = 12500.0;
inline constexpr double kPlanMarkReach = 8000.0;

// Cell borders in the table rows are ticks of this length from the row's edge.
inline constexpr double kTick = 400.0;

}  // namespace sheet
