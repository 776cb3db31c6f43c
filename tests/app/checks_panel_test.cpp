// "Проверка" in the window: after a build the list shows the findings as the
// screen paints them, and a click on one makes its point the editor's.
#include "app/checks_panel.hpp"

#include <QPushButton>

// The shared fixture has helpers this test does not need.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include "main_window_fixture.hpp"
#pragma GCC diagnostic pop
#include "on_screen.hpp"

class ChecksPanelTest : public WindowTest {
    Q_OBJECT

  private slots:
    void init() { startWindow(QSize(1200, 800)); }
    void cleanup() { stopWindow(); }

    void findingsAfterABuildLeadToTheirPoints() {
        app::MainWindow& w = *window;
        QListWidget* list = child<QListWidget>(w, "ChecksList");
        QVERIFY(list->isVisible());
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Профиль не построен"));

        QVERIFY(w.openFile(plan));
        definePiket(sampleRoute(*w.workspace().doc));
        QTreeWidget* pikets = child<QTreeWidget>(w, "ListView1");
        QCOMPARE(pikets->topLevelItemCount(), 1);
        pikets->setCurrentItem(pikets->topLevelItem(0));
        click("SpeedButton6");
        model::Workspace& ws = w.workspace();
        QVERIFY(ws.piketInWork() && ws.piketInWork()->pointCount() > 5);
        // Ground heights as typed; every point 1 m deep by the initial parameters.
        QVERIFY(w.runAction([&ws] {
            for (model::PiketPoint& p : ws.piketInWork()->points)
                p.relief = model::Relief::typed(150.0);
        }));
        click("SpeedButton3");
        QVERIFY(ws.profileBuilt);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Замечаний нет"));

        // «Правила проверки…»: the cover typed deeper than the pipe finds every
        // point at once; a value that is no number keeps the dialog open, Esc
        // leaves the rules as they were.
        const model::CheckRules before = ws.checkRules;
        bool invalidKept = false;
        inDialog("RulesDialog", [&invalidKept](QWidget& dialog) {
            auto* cover = child<QLineEdit>(dialog, "RuleValue_cover");
            cover->selectAll();
            QTest::keyClicks(cover, QStringLiteral("abc"));
            QTest::keyClick(cover, Qt::Key_Return);
            invalidKept = dialog.isVisible() && child<QLabel>(dialog, "RulesWhy")->isVisible();
            cover->selectAll();
            QTest::keyClicks(cover, QStringLiteral("5"));
            QTest::keyClick(cover, Qt::Key_Return);
        });
        QTest::mouseClick(child<QPushButton>(w, "ChecksRules"), Qt::LeftButton);
        QVERIFY(invalidKept);
        QCOMPARE(ws.checkRules[model::Rule::Cover].state, model::RuleSetting::State::Set);
        QCOMPARE(ws.checkRules[model::Rule::Cover].value, 5.0);
        QCOMPARE(list->count(), ws.piketInWork()->pointCount());
        QCOMPARE(child<QAction>(w, "UndoAction")->text(),
                 QStringLiteral("Отменить «Правила проверки»"));
        inDialog("RulesDialog", [](QWidget& dialog) {
            QTest::mouseClick(child<QCheckBox>(dialog, "Rule_clearance"), Qt::LeftButton);
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        QTest::mouseClick(child<QPushButton>(w, "ChecksRules"), Qt::LeftButton);
        QCOMPARE(ws.checkRules[model::Rule::Clearance].state, model::RuleSetting::State::Default);
        child<QAction>(w, "UndoAction")->trigger();
        QVERIFY(ws.checkRules == before);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Замечаний нет"));

        // Point 3 and point 5 cross a water pipe too close under the new one.
        QVERIFY(w.runAction([&ws] {
            model::Piket& p = *ws.piketInWork();
            for (std::size_t k : {std::size_t(2), std::size_t(4)}) {
                const model::PointRow& row = p.built[k];
                model::Crossed c;
                c.top = model::CrossedValue{row[model::kRelief] - row[model::kDepth] -
                                            row[model::kPipe] / 1000.0 - 0.1};
                c.kind = model::CrossKind::Water;
                model::setCrossed(p, k, c);
            }
        }));
        QCOMPARE(list->count(), 2);
        QCOMPARE(
            list->item(0)->text(),
            QStringLiteral("Точка 3: до водопровода 0,10 м по вертикали, нужно не менее 0,20 м"));
        QVERIFY(list->item(1)->text().startsWith(QStringLiteral("Точка 5: ")));
        QCOMPARE(child<QDockWidget>(w, "ChecksDock")->windowTitle(),
                 QStringLiteral("Проверка (2)"));
        // The list lays its items out a few turns of the event loop later.
        QTest::qWait(100);
        QVERIFY(testutil::screenIsCurrent(list->viewport()));

        // A click on the second: point 5 in the editor, in front.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(1)).center());
        QCOMPARE(ws.workPoint, 4);
        QCOMPARE(frontPanel(w), QStringLiteral("Panel5"));
        QVERIFY(child<QLabel>(w, "Label11")->text().contains(QStringLiteral("5")));
        QVERIFY(testutil::screenIsCurrent(child<QLabel>(w, "Label11")));
        // And in the drawing: the marker cross stands on the point.
        const model::PiketPoint& five = ws.piketInWork()->points[4];
        const cad::Point3 a = ws.markLine1.startPoint(), b = ws.markLine1.endPoint();
        QVERIFY(std::abs((a.x + b.x) / 2 - five.x) < 1e-6);
        QVERIFY(std::abs((a.y + b.y) / 2 - five.y) < 1e-6);
        // The list stays as it was, the finding still chosen.
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->currentRow(), 1);

        // "Замечания на листе": the next build rings both points on the sheet.
        auto rings = [&ws] {
            int n = 0;
            for (const cad::EntityRef& e : ws.profileObjects)
                if (e.exists() && e.dxfType() == "CIRCLE") ++n;
            return n;
        };
        QCOMPARE(rings(), 0);
        QCheckBox* marks = child<QCheckBox>(w, "SheetCheckMarks");
        QVERIFY(!marks->isChecked());
        QTest::mouseClick(marks, Qt::LeftButton);
        QVERIFY(ws.sheetOptions.checkMarks);
        click("SpeedButton3");
        QCOMPARE(rings(), 2);
        QVERIFY(marks->isChecked());
    }
};

QTEST_MAIN(ChecksPanelTest)
#include "checks_panel_test.moc"
