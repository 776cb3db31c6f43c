// Building the profile of the picket in work: chainages, interpolated heights
// and depths, the datum level, and everything the run draws into the sheet
// (elevation rows, ground, pipe and point lines, developed-plan marks, the
// distance, slope and picket rows, the bend angles). Both profile buttons of
// the main window call build().
#pragma once

#include <string>

#include "model/workspace.hpp"

namespace profile {

// One profile run on the picket in work. Refuses with a message, drawing and
// changing nothing, when no picket is in work, the picket has fewer than two
// points, or no point has a known relief height.
void build(model::Workspace& ws);

// "Перестраивать сразу": after a change of values, the profile of the picket
// in work is built again (the previous one replaced) when its values allow a
// profile; otherwise nothing happens and nothing is said, as the user is
// still typing.
void rebuildLive(model::Workspace& ws);

// The text of a table value: the general number text, with a "0" appended
// when the separator ',' stands second to last (12,5 -> 12,50).
std::string TableNumberText(double value, char decimalSeparator);

}  // namespace profile
