// The crossed utility's fields on the editor's panel, driven as the user
// drives them: typed at their painted place, Enter, the kind chosen by keys;
// what the screen shows and what the point holds, point after point.
#include <QComboBox>
#include <QPushButton>

#include "editor/editor.hpp"
#include "model/crossed.hpp"

// The shared fixture has helpers this test does not need.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include "main_window_fixture.hpp"
#pragma GCC diagnostic pop
#include "on_screen.hpp"

class CrossedFieldsTest : public WindowTest {
    Q_OBJECT

  private slots:
    void init() {
        startWindow(QSize(1200, 800));
        QApplication::setCursorFlashTime(0);  // a focused field's cursor stays put
    }
    void cleanup() { stopWindow(); }

    void typedValuesReachThePointAndFollowTheCurrentPoint() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        takeSampleRouteIntoWork();
        model::Workspace& ws = w.workspace();
        const model::Piket& piket = *ws.piketInWork();
        // Two crossings, the second after the first.
        std::vector<int> crossings;
        for (std::size_t k = 0; k < piket.points.size(); ++k)
            if (model::notCrossingWhy(ws.controls, piket, k).empty())
                crossings.push_back(static_cast<int>(k));
        QVERIFY(crossings.size() >= 2);
        const int first = crossings[0], second = crossings[1];
        goTo(first);

        QLineEdit* top = child<QLineEdit>(w, "EditCrossTop");
        QLineEdit* diameter = child<QLineEdit>(w, "EditCrossDiameter");
        auto* kind = child<QComboBox>(w, "ComboCrossKind");
        QLabel* found = child<QLabel>(w, "LabelCrossedFound");
        QVERIFY(top->isVisible() && top->isEnabled());
        QCOMPARE(kind->currentText(), QStringLiteral("по слою"));
        QVERIFY2(found->text().contains(QStringLiteral("Вид: по слою")), qPrintable(found->text()));

        typeInto(top, QStringLiteral("149,4"));
        const std::size_t k = static_cast<std::size_t>(first);
        QVERIFY(model::crossedAt(piket, k).top);
        QCOMPARE(model::crossedAt(piket, k).top->value, 149.4);
        QCOMPARE(model::crossedAt(piket, k).top->foundBy, model::FoundBy::Typed);
        QCOMPARE(action(w, "UndoAction")->text(),
                 QStringLiteral("Отменить «Верх пересекаемой сети»"));
        typeInto(diameter, QStringLiteral("100"));
        QCOMPARE(model::crossedAt(piket, k).diameter->value, 100.0);
        QCOMPARE(top->text(), QStringLiteral("149,4"));
        QVERIFY2(testutil::screenIsCurrent(top), "the top shows an old text");
        QVERIFY2(found->text().startsWith(QStringLiteral("Верх: введено\nДиаметр: введено")),
                 qPrintable(found->text()));
        QVERIFY(testutil::screenIsCurrent(found));

        // The kind chosen by keys in the list: the second kind, the sewer.
        kind->setFocus();
        QTest::keyClick(kind, Qt::Key_Down);
        QTest::keyClick(kind, Qt::Key_Down);
        QCOMPARE(model::crossedAt(piket, k).kind, std::optional(model::CrossKind::Sewer));
        QCOMPARE(kind->currentText(), QStringLiteral("Канализация"));
        QCOMPARE(action(w, "UndoAction")->text(),
                 QStringLiteral("Отменить «Вид пересекаемой сети»"));
        // Each key was a step: undone twice, the kind goes back to the
        // layer's, list and point alike; redone, it is back.
        action(w, "UndoAction")->trigger();
        QCOMPARE(model::crossedAt(piket, k).kind, std::optional(model::CrossKind::Water));
        action(w, "UndoAction")->trigger();
        QCOMPARE(model::crossedAt(piket, k).kind, std::nullopt);
        QCOMPARE(kind->currentIndex(), 0);
        action(w, "RedoAction")->trigger();
        action(w, "RedoAction")->trigger();
        QCOMPARE(kind->currentText(), QStringLiteral("Канализация"));

