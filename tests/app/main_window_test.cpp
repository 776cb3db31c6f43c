// The main window driven as a user drives it, on the offscreen platform: the
// questions it asks (files, unsaved work, messages) are answered by the test.
#include "app/windows.hpp"
#include "main_window_fixture.hpp"
#include "on_screen.hpp"

#include <QFileDialog>
#include <QHelpEvent>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScrollArea>
#include <QToolTip>

class MainWindowTest : public WindowTest {
    Q_OBJECT

  private slots:
    void init() { startWindow(); }
    void cleanup() { stopWindow(); }

    void startsWithOnlyOpeningEnabled() {
        app::MainWindow& w = *window;
        QCOMPARE(w.windowTitle(), QStringLiteral("Kernavisto"));
        QVERIFY(child<QToolButton>(w, "openbutton")->isEnabled());
        for (const char* name : {"SpeedButton7", "SpeedButton1", "SpeedButton2", "SpeedButton4"})
            QVERIFY2(!child<QToolButton>(w, name)->isEnabled(), name);
        QVERIFY(!child<QToolButton>(w, "SpeedButton3")->isVisibleTo(&w));
        QCOMPARE(frontPanel(w), QStringLiteral("Panel1"));
        QCOMPARE(w.workspace().workPiket, -1);
        QCOMPARE(w.workspace().piketCount(), 0);
        QCOMPARE(w.workspace().decimalSeparator, ',');
        QVERIFY(!action(w, "SaveAction")->isEnabled());

        // The tool panel's picture buttons and their hints.
        const struct {
            const char* name;
            int top;
            const char* hint;
        } tools[] = {{"openbutton", 8, "Открыть проект"},
                     {"SpeedButton7", 48, "Первоначальные параметры"},
                     {"SpeedButton1", 88, "Выбор типов коммуникаций"},
                     {"SpeedButton2", 128, "Пикеты"},
                     {"SpeedButton4", 184, "Параметры пересечений пикета"},
                     {"SpeedButton3", 224, "Построить профиль"}};
        for (const auto& t : tools) {
            QToolButton* b = child<QToolButton>(w, t.name);
            QCOMPARE(b->geometry(), QRect(2, t.top, 40, 40));
            QCOMPARE(b->toolTip(), QString::fromUtf8(t.hint));
            QVERIFY(!b->icon().isNull());
        }
        QCOMPARE(child<QLineEdit>(w, "Edit2")->text(), QStringLiteral("1"));
        QCOMPARE(child<QLineEdit>(w, "Edit8")->text(), QStringLiteral("110"));
        QCOMPARE(child<QLineEdit>(w, "Edit4")->text(), QStringLiteral("0"));
        QCOMPARE(child<QComboBox>(w, "ComboBox4")->count(), 2);
        QCOMPARE(child<QComboBox>(w, "ComboBox4")->currentText(),
                 QStringLiteral("Водопровод - Kernavisto"));
        QVERIFY(!child<QCheckBox>(w, "CheckBox1")->isChecked());

        QTimer* blink = child<QTimer>(w, "Timer2");
        QCOMPARE(blink->interval(), 300);
        QVERIFY(blink->isActive());
        QVERIFY(!child(w, "Panel6")->isVisible());
    }

    void decimalSeparatorFollowsTheLocale() {
        Answers other;
        app::MainWindow english(answering(other), QLocale(QLocale::English));
        QCOMPARE(english.workspace().decimalSeparator, '.');
        app::MainWindow german(answering(other), QLocale(QLocale::German));
        QCOMPARE(german.workspace().decimalSeparator, ',');
    }

    void cancellingTheFileDialogChangesNothing() {
        answers.openFile.clear();
        QTest::mouseClick(child<QToolButton>(*window, "openbutton"), Qt::LeftButton);
        QCOMPARE(answers.openQuestions, 1);
        QVERIFY(window->workspace().doc == nullptr);
        QVERIFY(!child<QToolButton>(*window, "SpeedButton2")->isEnabled());
        QVERIFY(answers.messages.isEmpty());
    }

    void openingADrawingEnablesThePanels() {
        app::MainWindow& w = *window;
        answers.openFile = plan;
        QTest::mouseClick(child<QToolButton>(w, "openbutton"), Qt::LeftButton);
        QVERIFY2(answers.messages.isEmpty(), qPrintable(answers.messages.join('\n')));
        QVERIFY(w.workspace().doc != nullptr);
        QCOMPARE(child<QLineEdit>(w, "Edit1")->text(), QStringLiteral("plan.dxf"));
        // Every object of the drawing, without the marker cross drawn after.
        QCOMPARE(w.workspace().objectList.size(), modelSpaceCount(plan));
        for (const char* name : {"SpeedButton7", "SpeedButton1", "SpeedButton2"})
            QVERIFY2(child<QToolButton>(w, name)->isEnabled(), name);
        QVERIFY(!child<QToolButton>(w, "SpeedButton4")->isEnabled());
        QCOMPARE(frontPanel(w), QStringLiteral("Panel1"));
        QVERIFY(!child(w, "Panel6")->isVisible());
        QVERIFY(!child(w, "ProgressBar1")->isVisible());
        QVERIFY(action(w, "SaveAction")->isEnabled());
        QVERIFY(!w.hasUnsavedChanges());
    }

    // What actions write into the panels reaches the screen: the file name
    // after the first opening, a new row of the picket list (clicked where it
    // is painted), the editor's height as the step buttons move the editor.
    void whatActionsWriteIsOnScreen() {
        app::MainWindow& w = *window;
        QApplication::setCursorFlashTime(0);  // a focused field's cursor stays put
        answers.openFile = plan;
        QTest::mouseClick(child<QToolButton>(w, "openbutton"), Qt::LeftButton);
        QLineEdit* project = child<QLineEdit>(w, "Edit1");
        QCOMPARE(project->text(), QStringLiteral("plan.dxf"));
        QVERIFY2(testutil::screenIsCurrent(project), "the project field is not repainted");

        definePiket(sampleRoute(*w.workspace().doc));
        QTreeWidget* list = child<QTreeWidget>(w, "ListView1");
        QTreeWidgetItem* row = list->topLevelItem(0);
        QVERIFY(row);
        const QRect place = list->visualItemRect(row);
        QVERIFY2(place.isValid(), "the picket list does not show its new row");
        QVERIFY(testutil::screenIsCurrent(list->viewport()));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
        QVERIFY(row->isSelected());
        click("SpeedButton6");
        auto* status = child<QLabel>(w, "StatusBar1Panel0");
        QCOMPARE(status->text(), QStringLiteral("В работе Пикет 1"));

        click("SpeedButton4");
        QLineEdit* relief = child<QLineEdit>(w, "Edit3");
        retype(relief, QStringLiteral("150,8"));
        QTest::keyClick(relief, Qt::Key_Return);
        click("SpeedButton21");  // ">"
        QCOMPARE(child<QLabel>(w, "Label11")->text(), QStringLiteral("2"));
        click("SpeedButton25");  // "Авто"
        QCOMPARE(relief->text(), QStringLiteral("Авто"));
        QVERIFY2(testutil::screenIsCurrent(relief), "the height field shows an old text");
        click("SpeedButton20");  // "<"
        QCOMPARE(relief->text(), QStringLiteral("150,8"));
        QVERIFY2(testutil::screenIsCurrent(relief), "the height field shows an old text");
        QVERIFY(testutil::screenIsCurrent(child(w, "Label11")));
    }

