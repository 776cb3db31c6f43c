// A 2 km route with its ground from spot heights, through the command line:
// one PDF of a page a sheet, a PNG a sheet, the ground heights from the
// survey and the chainage going on from sheet to sheet.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "cad/drawing.hpp"
#include "shell_util.hpp"

namespace fs = std::filesystem;

namespace {

using testutil::quote;
using testutil::readText;

using testutil::shell;

constexpr double kX0 = 5000000.0;
constexpr double kY0 = 6000000.0;

// Ground rising 4 m per km eastwards from 140 m.
double ground(double x) {
    return 140.0 + 4.0 * (x - kX0) / 1000000.0;
}

class LongRoute : public testing::Test {
  protected:
    void SetUp() override {
        auto plan = cad::Drawing::create("AC1015");
        plan->addLine({kX0, kY0, 0}, {kX0 + 2000000, kY0, 0}).setLayer("Трасса - Kernavisto");
        for (double x = 130000; x < 2000000; x += 310000) {
            plan->addLine({kX0 + x, kY0 - 50000, 0}, {kX0 + x, kY0 + 50000, 0})
                .setLayer("Водопровод - Kernavisto");
        }
        for (double x = -20000; x <= 2020000; x += 40000) {
            for (double y : {-30000.0, 30000.0}) {
                char text[32];
                std::snprintf(text, sizeof text, "%.3f", ground(kX0 + x));
                plan->addText(text, {kX0 + x, kY0 + y, 0}, 800).setLayer("Отметки");
            }
        }
        plan->saveAs(dir / "plan.dxf");
    }
    const testutil::ScratchDir dir{"kv_long_route"};
};

TEST_F(LongRoute, GroundFromTheSurveyOnFourPagesOfOnePdf) {
    const fs::path pdf = dir / "long.pdf";
    const fs::path png = dir / "long.png";
    const fs::path dump = dir / "long.json";
    auto [code, output] =
        shell(quote(KV_CLI) + " profile " + quote(dir / "plan.dxf") + " --from " +
              std::to_string(kX0) + "," + std::to_string(kY0) + " --to " +
              std::to_string(kX0 + 2000000) + "," + std::to_string(kY0) +
              " --ground-layer Отметки --ground-step 20 --sheets -o " + quote(dir / "out.dxf") +
              " --pdf " + quote(pdf) + " --png " + quote(png) + " --dump " + quote(dump));
    ASSERT_EQ(code, 0) << output;
    EXPECT_NE(output.find("Прочитано отметок: 104"), std::string::npos) << output;

    // 2 km at 1:500: sheets ending at 500, 1000 and 1500 m, and the rest.
    auto [infoCode, info] = shell("pdfinfo " + quote(pdf));
    ASSERT_EQ(infoCode, 0) << info;
    EXPECT_NE(info.find("Pages:           4\n"), std::string::npos) << info;
    for (const char* name : {"long.png", "long-2.png", "long-3.png", "long-4.png"}) {
        EXPECT_GT(fs::file_size(dir / name), 1000u) << name;
    }
    EXPECT_FALSE(fs::exists(dir / "long-5.png"));
    auto [ppmCode, ppm] =
        shell("pdftoppm -r 20 -f 3 -l 3 -png " + quote(pdf) + " " + quote(dir / "page"));
    ASSERT_EQ(ppmCode, 0) << ppm;

    const auto j = nlohmann::json::parse(readText(dump));
    const auto& points = j["pikets"][0]["points"];
    // The route's ends, seven crossings and a ground point every 20 m between
    // them, save where a crossing stands on the 20 m itself (440, 1060, 1680 m).
    ASSERT_EQ(points.size(), 2u + 7u + 99u - 3u);
    double previous = -1.0;
    for (const auto& p : points) {
        const auto& v = p["values"];
        EXPECT_NEAR(v[2].get<double>(), ground(v[0].get<double>()), 0.0006) << v;
        EXPECT_GT(v[9].get<double>(), previous);
        previous = v[9].get<double>();
    }
    EXPECT_DOUBLE_EQ(previous, 2000000.0);
}

}  // namespace
