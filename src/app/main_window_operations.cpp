// Every panel control of the main window and the operation it runs. Each runs
// through MainWindow::runAction, so the panels are read into the model before
// and shown from it after, and a failure is a message.
#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <array>

#include "app/ground_dialog.hpp"
#include "app/main_window.hpp"
#include "editor/editor.hpp"
#include "ground/crossed_tops.hpp"
#include "ground/survey_ground.hpp"
#include "model/units.hpp"
#include "pickets/pickets.hpp"
#include "profile/build.hpp"
#include "sheet/sheet.hpp"
#include "typing/typing.hpp"

namespace app {

namespace {

// The steps of the type lists' buttons, in the lists' order.
constexpr std::array<const char*, model::kTypeListCount> kAddTypeStep = {
    "Добавление слоёв трассы", "Добавление слоёв подводов", "Добавление слоёв коммуникаций",
    "Добавление слоёв других пересечений"};
constexpr std::array<const char*, model::kTypeListCount> kRemoveTypeStep = {
    "Удаление слоя трассы", "Удаление слоя подводов", "Удаление слоя коммуникаций",
    "Удаление слоя других пересечений"};

// What an operation does to the drawing, for the view and the unsaved flag.
enum class Effect {
    None,      // only the panels change
    Entities,  // entities added, moved or shown and hidden
    Layers,    // layers added as well: the view draws everything anew
};

struct FieldKeys {
    QLineEdit* PanelWidgets::*component;
    editor::Field field;
    const char* step;  // Enter's step in the Edit menu
};

constexpr std::array kEditorFields{
    FieldKeys{&PanelWidgets::relief, editor::Field::Relief, "Значение точки"},
    FieldKeys{&PanelWidgets::casing, editor::Field::Casing, "Значение точки"},
    FieldKeys{&PanelWidgets::pointPipe, editor::Field::Pipe, "Значение точки"},
    FieldKeys{&PanelWidgets::crossTop, editor::Field::CrossTop, "Верх пересекаемой сети"},
    FieldKeys{&PanelWidgets::crossDiameter, editor::Field::CrossDiameter,
              "Диаметр пересекаемой сети"},
};

struct KeyMapping {
    int qt;
    editor::Key key;
};

constexpr std::array kEditorKeys{
    KeyMapping{Qt::Key_Left, editor::Key::Left},    KeyMapping{Qt::Key_Up, editor::Key::Up},
    KeyMapping{Qt::Key_Right, editor::Key::Right},  KeyMapping{Qt::Key_Down, editor::Key::Down},
    KeyMapping{Qt::Key_End, editor::Key::End},      KeyMapping{Qt::Key_Home, editor::Key::Home},
    KeyMapping{Qt::Key_Return, editor::Key::Enter}, KeyMapping{Qt::Key_Enter, editor::Key::Enter},
};

editor::Key editorKey(int key) {
    for (const KeyMapping& m : kEditorKeys) {
        if (m.qt == key) return m.key;
    }
    return editor::Key::Other;
}

}  // namespace

void MainWindow::connectOperations() {
    model::Workspace& ws = ws_;
    const PanelWidgets& w = widgets_;
    // Each button starts one step, named as the Edit menu shows it.
    auto on = [this](QToolButton* button, const char* step, Effect effect,
                     std::function<void()> operation) {
        connect(button, &QToolButton::clicked, this,
                [this, effect, step = std::string(step), operation = std::move(operation)] {
                    runAction(operation, effect != Effect::None, step);
                    if (effect == Effect::Layers) view_->rebuild();
                });
    };

    // Types.
    for (std::size_t t = 0; t < model::kTypeListCount; ++t) {
        const auto list = static_cast<model::TypeList>(t);
        on(w.addType[t], kAddTypeStep[t], Effect::None,
           [&ws, list] { typing::addObjects(ws, list); });
        on(w.removeType[t], kRemoveTypeStep[t], Effect::None,
           [&ws, list] { typing::removeSelectedItem(ws, list); });
    }
    on(w.hideSelected, "Скрыть выбранное", Effect::Entities, [&ws] { typing::hideTyped(ws); });
    on(w.showAll, "Показать все", Effect::Entities, [&ws] { typing::showAll(ws); });

    // Pickets.
    on(w.addByEnds, "Пикет по конечным точкам", Effect::Entities, [this, &ws] {
        const int before = ws.piketCount();
        pickets::addByEndPoints(ws);
        warnAboutUnits(before);
    });
    on(w.addBySequence, "Пикет последовательным выбором", Effect::Entities, [this, &ws] {
        const int before = ws.piketCount();
        pickets::addBySequence(ws);
        warnAboutUnits(before);
    });
    on(w.deletePiket, "Удаление пикета", Effect::None, [&ws] { pickets::deleteSelectedRow(ws); });
    on(w.takeIntoWork, "Взять в работу", Effect::Layers, [&ws] { sheet::takeIntoWork(ws); });

    // Crossing editor and profile.
    on(w.editor, "Параметры пересечений", Effect::Entities, [&ws] { editor::open(ws); });
    on(w.firstPoint, "Переход к точке", Effect::Entities, [&ws] { editor::first(ws); });
    on(w.previousPoint, "Переход к точке", Effect::Entities, [&ws] { editor::previous(ws); });
    on(w.nextPoint, "Переход к точке", Effect::Entities, [&ws] { editor::next(ws); });
    on(w.lastPoint, "Переход к точке", Effect::Entities, [&ws] { editor::last(ws); });
    // A change of values, and with "Перестраивать сразу" the profile after it.
    auto valued = [&ws](void (*change)(model::Workspace&)) {
        return [&ws, change] {
            change(ws);
            if (ws.controls.liveRebuild) profile::rebuildLive(ws);
        };
    };
    on(w.takeOverRelief, "Отметка земли", Effect::Entities, valued(editor::takeOverRelief));
    on(w.takeOverPipe, "Диаметр трубы", Effect::Entities, valued(editor::takeOverPipe));
    on(w.takeOverCasing, "Диаметр футляра", Effect::Entities, valued(editor::takeOverCasing));
    on(w.setAuto, "Авто", Effect::Entities, valued(editor::setAuto));
    on(w.pickRelief, "Указать", Effect::Entities, valued(editor::pickRelief));
    on(w.takeOverCrossTop, "Верх пересекаемой сети", Effect::Entities,
       valued(editor::takeOverCrossTop));
    on(w.pickCrossTop, "Верх пересекаемой сети из текста", Effect::Entities,
       valued(editor::pickCrossTop));
    on(w.takeOverCrossDiameter, "Диаметр пересекаемой сети", Effect::Entities,
       valued(editor::takeOverCrossDiameter));
    // A kind chosen in the list is taken at once.
    connect(w.crossKind, &QComboBox::activated, this, [this, valued] {
        runAction(valued(editor::takeOverCrossKind), true, "Вид пересекаемой сети");
    });
    on(w.addPoint, "Добавление точки", Effect::Entities, valued(editor::addPoint));
    on(w.deletePoint, "Удаление точки", Effect::Entities, valued(editor::deletePoint));
    for (QToolButton* build : {w.build, w.buildHidden})
        connect(build, &QToolButton::clicked, this, &MainWindow::buildProfile);
    connect(w.ground, &QToolButton::clicked, this, &MainWindow::fillGroundFromSurvey);
    connect(w.crossSurvey, &QToolButton::clicked, this, &MainWindow::crossedTopsFromSurvey);

    for (const FieldKeys& f : kEditorFields) (w.*(f.component))->installEventFilter(this);

    // A point line picked in the view moves the crossing editor (the model's
    // handler runs on the drawing's selection event); the panels then show it.
    ws.selectionHandler = [](model::Workspace& work) { editor::onSelectionChanged(work); };
}

void MainWindow::warnAboutUnits(int piketsBefore) {
    if (ws_.piketCount() <= piketsBefore) return;
    double length = 0.0;
    for (const cad::EntityRef& e : ws_.pikets.back().elements) {
        try {
            length += e.length();
        } catch (const cad::Error&) {
            // An element without a length adds nothing to the estimate.
        }
    }
    // One message: the units that would fit are said with the doubt.
    std::string text;
    for (const std::string& w : model::unitsWarnings(ws_, length, model::UnitsChoice::Window))
        text += (text.empty() ? "" : "\n") + w;
    if (!text.empty()) ws_.ui.message(text);
}

void MainWindow::fillGroundFromSurvey() {
    if (ws_.operationRunning || !ws_.doc) return;
    QStringList layers;
    ground::GroundOptions start;
    if (ws_.surveyChoice) static_cast<model::SurveyChoice&>(start) = *ws_.surveyChoice;
    for (const std::string& name : ws_.doc->layerNames()) {
        const QString shown = QString::fromStdString(name);
        layers << shown;
        // The first time, a layer named for heights is offered chosen.
        if (!ws_.surveyChoice && shown.contains(QStringLiteral("отметк"), Qt::CaseInsensitive))
            start.layers.push_back(name);
    }
    const std::optional<ground::GroundOptions> chosen =
        dialogs_.chooseGround ? dialogs_.chooseGround(this, layers, start)
                              : askGroundOptions(this, layers, start);
    if (!chosen) return;
    ws_.surveyChoice = static_cast<const model::SurveyChoice&>(*chosen);
    const ground::GroundOptions options = *chosen;
    // The points the survey adds show in the editor at once and in the sheet
    // at the next build.
    runAction(
        [this, options] {
            const ground::GroundReport report = ground::fillGroundFromSurvey(ws_, options);
            ws_.ui.message(ground::reportText(report));
        },
        true, "Отметки по съёмке");
}

void MainWindow::crossedTopsFromSurvey() {
    if (ws_.operationRunning || !ws_.doc) return;
    const std::optional<double> reach = dialogs_.chooseCrossReach
                                            ? dialogs_.chooseCrossReach(this, crossReach_)
                                            : std::optional(crossReach_);
    if (!reach) return;
    crossReach_ = *reach;
    runAction(
        [this, at = *reach] {
            const ground::CrossedTopsReport report = ground::crossedTopsFromSurvey(ws_, at);
            editor::ShowWorkPoint(ws_, false);
            if (ws_.controls.liveRebuild) profile::rebuildLive(ws_);
            ws_.ui.message(ground::reportText(report));
        },
        true, "Верх сетей по съёмке");
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The editor's fields leave Ctrl+Z and the like to the Edit menu.
    if (event->type() == QEvent::ShortcutOverride &&
        isEditShortcut(*static_cast<QKeyEvent*>(event))) {
        return true;
    }
    const bool release = event->type() == QEvent::KeyRelease;
    const bool press = event->type() == QEvent::KeyPress;
    const bool override = event->type() == QEvent::ShortcutOverride;
    if (override || press) {
        // A window-wide key in a field: the field gets the key press (so no
        // shortcut runs twice) and hands it to the window's action.
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (QAction* a : std::as_const(windowKeys_)) {
            if (a->shortcut() != pressed) continue;
            event->accept();
            if (press && a->isEnabled()) a->trigger();
            return true;
        }
    }
    if (!release && !press) return QMainWindow::eventFilter(watched, event);
    for (const FieldKeys& f : kEditorFields) {
        if (watched != widgets_.*(f.component)) continue;
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        const editor::Key key = editorKey(keyEvent->key());
        if (key == editor::Key::Other) return false;
        const editor::Field field = f.field;
        if (key == editor::Key::Enter) {
            // Enter takes the field over as it is typed.
            if (press) {
                runAction(
                    [this, field] {
                        editor::keyPress(ws_, field, editor::Key::Enter);
                        if (ws_.controls.liveRebuild) profile::rebuildLive(ws_);
                    },
                    true, f.step);
            }
            return true;
        }
        // The other keys act once, when released.
        if (release && !keyEvent->isAutoRepeat()) {
            runAction([this, field, key] { editor::keyUp(ws_, field, key); }, true,
                      "Переход к точке");
            return true;
        }
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace app
