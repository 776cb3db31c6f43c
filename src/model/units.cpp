#include "model/units.hpp"

#include <array>
#include <charconv>

#include "cad/text_util.hpp"
#include "model/primitives.hpp"

namespace model {

namespace {

// Each unit of the plan: its key (command line, project files), its name in
// messages, its $INSUNITS code and the millimetres of terrain in one unit.
struct UnitsRow {
    PlanUnits units;
    const char* key;
    const char* name;
    int insertionCode;
    double millimetres;
};

constexpr std::array<UnitsRow, 3> kUnitsRows{{
    {PlanUnits::Millimetres, "mm", "мм", 4, 1.0},
    {PlanUnits::Centimetres, "cm", "см", 5, 10.0},
    {PlanUnits::Metres, "m", "м", 6, 1000.0},
}};

// The row of the units; millimetres for a value that names none.
const UnitsRow& rowOf(PlanUnits units) {
    for (const UnitsRow& r : kUnitsRows) {
        if (r.units == units) return r;
    }
    return kUnitsRows[0];
}

}  // namespace

double millimetresPerUnit(PlanUnits units) {
    return rowOf(units).millimetres;
}

std::optional<PlanUnits> parsePlanUnits(std::string_view text) {
    for (const UnitsRow& r : kUnitsRows) {
        if (text == r.key) return r.units;
    }
    return std::nullopt;
}

const char* planUnitsKey(PlanUnits units) {
    return rowOf(units).key;
}

const char* planUnitsName(PlanUnits units) {
    return rowOf(units).name;
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
        const int code = tags.code(i);
        // The header comes first; past its end there is nothing to find.
        if (code == 0 && tags.value(i) == "ENDSEC") break;
        if (code != 9 || tags.value(i) != "$INSUNITS") continue;
        std::string_view v = cad::trim(tags.value(i + 1));
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
    for (const UnitsRow& r : kUnitsRows) {
        if (r.insertionCode == code) return r.units;
    }
    return std::nullopt;
}

std::string metres(double millimetres) {
    return formatNumber(roundHalfEven(millimetres / 10.0) / 100.0, ',');
}

}  // namespace

std::vector<std::string> unitsWarnings(const Workspace& ws, double length, UnitsChoice choice) {
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
    for (PlanUnits u : {PlanUnits::Millimetres, PlanUnits::Metres, PlanUnits::Centimetres}) {
        candidates.push_back(u);
    }
    for (PlanUnits u : candidates) {
        if (u == chosen || !plausible(length * millimetresPerUnit(u))) continue;
        const std::string how =
            choice == UnitsChoice::Window
                ? std::string("выберите «") + planUnitsName(u) +
                      "» в поле «Единицы плана» на панели «Первоначальные параметры» и "
                      "задайте пикет заново."
                : std::string("выберите эти единицы плана (--units ") + planUnitsKey(u) + ").";
        out.push_back(std::string("Похоже, план начерчен в единицах «") + planUnitsName(u) +
                      "» (длина трассы " + metres(length * millimetresPerUnit(u)) + " м): " + how);
        break;
    }
    return out;
}

}  // namespace model
