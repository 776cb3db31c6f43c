// Every panel control of the main window and the operation it runs. Each runs
// through MainWindow::runAction, so the panels are read into the model before
// and shown from it after, and a failure is a message.
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <array>

#include "app/main_window.hpp"
#include "editor/editor.hpp"
#include "pickets/pickets.hpp"
#include "profile/build.hpp"
#include "sheet/sheet.hpp"
#include "typing/typing.hpp"

namespace app {

namespace {

// What an operation does to the drawing, for the view and the unsaved flag.
enum class Effect {
    None,      // only the panels change
    Entities,  // entities added, moved or shown and hidden
    Layers,    // layers added as well: the view draws everything anew
};

struct FieldKeys {
    const char* component;
    editor::Field field;
};

constexpr std::array kEditorFields{
    FieldKeys{"Edit3", editor::Field::Relief},
    FieldKeys{"Edit6", editor::Field::Casing},
    FieldKeys{"Edit7", editor::Field::Pipe},
};

editor::Key editorKey(int key) {
    switch (key) {
        case Qt::Key_Left:
            return editor::Key::Left;
        case Qt::Key_Up:
            return editor::Key::Up;
        case Qt::Key_Right:
            return editor::Key::Right;
        case Qt::Key_Down:
            return editor::Key::Down;
        case Qt::Key_End:
            return editor::Key::End;
        case Qt::Key_Home:
            return editor::Key::Home;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return editor::Key::Enter;
        default:
            return editor::Key::Other;
    }
}

}  // namespace

void MainWindow::connectOperations() {
    model::Workspace& ws = ws_;
    auto on = [this](const char* button, Effect effect, std::function<void()> operation) {
        auto* b = findChild<QToolButton*>(QLatin1String(button));
        Q_ASSERT_X(b, "main window", button);
        connect(b, &QToolButton::clicked, this, [this, effect, operation = std::move(operation)] {
            runAction(operation, effect != Effect::None);
            if (effect == Effect::Layers) view_->rebuild();
        });
    };

    // Types.
    using model::TypeList;
    const struct {
        const char* add;
        const char* remove;
        TypeList list;
    } types[] = {{"SpeedButton9", "SpeedButton10", TypeList::Route},
                 {"SpeedButton11", "SpeedButton12", TypeList::Connections},
                 {"SpeedButton13", "SpeedButton14", TypeList::Communications},
                 {"SpeedButton15", "SpeedButton16", TypeList::Other}};
    for (const auto& t : types) {
        const TypeList list = t.list;
        on(t.add, Effect::None, [&ws, list] { typing::addObjects(ws, list); });
        on(t.remove, Effect::None, [&ws, list] { typing::removeSelectedItem(ws, list); });
    }
    on("SpeedButton8", Effect::Entities, [&ws] { typing::hideTyped(ws); });
    on("SpeedButton19", Effect::Entities, [&ws] { typing::showAll(ws); });

    // Pickets.
    on("SpeedButton17", Effect::Entities, [&ws] { pickets::addByEndPoints(ws); });
    on("SpeedButton33", Effect::Entities, [&ws] { pickets::addBySequence(ws); });
    on("SpeedButton18", Effect::None, [&ws] { pickets::deleteSelectedRow(ws); });
    on("SpeedButton6", Effect::Layers, [&ws] { sheet::takeIntoWork(ws); });

    // Crossing editor and profile.
    on("SpeedButton4", Effect::Entities, [&ws] { editor::open(ws); });
    on("SpeedButton22", Effect::Entities, [&ws] { editor::first(ws); });
    on("SpeedButton20", Effect::Entities, [&ws] { editor::previous(ws); });
    on("SpeedButton21", Effect::Entities, [&ws] { editor::next(ws); });
    on("SpeedButton23", Effect::Entities, [&ws] { editor::last(ws); });
    on("SpeedButton24", Effect::None, [&ws] { editor::takeOverRelief(ws); });
    on("SpeedButton30", Effect::None, [&ws] { editor::takeOverPipe(ws); });
    on("SpeedButton29", Effect::None, [&ws] { editor::takeOverCasing(ws); });
    on("SpeedButton25", Effect::None, [&ws] { editor::setAuto(ws); });
    on("SpeedButton26", Effect::None, [&ws] { editor::pickRelief(ws); });
    on("SpeedButton27", Effect::Entities, [&ws] { editor::addPoint(ws); });
    on("SpeedButton31", Effect::Entities, [&ws] { editor::deletePoint(ws); });
    on("SpeedButton28", Effect::Layers, [&ws] { profile::build(ws); });
    on("SpeedButton3", Effect::Layers, [&ws] { profile::build(ws); });

    for (const FieldKeys& f : kEditorFields) {
        auto* edit = findChild<QLineEdit*>(QLatin1String(f.component));
        Q_ASSERT_X(edit, "main window", f.component);
        edit->installEventFilter(this);
    }

    // A point line picked in the view moves the crossing editor (the model's
    // handler runs on the drawing's selection event); the panels then show it.
    ws.selectionHandler = [](model::Workspace& w) { editor::onSelectionChanged(w); };
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    const bool release = event->type() == QEvent::KeyRelease;
    const bool press = event->type() == QEvent::KeyPress;
    if (!release && !press) return QMainWindow::eventFilter(watched, event);
    for (const FieldKeys& f : kEditorFields) {
        if (watched->objectName() != QLatin1String(f.component)) continue;
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        const editor::Key key = editorKey(keyEvent->key());
        if (key == editor::Key::Other) return false;
        const editor::Field field = f.field;
        if (key == editor::Key::Enter) {
            // Enter takes the field over as it is typed.
            if (press)
                runAction([this, field] { editor::keyPress(ws_, field, editor::Key::Enter); });
            return true;
        }
        // The other keys act once, when released.
        if (release && !keyEvent->isAutoRepeat()) {
            runAction([this, field, key] { editor::keyUp(ws_, field, key); }, true);
            return true;
        }
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace app
