// What the main window tests share: the sample plan, answering the window's
// questions, finding its widgets, typing into fields, the DWG converter's
// presence, and lines of the sample plan to click on.
#pragma once

#include <signal.h>
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "app/ground_dialog.hpp"
#include "app/main_window.hpp"
#include "cad/drawing.hpp"
#include "cad/file_lock.hpp"
#include "project/project_file.hpp"

namespace {

const QString kPlan = QStringLiteral(KV_SOURCE_DIR "/examples/plan.dxf");

// What the window asked, and the answers it gets.
struct Answers {
    QString openFile;
    QString saveFile;
    app::CloseAnswer unsaved = app::CloseAnswer::Cancel;
    QStringList messages;
    int unsavedQuestions = 0;
    int openQuestions = 0;
    bool readOnly = false;                        // the answer to "open it read-only?"
    QStringList readOnlyQuestions;                // and what was asked
    std::optional<ground::GroundOptions> ground;  // the survey dialog's answer
    QStringList groundLayers;                     // what it offered
    ground::GroundOptions groundStart;            // and chose to begin with
};

app::Dialogs answering(Answers& a) {
    app::Dialogs d;
    d.chooseOpenFile = [&a](QWidget*) {
        ++a.openQuestions;
        return a.openFile;
    };
    d.chooseSaveFile = [&a](QWidget*, const QString&) { return a.saveFile; };
    d.askUnsaved = [&a](QWidget*, const QString&) {
        ++a.unsavedQuestions;
        return a.unsaved;
    };
    d.showMessage = [&a](QWidget*, const QString& text) { a.messages << text; };
    d.askReadOnly = [&a](QWidget*, const QString& text) {
        a.readOnlyQuestions << text;
        return a.readOnly;
    };
    d.chooseGround = [&a](QWidget*, const QStringList& layers, const ground::GroundOptions& start) {
        a.groundLayers = layers;
        a.groundStart = start;
        return a.ground;
    };
    return d;
}

template <typename W = QWidget>
W* child(QWidget& w, const char* name) {
    W* c = w.findChild<W*>(QLatin1String(name));
    if (!c) qFatal("no component %s", name);
    return c;
}

QString frontPanel(app::MainWindow& w) {
    return child<QStackedWidget>(w, "PanelStack")->currentWidget()->objectName();
}

QAction* action(app::MainWindow& w, const char* name) {
    return child<QAction>(w, name);
}

std::size_t modelSpaceCount(const QString& path) {
    return cad::Drawing::open(path.toStdString())->modelSpace().size();
}

const QString kDwgSamples = QStringLiteral(KV_SOURCE_DIR "/../shared/dwg-samples");
const QString kSurveys = QStringLiteral(KV_SOURCE_DIR "/../shared/dxf-corpus");
const std::filesystem::path kConverter = std::filesystem::path(KV_SOURCE_DIR) / "tools" / "dwg";
const cad::Point3 kRouteStart{285000.0, 5975000.0, 0.0};

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    for (const QString& dir : QString::fromLocal8Bit(path).split(QLatin1Char(':'))) {
        if (::access(QDir(dir).filePath(QLatin1String(program)).toLocal8Bit().constData(), X_OK) ==
            0)
            return true;
    }
    return false;
}

// Why a DWG cannot be converted on this machine, or empty when it can.
QString missingConverter() {
    if (!QDir(kDwgSamples).exists()) return QStringLiteral("../shared/dwg-samples нет");
    if (!onPath("node") && !onPath("nodejs")) return QStringLiteral("Node.js не установлен");
    if (!std::filesystem::exists(kConverter / "node_modules" / "@mlightcad" / "libredwg-web"))
        return QStringLiteral("конвертер DWG не установлен (scripts/deps.sh)");
    return {};
}

// A point as the command line takes it, exactly.
QString typedPoint(cad::Point3 p) {
    auto text = [](double v) {
        char buf[64];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
        return QString::fromLatin1(buf, static_cast<int>(end - buf));
    };
    return text(p.x) + QLatin1Char(',') + text(p.y);
}

// A field's text replaced as the user types it.
void retype(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

// Types the answers into the view's command line, each when a prompt waits.
class TypedAnswers {
  public:
    TypedAnswers(app::DrawingView& view, QStringList answers) : answers_(std::move(answers)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this, &view] {
            if (!view.prompting() || answers_.isEmpty()) return;
            QTest::keyClicks(view.commandLine(), answers_.takeFirst());
            QTest::keyClick(view.commandLine(), Qt::Key_Return);
        });
        timer_.start();
    }
    bool done() const { return answers_.isEmpty(); }

  private:
    QStringList answers_;
    QTimer timer_;
};

// The route of the sample plan: its first line's start to its last line's end.
struct Route {
    std::string layer;
    cad::Point3 from, to;
};

Route sampleRoute(cad::Drawing& d) {
    Route r{"Трасса - Kernavisto", kRouteStart, kRouteStart};
    for (const cad::EntityRef& e : d.modelSpace())
        if (e.layer() == r.layer && e.dxfType() == "LINE") r.to = e.endPoint();
    return r;
}

// In any drawing: the longest line, as a route of one element.
Route longestLine(cad::Drawing& d) {
    Route r;
    double longest = -1.0;
    for (const cad::EntityRef& e : d.modelSpace()) {
        if (e.dxfType() != "LINE" || e.length() <= longest) continue;
        longest = e.length();
        r = {e.layer(), e.startPoint(), e.endPoint()};
    }
    return r;
}

// A window on a copy of the sample plan in a folder of its own, made anew
// for each test: the test classes start it in init() and end it in cleanup().
class WindowTest : public QObject {
  protected:
    void startWindow(QSize size = {}) {
        answers = Answers{};
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        plan = dir->filePath(QStringLiteral("plan.dxf"));
        QVERIFY(QFile::copy(kPlan, plan));
        window = std::make_unique<app::MainWindow>(answering(answers), QLocale(QLocale::Russian));
        if (size.isValid()) window->resize(size);
        window->show();
    }
    void stopWindow() {
        answers.unsaved = app::CloseAnswer::Discard;
        window.reset();
        dir.reset();
    }
    // A button of the window clicked where it is painted; it must be on.
    void click(const char* name) {
        QToolButton* b = child<QToolButton>(*window, name);
        QVERIFY2(b->isEnabled(), name);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // "Добавить пикет по конечным точкам" with the ends typed; the route's
    // layer joins the route list when it is not on it.
    void definePiket(const Route& route) {
        model::Workspace& ws = window->workspace();
        if (std::find(ws.controls.typeLists[0].begin(), ws.controls.typeLists[0].end(),
                      route.layer) == ws.controls.typeLists[0].end()) {
            QVERIFY(window->runAction([&ws, &route] { ws.controls.typeLists[0] = {route.layer}; }));
        }
        click("SpeedButton2");
        TypedAnswers typed(window->drawingView(), {typedPoint(route.from), typedPoint(route.to)});
        click("SpeedButton17");
        QVERIFY(typed.done());
    }

    // Drives the dialog of that name once it is open and modal; nothing
    // happens when another one (or none) is.
    static void inDialog(const char* name, std::function<void(QWidget&)> drive) {
        QTimer::singleShot(0, [name, drive] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog && dialog->objectName() == QLatin1String(name)) drive(*dialog);
        });
    }

    Answers answers;
    std::unique_ptr<QTemporaryDir> dir;
    QString plan;
    std::unique_ptr<app::MainWindow> window;
};

}  // namespace
