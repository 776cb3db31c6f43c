// The whole road of a picket in the window, as a user works it on the sample
// plan: panels clicked, objects and points picked in the drawing view with
// object snap, values typed and keyed. The drawing it saves is compared with
// the same steps run straight on the operations, without a window.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <tuple>

#include "app/main_window.hpp"
#include "cad/drawing.hpp"
#include "cad/geometry.hpp"
#include "editor/editor.hpp"
#include "model/project.hpp"
#include "pickets/pickets.hpp"
#include "profile/build.hpp"
#include "recording_ui.hpp"
#include "sheet/sheet.hpp"
#include "typing/typing.hpp"

namespace {

const QString kPlan = QStringLiteral(KV_SOURCE_DIR "/examples/plan.dxf");
const cad::Point3 kRouteStart{285000.0, 5975000.0, 0.0};
const char* kPoint4Height = "80";  // the survey text beside the route's second vertex

template <typename W = QWidget>
W* child(QWidget& w, const char* name) {
    W* c = w.findChild<W*>(QLatin1String(name));
    if (!c) qFatal("no component %s", name);
    return c;
}

// Answers the view's prompts one by one, each when its prompt is waiting.
class PromptScript {
  public:
    explicit PromptScript(app::DrawingView& view) : view_(view) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!view_.prompting() || steps_.empty()) return;
            std::function<void()> step = std::move(steps_.front());
            steps_.pop_front();
            step();
        });
        timer_.start();
    }
    void clickAt(cad::Point3 world, QPointF offset = {}) {
        steps_.push_back([this, world, offset] {
            const QPoint p = (view_.toScreen(world) + offset).toPoint();
            QTest::mouseMove(view_.drawingArea(), p);
            QTest::mouseClick(view_.drawingArea(), Qt::LeftButton, {}, p);
        });
    }
    // As a user zooms in before picking where the plan is crowded.
    void zoomAndClickAt(cad::Drawing& d, cad::Point3 world, QPointF offset) {
        steps_.push_back([this, &d, world, offset] {
            view_.zoomCenter(d, world, 25000);
            const QPoint p = (view_.toScreen(world) + offset).toPoint();
            QTest::mouseMove(view_.drawingArea(), p);
            QTest::mouseClick(view_.drawingArea(), Qt::LeftButton, {}, p);
        });
    }
    void type(const QString& text) {
        steps_.push_back([this, text] {
            QTest::keyClicks(view_.commandLine(), text);
            QTest::keyClick(view_.commandLine(), Qt::Key_Return);
        });
    }
    void escape() {
        steps_.push_back([this] { QTest::keyClick(view_.commandLine(), Qt::Key_Escape); });
    }
    bool done() const { return steps_.empty(); }

  private:
    app::DrawingView& view_;
    QTimer timer_;
    std::deque<std::function<void()>> steps_;
};

cad::Point3 centreOf(cad::Drawing& d, const char* handle) {
    cad::EntityRef e = d.entityByHandle(handle);
    const cad::Box2 b = cad::entityBounds(d.data(), e.entity());
    return {(b.minX + b.maxX) / 2, (b.minY + b.maxY) / 2, 0};
}

