// Writes the sample plan (examples/plan.dxf) and prints where its route
// starts and ends, the two points a picket is defined by.
//
// Usage: make_sample_plan [OUT.dxf]   (default examples/plan.dxf)
#include <cstdio>
#include <exception>
#include <string>

#include "cad/error.hpp"
#include "cad/number_text.hpp"
#include "sample_plan.hpp"

int main(int argc, char** argv) {
    const std::string out = argc > 1 ? argv[1] : "examples/plan.dxf";
    try {
        kvtools::SamplePlan plan = kvtools::makeSamplePlan();
        plan.drawing->saveAs(out);
        const cad::Point3& a = plan.route.front();
        const cad::Point3& b = plan.route.back();
        std::printf("%s: трасса из %zu линий\n", out.c_str(), plan.route.size() - 1);
        std::printf("начало трассы: %s %s\n", cad::fixedText(a.x, 3).c_str(),
                    cad::fixedText(a.y, 3).c_str());
        std::printf("конец трассы:  %s %s\n", cad::fixedText(b.x, 3).c_str(),
                    cad::fixedText(b.y, 3).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Ошибка: %s\n", e.what());
        return 1;
    }
    return 0;
}
