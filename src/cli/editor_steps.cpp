#include "cli/editor_steps.hpp"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <map>
#include <optional>

#include "cad/check.hpp"
#include "cad/geometry.hpp"
#include "cad/number_text.hpp"
#include "cad/text_util.hpp"
#include "model/crossed.hpp"
#include "model/primitives.hpp"

namespace cli {

namespace {

int parsePointNumber(std::string_view text, std::string_view whole, const char* form) {
    int n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 1) {
        throw CLI::ValidationError("«" + std::string(whole) + "»: ожидается " + form +
                                   ", где N — номер точки начиная с 1");
    }
    return n;
}

// The fields --edit names, and the step each change is in the history.
struct EditField {
    std::string_view key;
    editor::Field field;
    const char* stepName;
};
constexpr EditField kEditFields[] = {
    {"relief", editor::Field::Relief, "Отметка земли"},
    {"pipe", editor::Field::Pipe, "Диаметр трубы"},
    {"casing", editor::Field::Casing, "Диаметр футляра"},
    {"crossTop", editor::Field::CrossTop, "Верх пересекаемой сети"},
    {"crossDiameter", editor::Field::CrossDiameter, "Диаметр пересекаемой сети"},
    {"crossKind", editor::Field::CrossKind, "Вид пересекаемой сети"},
};

}  // namespace

EditorStep parseEditStep(std::string_view value) {
    const char* form =
        "N:relief=V, N:pipe=V, N:casing=V, N:crossTop=V, N:crossDiameter=V или N:crossKind=K";
    auto colon = value.find(':');
    auto equals = value.find('=');
    if (colon == std::string_view::npos || equals == std::string_view::npos || equals < colon) {
        throw CLI::ValidationError("«" + std::string(value) + "»: ожидается " + form);
    }
    EditorStep step;
    step.kind = EditorStep::Kind::Edit;
    step.point = parsePointNumber(value.substr(0, colon), value, form);
    std::string_view name = value.substr(colon + 1, equals - colon - 1);
    const EditField* field = std::find_if(std::begin(kEditFields), std::end(kEditFields),
                                          [name](const EditField& f) { return f.key == name; });
    if (field == std::end(kEditFields)) {
        throw CLI::ValidationError("«" + std::string(value) + "»: поле «" + std::string(name) +
                                   "» неизвестно, ожидается relief, pipe, casing, crossTop, "
                                   "crossDiameter или crossKind");
    }
    step.field = field->field;
    step.text = std::string(value.substr(equals + 1));
    if (step.field == editor::Field::CrossKind && !step.text.empty() &&
        !model::crossKindByKey(step.text)) {
        throw CLI::ValidationError("«" + std::string(value) + "»: вид «" + step.text +
                                   "» неизвестен, ожидается один из: " + model::crossKindKeyList() +
                                   " (пусто — по слою)");
    }
    return step;
}

EditorStep parsePickHeightStep(std::string_view value) {
    const char* form = "N=HANDLE";
    auto equals = value.find('=');
    if (equals == std::string_view::npos) {
        throw CLI::ValidationError("«" + std::string(value) + "»: ожидается " + form);
    }
    EditorStep step;
    step.kind = EditorStep::Kind::PickHeight;
    step.point = parsePointNumber(value.substr(0, equals), value, form);
    step.text = std::string(value.substr(equals + 1));
    cad::Handle handle = 0;
    if (step.text.empty() || !cad::parseHandle(step.text, handle)) {
        throw CLI::ValidationError("«" + std::string(value) +
                                   "»: метка объекта должна быть шестнадцатеричным числом");
    }
    return step;
}

EditorStep parsePickCrossTopStep(std::string_view value) {
    EditorStep step = parsePickHeightStep(value);
    step.kind = EditorStep::Kind::PickCrossTop;
    return step;
}

EditorStep parseAddPointStep(std::string_view value) {
    auto comma = value.find(',');
    std::optional<double> x, y;
    if (comma != std::string_view::npos) {
        x = model::parseNumber(value.substr(0, comma), '.');
        y = model::parseNumber(value.substr(comma + 1), '.');
    }
    if (!x || !y) {
        throw CLI::ValidationError("«" + std::string(value) +
                                   "»: ожидается X,Y — два числа с точкой как десятичным "
                                   "разделителем");
    }
    EditorStep step;
    step.kind = EditorStep::Kind::AddPoint;
    step.x = *x;
    step.y = *y;
    return step;
}

EditorStep parseDeletePointStep(std::string_view value) {
    EditorStep step;
    step.kind = EditorStep::Kind::DeletePoint;
    step.point = parsePointNumber(value, value, "N");
    return step;
}

