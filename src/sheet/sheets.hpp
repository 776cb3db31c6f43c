// A profile over several sheets: where a long picket is cut, where each sheet
// stands (one below the other, the first on the origin) and the scales that
// turn chainage and height into sheet units.
#pragma once

#include <cmath>
#include <vector>

#include "model/workspace.hpp"
#include "sheet/layout.hpp"

namespace sheet {

// The gap between a sheet and the one below it.
inline constexpr double kSheetGap = 20000.0;
inline constexpr double kSheetPitch = kHeight + kSheetGap;
// Room kept before the inner frame for the texts of a sheet's last point.
inline constexpr double kEndRoom = 5000.0;
inline constexpr int kMaxSheets = 1000;

// Sheet units per unit of chainage: 1 at 1:500, 0.5 at 1:1000, 0.25 at 1:2000.
inline double alongFactor(const model::SheetOptions& o) {
    return kPlotScale / o.horizontalScale;
}

// Sheet units per metre of height: 5000 at 1:100, 2500 at 1:200.
inline double upUnitsPerMetre(const model::SheetOptions& o) {
    return kUnitsPerMetreUp * 100.0 / o.verticalScale;
}

struct SheetSpan {
    double start = 0.0;    // chainage at the sheet's data area start
    double end = 0.0;      // chainage at its last point
    double offsetY = 0.0;  // the sheet's lower-left corner is (0, offsetY)
};

// The sheets of a picket of the given chainage length. Unsplit, one sheet
// whatever the length. Split, each sheet takes what its data area holds and
// ends at the last whole picket (100 m) within it when there is one.
inline std::vector<SheetSpan> sheetSpans(double length, const model::SheetOptions& o) {
    if (!o.split) return {{0.0, length, 0.0}};
    const double capacity = (kFrameRight - kEndRoom - kDataAreaX) / alongFactor(o);
    std::vector<SheetSpan> spans;
    double start = 0.0;
    while (length - start > capacity && static_cast<int>(spans.size()) + 1 < kMaxSheets) {
        double end = std::floor((start + capacity) / kPiketSpacing) * kPiketSpacing;
        if (!(end > start)) end = start + capacity;
        spans.push_back({start, end, -kSheetPitch * static_cast<double>(spans.size())});
        start = end;
    }
    spans.push_back({start, length, -kSheetPitch * static_cast<double>(spans.size())});
    return spans;
}

}  // namespace sheet
