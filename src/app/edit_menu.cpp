// The Edit menu: "Отменить «…»" (Ctrl+Z) and "Повторить «…»" (Ctrl+Y,
// Ctrl+Shift+Z) over the window's history of steps, and the Russian name of
// the step each control starts.
#include <QAction>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTimer>
#include <string_view>

#include "app/checks_panel.hpp"
#include "app/controls_binding.hpp"
#include "app/main_window.hpp"
#include "model/runner.hpp"

namespace app {

namespace {

struct StepName {
    std::string_view component;
    const char* name;
};

constexpr StepName kStepNames[] = {
    {"SpeedButton9", "Добавление слоёв трассы"},
    {"SpeedButton10", "Удаление слоя трассы"},
    {"SpeedButton11", "Добавление слоёв подводов"},
    {"SpeedButton12", "Удаление слоя подводов"},
    {"SpeedButton13", "Добавление слоёв коммуникаций"},
    {"SpeedButton14", "Удаление слоя коммуникаций"},
    {"SpeedButton15", "Добавление слоёв других пересечений"},
    {"SpeedButton16", "Удаление слоя других пересечений"},
    {"SpeedButton8", "Скрыть выбранное"},
    {"SpeedButton19", "Показать все"},
    {"SpeedButton17", "Пикет по конечным точкам"},
    {"SpeedButton33", "Пикет последовательным выбором"},
    {"SpeedButton18", "Удаление пикета"},
    {"SpeedButton6", "Взять в работу"},
    {"SpeedButton4", "Параметры пересечений"},
    {"SpeedButton22", "Переход к точке"},
    {"SpeedButton20", "Переход к точке"},
    {"SpeedButton21", "Переход к точке"},
    {"SpeedButton23", "Переход к точке"},
    {"SpeedButton24", "Отметка земли"},
    {"SpeedButton30", "Диаметр трубы"},
    {"SpeedButton29", "Диаметр футляра"},
    {"SpeedButton25", "Авто"},
    {"SpeedButton26", "Указать"},
    {"CrossTopTakeOver", "Верх пересекаемой сети"},
    {"CrossTopPick", "Верх пересекаемой сети из текста"},
    {"CrossDiameterTakeOver", "Диаметр пересекаемой сети"},
    {"SpeedButton27", "Добавление точки"},
    {"SpeedButton31", "Удаление точки"},
    {"SpeedButton28", "Построить\\Перестроить"},
    {"SpeedButton3", "Построить профиль"},
};

}  // namespace

std::string stepNameOf(std::string_view component) {
    for (const StepName& s : kStepNames) {
        if (s.component == component) return s.name;
    }
    return "Изменение";
}

bool isEditShortcut(const QKeyEvent& event) {
    const QKeyCombination k = event.keyCombination();
    return k == QKeyCombination(Qt::CTRL, Qt::Key_Z) || k == QKeyCombination(Qt::CTRL, Qt::Key_Y) ||
           k == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z);
}

void MainWindow::buildEditMenu(QMenuBar& bar) {
    QMenu* edit = bar.addMenu(QStringLiteral("Правка"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    undoAction_ = edit->addAction(QStringLiteral("Отменить"));
    undoAction_->setObjectName(QStringLiteral("UndoAction"));
    undoAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(undoAction_, &QAction::triggered, this, [this] { takeStep(false); });
    redoAction_ = edit->addAction(QStringLiteral("Повторить"));
    redoAction_->setObjectName(QStringLiteral("RedoAction"));
    redoAction_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    connect(redoAction_, &QAction::triggered, this, [this] { takeStep(true); });
    updateEditMenu();
}

void MainWindow::updateEditMenu() {
    if (!undoAction_) return;
    auto named = [](const char* verb, const std::string& step) {
        return step.empty() ? QString::fromUtf8(verb)
                            : QStringLiteral("%1 «%2»").arg(QString::fromUtf8(verb),
                                                            QString::fromStdString(step));
    };
    undoAction_->setText(named("Отменить", history_.undoName()));
    undoAction_->setEnabled(history_.canUndo());
    redoAction_->setText(named("Повторить", history_.redoName()));
    redoAction_->setEnabled(history_.canRedo());
}

void MainWindow::takeStep(bool redo) {
    if (ws_.operationRunning) {
        // A prompt waits in the drawing: it ends first (as Esc ends it), and
        // the step is taken once its operation is over.
        if (!view_->prompting()) return;
        view_->cancelPrompt();
        QTimer::singleShot(0, this, [this, redo] {
            if (!ws_.operationRunning) takeStep(redo);
        });
        return;
    }
    if (!(redo ? history_.canRedo() : history_.canUndo())) return;
    model::runOperation(ws_, [this, redo] { redo ? history_.redo(ws_) : history_.undo(ws_); });
    pushControls(ws_.controls, widgets_);
    pushSheetOptions(ws_.sheetOptions, widgets_);
    if (checks_) checks_->refresh(ws_);
    if (ws_.doc) {
        session_.markUnsaved();
        view_->rebuild();
    }
    updateEditMenu();
    updateFileActions();
}

}  // namespace app
