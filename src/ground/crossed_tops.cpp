#include "ground/crossed_tops.hpp"

#include <cmath>
#include <limits>
#include <map>
#include <optional>

#include "cad/error.hpp"
#include "ground/spot_heights.hpp"
#include "model/crossed.hpp"
#include "model/units.hpp"
#include "model/value_checks.hpp"

namespace ground {

namespace {

// The height texts of a layer; marks and polyline vertices carry the ground,
// not the utility.
std::vector<Spot> heightTexts(const cad::DrawingData& drawing, const std::string& layer) {
    SpotReading reading = readSpotHeights(drawing, {{layer}, 4.0});
    reading.spots.resize(static_cast<std::size_t>(reading.texts));
    return reading.spots;
}

std::optional<double> nearestWithin(const std::vector<Spot>& spots, double x, double y,
                                    double reach) {
    std::optional<double> best;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const Spot& s : spots) {
        const double d = std::hypot(s.x - x, s.y - y);
        if (d <= reach && d < bestDistance) {
            bestDistance = d;
            best = s.z;
        }
    }
    return best;
}

std::string pointList(const std::vector<int>& points) {
    std::string s;
    for (int p : points) s += (s.empty() ? "" : ", ") + std::to_string(p);
    return s;
}

}  // namespace

CrossedTopsReport crossedTopsFromSurvey(model::Workspace& ws, double reachMetres) {
    model::Piket* piket = ws.piketInWork();
    if (!piket) throw cad::Error("Нет пикета в работе: сначала возьмите пикет в работу.");
    if (!ws.doc || !ws.doc->isOpen())
        throw cad::Error("Нет открытого проекта: откройте чертёж плана.");
    if (!(reachMetres > 0.0) || !model::kSurveyDistanceLimit.holds(reachMetres)) {
        throw cad::Error(
            "Расстояние от пересечения до отметки верха должно быть числом метров больше 0 и не "
            "больше 100 000.");
    }
    const double reach = reachMetres * 1000.0 / model::millimetresPerUnit(ws.controls.planUnits);
    std::map<std::string, std::vector<Spot>> byLayer;
    CrossedTopsReport report;
    for (std::size_t k = 0; k < piket->points.size(); ++k) {
        if (!model::notCrossingWhy(ws.controls, *piket, k).empty()) continue;
        const int number = static_cast<int>(k) + 1;
        model::Crossed crossed = model::crossedAt(*piket, k);
        if (crossed.top && crossed.top->foundBy != model::FoundBy::Survey) {
            report.kept.push_back(number);
            continue;
        }
        const std::string layer = piket->pointObjects[k].layer();
        auto texts = byLayer.find(layer);
        if (texts == byLayer.end())
            texts = byLayer.emplace(layer, heightTexts(ws.doc->data(), layer)).first;
        const model::PiketPoint& point = piket->points[k];
        const std::optional<double> top = nearestWithin(texts->second, point.x, point.y, reach);
        if (!top || !model::kCrossTopLimit.holds(*top)) {
            report.none.push_back(number);
            continue;
        }
        crossed.top = model::CrossedValue{*top, model::FoundBy::Survey};
        model::setCrossed(*piket, k, crossed);
        report.found.push_back(number);
    }
    return report;
}

std::string reportText(const CrossedTopsReport& r) {
    if (r.found.empty() && r.kept.empty() && r.none.empty())
        return "Верх сетей по съёмке: в пикете нет пересечений с сетями.\n";
    const std::size_t all = r.found.size() + r.kept.size() + r.none.size();
    std::string s = "Верх сетей по съёмке найден у " + std::to_string(r.found.size()) + " из " +
                    std::to_string(all) + " пересечений" +
                    (r.found.empty() ? "" : " (точки " + pointList(r.found) + ")") + ".\n";
    if (!r.none.empty())
        s += "Нет отметки верха рядом с пересечением у точек: " + pointList(r.none) + ".\n";
    if (!r.kept.empty())
        s += "Верх, введённый или указанный, оставлен у точек: " + pointList(r.kept) + ".\n";
    return s;
}

}  // namespace ground
