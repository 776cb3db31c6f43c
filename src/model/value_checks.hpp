// The limits of every value the program takes in: typed in a field, given on
// the command line, read from a project file or from a survey drawn in the
// plan, or measured on the plan itself. Every door asks here, so that none
// lets through what another refuses, and nothing reaches a drawing that the
// drawing cannot carry (a depth of 1e30 m, a plan point at 1e15 mm).
#pragma once

#include <optional>
#include <string>

#include "model/controls.hpp"
#include "model/workspace.hpp"

namespace model {

// The closed range a value may take.
struct ValueLimit {
    double min, max;
    bool holds(double v) const { return v >= min && v <= max; }  // false for NaN
};

// Ground heights, m: below the lowest dry land to above the highest mountain.
// The markers -1 (automatic) and -2 (as the previous point) lie inside.
inline constexpr ValueLimit kReliefLimit{-1000.0, 10000.0};
// Depth of the pipe top below the ground, m; negative above it; -1 automatic.
inline constexpr ValueLimit kDepthLimit{-100.0, 100.0};
// Pipe and casing diameters, mm; a casing of 0 is none.
inline constexpr ValueLimit kDiameterLimit{0.0, 10000.0};
// The top of a crossed utility, m: a height like the ground's.
inline constexpr ValueLimit kCrossTopLimit = kReliefLimit;
// A crossed utility's outer diameter (a channel's height), mm: some size, and
// no more than a pipe may have.
inline constexpr ValueLimit kCrossDiameterLimit{1.0, kDiameterLimit.max};
// How far from a crossing the survey's height text of the crossed utility
// may stand, m of terrain.
inline constexpr ValueLimit kCrossSurveyReachLimit{0.0, 1000.0};
// Distances of "Отметки по съёмке" (step, longest edge, reach), m.
inline constexpr ValueLimit kSurveyDistanceLimit{0.0, 100000.0};

// A plan coordinate, in millimetres of terrain, lies within this distance of
// the origin. Past it a double no longer tells 0.01 mm of terrain apart from
// the next value with room to spare for the arithmetic (at 1e15 mm two
// neighbouring values are 0.125 mm apart, and a 5 km line measures
// 5000.125 m). 1e11 mm is 100 000 km: every real coordinate system fits.
inline constexpr double kMaxCoordinateMm = 1e11;
// The longest route of one picket, mm of terrain (1000 km): ten thousand
// whole pickets, a thousand sheets at 1:2000.
inline constexpr double kLongestPiketMm = 1e9;

// The limit of a value of a point row (relief, depth, pipe, casing); nullopt
// for the place and the chainage, which have limits of their own.
std::optional<ValueLimit> pointValueLimit(int value);

// What is wrong with a point row as the program could have made it, nullopt
// when nothing is: the position of the first bad value and why, in Russian.
struct RowProblem {
    int value = 0;
    std::string what;
};
std::optional<RowProblem> pointRowProblem(const PointRow& row, PlanUnits units);

// What is wrong with a crossed utility's values, nullopt when nothing is: the
// value (0 the top, 1 the diameter) and why, in Russian.
std::optional<RowProblem> crossedProblem(const Crossed& crossed);

// Whether a point of the plan (plan units) lies where coordinates still tell
// 0.01 mm of terrain apart.
bool plausiblePlace(double x, double y, PlanUnits units);
// cad::Error saying so when it does not; `what` names the point ("Точка пикета").
void checkPlace(double x, double y, PlanUnits units, const std::string& what);

// A ground height from a survey or a picked text: a number within kReliefLimit.
bool plausibleHeight(double metres);

// The message of a value outside its limit: «1e+30» вне допустимых пределов
// поля «Глубина»: от −100 до 100.
std::string outOfLimitText(const std::string& shown, const std::string& field, ValueLimit limit);

}  // namespace model
