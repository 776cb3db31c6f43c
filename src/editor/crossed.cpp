// The crossed utility of the current point: its top, diameter and kind shown
// in the editor's fields, typed, chosen or picked from a text of the drawing.
#include <optional>
#include <string>

#include "cad/text_util.hpp"
#include "editor/editor.hpp"
#include "editor/editor_detail.hpp"
#include "model/crossed.hpp"
#include "model/primitives.hpp"
#include "model/value_checks.hpp"

namespace editor {

namespace {

constexpr const char* kTopField = "Верх пересекаемой сети, м";
constexpr const char* kDiameterField = "Диаметр (высота) пересекаемой, мм";
constexpr const char* kByLayer = "по слою";

// The current point of the picket in work when it is a crossing point, else
// nullptr; cad::Error why not when `refuse`.
model::Piket* crossingPiket(model::Workspace& ws, bool refuse) {
    model::Piket* piket = detail::piketWithPoints(ws);
    if (!piket) return nullptr;
    detail::currentPoint(ws, *piket);  // keeps workPoint inside the points
    const std::string why =
        model::notCrossingWhy(ws.controls, *piket, static_cast<std::size_t>(ws.workPoint));
    if (why.empty()) return piket;
    if (refuse) throw cad::Error(why + ": значения пересекаемой сети ей не задаются");
    return nullptr;
}

// Reads a number field of the crossed utility into `value`: empty clears it,
// the value as it stands keeps how it was found.
void takeOverValue(model::Workspace& ws, std::string& field, const char* fieldName,
                   model::ValueLimit limit,
                   std::optional<model::CrossedValue> model::Crossed::*member) {
    if (!ws.piketInWork()) return;
    field = model::FixDecimalText(field, ws.decimalSeparator);
    model::Piket* piket = crossingPiket(ws, true);
    if (!piket) return;
    const auto k = static_cast<std::size_t>(ws.workPoint);
    model::Crossed crossed = model::crossedAt(*piket, k);
    std::optional<model::CrossedValue>& value = crossed.*member;
    if (cad::trim(field).empty()) {
        value.reset();
    } else {
        const double v = model::readNumberField(field, ws.decimalSeparator, fieldName, limit);
        if (!value || value->value != v) value = model::CrossedValue{v, model::FoundBy::Typed};
    }
    model::setCrossed(*piket, k, crossed);
    detail::showCrossed(ws);
}

}  // namespace

namespace detail {

void showCrossed(model::Workspace& ws) {
    model::Controls& c = ws.controls;
    c.crossTopText.clear();
    c.crossDiameterText.clear();
    c.crossKindIndex = 0;
    c.crossedFoundText.clear();
    c.crossedNote.clear();
    model::Piket* piket = piketWithPoints(ws);
    if (!piket) return;
    currentPoint(ws, *piket);
    const auto k = static_cast<std::size_t>(ws.workPoint);
    c.crossedNote = model::notCrossingWhy(c, *piket, k);
    if (!c.crossedNote.empty()) return;
    const model::Crossed& crossed = model::crossedAt(*piket, k);
    // One line a value, so that the window shows them under each other.
    auto how = [](const std::optional<model::CrossedValue>& v) {
        return v ? std::string(model::foundByText(v->foundBy)) : std::string("не задан");
    };
    if (crossed.top) c.crossTopText = numberText(ws, crossed.top->value);
    if (crossed.diameter) c.crossDiameterText = numberText(ws, crossed.diameter->value);
    std::string found = "Верх: " + how(crossed.top) + "\nДиаметр: " + how(crossed.diameter);
    if (crossed.kind) {
        c.crossKindIndex = static_cast<int>(*crossed.kind) + 1;
        found += "\nВид: задан для точки";
    } else {
        const std::optional<model::CrossKind> byLayer =
            model::effectiveCrossKind(ws.crossKinds, c, *piket, k);
        found += "\nВид: по слою — " +
                 (byLayer ? std::string(model::info(*byLayer).name) : std::string("не задан"));
    }
    c.crossedFoundText = found;
}

}  // namespace detail

std::vector<std::string> crossKindChoices() {
    std::vector<std::string> names{kByLayer};
    for (const model::CrossKindInfo& k : model::kCrossKinds) names.emplace_back(k.name);
    return names;
}

void takeOverCrossTop(model::Workspace& ws) {
    takeOverValue(ws, ws.controls.crossTopText, kTopField, model::kCrossTopLimit,
                  &model::Crossed::top);
}

void takeOverCrossDiameter(model::Workspace& ws) {
    takeOverValue(ws, ws.controls.crossDiameterText, kDiameterField, model::kCrossDiameterLimit,
                  &model::Crossed::diameter);
}

void takeOverCrossKind(model::Workspace& ws) {
    model::Piket* piket = crossingPiket(ws, true);
    if (!piket) return;
    const int index = ws.controls.crossKindIndex;
    if (index < 0 || index > static_cast<int>(model::kCrossKindCount)) {
        throw cad::Error("Вид пересекаемой сети " + std::to_string(index) +
                         " неизвестен: ожидается «по слою» или один из " +
                         std::to_string(model::kCrossKindCount) + " видов");
    }
    const auto k = static_cast<std::size_t>(ws.workPoint);
    model::Crossed crossed = model::crossedAt(*piket, k);
    crossed.kind =
        index == 0 ? std::nullopt
                   : std::optional(model::kCrossKinds[static_cast<std::size_t>(index - 1)].kind);
    model::setCrossed(*piket, k, crossed);
    detail::showCrossed(ws);
}

void pickCrossTop(model::Workspace& ws) {
    model::Piket* piket = crossingPiket(ws, true);
    if (!piket) return;
    const auto picked = detail::pickHeightText(ws, "\"Укажите верх пересекаемой сети\" Выход ESC");
    if (!picked) return;
    if (!model::kCrossTopLimit.holds(picked->height)) {
        throw cad::Error(
            model::outOfLimitText(cad::validUtf8(picked->text), kTopField, model::kCrossTopLimit));
    }
    const auto k = static_cast<std::size_t>(ws.workPoint);
    model::Crossed crossed = model::crossedAt(*piket, k);
    crossed.top = model::CrossedValue{picked->height, model::FoundBy::Picked};
    model::setCrossed(*piket, k, crossed);
    detail::showCrossed(ws);
}

}  // namespace editor
