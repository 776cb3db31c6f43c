// The Edit menu driven by its keys and its items: a value typed in the
// crossing editor taken back with Ctrl+Z and made again with Ctrl+Y and
// Ctrl+Shift+Z, the items naming the step, an undo during a prompt ending
// the prompt first, and every step undone leaving the drawing as opened.
// The shared fixture has helpers this test does not need.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include "main_window_fixture.hpp"
#pragma GCC diagnostic pop

class EditMenuTest : public WindowTest {
    Q_OBJECT

  private slots:
    void init() { startWindow(); }
    void cleanup() { stopWindow(); }

    void undoAndRedoByKeysAndMenu() {
        QVERIFY(window->openFile(plan));
        model::Workspace& ws = window->workspace();
        const std::size_t opened = ws.doc->modelSpace().size();
        QVERIFY(!action(*window, "UndoAction")->isEnabled());
        QCOMPARE(action(*window, "UndoAction")->text(), QStringLiteral("Отменить"));

        definePiket(sampleRoute(*ws.doc));
        QTreeWidget* list = child<QTreeWidget>(*window, "ListView1");
        list->setCurrentItem(list->topLevelItem(0));
        click("SpeedButton6");
        QVERIFY(ws.doc->modelSpace().size() > opened);
        click("SpeedButton4");

        QLineEdit* relief = child<QLineEdit>(*window, "Edit3");
        const QString shownBefore = relief->text();
        const double before = height(ws);
        retype(relief, QStringLiteral("151,5"));
        QTest::keyClick(relief, Qt::Key_Return);
        QCOMPARE(height(ws), 151.5);
        QCOMPARE(action(*window, "UndoAction")->text(),
                 QStringLiteral("Отменить «Значение точки»"));

        // The keys work with the field in focus: the step, not the field's text.
        relief->setFocus();
        QTest::keyClick(relief, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(height(ws), before);
        QCOMPARE(relief->text(), shownBefore);
        QCOMPARE(action(*window, "RedoAction")->text(),
                 QStringLiteral("Повторить «Значение точки»"));
        QCOMPARE(action(*window, "UndoAction")->text(),
                 QStringLiteral("Отменить «Параметры пересечений»"));
        QTest::keyClick(relief, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(height(ws), 151.5);
        QCOMPARE(relief->text(), QStringLiteral("151,5"));
        QTest::keyClick(relief, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(relief, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(height(ws), 151.5);
        QVERIFY(!action(*window, "RedoAction")->isEnabled());

        // Undo while "Указать" waits for a text: the prompt ends, then the step goes.
        QTimer::singleShot(50, this, [this] {
            QVERIFY(window->drawingView().prompting());
            action(*window, "UndoAction")->trigger();
        });
        click("SpeedButton26");
        QTest::qWait(50);
        QVERIFY(!window->drawingView().prompting());
        QCOMPARE(height(ws), before);

        // Every step back: no picket, no sheet, the drawing as opened.
        while (action(*window, "UndoAction")->isEnabled()) action(*window, "UndoAction")->trigger();
        QVERIFY(ws.pikets.empty());
        QCOMPARE(list->topLevelItemCount(), 0);
        QCOMPARE(ws.doc->modelSpace().size(), opened);
    }

  private:
    static double height(model::Workspace& ws) {
        return model::rowOf(ws.pikets.at(0).points.at(0))[model::kRelief];
    }
};

QTEST_MAIN(EditMenuTest)
#include "edit_menu_test.moc"
