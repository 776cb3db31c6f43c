// Walks the road of one picket on the sample plan through the desktop
// program's window, as the user guide describes it, and takes a picture of
// the window at each step: guide-screenshots PLAN.dxf FOLDER. The picket and
// the heights are those of sample_road.hpp, the ones ./run.sh gives the batch
// run, so the profile is the same.
#include <QDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "app/ground_dialog.hpp"
#include "cad/geometry.hpp"
#include "sample_road.hpp"
#include "window_road.hpp"

namespace {

using window_road::wait;

class Road {
  public:
    Road(app::MainWindow& w, QString folder)
        : w_(w), folder_(std::move(folder)), answers_(w.drawingView()) {}

    void click(const char* button) {
        auto* b = w_.findChild<QToolButton*>(QLatin1String(button));
        if (!b || !b->isEnabled()) {
            std::fprintf(stderr, "Кнопка %s недоступна\n", button);
            std::exit(1);
        }
        QTest::mouseClick(b, Qt::LeftButton);
        wait(100);
    }
    // Answers the next prompt with a click a little off a drawing point, so
    // that object snap has to find it, zoomed in first when asked.
    void pickAt(cad::Point3 world, bool zoomIn) {
        answers_.clickAt(world, QPointF(3, -2), zoomIn ? 25000.0 : 0.0);
    }
    void shot(const char* name) {
        wait(400);
        const QString path = QDir(folder_).filePath(QString::fromLatin1(name));
        if (!window_road::saveShot(w_, path)) std::exit(1);
        std::printf("%s\n", qPrintable(path));
    }

  private:
    app::MainWindow& w_;
    QString folder_;
    window_road::PromptAnswers answers_;
};

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

// The window of "Отметки по съёмке" as it first opens on the plan: the
// layer named for heights offered chosen.
void shootGroundDialog(app::MainWindow& w, const QString& folder) {
    QStringList layers;
    ground::GroundOptions start;
    for (const std::string& name : w.workspace().doc->layerNames()) {
        layers << QString::fromStdString(name);
        if (name == "Отметки") start.layers.push_back(name);
    }
    app::GroundDialog dialog(layers, start, &w);
    dialog.show();
    wait(300);
    const QString path = QDir(folder).filePath(QStringLiteral("05-ground.png"));
    if (!window_road::saveShot(dialog, path)) std::exit(1);
    std::printf("%s\n", qPrintable(path));
}

int walk(app::MainWindow& w, const QString& folder) {
    QDir().mkpath(folder);
    cad::Drawing& doc = *w.workspace().doc;
    Road road(w, folder);
    road.shot("01-plan.png");

    road.click("SpeedButton1");
    road.shot("02-types.png");

    road.click("SpeedButton2");
    road.pickAt({sample_road::kFrom.x, sample_road::kFrom.y, 0}, true);
    road.pickAt({sample_road::kTo.x, sample_road::kTo.y, 0}, true);
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
    if (points != sample_road::kPointCount) {
        std::fprintf(stderr, "У пикета %d точек, а не %d\n", points, sample_road::kPointCount);
        return 1;
    }
    for (int k = 1; k <= points; ++k) {
        if (const char* text = sample_road::kHeightTexts[static_cast<std::size_t>(k - 1)]) {
            road.pickAt(window_road::centreOf(doc.entityByHandle(text)), false);
            road.click("SpeedButton26");
        } else {
            road.click("SpeedButton25");
        }
        if (k == 2) {
            road.shot("05-editor.png");
            shootGroundDialog(w, folder);
        }
        if (k < points) road.click("SpeedButton21");
    }

    road.click("SpeedButton28");
    showLayers(w.drawingView(), doc, {"Kernavisto"});
    road.shot("06-profile.png");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return window_road::runOnPlan(argc, argv, "guide-screenshots ЧЕРТЁЖ.dxf КАТАЛОГ",
                                  {QSize(1400, 860), true, true}, walk);
}
