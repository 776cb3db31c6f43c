// The utility a crossing point crosses: the pipe, cable, channel or duct
// bank under or over the new pipe, as the profile draws it and the checks
// measure against it. Each value is optional and says how it was found;
// a point with no top elevation has no crossed section to draw or check.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/controls.hpp"

namespace model {

struct Piket;
struct Workspace;

enum class CrossKind { Water, Sewer, Heating, Gas, PowerCable, CommCable, Channel, Other };
inline constexpr std::size_t kCrossKindCount = 8;

// How a value came to be: typed, picked from a text of the drawing, or read
// from a height text of the survey near the crossing.
enum class FoundBy { Typed, Picked, Survey };

struct CrossedValue {
    double value = 0.0;
    FoundBy foundBy = FoundBy::Typed;
    friend bool operator==(const CrossedValue&, const CrossedValue&) = default;
};

struct Crossed {
    std::optional<CrossedValue> top;       // top elevation of the crossed utility, m
    std::optional<CrossedValue> diameter;  // outer diameter, or height of a channel, mm
    std::optional<CrossKind> kind;         // set for this point; none: from the kind table
    bool empty() const { return !top && !diameter && !kind; }
    friend bool operator==(const Crossed&, const Crossed&) = default;
};

struct CrossKindInfo {
    CrossKind kind;
    std::string_view key;    // in the command line and the project file: "water"
    std::string_view name;   // in the window: "Водопровод"
    std::string_view label;  // in the profile's label: "Водопр."
};
inline constexpr std::array<CrossKindInfo, kCrossKindCount> kCrossKinds{{
    {CrossKind::Water, "water", "Водопровод", "Водопр."},
    {CrossKind::Sewer, "sewer", "Канализация", "Канал."},
    {CrossKind::Heating, "heating", "Теплосеть", "Теплосеть"},
    {CrossKind::Gas, "gas", "Газопровод", "Газопр."},
    {CrossKind::PowerCable, "power", "Силовой кабель", "Каб. эл."},
    {CrossKind::CommCable, "telecom", "Кабель связи", "Каб. св."},
    {CrossKind::Channel, "channel", "Канал", "Канал"},
    {CrossKind::Other, "other", "Прочее", "Пересеч."},
}};
inline const CrossKindInfo& info(CrossKind k) {
    return kCrossKinds[static_cast<std::size_t>(k)];
}
std::optional<CrossKind> crossKindByKey(std::string_view key);
// "water, sewer, …": the keys, for the messages that list them.
std::string crossKindKeyList();

// "typed", "picked", "survey": in the command line's dump and the project file.
std::string_view foundByKey(FoundBy by);
std::optional<FoundBy> foundByByKey(std::string_view key);
// How the window says it: "введено", "из текста чертежа", "по съёмке".
std::string_view foundByText(FoundBy by);

// Which kind a crossing has when its point sets none: the first rule whose
// text the layer name contains (letters compared without case), else the
// kind of the type list the layer is on. The user edits it; the project
// file keeps it.
struct CrossKindRule {
    std::string layerContains;
    CrossKind kind = CrossKind::Other;
    friend bool operator==(const CrossKindRule&, const CrossKindRule&) = default;
};
struct CrossKindTable {
    std::vector<CrossKindRule> rules{
        {"канализ", CrossKind::Sewer},    {"водопр", CrossKind::Water},
        {"водосн", CrossKind::Water},     {"тепл", CrossKind::Heating},
        {"газ", CrossKind::Gas},          {"связ", CrossKind::CommCable},
        {"кабел", CrossKind::PowerCable}, {"электр", CrossKind::PowerCable},
        {"канал", CrossKind::Channel},    {"sewer", CrossKind::Sewer},
        {"water", CrossKind::Water},      {"heat", CrossKind::Heating},
        {"gas", CrossKind::Gas},          {"telecom", CrossKind::CommCable},
        {"cable", CrossKind::PowerCable}, {"power", CrossKind::PowerCable},
    };
    // By type list (route, connections, communications, other crossings).
    std::array<CrossKind, kTypeListCount> byType{CrossKind::Other, CrossKind::Water,
                                                 CrossKind::Other, CrossKind::Other};
    friend bool operator==(const CrossKindTable&, const CrossKindTable&) = default;
};

// The kind a layer's crossings get by the table: none when the layer is on no
// type list of crossings and matches no rule.
std::optional<CrossKind> kindOfLayer(const CrossKindTable& table, const Controls& controls,
                                     std::string_view layer);

// Why point k of a picket takes no crossed utility, empty when it does: a
// crossing point is one whose drawing object lies on a type layer of
// connections, communications or other crossings (a point added by hand has
// no object, a ground point or a sheet break none either).
std::string notCrossingWhy(const Controls& controls, const Piket& piket, std::size_t k);
// The kind of point k's crossed utility: its own, else the table's for its
// object's layer; none when neither gives one.
std::optional<CrossKind> effectiveCrossKind(const CrossKindTable& table, const Controls& controls,
                                            const Piket& piket, std::size_t k);

// The crossed utility of point k of a picket (empty when none is set).
const Crossed& crossedAt(const Piket& piket, std::size_t k);
// Sets it; k must be a point of the picket.
void setCrossed(Piket& piket, std::size_t k, const Crossed& crossed);

}  // namespace model
