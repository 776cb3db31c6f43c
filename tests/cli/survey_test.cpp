// The command line on real survey drawings: a plan drawn in metres gives a
// picket as long as the pipe it follows and a sheet that fits its frame;
// `entities` lists what a user needs to type; ends typed near an element snap
// to it; elements that do not join are warned of; coordinates print in full.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "shell_util.hpp"

namespace fs = std::filesystem;

namespace {

using testutil::quote;
using testutil::readText;

const fs::path kSurvey = fs::path(KV_CORPUS_DIR) / "acad2010_ru_topo_survey.dxf";
const fs::path kSample = fs::path(KV_SOURCE_DIR) / "examples" / "plan.dxf";
const std::string kPipeLayer = "_Осветленная вода_Подземка";

using Outcome = testutil::ShellResult;
using testutil::shell;

Outcome cli(const std::vector<std::string>& args) {
    std::string command = quote(KV_CLI);
    for (const std::string& a : args) command += " " + quote(a);
    return shell(command);
}

class Survey : public testing::Test {
  protected:
    const testutil::ScratchDir dir{"kv_survey"};
};

// The length of an entity as an independent reader measures it, in drawing units.
double lengthByEzdxf(const fs::path& file, const std::string& handle, const fs::path& dir) {
    const fs::path script = dir / "length.py";
    std::ofstream(script) << R"(
import sys, math, ezdxf
from ezdxf.math import bulge_to_arc
doc = ezdxf.readfile(sys.argv[1])
e = doc.entitydb[sys.argv[2]]
pts = list(e.get_points('xyb'))
total = 0.0
for (x1, y1, b), (x2, y2, _) in zip(pts, pts[1:]):
    chord = math.hypot(x2 - x1, y2 - y1)
    if b:
        sweep = 4 * math.atan(abs(b))
        total += chord / (2 * math.sin(sweep / 2)) * sweep
    else:
        total += chord
print(repr(total))
)";
    Outcome r = shell("/usr/bin/python3 " + quote(script.string()) + " " + quote(file.string()) +
                      " " + handle);
    return r.code == 0 ? std::stod(r.out) : -1.0;
}

}  // namespace

// The pipe run F872 (208.65 m, eleven vertices) picked by its two ends typed
// to the millimetre: the picket follows every vertex, and its length and last
// chainage are the pipe's length.
TEST_F(Survey, AMetrePlanGivesThePipesLengthAndASheetInsideItsFrame) {
    if (!fs::exists(kSurvey)) {
        GTEST_SKIP() << "нет общего корпуса чертежей (" << kSurvey << "): тест пропущен";
    }
    const fs::path out = dir / "survey.dxf", dump = dir / "survey.json", png = dir / "sheet.png";
    Outcome r =
        cli({"profile", kSurvey.string(), "--route", kPipeLayer, "--from", "3222633.765,541053.996",
             "--to", "3222480.921,541075.072", "--units", "m", "--edit", "1:relief=151.2", "--walk",
             "-o", out.string(), "--png", png.string(), "--dump", dump.string()});
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("привязана к концу объекта F872"), std::string::npos) << r.out;

    auto j = nlohmann::json::parse(readText(dump));
    EXPECT_TRUE(j["messages"].empty()) << j["messages"];
    EXPECT_TRUE(j["warnings"].empty()) << j["warnings"];
    EXPECT_EQ(j["planUnits"], "m");
    ASSERT_EQ(j["pikets"].size(), 1u);
    EXPECT_EQ(j["pikets"][0]["elements"], nlohmann::json::array({"F872"}));
    const auto& points = j["pikets"][0]["points"];
    ASSERT_GE(points.size(), 11u);  // every vertex of the run
    const double expected = lengthByEzdxf(kSurvey, "F872", dir) * 1000.0;  // mm of terrain
    ASSERT_GT(expected, 208000.0);
    const double piketLength = j["piketLength"].get<double>();
    EXPECT_NEAR(piketLength, expected, 10.0);  // to the centimetre
    EXPECT_EQ(points.back()["values"][9].get<double>(), piketLength);
    EXPECT_EQ(points.back()["named"]["chainage"].get<double>(), piketLength);
    EXPECT_EQ(points[0]["named"]["relief"].get<double>(), 151.2);

    // Everything the sheet added lies inside its frame, 630 x 148.5 m at the
    // origin, with texts of paper size at 1:500.
    const fs::path script = dir / "sheet.py";
    std::ofstream(script) << R"(
import sys, ezdxf
doc = ezdxf.readfile(sys.argv[1])
bad = 0; n = 0
for e in doc.modelspace():
    if e.dxf.layer not in ('Kernavisto', 'Vline-Kernavisto'): continue
    if e.dxftype() == 'LINE':
        pts = [e.dxf.start, e.dxf.end]
    elif e.dxftype() == 'TEXT':
        pts = [e.dxf.insert]
        if e.dxf.height > 1.5: bad += 1
    else:
        continue
    n += 1
    for p in pts:
        if not (-0.001 <= p[0] <= 630.001 and -0.001 <= p[1] <= 148.501): bad += 1
