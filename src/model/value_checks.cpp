#include "model/value_checks.hpp"

#include <charconv>
#include <cmath>

#include "cad/error.hpp"
#include "model/primitives.hpp"
#include "model/units.hpp"

namespace model {

namespace {

std::string shortest(double v) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

// Chainages are derived and made again by every build; one from a file need
// only be a distance a picket can have in any of the plan's units.
constexpr ValueLimit kChainageLimit{0.0, kLongestPiketMm};

}  // namespace

std::optional<ValueLimit> pointValueLimit(int value) {
    switch (value) {
        case kRelief:
        case kSurveyRelief:
            return kReliefLimit;
        case kDepth:
            return kDepthLimit;
        case kPipe:
        case kCasing:
            return kDiameterLimit;
        default:
            return std::nullopt;
    }
}

std::optional<RowProblem> pointRowProblem(const PointRow& row, PlanUnits units) {
    for (int v : {kX, kY}) {
        if (!std::isfinite(row[v]) ||
            std::fabs(row[v]) * millimetresPerUnit(units) > kMaxCoordinateMm) {
            return RowProblem{v, "координата плана дальше 100 000 км от начала координат"};
        }
    }
    static constexpr struct {
        int value;
        const char* what;
    } kNamed[] = {{kRelief, "высота рельефа, м"},
                  {kDepth, "глубина верха трубопровода, м"},
                  {kPipe, "диаметр трубы, мм"},
                  {kCasing, "диаметр футляра, мм"},
                  {kSurveyRelief, "отметка съёмки, м"}};
    for (const auto& n : kNamed) {
        ValueLimit limit = *pointValueLimit(n.value);
        // A ground point's depth is no typed value: the build makes it the
        // ground less the pipe's straight course there, which a hill between
        // two crossings may put far below the ground.
        if (n.value == kDepth && row[kPointKind] == kGroundPoint) {
            limit = {kReliefLimit.min - kReliefLimit.max, kReliefLimit.max - kReliefLimit.min};
        }
        if (!limit.holds(row[n.value])) {
            return RowProblem{n.value, std::string(n.what) + " — число от " + shortest(limit.min) +
                                           " до " + shortest(limit.max)};
        }
    }
    const double kind = row[kPointKind];
    if (kind != 0.0 && kind != kGroundPoint && kind != kSheetBreak) {
        return RowProblem{kPointKind, "вид точки — 0, 1 или 2"};
    }
    if (row[kSurveyed] != 0.0 && row[kSurveyed] != 1.0) {
        return RowProblem{kSurveyed, "признак отметки съёмки — 0 или 1"};
    }
    if (!kChainageLimit.holds(row[kChainage])) {
        return RowProblem{kChainage, "пикетаж — число от 0 до " + shortest(kChainageLimit.max)};
    }
    return std::nullopt;
}

std::optional<RowProblem> crossedProblem(const Crossed& crossed) {
    auto bad = [](const std::optional<CrossedValue>& v, ValueLimit limit) {
        return v && !limit.holds(v->value);
    };
    if (bad(crossed.top, kCrossTopLimit)) {
        return RowProblem{0, "верх пересекаемой сети, м — число от " +
                                 shortest(kCrossTopLimit.min) + " до " +
                                 shortest(kCrossTopLimit.max)};
    }
    if (bad(crossed.diameter, kCrossDiameterLimit)) {
        return RowProblem{1, "диаметр (высота) пересекаемой, мм — число от " +
                                 shortest(kCrossDiameterLimit.min) + " до " +
                                 shortest(kCrossDiameterLimit.max)};
    }
    return std::nullopt;
}

bool plausiblePlace(double x, double y, PlanUnits units) {
    const double limit = kMaxCoordinateMm / millimetresPerUnit(units);
    return std::fabs(x) <= limit && std::fabs(y) <= limit;  // false for NaN
}

void checkPlace(double x, double y, PlanUnits units, const std::string& what) {
    if (plausiblePlace(x, y, units)) return;
    throw cad::Error(what + " лежит на координатах " + formatNumber(x, '.') + ", " +
                     formatNumber(y, '.') + " (" + planUnitsName(units) +
                     "): так далеко от начала координат числа не различают 0,01 мм местности, "
                     "и длины были бы неверны. Перенесите план ближе к началу координат (не "
                     "дальше 100 000 км).");
}

bool plausibleHeight(double metres) {
    return kReliefLimit.holds(metres);
}

std::string outOfLimitText(const std::string& shown, const std::string& field, ValueLimit limit) {
    return "«" + shown + "» вне допустимых пределов поля «" + field + "»: от " +
           shortest(limit.min) + " до " + shortest(limit.max);
}

}  // namespace model
