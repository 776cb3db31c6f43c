// The whole road on the sample plan through the command line: the picket
// taken into work, its profile built, the drawing saved and the sheet plotted.
// The saved drawing must pass an independent reader's audit and the PDF must
// be one page of the sheet's paper size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "shell_util.hpp"

namespace fs = std::filesystem;

namespace {

using testutil::quote;
using testutil::readText;

using testutil::shell;

class SamplePlan : public testing::Test {
  protected:
    const testutil::ScratchDir dir{"kv_profile_cli"};
};

// The first point's height is given and walking the points carries it on.
TEST_F(SamplePlan, ProfileIsBuiltSavedAndPlottedOnOnePage) {
    const fs::path out = dir / "profile.dxf";
    const fs::path pdf = dir / "sheet.pdf";
    const fs::path png = dir / "sheet.png";
    const fs::path svg = dir / "sheet.svg";
    const fs::path dump = dir / "dump.json";
    const std::string command =
        quote(KV_CLI) + " profile " + quote(KV_SOURCE_DIR "/examples/plan.dxf") +
        " --from 285000,5975000 --to 717344,6012639 --separator , --edit 1:relief=100 --walk"
        " -o " +
        quote(out) + " --pdf " + quote(pdf) + " --png " + quote(png) + " --svg " + quote(svg) +
        " --dump " + quote(dump);
    auto [code, output] = shell(command);
    ASSERT_EQ(code, 0) << output;

    auto j = nlohmann::json::parse(readText(dump));
    EXPECT_EQ(j["profileBuilt"], 1);
    EXPECT_TRUE(j["messages"].empty());
    const auto& points = j["pikets"][0]["points"];
    ASSERT_GT(points.size(), 2u);
    // The run measured the picket along its points and set the datum from the heights.
    const double last = points.back()["values"][9].get<double>();
    EXPECT_EQ(j["piketLength"].get<double>(), last);
    EXPECT_GT(last, 400000.0);
    double lowest = 1e9;
    for (const auto& p : points) {
        if (p["values"][2].get<double>() != -1.0)
            lowest = std::min(lowest, p["values"][2].get<double>());
    }
    EXPECT_EQ(j["horizonLevel"].get<double>(), std::trunc(lowest - 5.0));

    // An independent reader audits the saved drawing and finds the profile in it.
    const std::string audit = R"(
import sys, ezdxf
from ezdxf import recover
doc, auditor = recover.readfile(sys.argv[1])
if auditor.has_errors:
    for e in auditor.errors: print(e.message)
    sys.exit(1)
msp = doc.modelspace()
print(len(msp.query('LINE[layer=="Vline-Kernavisto"]')), len(msp.query('DIMENSION')))
)";
    const fs::path script = dir / "audit.py";
    std::ofstream(script) << audit;
    auto [auditCode, auditOut] = shell("/usr/bin/python3 " + quote(script) + " " + quote(out));
    ASSERT_EQ(auditCode, 0) << auditOut;
    int pointLines = 0, dimensions = 0;
    ASSERT_EQ(std::sscanf(auditOut.c_str(), "%d %d", &pointLines, &dimensions), 2) << auditOut;
    EXPECT_EQ(pointLines, static_cast<int>(points.size()));
    EXPECT_GT(dimensions, 0);  // the sample route bends

    // One page of 1260 x 297 mm.
    auto [infoCode, info] = shell("pdfinfo " + quote(pdf));
    ASSERT_EQ(infoCode, 0) << info;
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
    double w = 0, h = 0;
    const auto at = info.find("Page size:");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &w, &h), 2) << info;
    EXPECT_NEAR(w, 1260 / 25.4 * 72, 1.0);
    EXPECT_NEAR(h, 297 / 25.4 * 72, 1.0);
    EXPECT_GT(fs::file_size(png), 0u);
    EXPECT_NE(readText(svg).find("<svg"), std::string::npos);
}

// A user's session on the sample: walk the points (the first becomes automatic
// and every point after it takes the one before), pick the heights of both ends
// from the survey texts, add a crossing between the first two points, build.
TEST_F(SamplePlan, EditedHeightsAndAnAddedPointReachTheProfile) {
    const fs::path out = dir / "edited.dxf";
    const fs::path dump = dir / "edited.json";
    const std::string command =
        quote(KV_CLI) + " profile " + quote(KV_SOURCE_DIR "/examples/plan.dxf") +
        " --from 285000,5975000 --to 717344,6012639 --separator , --walk"
        " --pick-height 1=78 --pick-height 23=A8 --add-point 303815,5977644.5"
        " --edit 2:pipe=160 -o " +
        quote(out) + " --dump " + quote(dump);
    auto [code, output] = shell(command);
    ASSERT_EQ(code, 0) << output;

    auto j = nlohmann::json::parse(readText(dump));
    EXPECT_EQ(j["profileBuilt"], 1);
    const auto& points = j["pikets"][0]["points"];
    ASSERT_EQ(points.size(), 24u);
    // The added point stands second along the route and has no drawing object.
    EXPECT_TRUE(points[1]["object"].is_null());
    EXPECT_DOUBLE_EQ(points[1]["values"][0].get<double>(), 303815.0);
    EXPECT_DOUBLE_EQ(points[1]["values"][1].get<double>(), 5977644.5);
    EXPECT_DOUBLE_EQ(points[1]["values"][4].get<double>(), 160.0);
    // Picked ends, everything between interpolated along the chainage.
    EXPECT_DOUBLE_EQ(points[0]["values"][2].get<double>(), 150.8);
    EXPECT_DOUBLE_EQ(points[23]["values"][2].get<double>(), 150.82);
    double previous = 150.8;
    for (const auto& p : points) {
        const double relief = p["values"][2].get<double>();
        EXPECT_GE(relief, previous - 1e-9);
        EXPECT_LE(relief, 150.82 + 1e-9);
        previous = relief;
    }
    EXPECT_EQ(j["horizonLevel"].get<double>(), 145.0);

    // The saved drawing has one point line per point, the added one included.
    const fs::path script = dir / "count.py";
    std::ofstream(script)
        << "import sys, ezdxf\n"
           "doc = ezdxf.readfile(sys.argv[1])\n"
           "print(len(doc.modelspace().query('LINE[layer==\"Vline-Kernavisto\"]')))\n";
    auto [countCode, countOut] = shell("/usr/bin/python3 " + quote(script) + " " + quote(out));
    ASSERT_EQ(countCode, 0) << countOut;
    EXPECT_EQ(std::atoi(countOut.c_str()), 24);
}

}  // namespace
