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
model::PointRow* fixFieldForRow(model::Workspace& ws, std::string& field) {
    if (!ws.piketInWork()) return nullptr;
    field = model::FixDecimalText(field, ws.decimalSeparator);
    model::Piket* piket = detail::piketWithPoints(ws);
    return piket ? &detail::currentRow(ws, *piket) : nullptr;
}

void takeOverNumber(model::Workspace& ws, std::string& field, int value, const char* fieldName,
                    model::ValueLimit limit) {
    model::PointRow* row = fixFieldForRow(ws, field);
    if (!row) return;
    (*row)[static_cast<std::size_t>(value)] =
        model::readNumberField(field, ws.decimalSeparator, fieldName, limit);
}

}  // namespace

void takeOverRelief(model::Workspace& ws) {
    std::string& field = ws.controls.reliefText;
    model::PointRow* row = fixFieldForRow(ws, field);
    if (!row) return;
    // Only the exact word is the automatic marker; a typed -1 means the same.
    (*row)[model::kRelief] = field == detail::kAutoText
                                 ? model::kAuto
                                 : model::readNumberField(field, ws.decimalSeparator,
                                                          "Высота рельефа, м", model::kReliefLimit);
}

void takeOverPipe(model::Workspace& ws) {
    takeOverNumber(ws, ws.controls.pointPipeText, model::kPipe, "Диаметр трубы, мм",
                   model::kDiameterLimit);
}

void takeOverCasing(model::Workspace& ws) {
    takeOverNumber(ws, ws.controls.casingText, model::kCasing, "Диаметр футляра, мм",
                   model::kDiameterLimit);
}

void setAuto(model::Workspace& ws) {
    model::Piket* piket = detail::piketWithPoints(ws);
    if (!piket) return;
    ws.controls.reliefText = detail::kAutoText;
    detail::currentRow(ws, *piket)[model::kRelief] = model::kAuto;
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
    detail::currentRow(ws, *piket)[model::kRelief] = picked->height;
    ws.controls.reliefText = picked->text;
}

}  // namespace editor
