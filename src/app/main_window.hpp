// The main window: tool panel, auxiliary panels, the drawing view in the
// working area, status bar and menus. Every user action runs through
// model::runOperation with the panels read into model::Controls before it and
// written back after it. The questions the window asks (files, closing with
// unsaved work, messages) go through Dialogs so that tests can answer them.
#pragma once

#include <QLocale>
#include <QMainWindow>
#include <QStringList>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/panels.hpp"
#include "app/view/drawing_view.hpp"
#include "cad/application.hpp"
#include "cad/file_lock.hpp"
#include "ground/survey_ground.hpp"
#include "model/history.hpp"
#include "model/workspace.hpp"
#include "project/session.hpp"

class QKeyEvent;
class QLabel;
class QMenuBar;
class QProgressBar;
class QToolButton;

namespace app {

class ChecksPanel;

enum class CloseAnswer { Save, Discard, Cancel };

struct Dialogs {
    std::function<QString(QWidget* parent)> chooseOpenFile;  // empty: cancelled
    std::function<QString(QWidget* parent, const QString& current)> chooseSaveFile;
    std::function<CloseAnswer(QWidget* parent, const QString& fileName)> askUnsaved;
    std::function<void(QWidget* parent, const QString& text)> showMessage;
    // The drawing is open elsewhere (the text says by whom): true to open it
    // read-only, false to leave it.
    std::function<bool(QWidget* parent, const QString& text)> askReadOnly;
    // "Отметки по съёмке": the layers of the spot heights (from the drawing's
    // layers), the step, the longest edge and whether hand-set heights go;
    // empty: cancelled. `last` is the previous choice, the dialog's start.
    std::function<std::optional<ground::GroundOptions>(QWidget* parent, const QStringList& layers,
                                                       const ground::GroundOptions& last)>
        chooseGround;
    // "Верх сетей по съёмке": how far from a crossing its top's text may
    // stand, metres of terrain, starting from `last`; empty: cancelled.
    std::function<std::optional<double>(QWidget* parent, double last)> chooseCrossReach;
};

// File dialogs, the Сохранить / Не сохранять / Отмена question, modal
// message boxes and the survey dialog.
Dialogs standardDialogs();

// Ctrl+Z, Ctrl+Y, Ctrl+Shift+Z: the editor's fields leave them to the Edit menu.
bool isEditShortcut(const QKeyEvent& event);

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(Dialogs dialogs = standardDialogs(),
                        const QLocale& locale = QLocale::system(), QWidget* parent = nullptr);
    ~MainWindow() override;

    model::Workspace& workspace() { return ws_; }
    DrawingView& drawingView() { return *view_; }

    // Opens a drawing as the project, reading it off the user's path while the
    // window stays responsive. Returns whether it was opened.
    bool openFile(const QString& path);
    bool save();
    bool saveAs();
    // "Сохранить проект": the project file beside the drawing, the drawing
    // itself left as it is.
    bool saveProject();
    // The drawing was opened read-only (another program has it open): it is
    // saved only under another name.
    bool readOnly() const { return session_.readOnly(); }
    // The drawing or the work typed for it (pickets, heights, fields) differs
    // from what the files hold.
    bool hasUnsavedChanges();

    // Runs one user action the way every control does: panels read into the
    // model, the action under model::runOperation as the step `step` of the
    // history (Правка — Отменить), the panels written back.
    bool runAction(const std::function<void()>& action, bool changesDrawing = false,
                   const std::string& step = "Изменение");
    model::History& history() { return history_; }

    // The busy indicator Panel6: shown while an action works, not while it
    // waits for the user (a prompt in the drawing, a message).
    void setBusy(bool busy);

  protected:
    void closeEvent(QCloseEvent* event) override;
    // The keys of the crossing editor's fields.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class WindowUi;

    void buildMenus();
    void buildEditMenu(QMenuBar& bar);
    void updateEditMenu();
    // Undo (or redo) one step; a prompt in the drawing ends first.
    void takeStep(bool redo);
    void connectControls();
    void connectOperations();
    void showPanel(model::PanelId panel);
    void openProject();
    void newProject();
    void showAbout();
    // Reads the drawing off the window's thread, marking it as open here
    // unless `readOnly`; when another program has it open, says so in
    // `lockedBy` and reads nothing.
    project::Loaded loadDrawing(const std::filesystem::path& path, bool readOnly);
    // After the opening: the saved project put back, what it could not take
    // told, and the picket that was in work named.
    void restoreProject();
    void fillGroundFromSurvey();
    void crossedTopsFromSurvey();
    // After a picket is defined: whether its length fits the plan's units.
    void warnAboutUnits(int piketsBefore);
    // Asks what to do with unsaved work; false when the user keeps it open.
    bool settleUnsaved();
    void watchDrawing(cad::Drawing& doc);
    void reportRepairs();
    // The title names the drawing, with "*" while something is unsaved.
    void updateFileActions();
    void updateBusyPanel();
    // "Построить\Перестроить": the profile drawn, said in the status line,
    // and the sheet offered to be shown.
    void buildProfile();
    void showSheet();
    // Writes the model into the panels as soon as no action runs.
    void showModelWhenIdle();

    Dialogs dialogs_;
    DrawingView* view_;
    std::unique_ptr<WindowUi> ui_;
    PanelWidgets widgets_;
    cad::Application cad_;
    model::Workspace ws_;
    project::Session session_{ws_};

    QWidget* busyPanel_ = nullptr;
    QLabel* coordinates_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* saveAsAction_ = nullptr;
    QAction* saveProjectAction_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    model::History history_;
    QToolButton* showSheetButton_ = nullptr;
    ChecksPanel* checks_ = nullptr;  // "Проверка", refreshed after every action
    // The window-wide keys, which also act while a field has the focus.
    QList<QAction*> windowKeys_;

    double crossReach_ = 1.0;  // the last reach of "Верх сетей по съёмке", m

    bool busy_ = false;
    int waitingForUser_ = 0;  // messages open
    bool loading_ = false;
    std::atomic<bool> stopLoading_{false};  // the window closes: the reading stops
    bool closeAfterLoading_ = false;
    cad::Drawing* watched_ = nullptr;
};

}  // namespace app
