// Changing the current point's values: the relief height typed, automatic or
// taken from a text in the drawing, and the pipe and casing diameters.
#include <optional>
#include <string>

#include "cad/text_util.hpp"
#include "editor/editor.hpp"
#include "editor/editor_detail.hpp"
#include "model/primitives.hpp"

namespace editor {

namespace {

// The first step of every take-over: the field's decimal points become the
// separator in force and the field shows that, also on a picket without
// points. Returns the row the value goes to, nullptr when there is none.
model::PiketPoint* fixFieldForPoint(model::Workspace& ws, std::string& field) {
    if (!ws.piketInWork()) return nullptr;
    field = model::FixDecimalText(field, ws.decimalSeparator);
    model::Piket* piket = detail::piketWithPoints(ws);
    return piket ? &detail::currentPoint(ws, *piket) : nullptr;
}

void takeOverNumber(model::Workspace& ws, std::string& field, double model::PiketPoint::*value,
                    const char* fieldName, model::ValueLimit limit) {
    model::PiketPoint* point = fixFieldForPoint(ws, field);
    if (!point) return;
    point->*value = model::readNumberField(field, ws.decimalSeparator, fieldName, limit);
}

}  // namespace

void takeOverRelief(model::Workspace& ws) {
    std::string& field = ws.controls.reliefText;
    model::PiketPoint* point = fixFieldForPoint(ws, field);
    if (!point) return;
    // Only the exact word is the automatic marker; a typed -1 means the same.
    if (field == detail::kAutoText) {
        point->relief = model::Relief::automatic();
        return;
    }
    const double height = model::readNumberField(field, ws.decimalSeparator, "Высота рельефа, м",
                                                 model::kReliefLimit);
    point->relief =
        height == model::kAuto ? model::Relief::automatic() : model::Relief::typed(height);
}

void takeOverPipe(model::Workspace& ws) {
    takeOverNumber(ws, ws.controls.pointPipeText, &model::PiketPoint::pipe, "Диаметр трубы, мм",
                   model::kDiameterLimit);
}

void takeOverCasing(model::Workspace& ws) {
    takeOverNumber(ws, ws.controls.casingText, &model::PiketPoint::casing, "Диаметр футляра, мм",
                   model::kDiameterLimit);
}

void setAuto(model::Workspace& ws) {
    model::Piket* piket = detail::piketWithPoints(ws);
    if (!piket) return;
    ws.controls.reliefText = detail::kAutoText;
    detail::currentPoint(ws, *piket).relief = model::Relief::automatic();
}

namespace detail {

std::optional<PickedHeight> pickHeightText(model::Workspace& ws, const char* prompt) {
    ws.ui.focusDrawing();
    PickedHeight out;
    std::optional<double> height;
    try {
        cad::PickedEntity picked = ws.prompter.getEntity(prompt);
        out.text = picked.entity.textString();
        height = model::parseNumber(model::FixDecimalText(out.text, ws.decimalSeparator),
                                    ws.decimalSeparator);
    } catch (const cad::Cancelled&) {
        return std::nullopt;
    } catch (const cad::Error&) {
        return std::nullopt;  // an entity without text
    }
    if (!height) return std::nullopt;
    out.height = *height;
    return out;
}

}  // namespace detail

void pickRelief(model::Workspace& ws) {
    model::Piket* piket = detail::piketWithPoints(ws);
    if (!piket) return;
    const auto picked = detail::pickHeightText(ws, "\"Укажите высоту рельефа\" Выход ESC");
    if (!picked) return;
    // A number no ground has (a text that is no height, 1e300) is said, not taken.
    if (!model::plausibleHeight(picked->height)) {
        throw cad::Error(model::outOfLimitText(cad::validUtf8(picked->text), "Высота рельефа, м",
                                               model::kReliefLimit));
    }
    detail::currentPoint(ws, *piket).relief = model::Relief::typed(picked->height);
    ws.controls.reliefText = picked->text;
}

}  // namespace editor
