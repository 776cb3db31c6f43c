// The blank profile sheet of a picket and taking a picket into work. The
// sheet stands with its lower-left corner on the drawing origin: a fixed part
// (frames, margin stamps, the caption column, the height ruler) and the row
// grid of the data area stretched over the picket's length. Plotted at 1:500;
// heights later go above the datum line (layout.hpp).
#pragma once

#include "model/workspace.hpp"
#include "sheet/layout.hpp"

namespace sheet {

inline constexpr int kFixedLineCount = 45;
inline constexpr int kFixedTextCount = 22;
inline constexpr int kGridLineCount = 13;

// The fixed part: 45 lines, then 22 texts, into ws.sheetDoc, with the sheet's
// lower-left corner at (0, offsetY). The scale captions name the scales of
// ws.sheetOptions.
void drawBlankSheet(model::Workspace& ws, double offsetY = 0.0);

// The data-area grid over `length` sheet units, on the sheet at offsetY: eleven row lines, the top
// of the developed-plan row and the plan line (lineweight 50), in that order.
void drawSheetGrid(model::Workspace& ws, double length, double offsetY = 0.0);

// "Взять в работу": the picket of the selected list row becomes the picket in
// work, its sheet is drawn into the active drawing at the origin, and the view
// shows the whole drawing. With no row selected only the zoom happens.
void takeIntoWork(model::Workspace& ws);

}  // namespace sheet
