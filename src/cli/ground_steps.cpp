#include "cli/ground_steps.hpp"

#include <charconv>

#include "cad/error.hpp"
#include "cad/text_util.hpp"
#include "model/value_checks.hpp"

namespace cli {

void GroundStepOptions::add(CLI::App& cmd) {
    const CLI::Range distance(model::kSurveyDistanceLimit.min, model::kSurveyDistanceLimit.max);
    cmd.add_option("--ground-layer", layers,
                   "Слой отметок съёмки для «Отметки по съёмке» (можно несколько раз)")
        ->allow_extra_args(false);
    cmd.add_option("--ground-step", step, "Точки земли через столько метров (0 — без них)")
        ->check(distance);
    cmd.add_option("--ground-max-edge", maxEdge,
                   "Наибольшая сторона треугольника поверхности, м (0 — без предела; по "
                   "умолчанию 100)")
        ->check(distance);
    cmd.add_option("--ground-near", near,
                   "Точка вне поверхности берёт отметку съёмочной точки не дальше стольких метров "
                   "(0 — не брать; по умолчанию 1)")
        ->check(distance);
    cmd.add_flag("--ground-replace", replace, "Заменять и отметки, заданные вручную");
    crossSurveyOption =
        cmd.add_option("--cross-survey", crossSurvey,
                       "«Верх сетей по съёмке»: верх пересекаемой сети — по отметке на её слое не "
                       "дальше стольких метров от пересечения (по умолчанию 1); введённый или "
                       "указанный верх остаётся")
            ->expected(0, 1);
}

ground::GroundOptions GroundStepOptions::groundOptions() const {
    ground::GroundOptions o;
    o.layers = layers;
    o.stepMetres = step;
    o.maxEdgeMetres = maxEdge;
    o.nearMetres = near;
    o.replace = replace;
    return o;
}

double GroundStepOptions::crossReach() const {
    const std::string text(cad::trim(crossSurvey));
    if (text.empty()) return 1.0;
    double reach = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), reach);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        throw cad::Error("--cross-survey: «" + cad::validUtf8(text) +
                         "» — не число метров (например, --cross-survey=1.5)");
    }
    return reach;
}

}  // namespace cli
