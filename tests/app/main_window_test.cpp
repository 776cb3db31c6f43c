// The main window driven as a user drives it, on the offscreen platform: the
// questions it asks (files, unsaved work, messages) are answered by the test.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "app/main_window.hpp"
#include "cad/drawing.hpp"

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

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        answers = Answers{};
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        plan = dir->filePath(QStringLiteral("plan.dxf"));
        QVERIFY(QFile::copy(kPlan, plan));
        window = std::make_unique<app::MainWindow>(answering(answers), QLocale(QLocale::Russian));
        window->show();
    }
    void cleanup() {
        answers.unsaved = app::CloseAnswer::Discard;
        window.reset();
        dir.reset();
    }

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

    void aDwgFileIsRefusedWithAdvice() {
        const QString dwg = dir->filePath(QStringLiteral("plan.DWG"));
        QVERIFY(QFile::copy(kPlan, dwg));
        QVERIFY(!window->openFile(dwg));
        QCOMPARE(answers.messages.size(), 1);
        QVERIFY(answers.messages[0].contains(QStringLiteral("plan.DWG")));
        QVERIFY(answers.messages[0].contains(QStringLiteral("DXF")));
        QVERIFY(window->workspace().doc == nullptr);
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
        w.workspace().doc->addLine({0, 0, 0}, {500, 500, 0});

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
    Answers answers;
    std::unique_ptr<QTemporaryDir> dir;
    QString plan;
    std::unique_ptr<app::MainWindow> window;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
