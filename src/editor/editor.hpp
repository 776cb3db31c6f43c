// The crossing editor: walking the points of the picket in work with the
// marker cross, changing a point's relief height, pipe and casing diameters,
// adding a point picked in the drawing and deleting the current point, and
// following the selection of a profile's point line in the sheet drawing.
//
// Every operation needs a picket in work and does nothing without one; unless
// said otherwise it also does nothing on a picket without points. The editor's
// labels and fields are Controls::pointCountText, pointNumberText, reliefText, casingText and
// pointPipeText.
#pragma once

#include <string>
#include <vector>

#include "model/workspace.hpp"

namespace editor {

// The fields of the editor panel that take keys.
enum class Field {
    Relief,  // Edit3, relief height
    Casing,  // Edit6, casing diameter
    Pipe,    // Edit7, pipe diameter
    // The crossed utility (model::crossedAt) of a crossing point.
    CrossTop,       // "Верх пересекаемой сети, м"
    CrossDiameter,  // "Диаметр (высота) пересекаемой, мм"
    CrossKind,      // "Вид пересекаемой сети", the list
};

// The keys the fields react to.
enum class Key { Left, Up, Right, Down, End, Home, Enter, Other };

// "Параметры пересечений пикета": brings the editor to the front, shows the
// point count, makes point 0 current (its relief height "same as previous"
// becomes automatic) and shows it. Works also on a picket without points.
void open(model::Workspace& ws);

// "<<", "<", ">", ">>". Stepping forward onto a point whose relief height is
// "same as previous" gives it the previous point's value (automatic on point 0).
void first(model::Workspace& ws);
void previous(model::Workspace& ws);
void next(model::Workspace& ws);
void last(model::Workspace& ws);

// Shows point workPoint in the editor's label and fields, centres the view on
// it (only when zoom is asked and the project drawing is the active one) and
// moves the marker cross onto it.
void ShowWorkPoint(model::Workspace& ws, bool zoom = true);

// Puts the 600 x 600 marker cross (markLine1, markLine2) centred on (x, y).
void MoveMarker(model::Workspace& ws, double x, double y);

// Makes point `index` (0-based) current the way selecting its point line does:
// no "same as previous" rule, then ShowWorkPoint. cad::Error when the picket
// in work has no such point.
void selectPoint(model::Workspace& ws, int index);

// Key released in a field: the arrows step ("<<" Left, ">" Up, "<" Down,
// ">>" Right), End is "Авто", Home is "Указать". Returns whether the key acted.
bool keyUp(model::Workspace& ws, Field field, Key key);
// Key typed in a field: Enter takes over that field's value. Returns whether
// the key acted.
bool keyPress(model::Workspace& ws, Field field, Key key);

// "Изменить" of the relief height (Edit3): the field's text with its decimal
// point made the one in force; "Авто" or -1 mean automatic. cad::Error when the
// text is not a number (the point keeps its value, the field the fixed text).
void takeOverRelief(model::Workspace& ws);
void takeOverPipe(model::Workspace& ws);    // Edit7, value 4
void takeOverCasing(model::Workspace& ws);  // Edit6, value 5

// "Авто": the relief height of the current point becomes automatic.
void setAuto(model::Workspace& ws);

// "Указать": the relief height taken from a text picked in the drawing, read
// under either decimal separator; the field shows the text as it stands. Esc,
// an entity without text or a text that is not a number change nothing and
// show no message.
void pickRelief(model::Workspace& ws);

// The crossed utility of the current point. Each takes its field
// (Controls::crossTopText, crossDiameterText, crossKindIndex): an empty number
// field clears the value, kind 0 ("по слою") leaves the kind to the table. A
// value shown unchanged keeps how it was found. cad::Error naming the field
// when the text is not a number within its limit, and saying why when the
// point is no crossing point (nothing changes then).
void takeOverCrossTop(model::Workspace& ws);
void takeOverCrossDiameter(model::Workspace& ws);
void takeOverCrossKind(model::Workspace& ws);

// "Указать" beside the top of the crossed utility: as pickRelief, the top
// taken from a picked text (found by Picked). A text that is no height is
// said; Esc or an entity without text change nothing.
void pickCrossTop(model::Workspace& ws);

// The names of the kind list as the window shows it: "по слою", then the
// names of kCrossKinds.
std::vector<std::string> crossKindChoices();

// "Добавить пересечение": a point picked in the drawing, appended with an
// automatic relief height, the initial depth and pipe diameter, then ordered
// in by nearest neighbour from point 0; it becomes the current point. Works
// also on a picket without points. Esc changes nothing; a depth or pipe field
// that is not a number is refused before the prompt.
void addPoint(model::Workspace& ws);

// "Удалить пересечение": removes the current point; the point before it (or,
// for point 0, the one after it) becomes current.
void deletePoint(model::Workspace& ws);

// The sheet drawing's selection changed: a selected point line of the newest
// profile makes its point current (the last such line in the selection wins).
void onSelectionChanged(model::Workspace& ws);

}  // namespace editor
