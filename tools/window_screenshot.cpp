// Takes a picture of the desktop program's main window with a drawing open,
// for the README and the user guide: window-screenshot PLAN.dxf OUT.png.
// Run it under an X server (xvfb-run, see scripts/screenshots.sh) so that the
// window is drawn with the fonts and style of a desktop session.
#include <QApplication>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/main_window.hpp"

namespace {

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Использование: window-screenshot ЧЕРТЁЖ.dxf СНИМОК.png\n");
        return 2;
    }
    QApplication application(argc, argv);
    app::Dialogs dialogs = app::standardDialogs();
    dialogs.showMessage = [](QWidget*, const QString& text) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    };
    app::MainWindow window(dialogs);
    window.show();
    wait(300);
    if (!window.openFile(QString::fromLocal8Bit(argv[1]))) return 1;
    wait(1000);
    const QPixmap shot = window.grab();
    if (!shot.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "Не удалось записать снимок «%s»\n", argv[2]);
        return 1;
    }
    return 0;
}
