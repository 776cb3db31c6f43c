#include "cli/ground_steps.hpp"

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

}  // namespace cli