// What a drawing holds, entity kind and layer, counted.
std::map<std::pair<std::string, std::string>, int> contents(const QString& path) {
    std::map<std::pair<std::string, std::string>, int> c;
    auto d = cad::Drawing::open(path.toStdString());
    for (const cad::EntityRef& e : d->modelSpace()) ++c[{e.dxfType(), e.layer()}];
    return c;
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
        script = std::make_unique<PromptScript>(window->drawingView());
    }
    void cleanup() {
        script.reset();
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
        script->clickAt(water.startPoint(), QPointF(1, 1));
        script->escape();
        click("SpeedButton13");
        QVERIFY(script->done());
        QCOMPARE(communications->count(), 3);
        QCOMPARE(communications->itemText(2), QStringLiteral("Водопровод - Kernavisto"));
        communications->setCurrentIndex(2);
        click("SpeedButton14");
        QCOMPARE(communications->count(), 2);

        // The picket by its end points, picked a little off the route's ends:
        // object snap puts them on the ends exactly.
        click("SpeedButton2");
        const cad::Point3 routeEnd = lastRouteEnd(doc);
        script->zoomAndClickAt(doc, kRouteStart, QPointF(3, -2));
        script->zoomAndClickAt(doc, routeEnd, QPointF(-3, 2));
        click("SpeedButton17");
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QTreeWidget* list = child<QTreeWidget>(w, "ListView1");
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Пикет 1"));
        QVERIFY(ws.pikets.at(0).pointCount() > 10);

        list->setCurrentItem(list->topLevelItem(0));
        click("SpeedButton6");
        QCOMPARE(child<QLabel>(w, "StatusBar1Panel0")->text(), QStringLiteral("В работе Пикет 1"));
        QVERIFY(child<QToolButton>(w, "SpeedButton4")->isEnabled());

        // The crossing editor: typed heights with either separator, keys, "Авто".
        click("SpeedButton4");
        QCOMPARE(child<QStackedWidget>(w, "PanelStack")->currentWidget()->objectName(),
                 QStringLiteral("Panel5"));
        const int points = ws.pikets[0].pointCount();
        QCOMPARE(child<QLabel>(w, "Label16")->text(), QString::number(points));
        QCOMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("1"));
        QLineEdit* relief = child<QLineEdit>(w, "Edit3");
        QCOMPARE(relief->text(), QStringLiteral("Авто"));
        retype(relief, QStringLiteral("145.5"));
        QTest::keyClick(relief, Qt::Key_Return);
        QCOMPARE(relief->text(), QStringLiteral("145,5"));
        QCOMPARE(ws.pikets[0].points[0][model::kRelief], 145.5);

        click("SpeedButton21");
        QCOMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("2"));
        retype(relief, QStringLiteral("146,25"));
        click("SpeedButton24");
        QCOMPARE(ws.pikets[0].points[1][model::kRelief], 146.25);

        QTest::keyClick(relief, Qt::Key_Up);  // ">"
        QCOMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("3"));
        QTest::keyClick(child<QLineEdit>(w, "Edit6"), Qt::Key_End);  // "Авто"
        QCOMPARE(relief->text(), QStringLiteral("Авто"));
        QCOMPARE(ws.pikets[0].points[2][model::kRelief], model::kAuto);

        // "Указать": the height picked from a survey text in the view.
        QTest::keyClick(relief, Qt::Key_Up);
        QCOMPARE(ws.workPoint, 3);
        script->clickAt(centreOf(doc, kPoint4Height));
        click("SpeedButton26");
        QVERIFY(script->done());
        const std::string picked = doc.entityByHandle(kPoint4Height).textString();
        QCOMPARE(relief->text(), QString::fromStdString(picked));
        QVERIFY(ws.pikets[0].points[3][model::kRelief] > 100);

        // A point added where the user types it, then deleted again.
        script->type(QStringLiteral("300000,5977000"));
        click("SpeedButton27");
        QCOMPARE(child<QLabel>(w, "Label16")->text(), QString::number(points + 1));
        click("SpeedButton31");
        QCOMPARE(child<QLabel>(w, "Label16")->text(), QString::number(points));

        QTest::keyClick(child<QLineEdit>(w, "Edit7"), Qt::Key_Right);  // ">>"
        QCOMPARE(child<QLabel>(w, "Label11")->text(), QString::number(points));
        QTest::keyClick(child<QLineEdit>(w, "Edit7"), Qt::Key_Left);  // "<<"
        QCOMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("1"));

        click("SpeedButton28");
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QVERIFY(ws.profileBuilt);
        QVERIFY(!ws.pointLines.empty());

        // A point line picked in the view moves the editor onto its point.
        const cad::EntityRef line = ws.pointLines.at(2);
        doc.setPickFirst({line});
        QCOMPARE(ws.workPoint, 2);
        QTRY_COMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("3"));

        QVERIFY(w.save());
        const auto saved = contents(plan);

        // The same steps straight on the operations.
        const QString batch = dir->filePath(QStringLiteral("batch.dxf"));
        cad::Application cadApp;
        cad::ScriptedPrompter prompter;
        testutil::RecordingUi ui;
        model::Workspace b(cadApp, prompter, ui);
        b.decimalSeparator = ',';
        model::openProject(b, kPlan.toStdString());
        prompter.pushPoint(kRouteStart);
        prompter.pushPoint(routeEnd);
        pickets::addByEndPoints(b);
        b.controls.selectedRow = 0;
        sheet::takeIntoWork(b);
        editor::open(b);
        b.controls.reliefText = "145.5";
        editor::takeOverRelief(b);
        editor::next(b);
        b.controls.reliefText = "146,25";
        editor::takeOverRelief(b);
        editor::next(b);
        editor::setAuto(b);
        editor::next(b);
        prompter.pushEntity(b.doc->entityByHandle(kPoint4Height));
        editor::pickRelief(b);
        prompter.pushPoint({300000, 5977000, 0});
        editor::addPoint(b);
        editor::deletePoint(b);
        editor::last(b);
        editor::first(b);
        profile::build(b);
        b.doc->saveAs(batch.toStdString());
        QVERIFY(ui.messages.empty());

        QCOMPARE(saved, contents(batch));
        QCOMPARE(ws.pikets[0].points, b.pikets[0].points);
        QCOMPARE(ws.horizonLevel, b.horizonLevel);
    }

    void escEndsEachPromptLoop() {
        app::MainWindow& w = *window;
        model::Workspace& ws = w.workspace();
        click("SpeedButton1");
        script->escape();
        click("SpeedButton9");
        QCOMPARE(child<QComboBox>(w, "ComboBox2")->count(), 1);

        click("SpeedButton2");
        script->escape();
        click("SpeedButton33");
        QCOMPARE(child<QTreeWidget>(w, "ListView1")->topLevelItemCount(), 0);
        QVERIFY(messages.isEmpty());

        // A picket by sequential selection: two route elements picked, then Esc.
        std::vector<cad::EntityRef> route;
        for (const cad::EntityRef& e : ws.doc->modelSpace())
            if (e.layer() == "Трасса - Kernavisto" && e.dxfType() == "LINE") route.push_back(e);
        QVERIFY(route.size() >= 2);
        script->clickAt(midpointOf(route[0]));
        script->clickAt(midpointOf(route[1]));
        script->escape();
        click("SpeedButton33");
        QCOMPARE(child<QTreeWidget>(w, "ListView1")->topLevelItemCount(), 1);
        QCOMPARE(ws.pikets.back().elementCount(), 2);
    }

    void hidingAndShowingTypedObjects() {
        app::MainWindow& w = *window;
        model::Workspace& ws = w.workspace();
        click("SpeedButton1");
        click("SpeedButton8");
        int hidden = 0;
        for (cad::EntityRef& e : ws.objectList) hidden += e.visible() ? 0 : 1;
        QVERIFY(hidden > 0);
        click("SpeedButton19");
        for (cad::EntityRef& e : ws.objectList) QVERIFY(e.visible());
        QVERIFY(w.hasUnsavedChanges());
    }

  private:
    void click(const char* name) {
        QToolButton* b = child<QToolButton>(*window, name);
        QVERIFY2(b->isEnabled(), name);
        QTest::mouseClick(b, Qt::LeftButton);
    }
    static void retype(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    static cad::Point3 midpointOf(const cad::EntityRef& e) {
        const cad::Point3 a = e.startPoint();
        const cad::Point3 z = e.endPoint();
        return {(a.x + z.x) / 2, (a.y + z.y) / 2, 0};
    }
    static cad::Point3 lastRouteEnd(cad::Drawing& d) {
        cad::Point3 end = kRouteStart;
        for (const cad::EntityRef& e : d.modelSpace())
            if (e.layer() == "Трасса - Kernavisto" && e.dxfType() == "LINE") end = e.endPoint();
        return end;
    }

    std::unique_ptr<QTemporaryDir> dir;
    QString plan;
    QStringList messages;
    std::unique_ptr<app::MainWindow> window;
    std::unique_ptr<PromptScript> script;
};

QTEST_MAIN(RoadTest)
#include "road_test.moc"
