// The whole road of a picket in the window, as a user works it on the sample
// plan: panels clicked, objects and points picked in the drawing view with
// object snap, values typed and keyed. The steps that make the profile are
// those ./run.sh gives the batch run (sample_road.hpp); the drawing the window
// saves is compared, entity by entity, with what kernavisto-cli draws from
// the same steps.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <charconv>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.hpp"
#include "cad/drawing.hpp"
#include "cad/geometry.hpp"
#include "model/workspace.hpp"
#include "on_screen.hpp"
#include "pickets/pickets.hpp"
#include "sample_road.hpp"
#include "shell_util.hpp"
#include "window_road.hpp"

namespace {

const QString kPlan = QStringLiteral(KV_SOURCE_DIR "/examples/plan.dxf");
const cad::Point3 kRouteStart{sample_road::kFrom.x, sample_road::kFrom.y, 0.0};
const cad::Point3 kRouteEnd{sample_road::kTo.x, sample_road::kTo.y, 0.0};
const char* const kRouteLayer = "Трасса - Kernavisto";

template <typename W = QWidget>
W* child(QWidget& w, const char* name) {
    W* c = w.findChild<W*>(QLatin1String(name));
    if (!c) qFatal("no component %s", name);
    return c;
}

// Drawing units to 0.01, the way both sides are compared; -0.00 is 0.00.
std::string rounded(double v) {
    char buf[48];
    const double r = std::round(v * 100.0) / 100.0 + 0.0;
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed, 2);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

// A drawing's model space entity by entity, in order: kind, layer,
// visibility, where it lies (a line's two ends, else its extents) and its text.
std::vector<std::string> entities(const QString& path) {
    std::vector<std::string> out;
    auto d = cad::Drawing::open(path.toStdString());
    for (const cad::EntityRef& e : d->modelSpace()) {
        std::string s = e.dxfType() + " «" + e.layer() + "»" + (e.visible() ? "" : " hidden");
        if (e.dxfType() == "LINE") {
            const cad::Point3 a = e.startPoint(), z = e.endPoint();
            s += " " + rounded(a.x) + "," + rounded(a.y) + " " + rounded(z.x) + "," + rounded(z.y);
        } else {
            const cad::Box2 b = cad::entityBounds(d->data(), e.entity());
            s += " [" + rounded(b.minX) + "," + rounded(b.minY) + " " + rounded(b.maxX) + "," +
                 rounded(b.maxY) + "]";
        }
        if (e.dxfType() == "TEXT" || e.dxfType() == "MTEXT") s += " «" + e.textString() + "»";
        out.push_back(std::move(s));
    }
    return out;
}

// Empty when both lists are equal, else where they first differ.
QString firstDifference(const std::vector<std::string>& window,
                        const std::vector<std::string>& batch) {
    const std::size_t n = std::min(window.size(), batch.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (window[i] != batch[i]) {
            return QStringLiteral("entity %1: window %2, batch %3")
                .arg(i)
                .arg(QString::fromStdString(window[i]), QString::fromStdString(batch[i]));
        }
    }
    if (window.size() == batch.size()) return {};
    return QStringLiteral("window %1 entities, batch %2").arg(window.size()).arg(batch.size());
}

QJsonObject readJson(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

// The place a fraction t of the way along a line.
cad::Point3 along(const cad::EntityRef& e, double t) {
    const cad::Point3 a = e.startPoint();
    const cad::Point3 z = e.endPoint();
    return {a.x + (z.x - a.x) * t, a.y + (z.y - a.y) * t, 0};
}

}  // namespace

class RoadTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        plan = dir->filePath(QStringLiteral("plan.dxf"));
        QVERIFY(QFile::copy(kPlan, plan));
        app::Dialogs dialogs;
        dialogs.chooseOpenFile = [](QWidget*) { return QString(); };
        dialogs.chooseSaveFile = [](QWidget*, const QString&) { return QString(); };
        dialogs.askUnsaved = [](QWidget*, const QString&) { return app::CloseAnswer::Discard; };
        dialogs.showMessage = [this](QWidget*, const QString& text) { messages << text; };
        messages.clear();
        window = std::make_unique<app::MainWindow>(dialogs, QLocale(QLocale::Russian));
        window->resize(1400, 900);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->openFile(plan));
        answers = std::make_unique<window_road::PromptAnswers>(window->drawingView());
    }
    void cleanup() {
        answers.reset();
        window.reset();
        dir.reset();
    }

    void aPicketFromPlanToProfile() {
        app::MainWindow& w = *window;
        model::Workspace& ws = w.workspace();
        cad::Drawing& doc = *ws.doc;

        // A layer taken into a type by picking an object, then removed again.
        click("SpeedButton1");
        QComboBox* communications = child<QComboBox>(w, "ComboBox4");
        cad::EntityRef water;
        for (const cad::EntityRef& e : doc.modelSpace())
            if (e.layer() == "Водопровод - Kernavisto") water = e;
        QVERIFY(!water.isNull());
        answers->clickAt(water.startPoint(), QPointF(1, 1));
        answers->escape();
        click("SpeedButton13");
        QVERIFY(answers->done());
        QCOMPARE(communications->count(), 3);
        QCOMPARE(communications->itemText(2), QStringLiteral("Водопровод - Kernavisto"));
        communications->setCurrentIndex(2);
        click("SpeedButton14");
        QCOMPARE(communications->count(), 2);

        // The picket by its end points, picked a little off the route's ends:
        // object snap puts them on the ends exactly.
        click("SpeedButton2");
        answers->clickAt(kRouteStart, QPointF(3, -2), 25000);
        answers->clickAt(kRouteEnd, QPointF(-3, 2), 25000);
        click("SpeedButton17");
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QTreeWidget* list = child<QTreeWidget>(w, "ListView1");
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Пикет 1"));
        QCOMPARE(ws.pikets.at(0).pointCount(), sample_road::kPointCount);

        // The row is picked where the list paints it.
        const QRect row1 = list->visualItemRect(list->topLevelItem(0));
        QVERIFY2(row1.isValid(), "the picket list does not show its row");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row1.center());
        click("SpeedButton6");
        QCOMPARE(child<QLabel>(w, "StatusBar1Panel0")->text(), QStringLiteral("В работе Пикет 1"));
        QVERIFY(child<QToolButton>(w, "SpeedButton4")->isEnabled());

        click("SpeedButton4");
        QCOMPARE(child<QStackedWidget>(w, "PanelStack")->currentWidget()->objectName(),
                 QStringLiteral("Panel5"));
        const int points = sample_road::kPointCount;
        QCOMPARE(child<QLabel>(w, "Label16")->text(), QString::number(points));
        QLineEdit* relief = child<QLineEdit>(w, "Edit3");
        QLineEdit* casing = child<QLineEdit>(w, "Edit6");
        QLineEdit* pipe = child<QLineEdit>(w, "Edit7");
        QCOMPARE(relief->text(), QStringLiteral("Авто"));

        // Every point as run.sh has it, reached by the step buttons and keys.
        // Heights typed on the way, with either separator, are replaced by
        // run.sh's before the build.
        auto row = [&ws](int k) {
            return model::rowOf(ws.pikets[0].points[static_cast<std::size_t>(k - 1)]);
        };
        for (int k = 1; k <= points; ++k) {
            QCOMPARE(child<QLabel>(w, "Label11")->text(), QString::number(k));
            QCOMPARE(ws.workPoint, k - 1);
            if (k == 1) {
                retype(relief, QStringLiteral("145.5"));
                QTest::keyClick(relief, Qt::Key_Return);
                QCOMPARE(relief->text(), QStringLiteral("145,5"));
                QCOMPARE(row(1)[model::kRelief], 145.5);
            }
            if (k == 2) {
                retype(relief, QStringLiteral("146,25"));
                click("SpeedButton24");
                QCOMPARE(row(2)[model::kRelief], 146.25);
            }
            const char* handle = sample_road::kHeightTexts[static_cast<std::size_t>(k - 1)];
            if (handle) {
                // "Указать": the height picked from a survey text in the view;
                // on point 2 by Home in the field.
                answers->clickAt(window_road::centreOf(doc.entityByHandle(handle)));
                if (k == 2) {
                    QTest::keyClick(relief, Qt::Key_Home);
                } else {
                    click("SpeedButton26");
                }
                QVERIFY(answers->done());
                const QString text =
                    QString::fromStdString(doc.entityByHandle(handle).textString());
                QCOMPARE(relief->text(), text);
                QVERIFY2(testutil::screenIsCurrent(relief), "the picked height is not shown");
                QCOMPARE(row(k)[model::kRelief], text.toDouble());
            } else {
                // "Авто"; on point 3 by End in the casing field.
                if (k == 3) {
                    QTest::keyClick(casing, Qt::Key_End);
                } else {
                    click("SpeedButton25");
                }
                QCOMPARE(relief->text(), QStringLiteral("Авто"));
                QCOMPARE(row(k)[model::kRelief], model::kAuto);
            }
            if (k == 1) {
                // A point added where the user types it, then deleted again:
                // the editor comes back to point 1 with its height.
                answers->type(QStringLiteral("300000,5977000"));
                click("SpeedButton27");
                QVERIFY(answers->done());
                QCOMPARE(child<QLabel>(w, "Label16")->text(), QString::number(points + 1));
                QCOMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("2"));
                QCOMPARE(row(2)[model::kX], 300000.0);
                click("SpeedButton31");
                QCOMPARE(child<QLabel>(w, "Label16")->text(), QString::number(points));
                QCOMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("1"));
                QCOMPARE(relief->text(), QStringLiteral("150,8"));
            }
            if (k == points) break;
            if (k % 2) {
                click("SpeedButton21");  // ">"
            } else {
                QTest::keyClick(k % 4 ? pipe : relief, Qt::Key_Up);  // ">" too
            }
        }

        QTest::keyClick(pipe, Qt::Key_Left);  // "<<"
        QCOMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("1"));
        QTest::keyClick(pipe, Qt::Key_Right);  // ">>"
        QCOMPARE(child<QLabel>(w, "Label11")->text(), QString::number(points));

        click("SpeedButton28");
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QVERIFY(ws.profileBuilt);
        QCOMPARE(static_cast<int>(ws.pointLines.size()), points);
        // The status line says so, and the sheet is one click away.
        QVERIFY2(w.statusBar()->currentMessage().contains(QStringLiteral("Пикет 1 построен")),
                 qPrintable(w.statusBar()->currentMessage()));
        auto* showSheet = child<QToolButton>(w, "ShowSheetButton");
        QVERIFY(showSheet->isVisible());
        app::DrawingView& view = w.drawingView();
        const QRectF area(QPointF(0, 0), QSizeF(view.drawingArea()->size()));
        QVERIFY(!area.contains(view.toScreen({0, 0, 0})));  // the editor's point is shown
        QTest::mouseClick(showSheet, Qt::LeftButton);
        const cad::Point3 lastLine = ws.pointLines.back().endPoint();
        QVERIFY2(area.contains(view.toScreen({0, 0, 0})) && area.contains(view.toScreen(lastLine)),
                 "the sheet is not shown");

        // A point line clicked in the view moves the editor onto its point.
        const QString lastHeight = relief->text();
        clickInView(ws.pointLines.at(2));
        QTRY_COMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("3"));
        QCOMPARE(ws.workPoint, 2);
        // The screen shows point 3 with its own height, not the last one's.
        QVERIFY(relief->text() != lastHeight);
        QVERIFY2(testutil::screenIsCurrent(relief), "the height of another point is shown");
        QVERIFY(testutil::screenIsCurrent(child(w, "Label11")));
        // The marker goes back onto the last point, where the batch run leaves it.
        click("SpeedButton23");
        QCOMPARE(child<QLabel>(w, "Label11")->text(), QString::number(points));

        QVERIFY(w.save());
        QVERIFY(!w.hasUnsavedChanges());

        // The same steps in batch, as run.sh runs them; the window shows
        // numbers with a decimal comma, so the batch run is told to as well.
        const QString batch = dir->filePath(QStringLiteral("batch.dxf"));
        const QString dump = dir->filePath(QStringLiteral("batch.json"));
        std::vector<std::string> args{kPlan.toStdString()};
        for (const std::string& o : sample_road::cliOptions()) args.push_back(o);
        args.insert(args.end(),
                    {"--separator", ",", "-o", batch.toStdString(), "--dump", dump.toStdString()});
        const testutil::CliResult run =
            testutil::runProfileCommand(KV_CLI, args, dir->path().toStdString());
        QVERIFY2(run.code == 0, run.err.c_str());

        const QString difference = firstDifference(entities(plan), entities(batch));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));

        const QJsonObject state = readJson(dump);
        QCOMPARE(state[QStringLiteral("horizonLevel")].toDouble(), ws.horizonLevel);
        const QJsonArray batchPoints =
            state[QStringLiteral("pikets")].toArray().at(0)[QStringLiteral("points")].toArray();
        QCOMPARE(batchPoints.size(), points);
        // The dump shows the typed values with what the build computed.
        for (int k = 1; k <= points; ++k) {
            const QJsonArray values = batchPoints.at(k - 1)[QStringLiteral("values")].toArray();
            const model::PointRow shown = model::shownRow(ws.pikets[0], std::size_t(k - 1));
            for (std::size_t v = 0; v < model::kPointValueCount; ++v) {
                QCOMPARE(shown[v], values.at(static_cast<qsizetype>(v)).toDouble());
            }
        }
    }

    void escEndsEachPromptLoop() {
        app::MainWindow& w = *window;
        model::Workspace& ws = w.workspace();
        app::DrawingView& view = w.drawingView();
        auto settled = [&] { return !view.prompting() && !ws.operationRunning; };

        // Adding layers to a type: what was picked before Esc is kept.
        click("SpeedButton1");
        QComboBox* route = child<QComboBox>(w, "ComboBox2");
        answers->escape();
        click("SpeedButton9");
        QCOMPARE(route->count(), 1);
        // A corner of an asphalt strip, away from the route.
        answers->clickAt({426015, 5966468, 0}, {}, 25000);
        answers->escape();
        click("SpeedButton15");
        QVERIFY(answers->done() && settled());
        QComboBox* other = child<QComboBox>(w, "ComboBox5");
        QCOMPARE(other->count(), 2);
        QCOMPARE(other->itemText(1), QStringLiteral("Асфальт - Kernavisto"));

        // The picket by end points, Esc after the start: no chain can be
        // searched, the program says so and adds no picket; the objects hidden
        // while picking are shown again.
        click("SpeedButton2");
        child<QCheckBox>(w, "CheckBox1")->setChecked(true);
        answers->clickAt(kRouteStart, {}, 25000);
        answers->escape();
        click("SpeedButton17");
        QVERIFY(answers->done() && settled());
        QCOMPARE(messages, QStringList{QString::fromUtf8(pickets::kStartNotFound)});
        messages.clear();
        QTreeWidget* list = child<QTreeWidget>(w, "ListView1");
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(ws.pikets.empty());
        for (const cad::EntityRef& e : ws.objectList) QVERIFY(e.visible());
        child<QCheckBox>(w, "CheckBox1")->setChecked(false);

        // Sequential selection: Esc at the first prompt leaves no picket ...
        answers->escape();
        click("SpeedButton33");
        QCOMPARE(list->topLevelItemCount(), 0);
        // ... after one or two elements a picket of those elements.
        std::vector<cad::EntityRef> routeLines;
        for (const cad::EntityRef& e : ws.doc->modelSpace())
            if (e.layer() == kRouteLayer && e.dxfType() == "LINE") routeLines.push_back(e);
        QVERIFY(routeLines.size() >= 2);
        for (std::size_t picked : {std::size_t{1}, std::size_t{2}}) {
            for (std::size_t i = 0; i < picked; ++i)
                answers->clickAt(along(routeLines[i], 0.25), {}, 25000);
            answers->escape();
            click("SpeedButton33");
            QVERIFY(answers->done() && settled());
            QCOMPARE(list->topLevelItemCount(), static_cast<int>(picked));
            QCOMPARE(ws.pikets.back().elementCount(), static_cast<int>(picked));
            QVERIFY(ws.pikets.back().pointCount() >= 2);
        }
        QVERIFY(messages.isEmpty());

        // "Указать" and "Добавить пересечение", Esc at the prompt: nothing changes.
        list->setCurrentItem(list->topLevelItem(1));
        click("SpeedButton6");
        click("SpeedButton4");
        QLineEdit* relief = child<QLineEdit>(w, "Edit3");
        retype(relief, QStringLiteral("151,5"));
        click("SpeedButton24");
        const std::vector<model::PiketPoint> before = ws.pikets[1].points;
        answers->escape();
        click("SpeedButton26");
        QVERIFY(answers->done() && settled());
        QCOMPARE(relief->text(), QStringLiteral("151,5"));
        QCOMPARE(model::rowOf(ws.pikets[1].points[0])[model::kRelief], 151.5);
        answers->escape();
        click("SpeedButton27");
        QVERIFY(answers->done() && settled());
        QCOMPARE(ws.pikets[1].points, before);
        QCOMPARE(child<QLabel>(w, "Label16")->text(), QString::number(before.size()));
        QCOMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("1"));
        QVERIFY(messages.isEmpty());

        // The window goes on: the next prompt is answered as usual.
        answers->clickAt(window_road::centreOf(ws.doc->entityByHandle("78")), {}, 25000);
        click("SpeedButton26");
        QVERIFY(answers->done());
        QCOMPARE(model::rowOf(ws.pikets[1].points[0])[model::kRelief], 150.8);
    }

    void hidingAndShowingTypedObjects() {
        app::MainWindow& w = *window;
        model::Workspace& ws = w.workspace();
        click("SpeedButton1");
        click("SpeedButton8");
        int hidden = 0;
        for (const cad::EntityRef& e : ws.objectList) hidden += e.visible() ? 0 : 1;
        QVERIFY(hidden > 0);
        click("SpeedButton19");
        for (const cad::EntityRef& e : ws.objectList) QVERIFY(e.visible());
        QVERIFY(w.hasUnsavedChanges());
    }

    // "Новый проект" forgets the pickets; the plan opened again starts the
    // numbering anew.
    void newProjectStartsThePicketsAgain() {
        app::MainWindow& w = *window;
        model::Workspace& ws = w.workspace();
        click("SpeedButton2");
        answers->clickAt(kRouteStart, QPointF(3, -2), 25000);
        answers->clickAt(kRouteEnd, QPointF(-3, 2), 25000);
        click("SpeedButton17");
        QTreeWidget* list = child<QTreeWidget>(w, "ListView1");
        list->setCurrentItem(list->topLevelItem(0));
        click("SpeedButton6");
        QVERIFY(child<QToolButton>(w, "SpeedButton4")->isEnabled());

        child<QAction>(w, "N2")->trigger();
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(ws.pikets.empty());
        for (const char* name : {"SpeedButton2", "SpeedButton3", "SpeedButton4", "SpeedButton6"})
            QVERIFY2(!child<QToolButton>(w, name)->isEnabled(), name);

        QVERIFY(w.openFile(plan));
        click("SpeedButton2");
        answers->clickAt(kRouteStart, QPointF(3, -2), 25000);
        answers->clickAt(kRouteEnd, QPointF(-3, 2), 25000);
        click("SpeedButton17");
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Пикет 1"));
        QCOMPARE(ws.pikets.size(), std::size_t{1});
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
    }

  private:
    void click(const char* name) {
        QToolButton* b = child<QToolButton>(*window, name);
        QVERIFY2(b->isEnabled(), name);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // A click on an entity in the view, zoomed in close, with no prompt waiting.
    void clickInView(const cad::EntityRef& e) {
        app::DrawingView& view = window->drawingView();
        const cad::Point3 at = along(e, 0.5);
        view.zoomCenter(*e.drawing(), at, 5000);
        const QPoint p = view.toScreen(at).toPoint();
        QTest::mouseMove(view.drawingArea(), p);
        QTest::mouseClick(view.drawingArea(), Qt::LeftButton, {}, p);
    }
    static void retype(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    std::unique_ptr<QTemporaryDir> dir;
    QString plan;
    QStringList messages;
    std::unique_ptr<app::MainWindow> window;
    std::unique_ptr<window_road::PromptAnswers> answers;
};

QTEST_MAIN(RoadTest)
#include "road_test.moc"