void EditorStepOptions::add(CLI::App& cmd) {
    cmd_ = &cmd;
    auto checked = [](EditorStep (*parse)(std::string_view)) {
        return [parse](const std::string& v) {
            try {
                parse(v);
            } catch (const CLI::ValidationError& e) {
                return std::string(e.what());
            }
            return std::string();
        };
    };
    auto repeatable = [&cmd, &checked](const char* name, const char* form, const std::string& help,
                                       EditorStep (*parse)(std::string_view)) {
        return cmd.add_option(name)
            ->type_name(form)
            ->description(help)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
            ->allow_extra_args(false)
            ->check(checked(parse));
    };
    edit_ = repeatable("--edit", "N:FIELD=V",
                       "Значение точки N (с 1): \"N:relief=V\" (высота рельефа, число или "
                       "Авто), \"N:pipe=V\", \"N:casing=V\" (диаметры трубы и футляра, мм), "
                       "\"N:crossTop=V\" (верх пересекаемой сети, м), \"N:crossDiameter=V\" "
                       "(её диаметр или высота, мм), \"N:crossKind=K\" (её вид: " +
                           model::crossKindKeyList() +
                           "); пустое значение снимает заданное (вид — по слою)",
                       parseEditStep);
    pickHeight_ = repeatable("--pick-height", "N=HANDLE",
                             "N=HANDLE: «Указать» высоту рельефа точки N текстом с этой меткой",
                             parsePickHeightStep);
    pickCrossTop_ =
        repeatable("--pick-cross-top", "N=HANDLE",
                   "N=HANDLE: «Указать» верх пересекаемой сети точки N текстом с этой меткой",
                   parsePickCrossTopStep);
    addPoint_ = repeatable("--add-point", "X,Y", "X,Y: «Добавить пересечение» в этой точке",
                           parseAddPointStep);
    deletePoint_ = repeatable("--delete-point", "N", "N: «Удалить пересечение» — точку N",
                              parseDeletePointStep);
    walk_ = cmd.add_flag("--walk")
                ->description(
                    "Открыть редактор и пройти «>» по всем точкам (высота −2 берётся у "
                    "предыдущей точки)")
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    undo_ = cmd.add_flag("--undo")
                ->description("Отменить последний шаг (как «Правка — Отменить»)")
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    redo_ = cmd.add_flag("--redo")
                ->description("Повторить отменённый шаг (как «Правка — Повторить»)")
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    build_ = cmd.add_flag("--build")
                 ->description(
                     "Построить профиль в этом месте шагов (последнее построение всё равно "
                     "выполняется, если нет --no-build)")
                 ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

std::vector<EditorStep> EditorStepOptions::steps() const {
    std::vector<EditorStep> out;
    if (!cmd_) return out;
    // Each occurrence of an option appears once in the parse order; its value
    // is the next unused result of that option.
    std::map<const CLI::Option*, std::size_t> used;
    for (const CLI::Option* opt : cmd_->parse_order()) {
        std::size_t k = used[opt]++;
        if (opt == walk_ || opt == undo_ || opt == redo_ || opt == build_) {
            EditorStep step;
            step.kind = opt == walk_   ? EditorStep::Kind::Walk
                        : opt == undo_ ? EditorStep::Kind::Undo
                        : opt == redo_ ? EditorStep::Kind::Redo
                                       : EditorStep::Kind::Build;
            out.push_back(step);
            continue;
        }
        const auto& results = opt->results();
        if (k >= results.size()) continue;
        const std::string& v = results[k];
        if (opt == edit_) {
            out.push_back(parseEditStep(v));
        } else if (opt == pickHeight_) {
            out.push_back(parsePickHeightStep(v));
        } else if (opt == pickCrossTop_) {
            out.push_back(parsePickCrossTopStep(v));
        } else if (opt == addPoint_) {
            out.push_back(parseAddPointStep(v));
        } else if (opt == deletePoint_) {
            out.push_back(parseDeletePointStep(v));
        }
    }
    return out;
}

std::string fieldStepName(editor::Field field) {
    for (const EditField& f : kEditFields) {
        if (f.field == field) return f.stepName;
    }
    return {};
}

std::string stepName(const EditorStep& step) {
    switch (step.kind) {
        case EditorStep::Kind::Edit:
            return fieldStepName(step.field);
        case EditorStep::Kind::PickHeight:
            return "Указать";
        case EditorStep::Kind::PickCrossTop:
            return "Указать верх пересекаемой сети";
        case EditorStep::Kind::AddPoint:
            return "Добавление точки";
        case EditorStep::Kind::DeletePoint:
            return "Удаление точки";
        case EditorStep::Kind::Walk:
            return "Обход точек";
        case EditorStep::Kind::Build:
            return "Построить\\Перестроить";
        case EditorStep::Kind::Undo:
        case EditorStep::Kind::Redo:
            break;
    }
    return {};
}

bool changesValues(const EditorStep& step) {
    switch (step.kind) {
        case EditorStep::Kind::Edit:
        case EditorStep::Kind::PickHeight:
        case EditorStep::Kind::PickCrossTop:
        case EditorStep::Kind::AddPoint:
        case EditorStep::Kind::DeletePoint:
        case EditorStep::Kind::Walk:  // a height -2 takes the previous point's
            return true;
        default:
            return false;
    }
}

void connectEditor(model::Workspace& ws) {
    ws.selectionHandler = editor::onSelectionChanged;
}

namespace {

void checkHeightText(const model::Workspace& ws, const cad::EntityRef& object,
                     const EditorStep& step) {
    const bool top = step.kind == EditorStep::Kind::PickCrossTop;
    const std::string where =
        top ? "верх пересекаемой сети точки " + std::to_string(step.point) + " не взят"
            : "высота рельефа точки " + std::to_string(step.point) + " не взята";
    std::string text;
    try {
        text = object.textString();
    } catch (const cad::Error&) {
        throw cad::Error("Объект с меткой " + step.text + " — не текст: " + where);
    }
    const std::optional<double> height =
        model::parseNumber(model::FixDecimalText(text, ws.decimalSeparator), ws.decimalSeparator);
    if (!height) {
        throw cad::Error("Текст «" + cad::validUtf8(text) + "» объекта с меткой " + step.text +
                         " — не число: " + where);
    }
    if (!model::plausibleHeight(*height)) {
        throw cad::Error("Текст «" + cad::validUtf8(text) + "» объекта с меткой " + step.text +
                         (top ? " — не высота (от " : " — не высота рельефа (от ") +
                         model::formatNumber(model::kReliefLimit.min, ',') + " до " +
                         model::formatNumber(model::kReliefLimit.max, ',') + " м): " + where);
    }
}

// A crossing added by hand lies on the route; a point farther from every
// element than a tenth of the picket's length is a slip of the fingers.
void checkNearRoute(model::Workspace& ws, const EditorStep& step) {
    const model::Piket* piket = ws.piketInWork();
    if (!piket) return;
    const cad::Point3 p{step.x, step.y, 0.0};
    std::optional<double> nearest;
    double length = 0.0;
    for (const cad::EntityRef& ref : piket->elements) {
        try {
            const cad::Entity& e = ref.entity();
            length += cad::entityLength(e).value_or(0.0);
            auto d = cad::distanceToEntity(ref.drawing()->data(), e, p);
            if (d && (!nearest || *d < *nearest)) nearest = d;
        } catch (const cad::Error&) {
            // An element erased since: the others decide.
        }
    }
    if (!nearest || length <= 0.0) return;
    if (*nearest > 0.1 * length) {
        throw cad::Error("Точка (" + cad::fixedText(step.x, 2) + ", " + cad::fixedText(step.y, 2) +
                         ") лежит в " + cad::fixedText(*nearest, 2) +
                         " от трассы пикета, дальше десятой доли его длины (" +
                         cad::fixedText(length, 2) + "): пересечение не добавлено");
    }
}

}  // namespace

void runEditorStep(model::Workspace& ws, cad::ScriptedPrompter& prompter, const EditorStep& step) {
    if (!ws.piketInWork()) throw cad::Error("Нет пикета в работе");
    switch (step.kind) {
        case EditorStep::Kind::Edit: {
            editor::selectPoint(ws, step.point - 1);
            if (step.field == editor::Field::CrossKind) {
                // The window's list: "по слою", then the kinds in their order.
                const std::optional<model::CrossKind> kind = model::crossKindByKey(step.text);
                ws.controls.crossKindIndex = kind ? static_cast<int>(*kind) + 1 : 0;
            } else {
                editor::Field f = step.field;
                std::string& field = f == editor::Field::Relief     ? ws.controls.reliefText
                                     : f == editor::Field::Pipe     ? ws.controls.pointPipeText
                                     : f == editor::Field::Casing   ? ws.controls.casingText
                                     : f == editor::Field::CrossTop ? ws.controls.crossTopText
                                                                    : ws.controls.crossDiameterText;
                field = step.text;
            }
            editor::keyPress(ws, step.field, editor::Key::Enter);
            break;
        }
        case EditorStep::Kind::PickHeight:
        case EditorStep::Kind::PickCrossTop: {
            editor::selectPoint(ws, step.point - 1);
            cad::EntityRef text = ws.doc ? ws.doc->entityByHandle(step.text) : cad::EntityRef{};
            if (text.isNull() && ws.sheetDoc) text = ws.sheetDoc->entityByHandle(step.text);
            if (text.isNull()) throw cad::Error("В чертеже нет объекта с меткой " + step.text);
            // The window ignores a pick that gives no height; a step says why.
            checkHeightText(ws, text, step);
            prompter.pushEntity(text);
            if (step.kind == EditorStep::Kind::PickCrossTop) {
                editor::pickCrossTop(ws);
            } else {
                editor::pickRelief(ws);
            }
            break;
        }
        case EditorStep::Kind::AddPoint:
            checkNearRoute(ws, step);
            prompter.pushPoint({step.x, step.y, 0.0});
            editor::addPoint(ws);
            break;
        case EditorStep::Kind::DeletePoint:
            editor::selectPoint(ws, step.point - 1);
            editor::deletePoint(ws);
            break;
        case EditorStep::Kind::Walk: {
            editor::open(ws);
            const int count = ws.piketInWork()->pointCount();
            for (int k = 1; k < count; ++k) editor::next(ws);
            break;
        }
        case EditorStep::Kind::Undo:
        case EditorStep::Kind::Redo:
        case EditorStep::Kind::Build:
            KV_ASSERT(!"a step of the run, not of the editor");
            break;
    }
}

}  // namespace cli
