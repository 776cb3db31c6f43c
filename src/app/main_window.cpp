#include "app/main_window.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <exception>
#include <thread>

#include "app/checks_panel.hpp"
#include "app/controls_binding.hpp"
#include "app/cross_kinds_dialog.hpp"
#include "app/ground_dialog.hpp"
#include "app/panels.hpp"
#include "app/rules_dialog.hpp"
#include "app/widget_build.hpp"
#include "app/windows.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/error.hpp"
#include "cad/geometry.hpp"
#include "cad/number_text.hpp"
#include "dwg/dwg_import.hpp"
#include "editor/editor.hpp"
#include "model/project.hpp"
#include "model/runner.hpp"
#include "profile/build.hpp"
#include "project/project_file.hpp"

namespace app {

namespace {

std::filesystem::path toPath(const QString& s) {
    return std::filesystem::path(s.toStdString());
}

// A plan coordinate for the status bar: two decimals, the point as written
// in the drawing, whatever the locale.
QString coordinateText(double v) {
    return QString::fromStdString(cad::fixedText(v, 2));
}

}  // namespace

Dialogs standardDialogs() {
    Dialogs d;
    d.chooseOpenFile = [](QWidget* parent) {
        return QFileDialog::getOpenFileName(
            parent, QStringLiteral("Открыть проект"), QString(),
            QStringLiteral("Чертежи (*.dxf *.dwg);;Файлы DXF (*.dxf);;Файлы AutoCAD (*.dwg)"));
    };
    d.chooseSaveFile = [](QWidget* parent, const QString& current) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Сохранить как"), current,
                                            QStringLiteral("Файлы DXF (*.dxf)"));
    };
    d.askUnsaved = [](QWidget* parent, const QString& fileName) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Kernavisto"),
                        QStringLiteral("Чертёж «%1» изменён. Сохранить изменения?").arg(fileName),
                        QMessageBox::NoButton, parent);
        QPushButton* save = box.addButton(QStringLiteral("Сохранить"), QMessageBox::AcceptRole);
        QPushButton* discard =
            box.addButton(QStringLiteral("Не сохранять"), QMessageBox::DestructiveRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
        box.setDefaultButton(save);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == save) return CloseAnswer::Save;
        if (box.clickedButton() == discard) return CloseAnswer::Discard;
        return CloseAnswer::Cancel;
    };
    d.showMessage = [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, QStringLiteral("Kernavisto"), text);
    };
    d.askReadOnly = [](QWidget* parent, const QString& text) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Kernavisto"), text,
                        QMessageBox::NoButton, parent);
        QPushButton* readOnly =
            box.addButton(QStringLiteral("Открыть только для чтения"), QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.exec();
        return box.clickedButton() == readOnly;
    };
    d.chooseGround = askGroundOptions;
    d.chooseCrossReach = [](QWidget* parent, double last) -> std::optional<double> {
        bool ok = false;
        const double reach =
            QInputDialog::getDouble(parent, QStringLiteral("Верх сетей по съёмке"),
                                    QStringLiteral("Отметка верха — не дальше от пересечения, м:"),
                                    last, 0.01, 1000.0, 2, &ok);
        if (!ok) return std::nullopt;
        return reach;
    };
    return d;
}

class MainWindow::WindowUi : public model::Ui {
  public:
    explicit WindowUi(MainWindow& window) : w_(window) {}
    void message(const std::string& text) override {
        // The program waits for the user: no busy indicator over the message.
        ++w_.waitingForUser_;
        w_.updateBusyPanel();
        w_.dialogs_.showMessage(&w_, qs(text));
        --w_.waitingForUser_;
        w_.updateBusyPanel();
    }
    void setBusy(bool busy) override { w_.setBusy(busy); }
    void processEvents() override { QCoreApplication::processEvents(); }
    void focusDrawing() override {
        w_.activateWindow();
        w_.view_->setFocus(Qt::OtherFocusReason);
    }
    void focusMainWindow() override {
        w_.raise();
        w_.activateWindow();
    }

  private:
    MainWindow& w_;
};

