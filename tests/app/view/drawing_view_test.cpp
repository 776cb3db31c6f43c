// The drawing view as the user works it: point prompts answered by a click
// (snapped exactly to an end, or not snapped with snap off), by a typed
// coordinate, cancelled by Esc or an empty Enter; an entity picked with the
// pick box; window and crossing selection into the pick-first selection with
// its event; what the program draws showing at once.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <functional>
#include <memory>

#include "app/view/drawing_view.hpp"
#include "cad/drawing.hpp"
#include "cad/error.hpp"

using cad::Point3;

namespace {

// Ends that no pixel position maps back to exactly.
const Point3 kEnd{123.456789012, 78.901234567, 0};

}  // namespace

class DrawingViewTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<cad::Drawing> drawing_;
    std::unique_ptr<app::DrawingView> view_;
    cad::EntityRef lineA_, lineB_, lineC_, circle_;

    QWidget* area() const { return view_->drawingArea(); }
    QPoint at(Point3 world, QPointF offset = {}) const {
        return (view_->toScreen(world) + offset).toPoint();
    }
    // Runs `act` once the prompt's own event loop is running.
    void whilePrompting(std::function<void()> act) { QTimer::singleShot(0, this, act); }
    void click(QPoint p, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseMove(area(), p);
        QTest::mouseClick(area(), Qt::LeftButton, mods, p);
    }
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers mods = {}) {
        QTest::mousePress(area(), Qt::LeftButton, mods, from);
        QTest::mouseMove(area(), (from + to) / 2);
        QTest::mouseMove(area(), to);
        QTest::mouseRelease(area(), Qt::LeftButton, mods, to);
    }
    void wheel(QPoint p, int notches) {
        QWheelEvent e(QPointF(p), QPointF(area()->mapToGlobal(p)), QPoint(),
                      QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
        QApplication::sendEvent(area(), &e);
    }
    std::vector<cad::EntityId> selected() const {
        std::vector<cad::EntityId> ids;
        for (const cad::EntityRef& r : drawing_->pickFirst()) ids.push_back(r.id());
        std::sort(ids.begin(), ids.end());
        return ids;
    }

  private slots:
    void init() {
        drawing_ = cad::Drawing::create();
        // A runs along X and ends at kEnd; B goes up from kEnd; C crosses A
        // away from its ends; a circle stands apart.
        lineA_ = drawing_->addLine({0, kEnd.y, 0}, kEnd);
        lineB_ = drawing_->addLine(kEnd, {kEnd.x, kEnd.y + 60, 0});
        lineC_ = drawing_->addLine({30, kEnd.y - 20, 0}, {30, kEnd.y + 20, 0});
        cad::Entity c;
        c.geom = cad::CircleGeom{{200, kEnd.y, 0}, 20, cad::kWorldZ};
        c.dxfType = cad::Name("CIRCLE");
        circle_ = drawing_->addEntity(c);
        view_ = std::make_unique<app::DrawingView>();
        view_->resize(900, 600);
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        view_->setDrawing(drawing_.get());
    }

    void cleanup() {
        view_.reset();
        drawing_.reset();
    }

    void pointPromptSnapsExactlyToEnds() {
        // A click a few pixels off the end gives the end's own coordinates.
        whilePrompting([&] { click(at(kEnd, {3, -2})); });
        Point3 p = view_->getPoint("Укажите начало пикета");
        QCOMPARE(p.x, kEnd.x);
        QCOMPARE(p.y, kEnd.y);
        QCOMPARE(view_->promptLabel()->text(), QStringLiteral("Команда:"));

        // Midpoints, crossings and centres are found too.
        Point3 mid{(0 + kEnd.x) / 2, kEnd.y, 0};
        whilePrompting([&] { click(at(mid, {2, 3})); });
        p = view_->getPoint("Точка");
        QCOMPARE(p.x, mid.x);
        QCOMPARE(p.y, mid.y);
        whilePrompting([&] { click(at({30, kEnd.y, 0}, {-3, 2})); });
        p = view_->getPoint("Точка");
        QCOMPARE(p.x, 30.0);
        QCOMPARE(p.y, kEnd.y);
        whilePrompting([&] { click(at({200, kEnd.y, 0}, {2, 2})); });
        p = view_->getPoint("Точка");
        QCOMPARE(p.x, 200.0);
        QCOMPARE(p.y, kEnd.y);
    }

    // A picket end wants the end of a route element: a manhole drawn round
    // the end crosses the route nearer the cursor, yet the end comes first;
    // Tab goes on to the crossing, and a click takes what is shown.
    void anEndPromptPrefersTheEndsOfItsLayersAndTabCycles() {
        const Point3 end{1100.25, 1000.5, 0};
        cad::EntityRef route = drawing_->addLine({1000, 1000.5, 0}, end);
        route.setLayer("Трасса");
        cad::Entity manhole;
        manhole.geom = cad::CircleGeom{end, 0.5, cad::kWorldZ};
        manhole.dxfType = cad::Name("CIRCLE");
        drawing_->addEntity(manhole);
        view_->drawingChanged();
        view_->zoomCenter(*drawing_, end, 60);  // 10 pixels a unit
        const QPoint near = at({end.x - 0.4, end.y, 0});

        // Any other point prompt takes the nearest: the crossing.
        whilePrompting([&] { click(near); });
        Point3 p = view_->getPoint("Точка");
        QCOMPARE(p.x, end.x - 0.5);

        std::optional<app::Snap> shown;
        std::size_t candidates = 0;
        std::optional<app::Snap> afterTab;
        whilePrompting([&] {
            QTest::mouseMove(area(), near);
            shown = view_->currentSnap();
            candidates = view_->snapCount();
            QTest::keyClick(area(), Qt::Key_Tab);
            afterTab = view_->currentSnap();
            QTest::keyClick(area(), Qt::Key_Tab);
            QTest::keyClick(area(), Qt::Key_Tab);  // round again, past the nearest point
            for (std::size_t i = 3; i < candidates; ++i) QTest::keyClick(area(), Qt::Key_Tab);
            QTest::keyClick(area(), Qt::Key_Tab);  // the crossing once more
            QTest::mouseClick(area(), Qt::LeftButton, {}, near);
        });
        p = view_->getEndPoint("Укажите начало пикета", {"Трасса"});
        QVERIFY(shown && afterTab);
        QCOMPARE(shown->kind, app::SnapKind::End);
        QCOMPARE(shown->point.x, end.x);
        QCOMPARE(shown->entity, route.id());
        QVERIFY(candidates >= 3);  // the end, the crossing, the nearest point
        QCOMPARE(afterTab->kind, app::SnapKind::Intersection);
        QCOMPARE(p.x, end.x - 0.5);
        QCOMPARE(p.y, end.y);
        QVERIFY(area()->hasFocus());  // Tab moved no focus
    }

    void snapOffGivesTheCursorAndF3TogglesIt() {
        QVERIFY(view_->snapEnabled());
        QTest::keyClick(area(), Qt::Key_F3);
        QVERIFY(!view_->snapEnabled());
        QPoint where = at(kEnd, {3, -2});
        whilePrompting([&] { click(where); });
        Point3 p = view_->getPoint("Точка");
        QVERIFY(p.x != kEnd.x || p.y != kEnd.y);
        Point3 expected = view_->toWorld(where);
        QVERIFY(std::fabs(p.x - expected.x) < 1e-9 && std::fabs(p.y - expected.y) < 1e-9);
        // Toggled from the command line as well.
        QTest::keyClick(view_->commandLine(), Qt::Key_F3);
        QVERIFY(view_->snapEnabled());
    }

    void promptsEndByEscEmptyEnterOrTypedPoint() {
        QSignalSpy prompts(view_.get(), &app::DrawingView::promptChanged);
        whilePrompting([&] {
            QCOMPARE(view_->promptLabel()->text(), QStringLiteral("Укажите точку"));
            QTest::keyClick(area(), Qt::Key_Escape);
        });
        QVERIFY_THROWS_EXCEPTION(cad::Cancelled, view_->getPoint("Укажите точку"));
        QVERIFY(!view_->prompting());
        QCOMPARE(prompts.count(), 2);  // shown, then cleared

        whilePrompting([&] { QTest::keyClick(view_->commandLine(), Qt::Key_Return); });
        QVERIFY_THROWS_EXCEPTION(cad::Cancelled, view_->getPoint("Точка"));

        // A typo keeps the prompt; the next answer counts. Typing in the
        // drawing area goes to the command line.
        whilePrompting([&] {
            QTest::keyClicks(view_->commandLine(), "12,5;3");
            QTest::keyClick(view_->commandLine(), Qt::Key_Return);
            QVERIFY(view_->prompting());
            QTest::keyClicks(area(), "-12.5, 3e2");
            QTest::keyClick(view_->commandLine(), Qt::Key_Return);
        });
        Point3 p = view_->getPoint("Точка");
        QCOMPARE(p.x, -12.5);
        QCOMPARE(p.y, 300.0);
        QCOMPARE(p.z, 0.0);

        // Esc at an entity prompt, and a pick on empty space.
        whilePrompting([&] { QTest::keyClick(view_->commandLine(), Qt::Key_Escape); });
        QVERIFY_THROWS_EXCEPTION(cad::Cancelled, view_->getEntity("Объект"));
        whilePrompting([&] { click(at({60, kEnd.y + 40, 0})); });
        QVERIFY_THROWS_EXCEPTION(cad::Cancelled, view_->getEntity("Объект"));
    }

    void escEndsAPromptWhereverTheFocusIs() {
        QWidget window;
        auto* other = new QLineEdit(&window);
        auto* view = new app::DrawingView(&window);
        other->move(0, 0);
        view->setGeometry(0, 40, 600, 400);
        window.resize(600, 440);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        view->setDrawing(drawing_.get());
        whilePrompting([&] {
            other->setFocus();
            QTest::keyClick(other, Qt::Key_Escape);
        });
        // Should Esc not reach the prompt, an answer ends it rather than a hang.
        QTimer::singleShot(2000, view, [view] {
            QTest::keyClicks(view->commandLine(), "1,1");
            QTest::keyClick(view->commandLine(), Qt::Key_Return);
        });
        QVERIFY_THROWS_EXCEPTION(cad::Cancelled, view->getPoint("Точка"));
    }

    void entityPromptPicksWhatIsUnderThePickBox() {
        Point3 onB{kEnd.x, kEnd.y + 30, 0};
        whilePrompting([&] { click(at(onB, {3, 0})); });
        cad::PickedEntity picked = view_->getEntity("Укажите объект");
        QVERIFY(picked.entity == lineB_);
        QVERIFY(std::fabs(picked.pickPoint.y - onB.y) < 2.0);
        whilePrompting([&] { click(at({200 + 20, kEnd.y, 0}, {0, 2})); });
        QVERIFY(view_->getEntity("Укажите объект").entity == circle_);
    }

    void windowAndCrossingSelectionFeedPickFirst() {
        int events = 0;
        drawing_->onSelectionChanged([&](cad::Drawing&) { ++events; });
        // A box around B and the right half of A.
        Point3 low{kEnd.x - 40, kEnd.y - 10, 0}, high{kEnd.x + 10, kEnd.y + 70, 0};
        QPoint left = at({low.x, high.y, 0}), right = at({high.x, low.y, 0});

        drag(left, right);  // window: only what lies wholly inside
        QCOMPARE(selected(), std::vector<cad::EntityId>{lineB_.id()});
        QCOMPARE(events, 1);

        QTest::keyClick(area(), Qt::Key_Escape);
        QVERIFY(selected().empty());
        QCOMPARE(events, 2);

        drag(right, left);  // crossing: whatever it touches
        std::vector<cad::EntityId> both{lineA_.id(), lineB_.id()};
        std::sort(both.begin(), both.end());
        QCOMPARE(selected(), both);
        QCOMPARE(events, 3);

        // Shift+click takes one away; a click adds one.
        click(at({kEnd.x, kEnd.y + 30, 0}), Qt::ShiftModifier);
        QCOMPARE(selected(), std::vector<cad::EntityId>{lineA_.id()});
        click(at({30, kEnd.y + 15, 0}));
        std::vector<cad::EntityId> ac{lineA_.id(), lineC_.id()};
        std::sort(ac.begin(), ac.end());
        QCOMPARE(selected(), ac);
        QCOMPARE(events, 5);
    }

    void whatTheProgramDrawsShowsAtOnce() {
        QImage before = area()->grab().toImage();
        Point3 a{60, kEnd.y + 40, 0}, b{100, kEnd.y + 40, 0};
        QPoint mid = at({80, kEnd.y + 40, 0});
        QCOMPARE(before.pixelColor(mid), QColor(33, 40, 48));
        cad::EntityRef added = drawing_->addLine(a, b);
        added.setColor(1);
        view_->drawingChanged();
        QImage after = area()->grab().toImage();
        QCOMPARE(after.pixelColor(mid), QColor(255, 0, 0));
        // It can be picked at once too.
        whilePrompting([&] { click(mid + QPoint(0, 2)); });
        QVERIFY(view_->getEntity("Объект").entity == added);
        // Hidden again without being told: the drawing's own notice.
        added.setVisible(false);
        QTest::qWait(10);
        QCOMPARE(area()->grab().toImage().pixelColor(mid), QColor(33, 40, 48));
    }

    // The wheel zooms about the cursor. Quick frames are drawn at every notch;
    // a slow one is previewed, the last frame scaled about the cursor, and
    // drawn anew once the wheel rests.
    void wheelPreviewsSlowFramesAndDrawsThemWhenItRests() {
        const QColor background(33, 40, 48);
        // A pixel of line A in the view as it now stands.
        auto onLineA = [&] {
            const QImage frame = area()->grab().toImage();
            const QPoint near = at({15, kEnd.y, 0});
            for (int dy : {0, 1, -1}) {
                if (frame.pixelColor(near + QPoint(0, dy)) != background) {
                    return near + QPoint(0, dy);
                }
            }
            return QPoint(-1, -1);
        };
        QPoint cursor = onLineA();
        QVERIFY(cursor.x() >= 0);
        const QColor lineColour = area()->grab().toImage().pixelColor(cursor);
        const Point3 under = view_->screenMap().toWorld(QPointF(cursor));
        // Every frame quick, however busy the machine is: a loaded one can
        // take longer than the default for a small drawing.
        view_->setSlowFrameMs(1e9);
        wheel(cursor, 1);
        QVERIFY(!view_->wheelPreviewing());
        QVERIFY((view_->toScreen(under) - QPointF(cursor)).manhattanLength() < 1e-6);

        cursor = onLineA();  // the frame of that notch, drawn at once
        QVERIFY(cursor.x() >= 0);
        view_->setSlowFrameMs(0.0);  // every frame is slow
        wheel(cursor, 2);
        QVERIFY(view_->wheelPreviewing());
        const QImage preview = area()->grab().toImage();
        QCOMPARE(preview.pixelColor(cursor), lineColour);
        QTRY_VERIFY(!view_->wheelPreviewing());
        const QImage rested = area()->grab().toImage();
        QVERIFY(rested != preview);  // lines scaled 1.56 times are not what a frame draws
        view_->drawingChanged();     // a frame drawn afresh for the same view
        QCOMPARE(area()->grab().toImage(), rested);
    }
};

QTEST_MAIN(DrawingViewTest)
#include "drawing_view_test.moc"
