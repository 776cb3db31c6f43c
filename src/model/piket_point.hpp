// A point of a picket as the user authored it, and the row of ten numbers
// the state dump, the version 1 and 2 project files and the profile build
// speak. What the program derives (chainages, interpolated heights and
// depths) lives in rows only, never in the point.
#pragma once

#include <array>
#include <optional>

#include "model/crossed.hpp"

namespace model {

// The ten values of a point row, by position.
enum PointValue : int {
    kX = 0,             // where the point lies in the plan
    kY = 1,             //
    kRelief = 2,        // ground height, m; -1 automatic, -2 same as the previous point
    kDepth = 3,         // depth of the pipe top, m; -1 automatic
    kPipe = 4,          // pipe diameter, mm
    kCasing = 5,        // casing diameter, mm
    kPointKind = 6,     // 0 a point of the route or a crossing, 1 a ground point,
                        // 2 a sheet's end where a long profile goes on to the next sheet
    kSurveyRelief = 7,  // the relief height the survey gave, m
    kSurveyed = 8,      // 1 when value 7 holds a height
    kChainage = 9,      // distance from point 0 along the points, drawing units
    kPointValueCount
};
inline constexpr double kGroundPoint = 1.0;
inline constexpr double kSheetBreak = 2.0;
using PointRow = std::array<double, kPointValueCount>;

// The row values of a height or depth the user left to the program.
inline constexpr double kAuto = -1.0;
inline constexpr double kSameAsPrevious = -2.0;

enum class PointKind {
    Route,       // a point of the route or a crossing
    Ground,      // added from a survey only to carry the ground between crossings
    SheetBreak,  // a sheet's end where a long profile goes on to the next sheet
};

// How a point's ground height is found.
struct Relief {
    enum class Rule {
        Typed,       // the height in `value`
        Auto,        // "Авто": interpolated between the points with a height
        AsPrevious,  // the height of the point before (a point never visited in the editor)
    };
    Rule rule = Rule::Auto;
    double value = 0.0;  // m, only for Typed

    static Relief typed(double metres) { return {Rule::Typed, metres}; }
    static Relief automatic() { return {}; }
    static Relief asPrevious() { return {Rule::AsPrevious, 0.0}; }
    bool isTyped() const { return rule == Rule::Typed; }
    std::optional<double> height() const {
        return isTyped() ? std::optional<double>(value) : std::nullopt;
    }
    friend bool operator==(const Relief& a, const Relief& b) {
        return a.rule == b.rule && (a.rule != Rule::Typed || a.value == b.value);
    }
};

struct PiketPoint {
    double x = 0.0;  // where the point lies in the plan
    double y = 0.0;
    Relief relief;
    std::optional<double> depth;  // depth of the pipe top, m; none: automatic
    double pipe = 0.0;            // pipe diameter, mm
    double casing = 0.0;          // casing diameter, mm
    PointKind kind = PointKind::Route;
    // The relief height the survey gave: while the relief is still that
    // height it is no hand-set value and may be taken from the survey again.
    std::optional<double> survey;
    Crossed crossed;  // reached through model::crossedAt and model::setCrossed

    friend bool operator==(const PiketPoint&, const PiketPoint&) = default;
};

// The row of a point with its sentinels (-1, -2); the chainage is zero.
inline PointRow rowOf(const PiketPoint& p) {
    PointRow row{};
    row[kX] = p.x;
    row[kY] = p.y;
    switch (p.relief.rule) {
        case Relief::Rule::Typed:
            row[kRelief] = p.relief.value;
            break;
        case Relief::Rule::Auto:
            row[kRelief] = kAuto;
            break;
        case Relief::Rule::AsPrevious:
            row[kRelief] = kSameAsPrevious;
            break;
    }
    row[kDepth] = p.depth ? *p.depth : kAuto;
    row[kPipe] = p.pipe;
    row[kCasing] = p.casing;
    row[kPointKind] = p.kind == PointKind::Ground       ? kGroundPoint
                      : p.kind == PointKind::SheetBreak ? kSheetBreak
                                                        : 0.0;
    row[kSurveyRelief] = p.survey ? *p.survey : 0.0;
    row[kSurveyed] = p.survey ? 1.0 : 0.0;
    return row;
}

// The point a row of a version 1 or 2 project file stands for (a row the
// value checks let through); the chainage is derived and not read.
inline PiketPoint pointOf(const PointRow& row) {
    PiketPoint p;
    p.x = row[kX];
    p.y = row[kY];
    const double relief = row[kRelief];
    p.relief = relief == kAuto             ? Relief::automatic()
               : relief == kSameAsPrevious ? Relief::asPrevious()
                                           : Relief::typed(relief);
    // A row's depth of -2 was never a depth either: the program left it to itself.
    if (row[kDepth] != kAuto && row[kDepth] != kSameAsPrevious) p.depth = row[kDepth];
    p.pipe = row[kPipe];
    p.casing = row[kCasing];
    p.kind = row[kPointKind] == kGroundPoint  ? PointKind::Ground
             : row[kPointKind] == kSheetBreak ? PointKind::SheetBreak
                                              : PointKind::Route;
    if (row[kSurveyed] == 1.0) p.survey = row[kSurveyRelief];
    return p;
}

}  // namespace model
