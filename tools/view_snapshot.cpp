// A picture of a drawing as the desktop program's drawing view shows it:
// view_snapshot FILE.dxf OUT.png [WIDTH HEIGHT [ZOOM [X Y]]] (ZOOM magnifies
// about the middle of the drawing or about X, Y). For the README and for
// looking at what the view draws without a display (offscreen platform).
#include <QApplication>
#include <QPixmap>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "app/view/drawing_view.hpp"
#include "cad/drawing.hpp"

namespace {

int number(const char* text, int fallback) {
    int v = fallback;
    std::string_view s(text);
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && end == s.data() + s.size() && v > 16 && v < 10000 ? v : fallback;
}

double real(const char* text, double fallback) {
    double v = fallback;
    std::string_view s(text);
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && end == s.data() + s.size() && std::isfinite(v) ? v : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5 && argc != 6 && argc != 8) {
        std::fprintf(stderr,
                     "Использование: view_snapshot ФАЙЛ.dxf КАРТИНКА.png [ШИРИНА ВЫСОТА "
                     "[УВЕЛИЧЕНИЕ [X Y]]]\n");
        return 2;
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    QApplication qapp(argc, argv);
    try {
        auto drawing = cad::Drawing::open(argv[1]);
        app::DrawingView view;
        view.resize(argc >= 5 ? number(argv[3], 1280) : 1280,
                    argc >= 5 ? number(argv[4], 800) : 800);
        view.show();
        view.setDrawing(drawing.get());
        if (argc >= 6) {
            cad::Box2 all = view.scene().extents();
            cad::Point3 centre{(all.minX + all.maxX) / 2, (all.minY + all.maxY) / 2, 0};
            if (argc == 8) centre = {real(argv[6], centre.x), real(argv[7], centre.y), 0};
            double zoom = real(argv[5], 1.0);
            double height = view.drawingArea()->height() / view.screenMap().scale;
            if (zoom > 0) view.zoomCenter(*drawing, centre, height / zoom);
        }
        QApplication::processEvents();
        if (!view.drawingArea()->grab().save(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "Не удалось записать %s\n", argv[2]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
