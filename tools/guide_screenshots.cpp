// Walks the road of one picket on the sample plan through the desktop
// program's window, as the user guide describes it, and takes a picture of
// the window at each step: guide-screenshots PLAN.dxf FOLDER. The heights are
// the ones ./run.sh gives the batch run, so the profile is the same.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>

#include "app/main_window.hpp"
#include "cad/drawing.hpp"
#include "cad/geometry.hpp"

namespace {

const cad::Point3 kRouteStart{285000.0, 5975000.0, 0.0};

// Point number (from 1) -> the survey text its height is picked from; the
// points not listed are left to interpolation ("Авто").
const std::map<int, const char*> kPickedHeights{
    {1, "78"},  {2, "7C"},  {4, "80"},  {5, "82"},  {6, "84"},  {9, "88"},  {11, "8C"}, {12, "8E"},
    {13, "90"}, {14, "94"}, {16, "98"}, {19, "9C"}, {20, "9E"}, {21, "A0"}, {22, "A4"}, {23, "A8"}};

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class Road {
  public:
    Road(app::MainWindow& w, QString folder) : w_(w), folder_(std::move(folder)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!w_.drawingView().prompting() || steps_.empty()) return;
            std::function<void()> step = std::move(steps_.front());
            steps_.pop_front();
            step();
        });
        timer_.start();
    }

    void click(const char* button) {
        auto* b = w_.findChild<QToolButton*>(QLatin1String(button));
        if (!b || !b->isEnabled()) {
            std::fprintf(stderr, "Кнопка %s недоступна\n", button);
            std::exit(1);
        }
        QTest::mouseClick(b, Qt::LeftButton);
        wait(100);
    }
    // Answers the next prompt with a click at a drawing point, zoomed in first
    // when asked, a little off so that object snap has to find it.
    void pickAt(cad::Point3 world, bool zoomIn) {
        steps_.push_back([this, world, zoomIn] {
            app::DrawingView& v = w_.drawingView();
            if (zoomIn) v.zoomCenter(*v.drawing(), world, 25000);
            const QPoint p = (v.toScreen(world) + QPointF(3, -2)).toPoint();
            QTest::mouseMove(v.drawingArea(), p);
            wait(50);
            QTest::mouseClick(v.drawingArea(), Qt::LeftButton, {}, p);
        });
    }
    void escape() {
        steps_.push_back(
            [this] { QTest::keyClick(w_.drawingView().commandLine(), Qt::Key_Escape); });
    }
    void shot(const char* name) {
        wait(400);
        const QString path = QDir(folder_).filePath(QString::fromLatin1(name));
        if (!w_.grab().save(path)) {
            std::fprintf(stderr, "Не удалось записать снимок «%s»\n", qPrintable(path));
            std::exit(1);
        }
        std::printf("%s\n", qPrintable(path));
    }

  private:
    app::MainWindow& w_;
    QString folder_;
    QTimer timer_;
    std::deque<std::function<void()>> steps_;
};

cad::Point3 centreOf(cad::Drawing& d, const char* handle) {
    cad::EntityRef e = d.entityByHandle(handle);
    const cad::Box2 b = cad::entityBounds(d.data(), e.entity());
    return {(b.minX + b.maxX) / 2, (b.minY + b.maxY) / 2, 0};
}

// Shows the entities on the given layers whole.
void showLayers(app::DrawingView& view, cad::Drawing& d,
                std::initializer_list<const char*> layers) {
    cad::Box2 box;
    for (const cad::EntityRef& e : d.modelSpace()) {
        bool wanted = false;
        for (const char* l : layers) wanted = wanted || e.layer() == l;
        if (!wanted) continue;
        const cad::Box2 b = cad::entityBounds(d.data(), e.entity());
        box.minX = std::min(box.minX, b.minX);
        box.minY = std::min(box.minY, b.minY);
        box.maxX = std::max(box.maxX, b.maxX);
        box.maxY = std::max(box.maxY, b.maxY);
    }
    const QSize area = view.drawingArea()->size();
    const double aspect = double(area.width()) / std::max(1, area.height());
    const double height = std::max(box.maxY - box.minY, (box.maxX - box.minX) / aspect) * 1.05;
    view.zoomCenter(d, {(box.minX + box.maxX) / 2, (box.minY + box.maxY) / 2, 0}, height);
}

cad::Point3 routeEnd(cad::Drawing& d) {
    cad::Point3 end = kRouteStart;
    for (const cad::EntityRef& e : d.modelSpace())
        if (e.layer() == "Трасса - Kernavisto" && e.dxfType() == "LINE") end = e.endPoint();
    return end;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Использование: guide-screenshots ЧЕРТЁЖ.dxf КАТАЛОГ\n");
        return 2;
    }
    QApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);
    app::Dialogs dialogs = app::standardDialogs();
    dialogs.showMessage = [](QWidget*, const QString& text) {
        std::fprintf(stderr, "Сообщение: %s\n", text.toLocal8Bit().constData());
        std::exit(1);
    };
    app::MainWindow w(dialogs, QLocale(QLocale::Russian));
    w.resize(1400, 860);
    w.show();
    wait(300);
    if (!w.openFile(QString::fromLocal8Bit(argv[1]))) return 1;
    cad::Drawing& doc = *w.workspace().doc;
    Road road(w, folder);
    road.shot("01-plan.png");

    road.click("SpeedButton1");
    road.shot("02-types.png");

    road.click("SpeedButton2");
    road.pickAt(kRouteStart, true);
    road.pickAt(routeEnd(doc), true);
    road.click("SpeedButton17");
    showLayers(w.drawingView(), doc,
               {"Трасса - Kernavisto", "Подводы - Kernavisto", "Водопровод - Kernavisto",
                "Теплотрасса - Kernavisto", "Асфальт - Kernavisto"});
    auto* list = w.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
    list->setCurrentItem(list->topLevelItem(0));
    road.shot("03-picket.png");

    road.click("SpeedButton6");
    showLayers(w.drawingView(), doc, {"Kernavisto"});
    road.shot("04-sheet.png");

    road.click("SpeedButton4");
    const int points = w.workspace().pikets.at(0).pointCount();
    for (int k = 1; k <= points; ++k) {
        auto picked = kPickedHeights.find(k);
        if (picked != kPickedHeights.end()) {
            road.pickAt(centreOf(doc, picked->second), false);
            road.click("SpeedButton26");
        } else {
            road.click("SpeedButton25");
        }
        if (k == 2) road.shot("05-editor.png");
        if (k < points) road.click("SpeedButton21");
    }

    road.click("SpeedButton28");
    showLayers(w.drawingView(), doc, {"Kernavisto"});
    road.shot("06-profile.png");
    return 0;
}
