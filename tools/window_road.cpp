#include "window_road.hpp"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <cstdlib>

#include "app/windows.hpp"
#include "cad/geometry.hpp"

namespace window_road {

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

PromptAnswers::PromptAnswers(app::DrawingView& view) : view_(view) {
    // A prompt runs its own event loop: the answers come from a timer.
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (!view_.prompting() || answers_.empty()) return;
        std::function<void()> answer = std::move(answers_.front());
        answers_.pop_front();
        answer();
    });
    timer_.start();
}

void PromptAnswers::clickAt(cad::Point3 world, QPointF offset, double zoom) {
    answers_.push_back([this, world, offset, zoom] {
        if (zoom > 0 && view_.drawing()) view_.zoomCenter(*view_.drawing(), world, zoom);
        const QPoint p = (view_.toScreen(world) + offset).toPoint();
        QTest::mouseMove(view_.drawingArea(), p);
        QTest::mouseClick(view_.drawingArea(), Qt::LeftButton, {}, p);
    });
}

void PromptAnswers::type(const QString& text) {
    answers_.push_back([this, text] {
        QTest::keyClicks(view_.commandLine(), text);
        QTest::keyClick(view_.commandLine(), Qt::Key_Return);
    });
}

void PromptAnswers::escape() {
    answers_.push_back([this] { QTest::keyClick(view_.commandLine(), Qt::Key_Escape); });
}

cad::Point3 centreOf(const cad::EntityRef& e) {
    const cad::Box2 b = cad::entityBounds(e.drawing()->data(), e.entity());
    return {(b.minX + b.maxX) / 2, (b.minY + b.maxY) / 2, 0};
}

int runOnPlan(int argc, char** argv, const char* usage, const ToolWindow& how,
              const std::function<int(app::MainWindow&, const QString&)>& work) {
    if (argc != 3) {
        std::fprintf(stderr, "Использование: %s\n", usage);
        return 2;
    }
    QApplication application(argc, argv);
    app::installRussianQtTexts(application);
    app::Dialogs dialogs = app::standardDialogs();
    const bool stop = how.messageIsFailure;
    dialogs.showMessage = [stop](QWidget*, const QString& text) {
        std::fprintf(stderr, "%s%s\n", stop ? "Сообщение: " : "", text.toLocal8Bit().constData());
        if (stop) std::exit(1);
    };
    app::MainWindow window(dialogs,
                           how.russianLocale ? QLocale(QLocale::Russian) : QLocale::system());
    if (!how.size.isEmpty()) window.resize(how.size);
    window.show();
    wait(300);
    if (!window.openFile(QString::fromLocal8Bit(argv[1]))) return 1;
    return work(window, QString::fromLocal8Bit(argv[2]));
}

bool saveShot(QWidget& window, const QString& path) {
    // What the screen shows, as the user sees it; a widget painted afresh
    // would hide a repaint that never came.
    wait(100);
    QPixmap shot;
    if (QScreen* screen = window.screen()) shot = screen->grabWindow(window.winId());
    if (shot.isNull()) shot = window.grab();
    if (shot.save(path)) return true;
    std::fprintf(stderr, "Не удалось записать снимок «%s»\n", qPrintable(path));
    return false;
}

}  // namespace window_road