print(n, bad)
)";
    Outcome sheet = shell("/usr/bin/python3 " + quote(script.string()) + " " + quote(out.string()));
    ASSERT_EQ(sheet.code, 0) << sheet.out;
    int count = 0, outside = 0;
    ASSERT_EQ(std::sscanf(sheet.out.c_str(), "%d %d", &count, &outside), 2) << sheet.out;
    EXPECT_GT(count, 150);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(fs::file_size(png), 10000u);
}

TEST_F(Survey, TheDefaultMillimetresOnAMetrePlanAreWarnedOf) {
    if (!fs::exists(kSurvey)) {
        GTEST_SKIP() << "нет общего корпуса чертежей (" << kSurvey << "): тест пропущен";
    }
    const fs::path dump = dir / "mm.json";
    Outcome r = cli({"profile", kSurvey.string(), "--route", kPipeLayer, "--elements", "F872",
                     "--no-build", "-o", (dir / "mm.dxf").string(), "--dump", dump.string()});
    ASSERT_EQ(r.code, 0) << r.out;
    auto j = nlohmann::json::parse(readText(dump));
    ASSERT_EQ(j["warnings"].size(), 2u) << j["warnings"];
    EXPECT_NE(j["warnings"][1].get<std::string>().find("--units m"), std::string::npos);
    EXPECT_NE(r.out.find("Предупреждение"), std::string::npos);
}

