#include "ground/survey_ground.hpp"

#include <cmath>
#include <cstddef>

#include "cad/error.hpp"
#include "ground/surface.hpp"
#include "model/primitives.hpp"
#include "model/units.hpp"
#include "model/value_checks.hpp"

namespace ground {

namespace {

// Enough for a route of a hundred kilometres at a metre: more is a typing slip.
constexpr double kMaxAddedPoints = 100000.0;

void check(bool ok, const std::string& what) {
    if (!ok) throw cad::Error(what);
}

std::string layerList(const std::vector<std::string>& layers) {
    std::string s;
    for (const std::string& l : layers) s += (s.empty() ? "«" : ", «") + l + "»";
    return s;
}

bool handSet(const model::PiketPoint& point) {
    const std::optional<double> relief = point.relief.height();
    return relief && point.survey != relief;
}

// Heights go into the picket to the millimetre, as a surveyor writes them.
double toMillimetre(double metres) {
    return model::roundHalfEven(metres * 1000.0) / 1000.0;
}

void setSurveyed(model::PiketPoint& point, double height) {
    point.relief = model::Relief::typed(height);
    point.survey = height;
}

double distance(const model::PiketPoint& a, const model::PiketPoint& b) {
    return std::hypot(b.x - a.x, b.y - a.y);
}

// Ground points between the points of the picket at whole multiples of the
// step from its start; rows and objects are rebuilt with them in place.
// newIndex gets the new index of every earlier point.
int addGroundPoints(model::Workspace& ws, model::Piket& piket, const Surface& surface, double step,
                    std::vector<int>& newIndex) {
    const std::size_t n = piket.points.size();
    std::vector<model::PiketPoint> rows;
    std::vector<cad::EntityRef> objects;
    newIndex.assign(n, 0);
    int added = 0;
    double c0 = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        newIndex[i] = static_cast<int>(rows.size());
        rows.push_back(piket.points[i]);
        objects.push_back(i < piket.pointObjects.size() ? piket.pointObjects[i] : cad::EntityRef{});
        if (i + 1 == n) break;
        const model::PiketPoint& a = piket.points[i];
        const model::PiketPoint& b = piket.points[i + 1];
        const double length = distance(a, b);
        const double c1 = c0 + length;
        const double margin = step / 10.0;
        for (double j = std::floor(c0 / step) + 1.0; j * step < c1; j += 1.0) {
            const double at = j * step;
            if (at - c0 < margin || c1 - at < margin) continue;
            const double t = (at - c0) / length;
            const double x = a.x + (b.x - a.x) * t;
            const double y = a.y + (b.y - a.y) * t;
            const auto h = surface.heightAt(x, y);
            if (!h) continue;
            model::PiketPoint ground;
            ground.x = x;
            ground.y = y;
            // No depth: the pipe keeps its course between crossings.
            ground.pipe = a.pipe;
            ground.casing = a.casing;
            ground.kind = model::PointKind::Ground;
            setSurveyed(ground, toMillimetre(*h));
            rows.push_back(ground);
            objects.emplace_back();
            ++added;
        }
        c0 = c1;
    }
    if (added > 0) {
        if (ws.workPoint >= 0 && static_cast<std::size_t>(ws.workPoint) < n) {
            ws.workPoint = newIndex[static_cast<std::size_t>(ws.workPoint)];
        }
        piket.points = std::move(rows);
        piket.pointObjects = std::move(objects);
    }
    return added;
}

double routeLength(const model::Piket& piket) {
    double total = 0.0;
    for (std::size_t i = 1; i < piket.points.size(); ++i) {
        total += distance(piket.points[i - 1], piket.points[i]);
    }
    return total;
}

// The editor's labels follow the points: count, number and height of the
// current point.
void showInEditor(model::Workspace& ws, const model::Piket& piket) {
    model::Controls& c = ws.controls;
    c.pointCountText = std::to_string(piket.pointCount());
    if (piket.pointCount() == 0) return;
    if (ws.workPoint < 0 || ws.workPoint >= piket.pointCount()) return;
    c.pointNumberText = std::to_string(ws.workPoint + 1);
    const model::PiketPoint& point = piket.points[static_cast<std::size_t>(ws.workPoint)];
    c.reliefText =
        point.relief.rule == model::Relief::Rule::Auto
            ? "Авто"
            : model::formatNumber(model::rowOf(point)[model::kRelief], ws.decimalSeparator);
}

}  // namespace

