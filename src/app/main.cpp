// kernavisto [FILE.dxf]: the desktop program.
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/main_window.hpp"
#include "app/windows.hpp"

namespace {

bool startingGui = false;
QtMessageHandler qtDefaultHandler = nullptr;

// Qt ends the process when it cannot reach the window system; the user is
// told why first, in the program's language.
void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (startingGui && type == QtFatalMsg) {
        std::fprintf(stderr,
                     "kernavisto: не удалось открыть оконную систему (%s).\n"
                     "Программе нужен графический экран: запустите её в графическом сеансе "
                     "или задайте переменную DISPLAY. Для работы без экрана есть "
                     "kernavisto-cli.\n",
                     text.toLocal8Bit().constData());
        std::fflush(stderr);
        std::_Exit(3);
    }
    if (qtDefaultHandler) qtDefaultHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "Использование: kernavisto [ЧЕРТЁЖ.dxf]\n");
        return 2;
    }
    startingGui = true;
    qtDefaultHandler = qInstallMessageHandler(startupMessages);
    QApplication application(argc, argv);
    startingGui = false;
    QApplication::setApplicationName(QStringLiteral("Kernavisto"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kernavisto.svg")));
    if (!app::installRussianQtTexts(application))
        std::fprintf(stderr,
                     "kernavisto: нет переводов Qt (пакет qt6-translations-l10n): окна выбора "
                     "файла и кнопки сообщений будут по-английски\n");

    app::SplashWindow splash;
    splash.show();
    QApplication::processEvents();

    app::MainWindow window;
    window.show();
    splash.close();

    if (argc == 2) {
        const QString file = QString::fromLocal8Bit(argv[1]);
        // For measuring (README, benchmarks): KV_QUIT_AFTER_OPEN=1 ends the
        // program once the drawing is open and the window has painted it.
        const bool quitAfterOpen = qEnvironmentVariableIntValue("KV_QUIT_AFTER_OPEN") == 1;
        QTimer::singleShot(0, &window, [&window, file, quitAfterOpen] {
            const bool opened = window.openFile(file);
            if (!quitAfterOpen) return;
            window.repaint();
            QApplication::processEvents();
            QApplication::exit(opened ? 0 : 1);
        });
    }
    return QApplication::exec();
}
