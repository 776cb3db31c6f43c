// A route whose ground climbs more than the profile area holds, through the
// command line: the saved sheet steps its datum and keeps every line of the
// profile inside the area; the user's datum is taken or refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cad/drawing.hpp"
#include "shell_util.hpp"

namespace fs = std::filesystem;

namespace {

using testutil::quote;
using testutil::runProfileCommand;

constexpr double kX0 = 3000000.0;
constexpr double kY0 = 7000000.0;
constexpr double kDatumY = 82500.0;
constexpr double kAreaTop = 143500.0;  // the inner frame less the room kept under it

class SteepRoute : public testing::Test {
  protected:
    void SetUp() override {
        auto plan = cad::Drawing::create("AC1015");
        plan->addLine({kX0, kY0, 0}, {kX0 + 400000, kY0, 0}).setLayer("Трасса - Kernavisto");
        // 40 m up over the 400 m of the route, a pair of spot heights every 20 m.
        for (double x = -20000; x <= 420000; x += 20000) {
            char text[32];
            std::snprintf(text, sizeof text, "%.2f", 120.0 + 40.0 * x / 400000.0);
            plan->addText(text, {kX0 + x, kY0 + 10000, 0}, 800).setLayer("Отметки");
            plan->addText(text, {kX0 + x, kY0 - 10000, 0}, 800).setLayer("Отметки");
        }
        dir = fs::temp_directory_path() / ("kv_datum_cli_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        plan->saveAs(dir / "plan.dxf");
    }
    void TearDown() override { fs::remove_all(dir); }

    testutil::CliResult run(const std::vector<std::string>& more) {
        std::vector<std::string> args = {(dir / "plan.dxf").string(),
                                         "--from",
                                         std::to_string(kX0) + "," + std::to_string(kY0),
                                         "--to",
                                         std::to_string(kX0 + 400000) + "," + std::to_string(kY0),
                                         "--ground-layer",
                                         "Отметки",
                                         "--ground-step",
                                         "20",
                                         "-o",
                                         (dir / "out.dxf").string()};
        args.insert(args.end(), more.begin(), more.end());
        return runProfileCommand(KV_CLI, args, dir);
    }

    // The texts and the lines of the sheet (it stands at the origin, far from the plan).
    std::vector<std::pair<std::string, cad::Point3>> sheetTexts(cad::Drawing& doc) const {
        std::vector<std::pair<std::string, cad::Point3>> out;
        for (const cad::EntityRef& e : doc.modelSpace()) {
            if (const auto* t = cad::geomIf<cad::TextGeom>(e.entity().geom);
                t && t->insertion.x < 1e6) {
                out.emplace_back(t->text, t->insertion);
            }
        }
        return out;
    }

    fs::path dir;
};

TEST_F(SteepRoute, TheDatumStepsAndTheProfileStaysInsideTheArea) {
    const auto result = run({"--png", (dir / "sheet.png").string()});
    ASSERT_EQ(result.code, 0) << result.err;
    auto doc = cad::Drawing::open(dir / "out.dxf");
    std::vector<double> stepDatums;
    for (const auto& [text, at] : sheetTexts(*doc)) {
        if (text.rfind("УГ ", 0) == 0) stepDatums.push_back(std::stod(text.substr(5)));
    }
    ASSERT_GE(stepDatums.size(), 3u);
    EXPECT_TRUE(std::is_sorted(stepDatums.begin(), stepDatums.end()));
    EXPECT_GT(stepDatums.back(), 130.0);  // well above the first datum of 115
    std::size_t above = 0;
    for (const cad::EntityRef& e : doc->modelSpace()) {
        const auto* l = cad::geomIf<cad::LineGeom>(e.entity().geom);
        if (!l || l->start.x > 1e6) continue;
        if (std::max(l->start.y, l->end.y) <= kDatumY) continue;       // the table and the frame
        if (l->start.x < 55000.0 || l->start.x >= 627500.0) continue;  // caption column, frames
        ++above;
        EXPECT_LE(std::max(l->start.y, l->end.y), kAreaTop + 1e-6) << l->start.x;
        EXPECT_GE(std::min(l->start.y, l->end.y), kDatumY - 1e-6) << l->start.x;
    }
    EXPECT_GT(above, 60u);
    EXPECT_GT(fs::file_size(dir / "sheet.png"), 1000u);
}

TEST_F(SteepRoute, TheUsersDatumIsTakenOrRefused) {
    const auto taken = run({"--datum", "150", "--separator", ","});
    ASSERT_EQ(taken.code, 0) << taken.err;
    auto doc = cad::Drawing::open(dir / "out.dxf");
    const auto texts = sheetTexts(*doc);
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const auto& t) {
        return t.first == "150,0" && t.second.y == kDatumY + 860;
    }));

    for (const char* bad : {"150.5", "сто", "1e9"}) {
        const auto refused = run({"--datum", bad});
        EXPECT_NE(refused.code, 0) << bad;
        EXPECT_NE(refused.err.find("целым числом метров"), std::string::npos) << refused.err;
    }
}

}  // namespace
