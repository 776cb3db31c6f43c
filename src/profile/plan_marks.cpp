// The developed plan: a mark at every point for the object the route meets
// there (half marks for connections, on the side they leave to) and an
// angular dimension at every bend of the route.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "model/primitives.hpp"
#include "model/units.hpp"
#include "profile/steps.hpp"

namespace profile::detail {

namespace {

double sign(double v) {
    return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0);
}

// Coordinates compare by their four leading digits.
bool samePlace(const cad::Point3& a, double x, double y) {
    return model::FourDigitRound(a.x) == model::FourDigitRound(x) &&
           model::FourDigitRound(a.y) == model::FourDigitRound(y);
}

// The mark looks like the object it stands for; a point without an object
// keeps the sheet layer.
void lookLike(cad::EntityRef& mark, const cad::EntityRef& object) {
    if (object.isNull()) return;
    mark.setLayer(object.layer());
    mark.setLineweight(object.lineweight());
}

constexpr double kMarkBottom = kPlanY - sheet::kPlanMarkReach;
constexpr double kMarkTop = kPlanY + sheet::kPlanMarkReach;
constexpr double kHalfMark = sheet::kPlanMarkReach;

}  // namespace

void drawPlanMarks(Run& run) {
    const auto& connections = run.ws.controls.typeList(model::TypeList::Connections);
    // A sheet that goes on from the one above begins at no object.
    if (!run.continues) {
        cad::EntityRef start = run.line(kDataAreaX, kMarkBottom, kDataAreaX, kMarkTop);
        lookLike(start, run.object(0));
    }

    cad::Point3 farEnd{0.0, 0.0, 0.0};  // kept from one connection to the next
    for (int i = 1; i < run.count(); ++i) {
        const cad::EntityRef& object = run.object(i);
        const model::PointRow& p = run.point(i);
        // A ground point from the survey carries the ground line only, and a
        // sheet's end is only where the paper ends: the route meets nothing there.
        if (p[model::kPointKind] != 0.0) continue;
        const model::PointRow& prev = run.point(i - 1);
        const double x = run.x(i);
        double side = 0.0;
        if (onLayerList(object, connections)) {
            const cad::Point3 a = object.startPoint();
            const cad::Point3 b = object.endPoint();
            if (samePlace(a, p[model::kX], p[model::kY])) farEnd = b;
            if (samePlace(b, p[model::kX], p[model::kY])) farEnd = a;
            side = sign((p[model::kX] - prev[model::kX]) * (farEnd.y - prev[model::kY]) -
                        (p[model::kY] - prev[model::kY]) * (farEnd.x - prev[model::kX]));
        }
        // A connection whose far end lies on the route line leaves to neither
        // side: it gets the full mark.
        cad::EntityRef mark = side == 0.0 ? run.line(x, kMarkBottom, x, kMarkTop)
                                          : run.line(x, kPlanY, x, kPlanY + kHalfMark * side);
        lookLike(mark, object);
    }
}

std::optional<BendDimension> bendAt(const Rows& rows, int i) {
    const auto& pts = rows.points;
    if (i < 1 || i + 1 >= static_cast<int>(pts.size())) return std::nullopt;
    const auto& a = pts[static_cast<std::size_t>(i - 1)];
    const auto& v = pts[static_cast<std::size_t>(i)];
    const auto& b = pts[static_cast<std::size_t>(i + 1)];
    auto dist = [](const model::PointRow& p, const model::PointRow& q) {
        const double dx = p[model::kX] - q[model::kX];
        const double dy = p[model::kY] - q[model::kY];
        return std::sqrt(dx * dx + dy * dy);
    };
    const double d1 = dist(v, a);
    const double d2 = dist(v, b);
    const double d3 = dist(a, b);
    if (d1 == 0.0 || d2 == 0.0) return std::nullopt;  // no direction to measure from
    const double cosine = std::clamp((d1 * d1 + d2 * d2 - d3 * d3) / (2.0 * d1 * d2), -1.0, 1.0);
    const double angle = model::roundHalfEven(std::acos(cosine) * 180.0 / std::numbers::pi);
    if (angle == 0.0 || angle == 180.0) return std::nullopt;
    const double turn = sign((v[model::kX] - a[model::kX]) * (b[model::kY] - a[model::kY]) -
                             (v[model::kY] - a[model::kY]) * (b[model::kX] - a[model::kX]));
    if (turn == 0.0) return std::nullopt;
    const double half = (180.0 - angle) / 2.0;
    const double rise = std::tan(half * std::numbers::pi / 180.0) * 2000.0 * turn;
    const double x = kDataAreaX + v[model::kChainage];
    BendDimension d;
    d.angle = static_cast<int>(angle);
    d.vertex = {x, kPlanY, 0.0};
    d.first = {x - 2000.0, kPlanY + rise, 0.0};
    d.second = {x + 2000.0, kPlanY + rise, 0.0};
    d.textPoint = {x, kPlanY + 2000.0 * turn, 0.0};
    return d;
}

void drawBendAngles(Run& run) {
    if (run.count() <= 2) return;
    for (int i = 1; i + 1 < run.count(); ++i) {
        auto bend = bendAt(run.piket, i);
        if (!bend) continue;
        // bendAt places the bend on a single sheet; move it onto this one.
        const double dx = run.x(i) - bend->vertex.x;
        for (cad::Point3* p : {&bend->vertex, &bend->first, &bend->second, &bend->textPoint}) {
            p->x += dx;
            p->y += run.offsetY;
        }
        auto at = [&run](cad::Point3 p) { return model::sheetPoint(run.ws, p.x, p.y); };
        cad::EntityRef dim = run.ws.sheetDoc->addDimAngular(at(bend->vertex), at(bend->first),
                                                            at(bend->second), at(bend->textPoint));
        dim.setTextHeight(700.0 * model::sheetScale(run.ws));
    }
}

}  // namespace profile::detail