        // The next points show their own (none), on the screen too; coming
        // back shows these again.
        while (ws.workPoint < second) click("SpeedButton21");  // ">"
        QCOMPARE(top->text(), QString());
        QCOMPARE(diameter->text(), QString());
        QCOMPARE(kind->currentIndex(), 0);
        QVERIFY2(testutil::screenIsCurrent(top), "the top shows the other point's text");
        QVERIFY2(testutil::screenIsCurrent(kind), "the kind shows the other point's");
        QVERIFY(!found->text().contains(QStringLiteral("введено")));
        while (ws.workPoint > first) click("SpeedButton20");  // "<"
        QCOMPARE(top->text(), QStringLiteral("149,4"));
        QCOMPARE(kind->currentText(), QStringLiteral("Канализация"));
        QVERIFY(testutil::screenIsCurrent(top));

        // An emptied field clears the value.
        typeInto(top, QString());
        QVERIFY(!model::crossedAt(piket, k).top);
        QVERIFY(model::crossedAt(piket, k).diameter);
    }

    // "Верх сетей по съёмке": a height text beside a crossing on its layer
    // gives its top, one step of the history; a typed top stays.
    void theSurveyGivesTopsButNeverOverATypedOne() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        takeSampleRouteIntoWork();
        model::Workspace& ws = w.workspace();
        const model::Piket& piket = *ws.piketInWork();
        std::vector<std::size_t> crossings;
        for (std::size_t k = 0; k < piket.points.size(); ++k)
            if (model::notCrossingWhy(ws.controls, piket, k).empty()) crossings.push_back(k);
        QVERIFY(crossings.size() >= 2);
        const std::size_t a = crossings[0], b = crossings[1];
        // Half a metre of the plan's millimetres beside each crossing.
        QVERIFY(w.runAction(
            [&ws, &piket, a, b] {
                for (std::size_t k : {a, b}) {
                    const model::PiketPoint& p = piket.points[k];
                    cad::EntityRef text =
                        ws.doc->addText(k == a ? "148.35" : "147.00", {p.x + 500, p.y, 0}, 250);
                    text.setLayer(piket.pointObjects[k].layer());
                }
            },
            true));
        goTo(static_cast<int>(b));
        typeInto(child<QLineEdit>(w, "EditCrossTop"), QStringLiteral("150"));
        goTo(static_cast<int>(a));

        click("CrossSurveyButton");
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(QStringLiteral("оставлен у точек: ") +
                                              QString::number(b + 1)),
                 qPrintable(answers.messages[0]));
        QVERIFY(model::crossedAt(piket, a).top);
        QCOMPARE(model::crossedAt(piket, a).top->value, 148.35);
        QCOMPARE(model::crossedAt(piket, a).top->foundBy, model::FoundBy::Survey);
        QCOMPARE(model::crossedAt(piket, b).top->value, 150.0);
        // The current point shows it at once.
        QCOMPARE(child<QLineEdit>(w, "EditCrossTop")->text(), QStringLiteral("148,35"));
        QVERIFY(child<QLabel>(w, "LabelCrossedFound")
                    ->text()
                    .startsWith(QStringLiteral("Верх: по съёмке")));
        QCOMPARE(action(w, "UndoAction")->text(),
                 QStringLiteral("Отменить «Верх сетей по съёмке»"));
        action(w, "UndoAction")->trigger();
        QVERIFY(!model::crossedAt(piket, a).top);
        QCOMPARE(child<QLineEdit>(w, "EditCrossTop")->text(), QString());
    }

    // «Виды пересекаемых сетей»: a rule added, typed, given a kind by keys
    // and moved down; OK is one step, Esc changes nothing.
    void theKindTableIsEditedInItsDialog() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        takeSampleRouteIntoWork();
        model::Workspace& ws = w.workspace();
        const int first = firstCrossing();
        QVERIFY(first >= 0);
        goTo(first);
        const model::CrossKindTable before = ws.crossKinds;
        const QString layer = QString::fromStdString(
            ws.piketInWork()->pointObjects[static_cast<std::size_t>(first)].layer());
        QLabel* found = child<QLabel>(w, "LabelCrossedFound");
        QVERIFY(!found->text().contains(QStringLiteral("Газопровод")));

        bool seen = false;
        inDialog("CrossKindsDialog", [&](QWidget& dialog) {
            seen = true;
            QTest::mouseClick(child<QPushButton>(dialog, "CrossKindAdd"), Qt::LeftButton);
            // Letters beyond ASCII go in as the keys' texts.
            auto* contains = child<QLineEdit>(dialog, "CrossKindContains");
            for (const QChar c : layer.toUpper())
                QTest::sendKeyEvent(QTest::Click, contains, Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
            auto* kind = child<QComboBox>(dialog, "CrossKindKind");
            kind->setFocus();
            QTest::keyClick(kind, Qt::Key_Home);
            for (int i = 0; i < 3; ++i) QTest::keyClick(kind, Qt::Key_Down);  // the gas
            QTest::mouseClick(child<QPushButton>(dialog, "CrossKindDown"), Qt::LeftButton);
            QTest::keyClick(kind, Qt::Key_Return);
        });
        action(w, "CrossKindsAction")->trigger();
        QVERIFY(seen);
        QCOMPARE(ws.crossKinds.rules.size(), before.rules.size() + 1);
        QCOMPARE(ws.crossKinds.rules[0], before.rules[0]);
        QCOMPARE(ws.crossKinds.rules[1].layerContains, layer.toUpper().toStdString());
        QCOMPARE(ws.crossKinds.rules[1].kind, model::CrossKind::Gas);
        // The point's kind by its layer follows, in the panel too.
        QVERIFY2(found->text().contains(QStringLiteral("по слою — Газопровод")),
                 qPrintable(found->text()));
        QCOMPARE(action(w, "UndoAction")->text(),
                 QStringLiteral("Отменить «Виды пересекаемых сетей»"));

        // Esc: the rule removed in the dialog stays.
        seen = false;
        inDialog("CrossKindsDialog", [&](QWidget& dialog) {
            seen = true;
            QTest::mouseClick(child<QPushButton>(dialog, "CrossKindRemove"), Qt::LeftButton);
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        action(w, "CrossKindsAction")->trigger();
        QVERIFY(seen);
        QCOMPARE(ws.crossKinds.rules.size(), before.rules.size() + 1);

        action(w, "UndoAction")->trigger();
        QVERIFY(ws.crossKinds == before);
        QVERIFY(!found->text().contains(QStringLiteral("Газопровод")));
    }

    // A point whose object lies on no list of crossings takes no crossed
    // values: the fields are off and say why under the pointer.
    void fieldsOfAPointThatCrossesNothingAreOffWithTheReason() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        takeSampleRouteIntoWork();
        model::Workspace& ws = w.workspace();
        const int first = firstCrossing();
        QVERIFY(first >= 0);
        const std::string layer =
            ws.piketInWork()->pointObjects[static_cast<std::size_t>(first)].layer();
        // Its layer taken off the lists.
        QVERIFY(w.runAction([&ws, layer] {
            for (std::size_t t = 1; t < model::kTypeListCount; ++t)
                std::erase(ws.controls.typeLists[t], layer);
        }));
        goTo(first);
        const QString why = QString::fromStdString(
            model::notCrossingWhy(ws.controls, *ws.piketInWork(), static_cast<std::size_t>(first)));
        QVERIFY(!why.isEmpty());
        for (const char* name : {"EditCrossTop", "CrossTopTakeOver", "CrossTopPick",
                                 "EditCrossDiameter", "CrossDiameterTakeOver", "ComboCrossKind"}) {
            QWidget* c = child(w, name);
            QVERIFY2(!c->isEnabled(), name);
            QCOMPARE(c->toolTip(), why);
        }
        QCOMPARE(child<QLabel>(w, "LabelCrossedFound")->text(), QString());
    }

  private:
    // A field clicked where it is painted, its text replaced by keys, Enter.
    void typeInto(QLineEdit* edit, const QString& text) {
        QTest::mouseClick(edit, Qt::LeftButton, {}, edit->rect().center());
        QVERIFY(edit->hasFocus());
        edit->selectAll();
        if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    void takeSampleRouteIntoWork() {
        app::MainWindow& w = *window;
        definePiket(sampleRoute(*w.workspace().doc));
        QTreeWidget* pikets = child<QTreeWidget>(w, "ListView1");
        pikets->setCurrentItem(pikets->topLevelItem(0));
        click("SpeedButton6");
        click("SpeedButton4");
        QVERIFY(w.workspace().piketInWork());
    }

    int firstCrossing() {
        model::Workspace& ws = window->workspace();
        const model::Piket& piket = *ws.piketInWork();
        for (std::size_t k = 0; k < piket.points.size(); ++k)
            if (model::notCrossingWhy(ws.controls, piket, k).empty()) return static_cast<int>(k);
        return -1;
    }

    void goTo(int point) {
        model::Workspace& ws = window->workspace();
        QVERIFY(window->runAction([&ws, point] { editor::selectPoint(ws, point); }, true));
    }
};

QTEST_MAIN(CrossedFieldsTest)
#include "crossed_fields_test.moc"
