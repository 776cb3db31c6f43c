#include "model/units.hpp"

#include <array>
#include <charconv>

#include "model/primitives.hpp"

namespace model {

double millimetresPerUnit(PlanUnits units) {
    switch (units) {
        case PlanUnits::Centimetres:
            return 10.0;
        case PlanUnits::Metres:
            return 1000.0;
        case PlanUnits::Millimetres:
            break;
    }
    return 1.0;
}

std::optional<PlanUnits> parsePlanUnits(std::string_view text) {
    if (text == "mm") return PlanUnits::Millimetres;
    if (text == "cm") return PlanUnits::Centimetres;
    if (text == "m") return PlanUnits::Metres;
    return std::nullopt;
}

const char* planUnitsKey(PlanUnits units) {
    switch (units) {
        case PlanUnits::Centimetres:
            return "cm";
        case PlanUnits::Metres:
            return "m";
        case PlanUnits::Millimetres:
            break;
    }
    return "mm";
}

const char* planUnitsName(PlanUnits units) {
    switch (units) {
        case PlanUnits::Centimetres:
            return "см";
        case PlanUnits::Metres:
            return "м";
        case PlanUnits::Millimetres:
            break;
    }
    return "мм";
}

double sheetScale(const Workspace& ws) {
    return 1.0 / millimetresPerUnit(ws.controls.planUnits);
}

cad::Point3 sheetPoint(const Workspace& ws, double x, double y) {
    const double k = sheetScale(ws);
    return {ws.controls.sheetOriginX + x * k, ws.controls.sheetOriginY + y * k, 0.0};
}

std::optional<int> insertionUnits(const cad::DrawingData& drawing) {
    const cad::TagStore& tags = drawing.tags;
    for (std::size_t i = 0; i + 1 < tags.size(); ++i) {
        const cad::Tag& t = tags.tags[i];
        // The header comes first; past its end there is nothing to find.
        if (t.code == 0 && tags.value(i) == "ENDSEC") break;
        if (t.code != 9 || tags.value(i) != "$INSUNITS") continue;
        std::string_view v = tags.value(i + 1);
        while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
        while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
        int units = 0;
        auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), units);
        if (ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
        return units;
    }
    return std::nullopt;
}

namespace {

constexpr double kShortestRouteMm = 1000.0;      // 1 m
constexpr double kLongestRouteMm = 100000000.0;  // 100 km

bool plausible(double millimetres) {
    return millimetres >= kShortestRouteMm && millimetres <= kLongestRouteMm;
}

std::optional<PlanUnits> fromInsertionUnits(int code) {
    switch (code) {
        case 4:
            return PlanUnits::Millimetres;
        case 5:
            return PlanUnits::Centimetres;
        case 6:
            return PlanUnits::Metres;
        default:
            return std::nullopt;
    }
}

std::string metres(double millimetres) {
    return formatNumber(roundHalfEven(millimetres / 10.0) / 100.0, ',');
}

}  // namespace

std::vector<std::string> unitsWarnings(const Workspace& ws, double length) {
    std::vector<std::string> out;
    const PlanUnits chosen = ws.controls.planUnits;
    const double terrain = length * millimetresPerUnit(chosen);
    if (plausible(terrain)) return out;
    out.push_back(std::string("Длина трассы ") + metres(terrain) + " м при единицах плана «" +
                  planUnitsName(chosen) + "» неправдоподобна (ожидается от 1 м до 100 км).");
    // The drawing's own word first, then the others in order.
    std::vector<PlanUnits> candidates;
    if (ws.doc && ws.doc->isOpen()) {
        if (auto code = insertionUnits(ws.doc->data())) {
            if (auto u = fromInsertionUnits(*code)) candidates.push_back(*u);
        }
    }
    for (PlanUnits u : {PlanUnits::Metres, PlanUnits::Centimetres, PlanUnits::Millimetres}) {
        candidates.push_back(u);
    }
    for (PlanUnits u : candidates) {
        if (u == chosen || !plausible(length * millimetresPerUnit(u))) continue;
        out.push_back(std::string("Похоже, план начерчен в единицах «") + planUnitsName(u) +
                      "» (длина трассы " + metres(length * millimetresPerUnit(u)) +
                      " м): выберите эти единицы плана (--units " + planUnitsKey(u) + ").");
        break;
    }
    return out;
}

}  // namespace model
