// The sample plan of a water main (examples/plan.dxf), made with the
// drawing engine from fixed numbers so that every run gives the same file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cad/drawing.hpp"

namespace kvtools {

// Layer names of the plan, as the program's type lists expect them.
inline constexpr const char* kRouteLayer = "Трасса - Kernavisto";
inline constexpr const char* kConnectionLayer = "Подводы - Kernavisto";
inline constexpr const char* kWaterLayer = "Водопровод - Kernavisto";
inline constexpr const char* kHeatingLayer = "Теплотрасса - Kernavisto";
inline constexpr const char* kAsphaltLayer = "Асфальт - Kernavisto";
inline constexpr const char* kEmptyRouteLayer = "Трасса";
inline constexpr const char* kHeightLayer = "Отметки";

struct SamplePlan {
    std::unique_ptr<cad::Drawing> drawing;
    std::vector<cad::Point3> route;             // the route's vertices, start to end
    std::vector<cad::Point3> connectionStarts;  // where the service connections leave the route
};

// Builds the plan as a DXF R2000 drawing with $DWGCODEPAGE ANSI_1251.
SamplePlan makeSamplePlan();

}  // namespace kvtools
