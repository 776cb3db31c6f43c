// The crossed utility of the current point on the crossing editor's panel:
// its top with "Изменить" and "Указать", its diameter, its kind, and how each
// value was found. Built under the point's own fields; shown from and read
// into model::Controls like the other fields, and disabled, with the reason
// under the pointer, while the current point is no crossing.
#pragma once

namespace model {
struct Controls;
}

class QWidget;

namespace app {

struct PanelWidgets;

// Places the fields on the editor's panel from `y` down (in the panel's own
// layout units) and returns where the next row begins.
int buildCrossedFields(QWidget* panel, PanelWidgets& widgets, int y);

// Writes crossTopText, crossDiameterText, crossKindIndex, crossedFoundText
// and crossedNote into the fields, signals quiet.
void pushCrossed(const model::Controls& controls, const PanelWidgets& widgets);
// Reads the fields and the kind list back.
void pullCrossed(model::Controls& controls, const PanelWidgets& widgets);

}  // namespace app
