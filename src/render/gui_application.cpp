#include "render/gui_application.hpp"

#include <QCoreApplication>
#include <QGuiApplication>

#include "cad/error.hpp"

namespace render {

void ensureGuiApplication() {
    QCoreApplication* existing = QCoreApplication::instance();
    if (qobject_cast<QGuiApplication*>(existing)) return;
    if (existing) throw cad::Error("Для печати нужно графическое приложение Qt");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "kernavisto";
    static char* argv[] = {name, nullptr};
    // Lives until the program ends, as a Qt application must.
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

}  // namespace render