TEST_F(Survey, InfoPrintsCoordinatesInFull) {
    if (!fs::exists(kSurvey)) {
        GTEST_SKIP() << "нет общего корпуса чертежей (" << kSurvey << "): тест пропущен";
    }
    Outcome r = cli({"info", kSurvey.string()});
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("Границы: (3214759.841, 538956.7217)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("e+"), std::string::npos) << r.out;
}

TEST_F(Survey, EntitiesListWhatAUserTypesAndFilter) {
    Outcome all = cli({"entities", kSample.string(), "--json"});
    ASSERT_EQ(all.code, 0) << all.out;
    auto list = nlohmann::json::parse(all.out);
    ASSERT_GT(list.size(), 30u);
    bool sawRoute = false, sawText = false;
    for (const auto& e : list) {
        if (e["handle"] == "36") {
            sawRoute = true;
            EXPECT_EQ(e["type"], "LINE");
            EXPECT_EQ(e["layer"], "Трасса - Kernavisto");
            EXPECT_EQ(e["start"], nlohmann::json::array({285000.0, 5975000.0}));
            EXPECT_EQ(e["end"], nlohmann::json::array({322630.0, 5980289.0}));
            EXPECT_NEAR(e["length"].get<double>(), 37999.874, 1e-3);
        }
        if (e["handle"] == "7C") {
            sawText = true;
            EXPECT_EQ(e["text"], "150.71");
            EXPECT_TRUE(e["start"].is_null());
        }
    }
    EXPECT_TRUE(sawRoute);
    EXPECT_TRUE(sawText);

    Outcome lines = cli({"entities", kSample.string(), "--layer", "Трасса - Kernavisto", "--type",
                         "line", "--json"});
    ASSERT_EQ(lines.code, 0) << lines.out;
    EXPECT_EQ(nlohmann::json::parse(lines.out).size(), 12u);

    Outcome near = cli({"entities", kSample.string(), "--near", "322600,5983000", "--radius", "100",
                        "--type", "TEXT"});
    ASSERT_EQ(near.code, 0) << near.out;
    EXPECT_NE(near.out.find("7C  TEXT  «Отметки»"), std::string::npos) << near.out;
    EXPECT_NE(near.out.find("Объектов: 1\n"), std::string::npos) << near.out;

    EXPECT_EQ(cli({"entities", kSample.string(), "--near", "1;2", "--radius", "5"}).code, 2);
    EXPECT_EQ(cli({"entities", (dir / "none.dxf").string()}).code, 1);
}

TEST_F(Survey, ElementsThatDoNotJoinAreWarnedOfNamingTheGap) {
    const fs::path dump = dir / "gap.json";
    // 36 and 38 are the first and third stretch of the sample route.
    Outcome r = cli({"profile", kSample.string(), "--elements", "36,38", "--no-build", "-o",
                     (dir / "gap.dxf").string(), "--dump", dump.string()});
    ASSERT_EQ(r.code, 0) << r.out;
    auto j = nlohmann::json::parse(readText(dump));
    ASSERT_EQ(j["warnings"].size(), 1u) << j["warnings"];
    const std::string w = j["warnings"][0];
    EXPECT_NE(w.find("36 и 38 не соединены"), std::string::npos) << w;
    EXPECT_NE(w.find("322630,5980289"), std::string::npos) << w;
    EXPECT_NE(w.find("363231,5985995"), std::string::npos) << w;

    // Joined elements: no warning.
    Outcome ok = cli({"profile", kSample.string(), "--elements", "36,37", "--no-build", "-o",
                      (dir / "ok.dxf").string(), "--dump", dump.string()});
    ASSERT_EQ(ok.code, 0) << ok.out;
    EXPECT_TRUE(nlohmann::json::parse(readText(dump))["warnings"].empty());
}

TEST_F(Survey, AnEndTypedNearARouteEndSnapsWithinTheTolerance) {
    const fs::path dump = dir / "snap.json";
    auto run = [&](const std::string& snap) {
        return cli({"profile", kSample.string(), "--from", "285000.03,5974999.98", "--to",
                    "322630.02,5980289", "--snap", snap, "--no-build", "-o",
                    (dir / "snap.dxf").string(), "--dump", dump.string()});
    };
    Outcome snapped = run("0.05");
    ASSERT_EQ(snapped.code, 0) << snapped.out;
    auto j = nlohmann::json::parse(readText(dump));
    EXPECT_EQ(j["pikets"][0]["elements"], nlohmann::json::array({"36"}));
    // Outside a tolerance of a hundredth the ends are not found.
    Outcome missed = run("0.01");
    EXPECT_EQ(missed.code, 1) << missed.out;
    EXPECT_NE(missed.out.find("Ошибка поиска начала"), std::string::npos) << missed.out;
}

// The sewer F200–F201–F11F between four manholes takes its ground from the
// survey: the covers carry their surveyed height as Z, the spot heights of
// the height layer do not reach this corner of the site. The end of the run
// lies just off the surface and takes the height of the cover beside it.
TEST_F(Survey, ASewerRunTakesItsGroundFromTheSurvey) {
    if (!fs::exists(kSurvey)) {
        GTEST_SKIP() << "нет общего корпуса чертежей (" << kSurvey << "): тест пропущен";
    }
    const fs::path out = dir / "sewer.dxf", dump = dir / "sewer.json";
    Outcome r = cli({"profile",
                     kSurvey.string(),
                     "--units",
                     "m",
                     "--route",
                     "ПЛК",
                     "--from",
                     "3221746.816,540970.568",
                     "--to",
                     "3221813.152,541068.735",
                     "--depth",
                     "2",
                     "--pipe",
                     "300",
                     "--ground-layer",
                     "61_Отметки высоты поверхности",
                     "--ground-layer",
                     "_ПЛК крышка колодец",
                     "--ground-step",
                     "10",
                     "-o",
                     out.string(),
                     "--dump",
                     dump.string()});
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("отметка ближайшей съёмочной точки рядом, точки: 15."), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Вне поверхности съёмки (отметки не изменены)"), std::string::npos)
        << r.out;

    auto j = nlohmann::json::parse(readText(dump));
    EXPECT_EQ(j["profileBuilt"], 1);
    ASSERT_EQ(j["pikets"].size(), 1u);
    EXPECT_EQ(j["pikets"][0]["elements"], nlohmann::json::array({"F200", "F201", "F11F"}));
    const auto& points = j["pikets"][0]["points"];
    ASSERT_EQ(points.size(), 15u);
    int groundPoints = 0;
    double low = 1e9, high = -1e9;
    for (const auto& p : points) {
        const auto& n = p["named"];
        EXPECT_EQ(n["surveyed"].get<double>(), 1.0);
        const double h = n["relief"].get<double>();
        low = std::min(low, h);
        high = std::max(high, h);
        if (n["kind"].get<double>() == 1.0) ++groundPoints;
    }
    EXPECT_EQ(groundPoints, 9);  // every 10 m between the manholes
    // The ground rises half a metre to the middle manholes and falls again.
    EXPECT_GT(low, 26.3);
    EXPECT_LT(high, 26.9);
    EXPECT_GT(high - low, 0.4);

    // The end's height is the Z of the nearest cover, as an independent reader has it.
    const fs::path script = dir / "cover.py";
    std::ofstream(script) << R"(
import sys, math, ezdxf
doc = ezdxf.readfile(sys.argv[1])
end = (3221813.152, 541068.735)
c = min((e.dxf.center for e in doc.modelspace().query('CIRCLE')
         if e.dxf.layer == '_ПЛК крышка колодец'), key=lambda p: math.dist((p.x, p.y), end))
print(repr(c.z), math.dist((c.x, c.y), end))
)";
    Outcome cover =
        shell("/usr/bin/python3 " + quote(script.string()) + " " + quote(kSurvey.string()));
    ASSERT_EQ(cover.code, 0) << cover.out;
    double z = 0, away = 0;
    ASSERT_EQ(std::sscanf(cover.out.c_str(), "%lf %lf", &z, &away), 2) << cover.out;
    EXPECT_LT(away, 1.0);
    EXPECT_NEAR(points.back()["named"]["relief"].get<double>(), z, 0.0005);
}