MainWindow::MainWindow(Dialogs dialogs, const QLocale& locale, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(std::move(dialogs)),
      view_(new DrawingView),
      ui_(std::make_unique<WindowUi>(*this)),
      cad_(view_),
      ws_(cad_, *view_, *ui_) {
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("Kernavisto"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/kernavisto.svg")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setMinimumSize(0, 0);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Client"));
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    row->addWidget(buildToolPanel(central, widgets_));
    row->addWidget(buildAuxiliaryPanel(central, widgets_));
    auto* work = new QGroupBox(central);
    work->setObjectName(QStringLiteral("GroupBox3"));
    work->setToolTip(QStringLiteral("Рабочая среда"));
    auto* workLayout = new QVBoxLayout(work);
    workLayout->setContentsMargins(2, 2, 2, 2);
    view_->setParent(work);
    view_->setObjectName(QStringLiteral("DrawingView"));
    workLayout->addWidget(view_);
    row->addWidget(work, 1);
    setCentralWidget(central);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    auto* panel0 = new QLabel(status);
    panel0->setObjectName(QStringLiteral("StatusBar1Panel0"));
    panel0->setMinimumWidth(50);
    status->addWidget(panel0, 1);
    widgets_.status = panel0;
    progress_ = new QProgressBar(status);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setMaximumWidth(200);
    progress_->hide();
    status->addPermanentWidget(progress_);
    // After a build: the sheet, wherever the view stands, one click away.
    showSheetButton_ = new QToolButton(status);
    showSheetButton_->setObjectName(QStringLiteral("ShowSheetButton"));
    showSheetButton_->setText(QStringLiteral("Показать лист"));
    showSheetButton_->setToolTip(QStringLiteral("Показать лист профиля пикета в работе"));
    showSheetButton_->hide();
    status->addPermanentWidget(showSheetButton_);
    connect(showSheetButton_, &QToolButton::clicked, this, &MainWindow::showSheet);
    coordinates_ = new QLabel(status);
    coordinates_->setObjectName(QStringLiteral("Coordinates"));
    coordinates_->setMinimumWidth(200);
    status->addPermanentWidget(coordinates_);
    setStatusBar(status);

    busyPanel_ = buildBusyPanel(this, widgets_);
    auto* blink = new QTimer(this);
    blink->setObjectName(QStringLiteral("Timer2"));
    blink->setInterval(300);
    QWidget* image2 = widgets_.busyBlink;
    connect(blink, &QTimer::timeout, this, [image2] { image2->setVisible(!image2->isVisible()); });
    blink->start();

    // "Проверка": a click on a finding goes to its point as the editor's
    // navigation does.
    checks_ = new ChecksPanel(
        [this](int point) {
            runAction(
                [this, point] {
                    ws_.controls.front = model::PanelId::Editor;
                    editor::selectPoint(ws_, point);
                },
                true, "Переход к точке");
        },
        [this](bool on) {
            runAction([this, on] { ws_.sheetOptions.checkMarks = on; }, false,
                      "Замечания на листе");
        },
        [this] {
            if (ws_.operationRunning) return;
            RulesDialog dialog(ws_.checkRules, ws_.decimalSeparator, this);
            if (dialog.exec() != QDialog::Accepted || dialog.rules() == ws_.checkRules) return;
            runAction([this, rules = dialog.rules()] { ws_.checkRules = rules; }, false,
                      "Правила проверки");
        },
        this);
    addDockWidget(Qt::RightDockWidgetArea, checks_);
    if (checks_) checks_->refresh(ws_);

    buildMenus();
    connectControls();
    connectOperations();
    connect(view_, &DrawingView::promptChanged, this, [this] { updateBusyPanel(); });
    // Fields keep the window's keys for the window (a line edit would take
    // Ctrl+E for the end of its line).
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->installEventFilter(this);
    connect(view_, &DrawingView::cursorMoved, this, [this](double x, double y) {
        coordinates_->setText(coordinateText(x) + QStringLiteral(", ") + coordinateText(y));
    });

    // The separator of the system's number format; numbers typed with either
    // separator are still read (FixDecimalText).
    ws_.decimalSeparator = locale.decimalPoint() == QStringLiteral(",") ? ',' : '.';
    ws_.workPiket = -1;
    ws_.controls.front = model::PanelId::Project;
    pushControls(ws_.controls, widgets_);
    pushSheetOptions(ws_.sheetOptions, widgets_);
    session_.markSaved();
    updateFileActions();

    if (QScreen* screen = this->screen()) setGeometry(screen->availableGeometry());
}