    // In a sequential selection the elements taken so far stay marked on
    // the screen until the selection ends.
    void elementsTakenInASequenceStayMarked() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        click("SpeedButton2");
        app::DrawingView& view = w.drawingView();
        cad::EntityRef first;
        for (const cad::EntityRef& e : w.workspace().doc->modelSpace())
            if (first.isNull() && e.layer() == "Трасса - Kernavisto" && e.dxfType() == "LINE")
                first = e;
        QVERIFY(!first.isNull());
        const cad::Point3 a = first.startPoint(), b = first.endPoint();
        const cad::Point3 middle{(a.x + b.x) / 2, (a.y + b.y) / 2, 0};
        int prompts = 0;
        std::vector<cad::EntityId> marked;
        QColor shown;
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!view.prompting()) return;
            if (prompts++ == 0) {
                view.zoomCenter(*w.workspace().doc, middle, 20000);
                const QPoint p = view.toScreen(middle).toPoint();
                QTest::mouseMove(view.drawingArea(), p);
                QTest::mouseClick(view.drawingArea(), Qt::LeftButton, {}, p);
                return;
            }
            poll.stop();
            marked = view.marked();
            // Away from the cursor, so that only the mark is over the line.
            const QPointF quarter =
                view.toScreen({a.x + (b.x - a.x) * 0.45, a.y + (b.y - a.y) * 0.45, 0});
            QTest::mouseMove(view.drawingArea(), QPoint(5, 5));
            shown = testutil::onScreen(view.drawingArea()).pixelColor(quarter.toPoint());
            QTest::keyClick(view.commandLine(), Qt::Key_Escape);
        });
        poll.start();
        click("SpeedButton33");
        QCOMPARE(marked, std::vector<cad::EntityId>{first.id()});
        QVERIFY2(shown.red() > 200 && shown.blue() > 150 && shown.green() < 150,
                 qPrintable(shown.name()));
        QVERIFY(view.marked().empty());
        QCOMPARE(w.workspace().piketCount(), 1);
    }

    void panelButtonsBringTheirPanelToTheFront() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        const struct {
            const char* button;
            const char* panel;
        } switches[] = {{"SpeedButton7", "Panel2"},
                        {"SpeedButton1", "Panel3"},
                        {"SpeedButton2", "Panel4"},
                        {"SpeedButton7", "Panel2"}};
        for (const auto& s : switches) {
            QTest::mouseClick(child<QToolButton>(w, s.button), Qt::LeftButton);
            QCOMPARE(frontPanel(w), QString::fromLatin1(s.panel));
            QCOMPARE(child(w, s.panel)->width(), child(w, "PanelStack")->width());
        }

        // "Новый проект" switches the picket buttons off again; the types stay.
        action(w, "N2")->trigger();
        for (const char* name :
             {"SpeedButton7", "SpeedButton2", "SpeedButton4", "SpeedButton6", "SpeedButton8"})
            QVERIFY2(!child<QToolButton>(w, name)->isEnabled(), name);
        QVERIFY(child<QToolButton>(w, "SpeedButton1")->isEnabled());
        QVERIFY(w.workspace().doc != nullptr);
    }

    void fieldsAndModelMirrorEachOther() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        QLineEdit* depth = child<QLineEdit>(w, "Edit2");
        depth->clear();
        QTest::keyClicks(depth, QStringLiteral("2.5"));
        child<QCheckBox>(w, "CheckBox1")->setChecked(true);
        QComboBox* route = child<QComboBox>(w, "ComboBox2");
        route->setEditText(QStringLiteral("набрано"));
        // The model sees what the user typed when an action runs ...
        QVERIFY(w.runAction([] {}));
        const model::Controls& c = w.workspace().controls;
        QCOMPARE(c.depthText, std::string("2.5"));
        QVERIFY(c.hideWhilePicking);
        QCOMPARE(c.typeListIndex[0], -1);  // typed text is no selected item
        QCOMPARE(route->currentText(), QStringLiteral("набрано"));

        // ... and the panels show what an action put into the model.
        QVERIFY(w.runAction([&w] {
            model::Controls& m = w.workspace().controls;
            m.typeLists[0].push_back("Слой 7");
            m.typeListIndex[0] = 1;
            m.piketRows.push_back({"Пикет 1", 0});
            m.piketRows.push_back({"Пикет 2", 1});
            m.selectedRow = 1;
            m.statusText = "В работе Пикет 2";
            m.pointCountText = "12";
            m.reliefText = "Авто";
            m.front = model::PanelId::Editor;
        }));
        QCOMPARE(route->count(), 2);
        QCOMPARE(route->currentText(), QStringLiteral("Слой 7"));
        QTreeWidget* list = child<QTreeWidget>(w, "ListView1");
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->currentItem()->text(0), QStringLiteral("Пикет 2"));
        QCOMPARE(child<QLabel>(w, "StatusBar1Panel0")->text(), QStringLiteral("В работе Пикет 2"));
        QCOMPARE(child<QLabel>(w, "Label16")->text(), QStringLiteral("12"));
        QCOMPARE(child<QLineEdit>(w, "Edit3")->text(), QStringLiteral("Авто"));
        QCOMPARE(frontPanel(w), QStringLiteral("Panel5"));

        // The user's row selection goes back into the model.
        list->setCurrentItem(list->topLevelItem(0));
        QVERIFY(w.runAction([] {}));
        QCOMPARE(w.workspace().controls.selectedRow, 0);
    }

    void busyIndicatorShowsWhileAnActionRuns() {
        app::MainWindow& w = *window;
        QWidget* busy = child(w, "Panel6");
        bool shownDuring = false;
        QPoint where;
        QVERIFY(w.runAction([&] {
            shownDuring = busy->isVisible();
            where = busy->pos();
        }));
        QVERIFY(shownDuring);
        QCOMPARE(where, QPoint(qRound(w.width() / 2.0 - 49), qRound(w.height() / 2.0 - 89)));
        QVERIFY(!busy->isVisible());
    }

    void aFailedActionIsAMessageAndTheProgramGoesOn() {
        QVERIFY(!window->runAction([] { throw cad::Error("Нет такого слоя"); }));
        QCOMPARE(answers.messages, QStringList{QStringLiteral("Нет такого слоя")});
        QVERIFY(!child(*window, "Panel6")->isVisible());
        QVERIFY(window->runAction([] {}));
    }

    void loadingShowsProgressAndKeepsTheWindowAnswering() {
        // The sample with many more lines, so that reading takes a while.
        QFile sample(kPlan);
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QByteArray bytes = sample.readAll();
        QByteArray lines;
        for (int i = 0; i < 60000; ++i) {
            lines += "0\nLINE\n8\nMany\n10\n" + QByteArray::number(i) + "\n20\n0\n11\n" +
                     QByteArray::number(i) + "\n21\n100\n";
        }
        const int at = bytes.indexOf("ENTITIES\n") + int(qstrlen("ENTITIES\n"));
        QVERIFY(at > 10);
        bytes.insert(at, lines);
        const QString big = dir->filePath(QStringLiteral("big.dxf"));
        QFile f(big);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();

        app::MainWindow& w = *window;
        auto* bar = child<QProgressBar>(w, "ProgressBar1");
        QList<int> shown;
        // (A bar set back before a reading shows no value: -1.)
        connect(bar, &QProgressBar::valueChanged, this, [&shown](int v) {
            if (v >= 0) shown << v;
        });
        // Events keep coming while the file is read (the bar is up only
        // then): the window answers.
        int ticks = 0;
        QTimer ticker;
        ticker.setInterval(1);
        connect(&ticker, &QTimer::timeout, this, [&] {
            if (bar->isVisible()) ++ticks;
        });
        ticker.start();
        QVERIFY(w.openFile(big));
        ticker.stop();

        QVERIFY(w.workspace().doc != nullptr);
        QVERIFY2(ticks > 0, "no event was handled while the drawing was read");
        QVERIFY(!bar->isVisible());
        // Several steps, never back, up to the whole.
        QVERIFY2(shown.size() >= 5, qPrintable(QString::number(shown.size())));
        for (int i = 1; i < shown.size(); ++i) QVERIFY(shown[i] > shown[i - 1]);
        QVERIFY(shown.first() > 0);
        QCOMPARE(shown.last(), 100);
    }

    void aDrawingIsReadByWhatItHoldsNotByItsName() {
        // A DXF with the extension of a DWG is a DXF.
        const QString named = dir->filePath(QStringLiteral("plan.DWG"));
        QVERIFY(QFile::copy(kPlan, named));
        QVERIFY(window->openFile(named));
        QVERIFY2(answers.messages.isEmpty(), qPrintable(answers.messages.join('\n')));
        QCOMPARE(child<QLineEdit>(*window, "Edit1")->text(), QStringLiteral("plan.DWG"));
    }

    void aDwgThatCannotBeConvertedIsAMessage() {
        // A DWG signature and nothing a converter can read; without a
        // converter the message says what to install instead.
        const QString bad = dir->filePath(QStringLiteral("обрыв.dwg"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("AC1015") + QByteArray(200, '\xff'));
        f.close();
        QVERIFY(!window->openFile(bad));
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(QStringLiteral("обрыв.dwg")),
                 qPrintable(answers.messages[0]));
        QVERIFY(window->workspace().doc == nullptr);
        QVERIFY(!child(*window, "ProgressBar1")->isVisible());
        // Nothing is left behind, and the program goes on.
        QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("обрыв.dxf"))));
        QVERIFY(window->openFile(plan));
    }

    void aDwgOpensThroughTheDxfBesideIt() {
        const QString missing = missingConverter();
        if (!missing.isEmpty()) QSKIP(qPrintable(QStringLiteral("DWG не проверен: ") + missing));
        const QString dwg = dir->filePath(QStringLiteral("example_2000.dwg"));
        QVERIFY(QFile::copy(kDwgSamples + QStringLiteral("/example_2000.dwg"), dwg));
        QVERIFY(window->openFile(dwg));
        // The user is told once which DXF the drawing now lives in.
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(QStringLiteral("example_2000.dxf")),
                 qPrintable(answers.messages[0]));
        QCOMPARE(child<QLineEdit>(*window, "Edit1")->text(), QStringLiteral("example_2000.dxf"));
        QVERIFY(QFile::exists(dir->filePath(QStringLiteral("example_2000.dxf"))));
        QVERIFY(!window->workspace().objectList.empty());
        QCOMPARE(window->workspace().objectList.size(),
                 modelSpaceCount(dir->filePath(QStringLiteral("example_2000.dxf"))));
    }

    // A drawing open in one window is marked as such: a second opening says
    // who has it and offers it read-only, saved only under another name; a
    // mark whose program is gone is taken over with a note.
    void aDrawingOpenElsewhereIsOfferedReadOnly() {
        QVERIFY(window->openFile(plan));
        const QByteArray before = readAll(plan);
        Answers second;
        app::MainWindow other(answering(second), QLocale(QLocale::Russian));
        QVERIFY(!other.openFile(plan));
        QCOMPARE(second.readOnlyQuestions.size(), 1);
        QVERIFY2(second.readOnlyQuestions[0].contains(QStringLiteral("«plan.dxf» уже открыт")),
                 qPrintable(second.readOnlyQuestions[0]));
        QVERIFY(other.workspace().doc == nullptr);

        second.readOnly = true;
        QVERIFY(other.openFile(plan));
        QVERIFY(other.readOnly());
        QVERIFY2(other.windowTitle().contains(QStringLiteral("только для чтения")),
                 qPrintable(other.windowTitle()));
        // Saving asks for another name; the first window's file stays its own.
        second.saveFile = dir->filePath(QStringLiteral("copy.dxf"));
        QVERIFY(other.save());
        QVERIFY(!other.readOnly());
        QCOMPARE(readAll(plan), before);
        QVERIFY(QFile::exists(second.saveFile));
        // Nor can the first window save over the copy the second has open.
        answers.saveFile = second.saveFile;
        QVERIFY(!window->saveAs());
        QVERIFY2(answers.messages.join('\n').contains(QStringLiteral("уже открыт")),
                 qPrintable(answers.messages.join('\n')));

        // A mark left by a program that has gone.
        window.reset();
        const std::filesystem::path lock = cad::lockFilePath(plan.toStdString());
        QVERIFY(!std::filesystem::exists(lock));
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        std::ofstream(lock) << "Kernavisto\nuser=ivan\nhost=" << host
                            << "\npid=99999999\nsince=2026-12-01 08:00 UTC\n";
        Answers third;
        app::MainWindow again(answering(third), QLocale(QLocale::Russian));
        QVERIFY(again.openFile(plan));
        QVERIFY(!again.readOnly());
        QVERIFY(third.readOnlyQuestions.isEmpty());
        QVERIFY2(third.messages.join('\n').contains(QStringLiteral("ivan")),
                 qPrintable(third.messages.join('\n')));
    }

    // Closing the window while a DWG is converted stops the converter and
    // leaves nothing of the conversion; the window closes.
    void closingDuringAConversionStopsIt() {
        const std::filesystem::path root = dir->path().toStdString();
        const std::filesystem::path converter = root / "converter";
        const std::filesystem::path wasm =
            converter / "node_modules" / "@mlightcad" / "libredwg-web" / "wasm";
        std::filesystem::create_directories(wasm);
        std::ofstream(converter / "dwg2dxf.mjs") << "";
        std::ofstream(wasm / "libredwg-web.js") << "";
        const std::filesystem::path pidFile = root / "converter.pid";
        const std::filesystem::path node = root / "node";
        std::ofstream(node) << "#!/bin/sh\necho $$ > '" << pidFile.string() << ".tmp'\nmv '"
                            << pidFile.string() << ".tmp' '" << pidFile.string()
                            << "'\nexec sleep 60\n";
        std::filesystem::permissions(node, std::filesystem::perms::owner_all);
        const std::filesystem::path drawings = root / "drawings";
        std::filesystem::create_directories(drawings);
        std::ofstream(drawings / "plan.dwg", std::ios::binary)
            << "AC1015" << std::string(200, '\0');
        qputenv("KERNAVISTO_NODE", QByteArray::fromStdString(node.string()));
        qputenv("KERNAVISTO_DWG_CONVERTER", QByteArray::fromStdString(converter.string()));
        auto converterPid = [&] {
            std::ifstream in(pidFile);
            long pid = 0;
            in >> pid;
            return pid;
        };
        QTimer closer;
        closer.setInterval(20);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (converterPid() > 0) window->close();
        });
        closer.start();
        const bool opened =
            window->openFile(QString::fromStdString((drawings / "plan.dwg").string()));
        closer.stop();
        qunsetenv("KERNAVISTO_NODE");
        qunsetenv("KERNAVISTO_DWG_CONVERTER");
        const long pid = converterPid();
        QVERIFY(pid > 0);
        QVERIFY(!opened);
        QVERIFY2(answers.messages.isEmpty(), qPrintable(answers.messages.join('\n')));
        QTRY_VERIFY(!window->isVisible());
        // The converter is gone (or a zombie nobody reaped), and so is its file.
        QTRY_VERIFY(::kill(static_cast<pid_t>(pid), 0) != 0 || processIsZombie(pid));
        std::vector<std::string> left;
        for (const auto& e : std::filesystem::directory_iterator(drawings))
            left.push_back(e.path().filename().string());
        QCOMPARE(left, std::vector<std::string>{"plan.dwg"});
    }

    // Done when: a drawing opened, a picket defined, heights typed, saved;
    // the window destroyed, a new one opens the same drawing and finds it all.
    void workSurvivesARestart() {
        QString drawing = plan;
        const bool dwg = missingConverter().isEmpty();
        if (dwg) {
            drawing = dir->filePath(QStringLiteral("example_2018.dwg"));
            QVERIFY(QFile::copy(kDwgSamples + QStringLiteral("/example_2018.dwg"), drawing));
        } else {
            qInfo("DWG не проверен (%s): проверяется examples/plan.dxf",
                  qPrintable(missingConverter()));
        }
        QVERIFY(window->openFile(drawing));
        model::Workspace& ws = window->workspace();
        const Route route = dwg ? longestLine(*ws.doc) : sampleRoute(*ws.doc);
        QVERIFY(!route.layer.empty());

        // Initial parameters, a route layer of the drawing, a picket in work.
        click("SpeedButton7");
        retype(child<QLineEdit>(*window, "Edit2"), QStringLiteral("2,5"));
        retype(child<QLineEdit>(*window, "Edit8"), QStringLiteral("160"));
        QVERIFY(window->runAction([&ws, &route] {
            ws.controls.typeLists[0] = {route.layer};
            ws.controls.typeListIndex[0] = 0;
        }));
        definePiketAndOpenEditor(route);
        const int points = ws.pikets.at(0).pointCount();
        QVERIFY(points >= 2);
        // A height for every point, typed.
        QLineEdit* relief = child<QLineEdit>(*window, "Edit3");
        for (int k = 0; k < points; ++k) {
            QCOMPARE(child<QLabel>(*window, "Label11")->text(), QString::number(k + 1));
            retype(relief, QStringLiteral("150,") + QString::number(k));
            click("SpeedButton24");
            if (k + 1 < points) click("SpeedButton21");
        }
        click("SpeedButton22");  // back to the first point
        // Typed heights are work too: closing would ask about them.
        QVERIFY(window->hasUnsavedChanges());
        const project::ProjectData before = project::capture(ws);
        QCOMPARE(before.pikets.at(0).points.at(1).values[model::kRelief], 150.1);

        const QString dxf = dwg ? dir->filePath(QStringLiteral("example_2018.dxf")) : plan;
        answers.messages.clear();
        action(*window, "SaveAction")->trigger();
        QVERIFY2(answers.messages.isEmpty(), qPrintable(answers.messages.join('\n')));
        QVERIFY(QFile::exists(dir->filePath(dwg ? QStringLiteral("example_2018.kernavisto.json")
                                                : QStringLiteral("plan.kernavisto.json"))));
        QVERIFY(!window->hasUnsavedChanges());
        // The sheet layout is saved with the project: changing only it is work too.
        QComboBox* along = child<QComboBox>(*window, "SheetScaleH");
        const int savedScale = along->currentIndex();
        along->setCurrentIndex(savedScale == 0 ? 1 : 0);
        QVERIFY(window->hasUnsavedChanges());
        along->setCurrentIndex(savedScale);
        QVERIFY(!window->hasUnsavedChanges());
        QVERIFY(window->close());
        QCOMPARE(answers.unsavedQuestions, 0);
        window.reset();

        // A new window, the same drawing.
        answers = Answers{};
        window = std::make_unique<app::MainWindow>(answering(answers), QLocale(QLocale::Russian));
        window->show();
        QVERIFY(window->openFile(drawing));
        QVERIFY2(answers.messages.size() == (dwg ? 1 : 0), qPrintable(answers.messages.join('\n')));
        model::Workspace& again = window->workspace();
        QCOMPARE(project::toJson(project::capture(again)), project::toJson(before));
        QCOMPARE(again.workPiket, 0);
        QCOMPARE(child<QLineEdit>(*window, "Edit2")->text(), QStringLiteral("2,5"));
        QCOMPARE(child<QLineEdit>(*window, "Edit8")->text(), QStringLiteral("160"));
        QCOMPARE(child<QComboBox>(*window, "ComboBox2")->currentText(), qs(route.layer));
        QTreeWidget* list = child<QTreeWidget>(*window, "ListView1");
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("Пикет 1"));
        QVERIFY2(child<QLabel>(*window, "StatusBar1Panel0")->text().contains("Пикет 1"),
                 qPrintable(child<QLabel>(*window, "StatusBar1Panel0")->text()));
        QVERIFY(!window->hasUnsavedChanges());
        QCOMPARE(again.doc->path(), std::filesystem::absolute(dxf.toStdString()));

        // The work goes on where it stopped: the picket in work, its heights.
        list->setCurrentItem(list->topLevelItem(0));
        click("SpeedButton6");
        click("SpeedButton4");
        QCOMPARE(child<QLabel>(*window, "Label16")->text(), QString::number(points));
        QCOMPARE(child<QLineEdit>(*window, "Edit3")->text(), QStringLiteral("150"));
        click("SpeedButton21");
        QCOMPARE(child<QLineEdit>(*window, "Edit3")->text(), QStringLiteral("150,1"));
    }

    void aPicketWhoseObjectsWereErasedStaysListedAsBroken() {
        QVERIFY(window->openFile(plan));
        model::Workspace& ws = window->workspace();
        definePiketAndOpenEditor(sampleRoute(*ws.doc));
        const std::string element = ws.pikets.at(0).elements.at(1).handle();
        action(*window, "SaveProjectAction")->trigger();
        QVERIFY(QFile::exists(dir->filePath(QStringLiteral("plan.kernavisto.json"))));
        QVERIFY(window->statusBar()->currentMessage().contains(QStringLiteral("Проект сохранён")));
        window->close();
        window.reset();

        // Between the sessions the user erases one of the route's lines.
        {
            auto d = cad::Drawing::open(plan.toStdString());
            d->entityByHandle(element).erase();
            d->save();
        }
        answers = Answers{};
        window = std::make_unique<app::MainWindow>(answering(answers), QLocale(QLocale::Russian));
        QVERIFY(window->openFile(plan));
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(qs(element)), qPrintable(answers.messages[0]));
        QTreeWidgetItem* row = child<QTreeWidget>(*window, "ListView1")->topLevelItem(0);
        QVERIFY(row);
        QVERIFY2(row->text(0).startsWith(QStringLiteral("Пикет 1 — ")), qPrintable(row->text(0)));
        QVERIFY2(row->toolTip(0).contains(qs(element)), qPrintable(row->toolTip(0)));
        // Taking it into work says why not; the drawing stays open and usable.
        row->setSelected(true);
        child<QTreeWidget>(*window, "ListView1")->setCurrentItem(row);
        answers.messages.clear();
        QTest::mouseClick(child<QToolButton>(*window, "SpeedButton6"), Qt::LeftButton);
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY(window->workspace().doc != nullptr);
    }

    void aDamagedProjectFileStillOpensTheDrawing() {
        QFile f(dir->filePath(QStringLiteral("plan.kernavisto.json")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"format\": \"kernavisto-project\", \"version\": 1, \"contr");
        f.close();
        QVERIFY(window->openFile(plan));
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(QStringLiteral("plan.kernavisto.json")),
                 qPrintable(answers.messages[0]));
        QVERIFY(window->workspace().doc != nullptr);
        QCOMPARE(window->workspace().piketCount(), 0);
        QVERIFY(!window->hasUnsavedChanges());
    }

    void planUnitsAreAFieldOfTheModel() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        QComboBox* units = child<QComboBox>(w, "ComboBoxUnits");
        QCOMPARE(units->currentText(), QStringLiteral("мм"));
        units->setCurrentIndex(2);
        QVERIFY(w.runAction([] {}));
        QCOMPARE(w.workspace().controls.planUnits, model::PlanUnits::Metres);
        QVERIFY(w.runAction(
            [&w] { w.workspace().controls.planUnits = model::PlanUnits::Centimetres; }));
        QCOMPARE(units->currentText(), QStringLiteral("см"));

        // The sample drawn in millimetres, taken as metres: its route would be
        // hundreds of kilometres long, and the user is warned.
        units->setCurrentIndex(2);
        definePiket(sampleRoute(*w.workspace().doc));
        QCOMPARE(w.workspace().piketCount(), 1);
        // One message: the doubt and the units that fit, named as the window
        // chooses them.
        QCOMPARE(answers.messages.size(), 1);
        const QString& warning = answers.messages[0];
        QVERIFY2(warning.contains(QStringLiteral("«мм»")) &&
                     warning.contains(QStringLiteral("«Единицы плана»")) &&
                     !warning.contains(QStringLiteral("--units")),
                 qPrintable(warning));
    }

    // "Показать весь чертёж" shows the plan, however far from the origin
    // with its marker cross; the window's keys act while a field has the
    // focus (Ctrl+E, Ctrl+S, Ctrl+O, F3).
    void windowKeysActFromFieldsAndExtentsAreThePlans() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        app::DrawingView& view = w.drawingView();
        QTest::qWait(50);  // the view takes in the marker cross drawn at the opening
        const Route route = sampleRoute(*w.workspace().doc);
        click("SpeedButton7");
        QLineEdit* depth = child<QLineEdit>(w, "Edit2");
        QTest::mouseClick(depth, Qt::LeftButton);
        QVERIFY(depth->hasFocus());

        view.zoomCenter(*w.workspace().doc, {0, 0, 0}, 1000);
        QTest::keyClick(depth, Qt::Key_E, Qt::ControlModifier);
        const QRectF area(QPointF(0, 0), QSizeF(view.drawingArea()->size()));
        const QPointF from = view.toScreen(route.from), to = view.toScreen(route.to);
        QVERIFY2(area.contains(from) && area.contains(to), "the route is not shown whole");
        // The route runs across most of the view, not squeezed into a strip.
        QVERIFY2(to.x() - from.x() > 0.6 * area.width(),
                 qPrintable(QStringLiteral("%1 of %2").arg(to.x() - from.x()).arg(area.width())));

        const bool snap = view.snapEnabled();
        QTest::keyClick(depth, Qt::Key_F3);
        QCOMPARE(view.snapEnabled(), !snap);
        QTest::keyClick(view.commandLine(), Qt::Key_F3);
        QCOMPARE(view.snapEnabled(), snap);

        w.workspace().doc->addLine({0, 0, 0}, {500, 500, 0});
        QVERIFY(w.hasUnsavedChanges());
        QTest::keyClick(depth, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!w.hasUnsavedChanges());
        answers.openFile.clear();
        QTest::keyClick(depth, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(answers.openQuestions, 1);
        QVERIFY(depth->hasFocus());
        QVERIFY2(answers.messages.isEmpty(), qPrintable(answers.messages.join('\n')));
    }

    // While the program waits for the user, nothing covers the drawing: no
    // busy indicator during a prompt, no hint of the frame around the view.
    void nothingCoversTheDrawingWhileTheUserPicks() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        click("SpeedButton1");
        app::DrawingView& view = w.drawingView();
        bool busyShown = true;
        QString hint = QStringLiteral("не проверено");
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!view.prompting()) return;
            poll.stop();
            QTest::mouseMove(view.drawingArea(), QPoint(300, 300));
            busyShown = child(w, "Panel6")->isVisible();
            const QPoint at(300, 300);
            QHelpEvent help(QEvent::ToolTip, at, view.drawingArea()->mapToGlobal(at));
            QApplication::sendEvent(view.drawingArea(), &help);
            hint = QToolTip::isVisible() ? QToolTip::text() : QString();
            QTest::keyClick(view.commandLine(), Qt::Key_Escape);
        });
        poll.start();
        click("SpeedButton9");  // a layer for the route, picked in the drawing
        QVERIFY(!busyShown);
        QVERIFY2(hint.isEmpty(), qPrintable(hint));
        QVERIFY(!child(w, "Panel6")->isVisible());
    }

    void sheetOptionsAreControlsOfTheEditor() {
        app::MainWindow& w = *window;
        const model::SheetOptions defaults;
        QVERIFY(w.runAction([] {}));
        QCOMPARE(w.workspace().sheetOptions.split, defaults.split);
        QCOMPARE(w.workspace().sheetOptions.horizontalScale, 500.0);
        QCOMPARE(w.workspace().sheetOptions.verticalScale, 100.0);
        QCOMPARE(child<QComboBox>(w, "SheetScaleH")->currentText(), QStringLiteral("1:500"));

        child<QCheckBox>(w, "SheetSplit")->setChecked(true);
        child<QComboBox>(w, "SheetScaleH")->setCurrentIndex(2);
        child<QComboBox>(w, "SheetScaleV")->setCurrentIndex(1);
        child<QCheckBox>(w, "SheetDatumPerSheet")->setChecked(true);
        QVERIFY(w.runAction([] {}));
        const model::SheetOptions& o = w.workspace().sheetOptions;
        QVERIFY(o.split);
        QCOMPARE(o.horizontalScale, 2000.0);
        QCOMPARE(o.verticalScale, 200.0);
        QVERIFY(o.datumPerSheet);

        QVERIFY(w.runAction([&w] { w.workspace().sheetOptions = model::SheetOptions{}; }));
        QVERIFY(!child<QCheckBox>(w, "SheetSplit")->isChecked());
        QCOMPARE(child<QComboBox>(w, "SheetScaleH")->currentText(), QStringLiteral("1:500"));
        QCOMPARE(child<QComboBox>(w, "SheetScaleV")->currentText(), QStringLiteral("1:100"));
    }

    void groundFromTheSurveyFillsThePicketInWork() {
        QVERIFY(window->openFile(plan));
        model::Workspace& ws = window->workspace();
        definePiketAndOpenEditor(sampleRoute(*ws.doc));
        const int points = ws.pikets.at(0).pointCount();

        // Cancelled: nothing changes.
        answers.ground.reset();
        click("GroundButton");
        QVERIFY(answers.groundLayers.contains(QStringLiteral("Отметки")));
        // The layer of heights is offered chosen; the rest as the command line's defaults.
        QCOMPARE(answers.groundStart.layers, std::vector<std::string>{"Отметки"});
        QCOMPARE(answers.groundStart.stepMetres, 0.0);
        QCOMPARE(answers.groundStart.maxEdgeMetres, 100.0);
        QVERIFY(!answers.groundStart.replace);
        QVERIFY(answers.messages.isEmpty());
        QCOMPARE(model::rowOf(ws.pikets[0].points[0])[model::kRelief], model::kAuto);

        ground::GroundOptions o;
        o.layers = {"Отметки"};
        o.stepMetres = 20.0;
        answers.ground = o;
        click("GroundButton");
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(QStringLiteral("Отметки по съёмке получили точек")),
                 qPrintable(answers.messages[0]));
        const model::Piket& piket = ws.pikets[0];
        QVERIFY(piket.pointCount() > points);  // ground points every 20 m
        QVERIFY(std::any_of(piket.points.begin(), piket.points.end(),
                            [](const model::PiketPoint& p) { return p.relief.value > 0.0; }));
        QCOMPARE(child<QLabel>(*window, "Label16")->text(), QString::number(piket.pointCount()));
        // The next time the dialog starts from this choice.
        answers.ground.reset();
        click("GroundButton");
        QCOMPARE(answers.groundStart.stepMetres, 20.0);
    }

    // The real survey drawn in metres: a sewer picked by its ends, its ground
    // from the survey's marks, the profile built without a height typed.
    void aSewerOfTheRealSurveyGetsItsGroundInTheWindow() {
        const QString survey = kSurveys + QStringLiteral("/acad2010_ru_topo_survey.dxf");
        if (!QFile::exists(survey)) QSKIP("нет ../shared/dxf-corpus: съёмка не проверена");
        const QString copy = dir->filePath(QStringLiteral("survey.dxf"));
        QVERIFY(QFile::copy(survey, copy));
        QVERIFY(window->openFile(copy));
        model::Workspace& ws = window->workspace();
        click("SpeedButton7");
        child<QComboBox>(*window, "ComboBoxUnits")->setCurrentIndex(2);  // м
        retype(child<QLineEdit>(*window, "Edit2"), QStringLiteral("2"));
        retype(child<QLineEdit>(*window, "Edit8"), QStringLiteral("300"));
        // The ends exactly as drawn, as object snap gives them.
        definePiket({"ПЛК", ws.doc->entityByHandle("F200").startPoint(),
                     ws.doc->entityByHandle("F11F").endPoint()});
        QVERIFY2(ws.piketCount() == 1, qPrintable(answers.messages.join(QLatin1Char('\n'))));
        QTreeWidget* list = child<QTreeWidget>(*window, "ListView1");
        list->setCurrentItem(list->topLevelItem(0));
        click("SpeedButton6");
        click("SpeedButton4");
        QCOMPARE(ws.controls.planUnits, model::PlanUnits::Metres);
        QCOMPARE(ws.pikets.at(0).elementCount(), 3);  // F200, F201, F11F

        ground::GroundOptions o;
        o.layers = {"61_Отметки высоты поверхности", "_ПЛК крышка колодец"};
        o.stepMetres = 10.0;
        answers.ground = o;
        answers.messages.clear();
        click("GroundButton");
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY2(answers.messages[0].contains(QStringLiteral("рядом, точки: 15.")),
                 qPrintable(answers.messages[0]));
        const model::Piket& piket = ws.pikets[0];
        QCOMPARE(piket.pointCount(), 15);
        for (const model::PiketPoint& point : piket.points) {
            const model::PointRow p = model::rowOf(point);
            QCOMPARE(p[model::kSurveyed], 1.0);
            QVERIFY(p[model::kRelief] > 26.3 && p[model::kRelief] < 26.9);
        }
        click("SpeedButton28");
        QVERIFY(ws.profileBuilt);
    }

    void theGroundDialogReadsItsChoice() {
        ground::GroundOptions last;
        last.layers = {"B"};
        last.stepMetres = 10.0;
        last.maxEdgeMetres = 50.0;
        app::GroundDialog dialog({QStringLiteral("A"), QStringLiteral("B")}, last);
        std::optional<ground::GroundOptions> o = dialog.options();
        QVERIFY(o);
        QCOMPARE(o->layers, std::vector<std::string>{"B"});
        QCOMPARE(o->stepMetres, 10.0);
        QCOMPARE(o->maxEdgeMetres, 50.0);
        QVERIFY(!o->replace);

        auto* layers = child<QListWidget>(dialog, "GroundLayers");
        layers->item(0)->setCheckState(Qt::Checked);
        child<QComboBox>(dialog, "GroundStep")->setCurrentIndex(0);
        child<QLineEdit>(dialog, "GroundMaxEdge")->setText(QStringLiteral("75,5"));
        child<QLineEdit>(dialog, "GroundNear")->setText(QStringLiteral("0.5"));
        child<QCheckBox>(dialog, "GroundReplace")->setChecked(true);
        o = dialog.options();
        QVERIFY(o);
        QCOMPARE(o->layers, (std::vector<std::string>{"A", "B"}));
        QCOMPARE(o->stepMetres, 0.0);
        QCOMPARE(o->maxEdgeMetres, 75.5);
        QCOMPARE(o->nearMetres, 0.5);
        QVERIFY(o->replace);

        QString why;
        child<QLineEdit>(dialog, "GroundMaxEdge")->setText(QStringLiteral("много"));
        QVERIFY(!dialog.options(&why));
        QVERIFY(!why.isEmpty());
        child<QLineEdit>(dialog, "GroundMaxEdge")->setText(QStringLiteral("100"));
        child<QLineEdit>(dialog, "GroundNear")->setText(QStringLiteral("-1"));
        QVERIFY(!dialog.options(&why));
        QVERIFY2(why.contains(QStringLiteral("ближайшей отметки")), qPrintable(why));
        child<QLineEdit>(dialog, "GroundNear")->setText(QStringLiteral("1"));
        layers->item(0)->setCheckState(Qt::Unchecked);
        layers->item(1)->setCheckState(Qt::Unchecked);
        QVERIFY(!dialog.options(&why));
    }

    void aLoadErrorNamesFileAndLine() {
        const QString broken = dir->filePath(QStringLiteral("broken.dxf"));
        QFile f(broken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("0\nSECTION\n2\nENTITIES\nLINE\n0\n");
        f.close();
        QVERIFY(!window->openFile(broken));
        QCOMPARE(answers.messages.size(), 1);
        const QString& text = answers.messages[0];
        QVERIFY2(text.contains(QStringLiteral("broken.dxf")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("строка 5"), Qt::CaseInsensitive), qPrintable(text));
        QVERIFY(window->workspace().doc == nullptr);
        QVERIFY(!child(*window, "Panel6")->isVisible());

        // The program goes on: the next file opens.
        QVERIFY(window->openFile(plan));
        QCOMPARE(child<QLineEdit>(*window, "Edit1")->text(), QStringLiteral("plan.dxf"));
    }

    void aRepairedFileOpensWithANote() {
        QFile whole(kPlan);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        // Cut off in the middle of the entities: what was read is kept.
        const QString cut = dir->filePath(QStringLiteral("cut.dxf"));
        QFile f(cut);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            bytes.left(bytes.indexOf("ENTITIES") + (bytes.size() - bytes.indexOf("ENTITIES")) / 2));
        f.close();
        QVERIFY(window->openFile(cut));
        QVERIFY(answers.messages.isEmpty());
        QVERIFY2(window->statusBar()->currentMessage().contains(QStringLiteral("исправлениями")),
                 qPrintable(window->statusBar()->currentMessage()));
        QVERIFY(window->openFile(plan));
    }

    void savingWritesTheDrawingAndKeepsTheOldFile() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        const std::size_t before = modelSpaceCount(plan);
        w.workspace().doc->addLine({0, 0, 0}, {500, 500, 0});
        QVERIFY(w.hasUnsavedChanges());

        action(w, "SaveAction")->trigger();
        QVERIFY(answers.messages.isEmpty());
        QVERIFY(!w.hasUnsavedChanges());
        // The marker cross and the new line are in the file; the old one is kept.
        QCOMPARE(modelSpaceCount(plan), before + 3);
        QCOMPARE(modelSpaceCount(dir->filePath(QStringLiteral("plan.bak"))), before);

        answers.saveFile = dir->filePath(QStringLiteral("copy"));
        w.workspace().doc->addLine({0, 0, 0}, {-500, 500, 0});
        action(w, "SaveAsAction")->trigger();
        const QString copy = dir->filePath(QStringLiteral("copy.dxf"));
        QCOMPARE(modelSpaceCount(copy), before + 4);
        QCOMPARE(child<QLineEdit>(w, "Edit1")->text(), QStringLiteral("copy.dxf"));
        QVERIFY(!w.hasUnsavedChanges());
    }

    void aFailedSaveKeepsTheWorkUnsaved() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        w.workspace().doc->addLine({0, 0, 0}, {500, 500, 0});
        answers.saveFile = dir->filePath(QStringLiteral("no/such/folder/x.dxf"));
        action(w, "SaveAsAction")->trigger();
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY(w.hasUnsavedChanges());
    }

    void closingWithoutChangesAsksNothing() {
        QVERIFY(window->openFile(plan));
        QVERIFY(window->close());
        QCOMPARE(answers.unsavedQuestions, 0);
    }

    void closingWithUnsavedChanges_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("linesInFile");  // beyond the original drawing
        QTest::newRow("Сохранить") << int(app::CloseAnswer::Save) << true << 3;
        QTest::newRow("Не сохранять") << int(app::CloseAnswer::Discard) << true << 0;
        QTest::newRow("Отмена") << int(app::CloseAnswer::Cancel) << false << 0;
    }
    void closingWithUnsavedChanges() {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(int, linesInFile);
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        const std::size_t before = modelSpaceCount(plan);
        // The title names the drawing and gets its "*" with the first change.
        QVERIFY2(w.windowTitle().contains(QStringLiteral("plan.dxf[*]")),
                 qPrintable(w.windowTitle()));
        QVERIFY(!w.isWindowModified());
        QVERIFY(w.runAction([&w] { w.workspace().doc->addLine({0, 0, 0}, {500, 500, 0}); }, true));
        QVERIFY(w.isWindowModified());

        answers.unsaved = static_cast<app::CloseAnswer>(answer);
        QCOMPARE(w.close(), closes);
        QCOMPARE(answers.unsavedQuestions, 1);
        QCOMPARE(w.isVisible(), !closes);
        QCOMPARE(modelSpaceCount(plan), before + static_cast<std::size_t>(linesInFile));
    }

    void openingAnotherDrawingAsksAboutUnsavedWork() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        w.workspace().doc->addLine({0, 0, 0}, {500, 500, 0});
        answers.unsaved = app::CloseAnswer::Cancel;
        QVERIFY(!w.openFile(plan));
        QCOMPARE(answers.unsavedQuestions, 1);
        QVERIFY(w.hasUnsavedChanges());
    }

    void theViewFollowsTheWindowSize() {
        app::MainWindow& w = *window;
        QVERIFY(w.openFile(plan));
        w.resize(700, 500);
        QApplication::processEvents();
        const QSize small = w.drawingView().size();
        w.resize(1200, 900);
        QApplication::processEvents();
        const QSize large = w.drawingView().size();
        QCOMPARE(large.width() - small.width(), 500);
        QCOMPARE(large.height() - small.height(), 400);
    }

    // Every text of the panels is read whole, at the system's font and at one
    // half as large again (a screen scaled to 150 %); a layer name longer
    // than its list is whole in the drop-down and under the pointer.
    void panelTextsAreNotCut_data() {
        QTest::addColumn<double>("scale");
        QTest::newRow("100 %") << 1.0;
        QTest::newRow("150 %") << 1.5;
    }
    void panelTextsAreNotCut() {
        QFETCH(double, scale);
        const QFont normal = QApplication::font();
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        Answers other;
        auto w = std::make_unique<app::MainWindow>(answering(other), QLocale(QLocale::Russian));
        w->show();
        QApplication::processEvents();
        QStringList cut;
        QWidget* box = child(*w, "GroupBox2");
        auto* stack = child<QStackedWidget>(*w, "PanelStack");
        if (!box->contentsRect().contains(stack->geometry())) cut << QStringLiteral("PanelStack");
        for (int i = 0; i < stack->count(); ++i) {
            QWidget* panel = stack->widget(i);
            stack->setCurrentWidget(panel);
            QApplication::processEvents();
            // A page that scrolls up and down is never cut at its side.
            QWidget* page = app::panelFields(panel);
            if (auto* area = qobject_cast<QScrollArea*>(panel);
                area && page->width() > area->viewport()->width())
                cut << panel->objectName() + QStringLiteral(" шире своего места");
            for (QWidget* c : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                QString text;
                if (auto* l = qobject_cast<QLabel*>(c)) text = l->text();
                if (auto* b = qobject_cast<QAbstractButton*>(c)) text = b->text();
                if (auto* list = qobject_cast<QComboBox*>(c)) text = list->currentText();
                const QString name =
                    c->objectName() + QStringLiteral(" «") + text + QStringLiteral("»");
                if (!page->rect().contains(c->geometry()))
                    cut << name + QStringLiteral(" за краем");
                if (text.isEmpty() && !qobject_cast<QLineEdit*>(c)) continue;
                const QSize want = c->sizeHint();
                if ((!qobject_cast<QLineEdit*>(c) && want.width() > c->width()) ||
                    want.height() > c->height())
                    cut << name;
            }
        }
        QComboBox* water = child<QComboBox>(*w, "ComboBox4");
        QCOMPARE(water->toolTip(), water->currentText());
        QCOMPARE(water->itemData(1, Qt::ToolTipRole).toString(), water->itemText(1));
        w.reset();
        QApplication::setFont(normal);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
    }

    // Qt's own dialogs speak Russian, as the program does.
    void qtDialogsSpeakRussian() {
        QVERIFY2(app::installRussianQtTexts(*QCoreApplication::instance()),
                 "нет переводов Qt: пакет qt6-translations-l10n (scripts/deps.sh)");
        QFileDialog files(window.get());
        files.setOption(QFileDialog::DontUseNativeDialog);
        QStringList english;
        for (QLabel* l : files.findChildren<QLabel*>())
            if (l->text().contains(
                    QRegularExpression(QStringLiteral("Look in|File name|Files of"))))
                english << l->text();
        for (QAbstractButton* b : files.findChildren<QAbstractButton*>())
            if (b->text() == QStringLiteral("&Open") || b->text() == QStringLiteral("Cancel"))
                english << b->text();
        QVERIFY2(english.isEmpty(), qPrintable(english.join(QStringLiteral(", "))));
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Kernavisto"), QStringLiteral("?"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Отмена"));
    }

    void aboutIsModalCentredAndOnTop() {
        bool seen = false;
        QString name;
        bool modal = false;
        bool onTop = false;
        QPoint centreOffset;
        QTimer::singleShot(0, [&] {
            QWidget* about = QApplication::activeModalWidget();
            if (!about) return;
            seen = true;
            name = about->objectName();
            modal = about->isModal();
            onTop = about->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            centreOffset = about->frameGeometry().center() - about->screen()->geometry().center();
            about->close();
        });
        action(*window, "N5")->trigger();
        QVERIFY(seen);
        QCOMPARE(name, QStringLiteral("TForm5"));
        QVERIFY(modal);
        QVERIFY(onTop);
        QVERIFY2(centreOffset.manhattanLength() <= 2, "the about window is not centred");
    }

  private:
    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static bool processIsZombie(long pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const std::size_t close = text.rfind(')');
        return close != std::string::npos && text.substr(close + 2, 1) == "Z";
    }
    static QString qs(const std::string& s) { return QString::fromStdString(s); }

    // The picket defined, taken into work and its editor opened.
    void definePiketAndOpenEditor(const Route& route) {
        definePiket(route);
        QTreeWidget* list = child<QTreeWidget>(*window, "ListView1");
        QCOMPARE(list->topLevelItemCount(), 1);
        list->setCurrentItem(list->topLevelItem(0));
        click("SpeedButton6");
        click("SpeedButton4");
        QCOMPARE(frontPanel(*window), QStringLiteral("Panel5"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
