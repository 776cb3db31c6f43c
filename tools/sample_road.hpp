// The road of one picket on the sample plan (examples/plan.dxf): the picket
// by the route's two ends, then the relief height of each of its points,
// either "Указать" on a survey text or "Авто". ./run.sh gives the same road to
// the batch run (scripts/sample_road.sh), the user guide tells it step by
// step, the road test walks it in the window and the guide's screenshots are
// taken on it; tests/app/sample_road_test.cpp keeps all of them equal to this list.
#pragma once

#include <array>
#include <charconv>
#include <string>
#include <vector>

namespace sample_road {

struct PlanPoint {
    double x;
    double y;
};

// The route's ends, plan millimetres.
inline constexpr PlanPoint kFrom{285000.0, 5975000.0};
inline constexpr PlanPoint kTo{717344.0, 6012639.0};

// Point by point from the picket's start: the handle of the survey text whose
// number "Указать" takes as the relief height; nullptr: "Авто", the height
// interpolated between its neighbours. The texts stand beside the route's
// vertices and the middles of its stretches; the other points are crossings.
inline constexpr std::array<const char*, 23> kHeightTexts{
    "78", "7C", nullptr, "80", "82",    "84",    nullptr, nullptr, "88", nullptr, "8C", "8E",
    "90", "94", nullptr, "98", nullptr, nullptr, "9C",    "9E",    "A0", "A4",    "A8"};

inline constexpr int kPointCount = static_cast<int>(kHeightTexts.size());

// The picket and the heights as options of `kernavisto-cli profile`, in the
// order the window takes the steps.
inline std::vector<std::string> cliOptions() {
    auto number = [](auto v) {
        char buf[32];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
        return std::string(buf, ec == std::errc() ? end : buf);
    };
    auto point = [&number](PlanPoint p) { return number(p.x) + "," + number(p.y); };
    std::vector<std::string> options{"--from", point(kFrom), "--to", point(kTo)};
    for (int k = 1; k <= kPointCount; ++k) {
        const char* text = kHeightTexts[static_cast<std::size_t>(k - 1)];
        if (text) {
            options.insert(options.end(), {"--pick-height", number(k) + "=" + text});
        } else {
            options.insert(options.end(), {"--edit", number(k) + ":relief=Авто"});
        }
    }
    return options;
}

}  // namespace sample_road