GroundReport fillGroundFromSurvey(model::Workspace& ws, const GroundOptions& o) {
    model::Piket* piket = ws.piketInWork();
    check(piket != nullptr, "Нет пикета в работе: сначала возьмите пикет в работу.");
    check(ws.doc != nullptr && ws.doc->isOpen(), "Нет открытого проекта: откройте чертёж плана.");
    check(!o.layers.empty(), "Не задан слой отметок съёмки.");
    check(std::isfinite(o.unitsPerMetre) && o.unitsPerMetre >= 0.0,
          "Число единиц плана в метре должно быть больше нуля.");
    const double unitsPerMetre = o.unitsPerMetre > 0.0
                                     ? o.unitsPerMetre
                                     : 1000.0 / model::millimetresPerUnit(ws.controls.planUnits);
    check(model::kSurveyDistanceLimit.holds(o.stepMetres),
          "Шаг точек земли должен быть числом метров от 0 до 100 000 (0 — без новых точек).");
    check(model::kSurveyDistanceLimit.holds(o.maxEdgeMetres),
          "Наибольшая сторона треугольника должна быть числом метров от 0 до 100 000 (0 — без "
          "предела).");
    check(model::kSurveyDistanceLimit.holds(o.nearMetres),
          "Расстояние до ближайшей отметки должно быть числом метров от 0 до 100 000 (0 — не "
          "брать).");
    const double step = o.stepMetres * unitsPerMetre;
    if (step > 0.0) {
        check(routeLength(*piket) / step <= kMaxAddedPoints,
              "Шаг точек земли слишком мал для длины пикета: задайте шаг больше.");
    }

    SpotReading reading = readSpotHeights(ws.doc->data(), {o.layers, o.labelReach});
    GroundReport report;
    report.texts = reading.texts;
    report.labelled = reading.labelled;
    report.points = reading.points;
    report.unread = reading.unread;
    if (reading.spots.size() < 3) {
        std::string why = "На слоях " + layerList(o.layers) + " меньше трёх отметок высот (" +
                          std::to_string(reading.spots.size()) +
                          "): поверхность земли не построить.";
        if (!reading.unread.empty()) {
            why += " Не читаются как отметки высот: " + std::to_string(reading.unread.size()) + ".";
        }
        throw cad::Error(why);
    }
    const Surface surface(reading.spots, o.maxEdgeMetres * unitsPerMetre);

    for (std::size_t k = 0; k < piket->points.size(); ++k) {
        model::PiketPoint& point = piket->points[k];
        if (handSet(point) && !o.replace) {
            ++report.keptByHand;
            continue;
        }
        auto h = surface.heightAt(point.x, point.y);
        if (!h) {
            h = surface.nearestSpot(point.x, point.y, o.nearMetres * unitsPerMetre);
            (h ? report.nearSpot : report.outside).push_back(static_cast<int>(k) + 1);
            if (!h) continue;
        }
        setSurveyed(point, toMillimetre(*h));
        ++report.filled;
    }
    if (step > 0.0) {
        std::vector<int> newIndex;
        report.added = addGroundPoints(ws, *piket, surface, step, newIndex);
        // The report names the points by their numbers as they now stand.
        for (std::vector<int>* list : {&report.nearSpot, &report.outside}) {
            for (int& k : *list) k = newIndex[static_cast<std::size_t>(k - 1)] + 1;
        }
    }
    showInEditor(ws, *piket);
    return report;
}

std::string reportText(const GroundReport& r) {
    std::string s = "Прочитано отметок: " + std::to_string(r.texts + r.points) + " (текстов " +
                    std::to_string(r.texts) + ", из них у своих точек " +
                    std::to_string(r.labelled) + "; точек с высотой " + std::to_string(r.points) +
                    ").\n";
    if (!r.unread.empty()) {
        s += "Не читаются как отметки высот (" + std::to_string(r.unread.size()) + "):";
        for (const UnreadText& u : r.unread) {
            s += " «" + u.text + "» (" + cad::formatHandle(u.handle) + ");";
        }
        s.back() = '.';
        s += '\n';
    }
    s += "Отметки по съёмке получили точек: " + std::to_string(r.filled) + ".\n";
    if (r.keptByHand > 0) {
        s += "Заданные вручную отметки сохранены у точек: " + std::to_string(r.keptByHand) + ".\n";
    }
    if (r.added > 0) s += "Добавлено точек земли: " + std::to_string(r.added) + ".\n";
    auto list = [&s](const char* what, const std::vector<int>& points) {
        if (points.empty()) return;
        s += what;
        for (int k : points) s += " " + std::to_string(k);
        s += ".\n";
    };
    list("Вне поверхности съёмки, отметка ближайшей съёмочной точки рядом, точки:", r.nearSpot);
    list("Вне поверхности съёмки (отметки не изменены), точки:", r.outside);
    return s;
}

}  // namespace ground