MainWindow::~MainWindow() {
    view_->setDrawing(nullptr);
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(QStringLiteral("Файл"));
    file->setObjectName(QStringLiteral("N1"));
    QAction* newProject = file->addAction(QStringLiteral("Новый проект"));
    newProject->setObjectName(QStringLiteral("N2"));
    connect(newProject, &QAction::triggered, this, &MainWindow::newProject);
    QAction* open = file->addAction(QStringLiteral("Открыть проект…"));
    open->setObjectName(QStringLiteral("OpenAction"));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &MainWindow::openProject);
    saveAction_ = file->addAction(QStringLiteral("Сохранить"));
    saveAction_->setObjectName(QStringLiteral("SaveAction"));
    saveAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(saveAction_, &QAction::triggered, this, [this] { save(); });
    saveAsAction_ = file->addAction(QStringLiteral("Сохранить как…"));
    saveAsAction_->setObjectName(QStringLiteral("SaveAsAction"));
    saveAsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(saveAsAction_, &QAction::triggered, this, [this] { saveAs(); });
    saveProjectAction_ = file->addAction(QStringLiteral("Сохранить проект"));
    saveProjectAction_->setObjectName(QStringLiteral("SaveProjectAction"));
    saveProjectAction_->setToolTip(
        QStringLiteral("Пикеты, отметки и поля окна — в файл проекта рядом с чертежом"));
    connect(saveProjectAction_, &QAction::triggered, this, [this] { saveProject(); });
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("Выход"));
    exit->setObjectName(QStringLiteral("N3"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
    buildEditMenu(*bar);

    QMenu* viewMenu = bar->addMenu(QStringLiteral("Вид"));
    viewMenu->setObjectName(QStringLiteral("ViewMenu"));
    QAction* extents = viewMenu->addAction(QIcon(QStringLiteral(":/icons/zoom_extents.svg")),
                                           QStringLiteral("Показать весь чертёж"));
    extents->setObjectName(QStringLiteral("ZoomExtentsAction"));
    extents->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(extents, &QAction::triggered, view_, &DrawingView::zoomExtents);
    QAction* snap = viewMenu->addAction(QStringLiteral("Объектная привязка"));
    snap->setObjectName(QStringLiteral("SnapAction"));
    snap->setCheckable(true);
    snap->setChecked(view_->snapEnabled());
    snap->setShortcut(QKeySequence(Qt::Key_F3));
    connect(snap, &QAction::toggled, view_, &DrawingView::setSnapEnabled);
    connect(view_, &DrawingView::snapToggled, snap, &QAction::setChecked);
    QAction* weights = viewMenu->addAction(QStringLiteral("Толщины линий"));
    weights->setObjectName(QStringLiteral("LineweightsAction"));
    weights->setCheckable(true);
    weights->setChecked(view_->lineweightsShown());
    connect(weights, &QAction::toggled, view_, &DrawingView::setLineweightsShown);

    windowKeys_ = {open, saveAction_, saveAsAction_, extents, snap};

    QMenu* profileMenu = bar->addMenu(QStringLiteral("Профиль"));
    profileMenu->setObjectName(QStringLiteral("ProfileMenu"));
    QAction* kinds = profileMenu->addAction(QStringLiteral("Виды пересекаемых сетей…"));
    kinds->setObjectName(QStringLiteral("CrossKindsAction"));
    connect(kinds, &QAction::triggered, this, [this] {
        if (ws_.operationRunning) return;
        CrossKindsDialog dialog(ws_.crossKinds, this);
        if (dialog.exec() != QDialog::Accepted || dialog.table() == ws_.crossKinds) return;
        // The kinds the current point shows by its layer follow at once.
        runAction(
            [this, table = dialog.table()] {
                ws_.crossKinds = table;
                if (ws_.piketInWork()) editor::ShowWorkPoint(ws_, false);
            },
            true, "Виды пересекаемых сетей");
    });

    QMenu* help = bar->addMenu(QStringLiteral("?"));
    help->setObjectName(QStringLiteral("N4"));
    QAction* about = help->addAction(QStringLiteral("О программе"));
    about->setObjectName(QStringLiteral("N5"));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::connectControls() {
    const PanelWidgets& w = widgets_;
    connect(w.open, &QToolButton::clicked, this, &MainWindow::openProject);
    connect(w.initialParameters, &QToolButton::clicked, this,
            [this] { showPanel(model::PanelId::InitialParameters); });
    connect(w.types, &QToolButton::clicked, this, [this] { showPanel(model::PanelId::Types); });
    connect(w.pikets, &QToolButton::clicked, this, [this] { showPanel(model::PanelId::Pikets); });
}

bool MainWindow::runAction(const std::function<void()>& action, bool changesDrawing,
                           const std::string& step) {
    // The panels are read inside the step: undoing it shows them as they
    // were shown before (a typed value back to the point's own).
    const bool completed = history_.run(ws_, step, [&] {
        pullControls(ws_.controls, widgets_);
        pullSheetOptions(ws_.sheetOptions, widgets_);
        return model::runOperation(ws_, action);
    });
    pushControls(ws_.controls, widgets_);
    pushSheetOptions(ws_.sheetOptions, widgets_);
    updateEditMenu();
    if (checks_) checks_->refresh(ws_);
    if (changesDrawing && ws_.doc) {
        session_.noteDrawingChange();
        view_->drawingChanged();
    }
    updateFileActions();
    return completed;
}

void MainWindow::setBusy(bool busy) {
    busy_ = busy;
    updateBusyPanel();
}

void MainWindow::updateBusyPanel() {
    if (busy_ && !view_->prompting() && waitingForUser_ == 0) {
        busyPanel_->move(static_cast<int>(std::lround(width() / 2.0 - 49)),
                         static_cast<int>(std::lround(height() / 2.0 - 89)));
        busyPanel_->show();
        busyPanel_->raise();
    } else {
        busyPanel_->hide();
    }
}

void MainWindow::buildProfile() {
    const bool built = runAction([this] { profile::build(ws_); }, true, "Построить\\Перестроить");
    view_->rebuild();
    if (!built || !ws_.profileBuilt) return;
    std::string caption = "Пикет " + std::to_string(ws_.workPiket + 1);
    for (const model::PiketRow& row : ws_.controls.piketRows) {
        if (row.stateIndex == ws_.workPiket) caption = row.caption;
    }
    statusBar()->showMessage(
        qs("Профиль " + caption + " построен — «Показать лист» справа внизу покажет его"));
    showSheetButton_->show();
}

void MainWindow::showSheet() {
    if (!ws_.doc || !ws_.doc->isOpen()) return;
    // The sheet stands with its lower-left corner at the sheet origin; what
    // the last build drew reaches its far side.
    cad::Box2 box;
    box.add(ws_.controls.sheetOriginX, ws_.controls.sheetOriginY);
    for (const cad::EntityRef& e : ws_.profileObjects) {
        if (e.exists()) box.add(cad::entityBounds(ws_.doc->data(), e.entity()));
    }
    if (box.empty() || box.maxX <= box.minX || box.maxY <= box.minY) return;
    const double margin = 0.03 * (box.maxY - box.minY);
    box.add(box.minX - margin, box.minY - margin);
    box.add(box.maxX + margin, box.maxY + margin);
    view_->zoomTo(box);
}

void MainWindow::showModelWhenIdle() {
    QTimer::singleShot(0, this, [this] {
        // The handler of the event lets events run while it works: the panels
        // are written once it has finished.
        if (ws_.operationRunning) {
            QTimer::singleShot(50, this, [this] { showModelWhenIdle(); });
            return;
        }
        pushControls(ws_.controls, widgets_);
    });
}

void MainWindow::showPanel(model::PanelId panel) {
    runAction([this, panel] { ws_.controls.front = panel; });
}

void MainWindow::openProject() {
    if (ws_.operationRunning) return;
    const QString path = dialogs_.chooseOpenFile(this);
    if (path.isEmpty()) return;
    openFile(path);
}

bool MainWindow::openFile(const QString& path) {
    if (ws_.operationRunning) return false;
    if (!settleUnsaved()) return false;
    const std::filesystem::path file = toPath(path);
    std::string notice, lockNote, lockedBy;
    std::filesystem::path dxf;
    bool took = false;
    auto open = [&](bool readOnly) {
        return runAction([&, readOnly] {
            project::Loaded loaded = loadDrawing(file, readOnly);
            lockedBy = std::move(loaded.lockedBy);
            if (!lockedBy.empty()) return;
            notice = loaded.notice;
            dxf = loaded.dxf;
            lockNote = loaded.lock.note();
            session_.take(std::move(loaded), readOnly,
                          [this](cad::Drawing& doc) { view_->setDrawing(&doc); });
            watchDrawing(*ws_.doc);
            took = true;
        });
    };
    bool opened = open(false);
    if (opened && !lockedBy.empty() &&
        dialogs_.askReadOnly(this, qs(lockedBy + ".\nОткрыть его только для чтения? Сохранить "
                                                 "его можно будет только под другим именем."))) {
        opened = open(true);
    }
    opened = opened && took;
    if (opened) {
        showSheetButton_->hide();
        // The marker cross at the origin is the program's: the extents are
        // those of the plan.
        std::vector<cad::EntityId> cross;
        for (const cad::EntityRef& line : {ws_.markLine1, ws_.markLine2})
            if (!line.isNull()) cross.push_back(line.id());
        view_->setExtentsIgnored(std::move(cross));
        view_->zoomExtents();
        // The DXF a DWG became is what the user saves and opens from now on.
        if (!notice.empty()) dialogs_.showMessage(this, qs(notice));
        if (!lockNote.empty()) dialogs_.showMessage(this, qs(lockNote));
        restoreProject();
        reportRepairs();
    }
    updateFileActions();
    if (closeAfterLoading_) QTimer::singleShot(0, this, &QWidget::close);
    return opened;
}

void MainWindow::restoreProject() {
    std::vector<std::string> notes;
    runAction([this, &notes] {
        notes = session_.restoreBeside();
        model::Controls& c = ws_.controls;
        // The sheet of the picket in work is in the drawing already; taking
        // the picket into work again is the user's step, as it draws anew.
        for (const model::PiketRow& row : c.piketRows) {
            if (row.stateIndex != ws_.workPiket || c.brokenPikets.count(row.stateIndex)) continue;
            c.statusText = "В работе был " + row.caption +
                           ": выберите его в списке пикетов и нажмите «Взять в работу»";
        }
    });
    // The restored project is where the session starts, not a step.
    history_.clear();
    updateEditMenu();
    session_.markSaved();
    updateFileActions();
    if (notes.empty()) return;
    // What the project file could not give back is said; the drawing is open.
    std::string text = "Проект восстановлен не полностью:";
    for (const std::string& line : notes) text += "\n" + line;
    dialogs_.showMessage(this, qs(text));
}

project::Loaded MainWindow::loadDrawing(const std::filesystem::path& path, bool readOnly) {
    struct Result {
        project::Loaded loaded;
        std::exception_ptr error;
    };
    Result result;
    QEventLoop loop;
    loading_ = true;
    // Until the reading reports, the bar only says that something goes on (a
    // DWG is converted first).
    progress_->setRange(0, 0);
    progress_->show();
    QProgressBar* bar = progress_;
    stopLoading_ = false;
    std::atomic<bool>* stop = &stopLoading_;
    project::OpenRequest request = session_.request(path, readOnly);
    request.stopRequested = [stop] { return stop->load(); };
    // The window keeps painting and answering while the file is read; the
    // reading tells the bar how far it has come through the event queue.
    std::thread reader([&result, &loop, &request, bar, stop] {
        int shown = -1;
        request.progress = [&shown, bar, stop](double fraction) {
            if (stop->load()) throw cad::Cancelled();
            const int percent = static_cast<int>(std::lround(fraction * 100.0));
            if (percent == shown) return;
            shown = percent;
            QMetaObject::invokeMethod(
                bar,
                [bar, percent] {
                    if (bar->maximum() == 0) bar->setRange(0, 100);
                    bar->setValue(percent);
                },
                Qt::QueuedConnection);
        };
        try {
            result.loaded = project::readDrawing(request);
        } catch (...) {
            result.error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    reader.join();
    // The last values the reading sent are shown before the bar goes.
    QCoreApplication::processEvents();
    progress_->hide();
    progress_->setRange(0, 0);
    loading_ = false;
    // Closing the window stopped the reading: an end without a message.
    if (stopLoading_) throw cad::Cancelled();
    if (result.error) std::rethrow_exception(result.error);
    return std::move(result.loaded);
}

void MainWindow::reportRepairs() {
    const std::vector<cad::Issue>& issues = ws_.doc->data().issues;
    if (issues.empty()) return;
    // The drawing opened; what the reader had to mend is said, not asked about.
    const cad::Issue& first = issues.front();
    std::string text = "Чертёж прочитан с исправлениями (" + std::to_string(issues.size()) +
                       "): " + (first.line ? "строка " + std::to_string(first.line) + ": " : "") +
                       first.message;
    statusBar()->showMessage(qs(text), 30000);
}

void MainWindow::watchDrawing(cad::Drawing& doc) {
    watched_ = &doc;
    // A selection in the view may move the crossing editor; the panels show
    // the model once the event has been handled.
    doc.onSelectionChanged([this](cad::Drawing& changed) {
        if (&changed == watched_) showModelWhenIdle();
    });
}

bool MainWindow::save() {
    if (!ws_.doc) return false;
    // Another program has it open: never over its file.
    if (session_.readOnly()) return saveAs();
    const bool saved = runAction([this] { session_.save(); });
    updateFileActions();
    return saved;
}

bool MainWindow::saveAs() {
    if (!ws_.doc) return false;
    QString path = dialogs_.chooseSaveFile(this, qs(ws_.doc->path().string()));
    if (path.isEmpty()) return false;
    if (!path.endsWith(QStringLiteral(".dxf"), Qt::CaseInsensitive)) path += QStringLiteral(".dxf");
    const std::filesystem::path file = toPath(path);
    const bool saved = runAction([this, &file] { session_.saveAs(file); });
    updateFileActions();
    return saved;
}

bool MainWindow::saveProject() {
    if (!ws_.doc) return false;
    const std::filesystem::path path = project::projectFilePath(ws_.doc->path());
    const bool saved = runAction([this] { session_.saveProject(); });
    updateFileActions();
    if (saved) {
        statusBar()->showMessage(
            QStringLiteral("Проект сохранён: %1").arg(qs(path.filename().string())), 10000);
    }
    return saved;
}

bool MainWindow::hasUnsavedChanges() {
    if (!ws_.doc) return false;
    // The fields as the user left them, not only as the last action saw them.
    if (!ws_.operationRunning) {
        pullControls(ws_.controls, widgets_);
        pullSheetOptions(ws_.sheetOptions, widgets_);
    }
    return session_.hasUnsavedChanges();
}

bool MainWindow::settleUnsaved() {
    if (!hasUnsavedChanges()) return true;
    switch (dialogs_.askUnsaved(this, qs(ws_.doc->name()))) {
        case CloseAnswer::Save:
            return ws_.doc->path().empty() ? saveAs() : save();
        case CloseAnswer::Discard:
            return true;
        case CloseAnswer::Cancel:
            return false;
    }
    return false;
}

void MainWindow::newProject() {
    runAction([this] { model::newProject(ws_); }, false, "Новый проект");
}

void MainWindow::showAbout() {
    AboutWindow about(this);
    centreOnScreen(about);
    about.exec();
}

void MainWindow::updateFileActions() {
    if (!ws_.doc) {
        setWindowTitle(QStringLiteral("Kernavisto"));
    } else {
        // Qt shows "*" in place of "[*]" while the window is modified.
        setWindowTitle(QStringLiteral("Kernavisto — %1[*]%2")
                           .arg(qs(ws_.doc->name()), session_.readOnly()
                                                         ? QStringLiteral(" (только для чтения)")
                                                         : QString()));
        setWindowModified(!ws_.operationRunning && session_.hasUnsavedChanges());
    }
    saveAction_->setEnabled(ws_.doc != nullptr);
    saveAsAction_->setEnabled(ws_.doc != nullptr);
    saveProjectAction_->setEnabled(ws_.doc != nullptr);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (loading_) {
        // The reading (and a DWG's converter) stops; the window closes then.
        stopLoading_ = true;
        closeAfterLoading_ = true;
        statusBar()->showMessage(QStringLiteral("Чтение чертежа прерывается…"), 5000);
        event->ignore();
        return;
    }
    if (ws_.operationRunning) {
        // A drawing being read or a prompt waiting: the action ends first.
        statusBar()->showMessage(QStringLiteral("Дождитесь окончания операции"), 5000);
        event->ignore();
        return;
    }
    if (!settleUnsaved()) {
        event->ignore();
        return;
    }
    view_->setDrawing(nullptr);
    session_.close();
    cad_.quit();
    event->accept();
}

}  // namespace app
