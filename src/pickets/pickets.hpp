// Defining pickets: by their two end points (the route chain between them is
// found and turned to run from start to end) or by picking their elements one
// after another; building a picket's ordered points (element ends and every
// crossing with an object on a type layer); the picket list and its rows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cad/geom.hpp"
#include "model/workspace.hpp"

namespace pickets {

inline constexpr const char* kPromptStart = "Укажите начало пикета";
inline constexpr const char* kPromptEnd = "Укажите конец пикета";
inline constexpr const char* kStartNotFound = "Ошибка поиска начала";
// Shown in the prompt line when a picked object has no start and end point.
inline constexpr const char* kNotAnElement =
    "Объект без начальной и конечной точки не может быть элементом пикета";

// The names the depth and pipe fields carry in messages.
inline constexpr const char* kDepthFieldName = "Глубина верха трубопровода, м";
inline constexpr const char* kPipeFieldName = "Трубы, мм";

// The coordinate compared to four significant characters of its integer part
// (a minus sign counts): v * 10^(4 - L), rounded half to even, where L is the
// length of the text of Trunc(v). 0.7 -> 700, -12.5 -> -125, 2345.5 -> 2346,
// 12345.4 and 12349.9 -> 1235. Two points touch when the keys of X and of Y agree.
long long CoordKey(double v);

// Element ends this close to each other (plan units, in the plane) touch in
// the search over the route whatever their CoordKey; the command line's
// --snap takes the same distance by default.
inline constexpr double kJointTolerance = 0.05;

// The prompt of the sequential selection with the number of elements picked so far.
std::string sequencePrompt(int elementCount);

struct BuildOptions {
    // The spatial index only chooses which element–object pairs to intersect;
    // false runs the plain loop over every pair. Both give the same points.
    bool useIndex = true;
};

// Fills the picket's points from its elements: each element's start (value 3 =
// startDepth) and end (value 3 = the depth field), every vertex of a polyline
// element in the order the route passes them (the first with startDepth), then
// every crossing of an element with an object of objectList on a type layer
// (objectList order, then element order); X and Y rounded to 0.01 mm of
// terrain (0.01 of a unit in a plan drawn in millimetres); later
// duplicates removed; the point equal to the start moved to the front; then
// the points ordered by their distance along the elements from the start
// (model::RoutePath), points at one place in the order they had. Rounds start
// and end the same way in place. Shows "Ошибка поиска начала" when the start is not
// among the points. Reads the depth and pipe fields first: cad::Error before
// anything changes when one is not a number.
void BuildPiketPoints(model::Workspace& ws, model::Piket& piket, cad::Point3& start,
                      cad::Point3& end, double startDepth, BuildOptions options = {});

// The objects of objectList on the route layers that have two ends: what a
// picket by its end points is looked for among.
std::vector<cad::EntityRef> routeElements(const model::Workspace& ws);

// A picket end typed or picked within `tolerance` (plan units) of an end of
// one of `routeList` takes that end exactly, as object snap would: the route
// search matches ends exactly. The nearest such end and its element; none
// when no end is that near.
struct RouteEnd {
    cad::Point3 point;
    cad::EntityRef element;
};
std::optional<RouteEnd> routeEndNear(const std::vector<cad::EntityRef>& routeList, cad::Point3 p,
                                     double tolerance);

// "Добавить пикет по конечным точкам" (SpeedButton17).
void addByEndPoints(model::Workspace& ws);

// "Добавить пикет последовательным выбором трассы" (SpeedButton33).
void addBySequence(model::Workspace& ws);

// "Удалить" (SpeedButton18): removes the selected row of the picket list; the
// picket stays in the table and the numbering goes on.
void deleteSelectedRow(model::Workspace& ws);

}  // namespace pickets
