// The Edit menu: "Отменить «…»" (Ctrl+Z) and "Повторить «…»" (Ctrl+Y,
// Ctrl+Shift+Z) over the window's history of steps.
#include <QAction>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTimer>

#include "app/checks_panel.hpp"
#include "app/controls_binding.hpp"
#include "app/main_window.hpp"
#include "model/runner.hpp"

namespace app {

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
