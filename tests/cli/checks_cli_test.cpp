// kernavisto-cli profile --check and --rule: the findings in the dump and on
// stderr without changing the exit code; rules refused before anything runs;
// --cross-survey, the crossed tops read from the survey the checks measure to.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cad/drawing.hpp"
#include "cad/number_text.hpp"
#include "sample_road.hpp"
#include "shell_util.hpp"

namespace fs = std::filesystem;

namespace {

const testutil::ProcessScratch scratch("kv_checks_cli");
const std::string kPlan = std::string(KV_SOURCE_DIR) + "/examples/plan.dxf";

testutil::CliResult runSample(std::vector<std::string> extra, const fs::path& dump,
                              const std::string& plan = kPlan) {
    std::vector<std::string> args{plan};
    for (const std::string& o : sample_road::cliOptions()) args.push_back(o);
    args.insert(args.end(), {"-o", scratch("out.dxf").string(), "--dump", dump.string()});
    args.insert(args.end(), extra.begin(), extra.end());
    return testutil::runProfileCommand(KV_CLI, args, scratch.dir());
}

TEST(ChecksCli, FindingsGoToTheDumpAndStderrAndTheRunSucceeds) {
    const fs::path dump = scratch("cover.json");
    testutil::CliResult r = runSample({"--check", "--rule", "cover=5", "--separator", ","}, dump);
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json j = nlohmann::json::parse(testutil::readText(dump));
    ASSERT_TRUE(j.contains("checks"));
    ASSERT_EQ(j["checks"].size(), std::size_t(sample_road::kPointCount));
    const nlohmann::json& first = j["checks"][0];
    EXPECT_EQ(first["point"], 1);
    EXPECT_EQ(first["rule"], "cover");
    EXPECT_EQ(first["required"], 5.0);
    EXPECT_EQ(first["actual"], 1.0);
    const std::string text = first["text"];
    EXPECT_EQ(text, "Точка 1: глубина верха трубы 1,00 м, нужно не менее 5,00 м");
    EXPECT_NE(r.err.find("Предупреждение: " + text + "\n"), std::string::npos) << r.err;
    // The findings are no warnings of the run itself.
    EXPECT_TRUE(j["warnings"].empty()) << j["warnings"];

    // The defaults find nothing on the sample; without --check the dump has no list.
    r = runSample({"--check"}, dump);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(nlohmann::json::parse(testutil::readText(dump))["checks"].empty());
    r = runSample({"--rule", "cover=5"}, dump);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(nlohmann::json::parse(testutil::readText(dump)).contains("checks"));
}

// The red rings the sheet gets with --check-marks: one a finding, none by
// default, and a rebuild replaces them rather than adding more.
TEST(ChecksCli, MarksOnTheSheetOnlyWhenAskedAndReplacedByARebuild) {
    const fs::path dump = scratch("marks.json");
    auto rings = [] {
        int n = 0;
        auto d = cad::Drawing::open(scratch("out.dxf").string());
        for (const cad::EntityRef& e : d->modelSpace()) {
            if (e.dxfType() == "CIRCLE" && e.layer() == "Kernavisto") ++n;
        }
        return n;
    };
    testutil::CliResult r = runSample({"--rule", "cover=5"}, dump);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(rings(), 0);
    r = runSample({"--rule", "cover=5", "--check-marks", "--build"}, dump);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(rings(), sample_road::kPointCount);
}

// Rules given with --save-project stay with the project; over a restored
// project --rule wins for the run.
TEST(ChecksCli, RulesGoWithTheProjectAndTheRunsOwnComeOnTop) {
    const fs::path dump = scratch("project.json");
    const fs::path project = scratch("plan.kernavisto.json");
    testutil::CliResult r =
        runSample({"--rule", "cover=5", "--save-project", project.string()}, dump);
    ASSERT_EQ(r.code, 0) << r.err;
    auto findings = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{kPlan,     "--project",  project.string(),
                                      "--check", "-o",         scratch("out.dxf").string(),
                                      "--dump",  dump.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        const testutil::CliResult run = testutil::runProfileCommand(KV_CLI, args, scratch.dir());
        EXPECT_EQ(run.code, 0) << run.err;
        return nlohmann::json::parse(testutil::readText(dump))["checks"].size();
    };
    EXPECT_EQ(findings({}), std::size_t(sample_road::kPointCount));
    EXPECT_EQ(findings({"--rule", "cover=off"}), 0u);
}

// The road of the README with a crossed water pipe typed at two crossings:
// 0.16 m under the new pipe at point 3 and 1 m under it at point 10. Only the
// first is too close, and the sheet draws both at their elevations.
TEST(ChecksCli, CrossedPipesTypedInTheCommandLineAreCheckedAndDrawn) {
    const fs::path dump = scratch("crossed.json");
    testutil::CliResult r = runSample({}, dump);
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json before = nlohmann::json::parse(testutil::readText(dump));
    auto topUnder = [&](int point, double gap) {
        const nlohmann::json& n = before["pikets"][0]["points"][point - 1]["named"];
        return n["relief"].get<double>() - n["depth"].get<double>() -
               n["pipe"].get<double>() / 1000.0 - gap;
    };
    const std::pair<int, double> crossings[] = {{3, 0.16}, {10, 1.0}};
    std::vector<std::string> args;
    std::vector<std::string> wantLabels;
    for (const auto& [point, gap] : crossings) {
        const std::string n = std::to_string(point) + ":";
        const double top = topUnder(point, gap);
        args.insert(args.end(), {"--edit", n + "crossTop=" + cad::fixedText(top, 6), "--edit",
                                 n + "crossDiameter=100", "--edit", n + "crossKind=water"});
        std::string shown = cad::fixedText(top, 2);
        shown[shown.find('.')] = ',';
        wantLabels.push_back("Водопр. Ø100, верх " + shown);
    }
    args.insert(args.end(), {"--check", "--separator", ","});
    r = runSample(args, dump);
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json j = nlohmann::json::parse(testutil::readText(dump));
    ASSERT_EQ(j["checks"].size(), 1u) << j["checks"];
    EXPECT_EQ(j["checks"][0]["point"], 3);
    EXPECT_EQ(j["checks"][0]["rule"], "clearance");
    EXPECT_NEAR(j["checks"][0]["actual"].get<double>(), 0.16, 1e-6);
    EXPECT_EQ(j["pikets"][0]["points"][9]["named"]["crossKind"], "water");

    // Both pipes drawn on the water layer, each with its label.
    auto out = cad::Drawing::open(scratch("out.dxf").string());
    int sections = 0;
    std::vector<std::string> labels;
    for (const cad::EntityRef& e : out->modelSpace()) {
        if (e.layer() != "Пересечения Водопровод - Kernavisto") continue;
        if (e.dxfType() == "ELLIPSE") ++sections;
        if (const auto* t = cad::geomIf<cad::TextGeom>(e.entity().geom)) labels.push_back(t->text);
    }
    EXPECT_EQ(sections, 2);
    std::sort(labels.begin(), labels.end());
    std::sort(wantLabels.begin(), wantLabels.end());
    EXPECT_EQ(labels, wantLabels);
}

TEST(ChecksCli, BadRulesAreRefusedAsUsageErrors) {
    const fs::path dump = scratch("bad.json");
    for (const char* rule : {"clerance=0.2", "cover=-1", "cover", "slope=steep", "pipe=gas"}) {
        fs::remove(dump);
        testutil::CliResult r = runSample({"--check", "--rule", rule}, dump);
        EXPECT_EQ(r.code, 2) << rule << ": " << r.err;
        EXPECT_NE(r.err.find("--rule"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dump)) << rule;
    }
    testutil::CliResult r = runSample({"--rule", "clerance=0.2"}, dump);
    EXPECT_NE(r.err.find("clearance, sewer, power"), std::string::npos) << r.err;
}

// --cross-survey: the surveyor's height beside a crossing on its object's
// layer becomes its top, never over a typed one and never from farther away.
TEST(ChecksCli, CrossSurveyTakesTheTopBesideACrossingOnItsLayer) {
    const fs::path dump = scratch("survey.json");
    testutil::CliResult r = runSample({}, dump);
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json points =
        nlohmann::json::parse(testutil::readText(dump))["pikets"][0]["points"];
    // Points 3 and 5 cross; their texts stand 0.4 m beside them.
    const std::string plan = scratch("survey_plan.dxf").string();
    {
        auto d = cad::Drawing::open(kPlan);
        for (std::size_t k : {std::size_t(2), std::size_t(4)}) {
            const nlohmann::json& p = points[k];
            cad::EntityRef text = d->addText(
                k == 2 ? "148.35" : "147.10",
                {p["named"]["x"].get<double>() + 400.0, p["named"]["y"].get<double>(), 0.0}, 250.0);
            text.setLayer(d->entityByHandle(p["object"].get<std::string>()).layer());
        }
        d->saveAs(plan);
    }
    auto tops = [&dump] {
        const nlohmann::json j = nlohmann::json::parse(testutil::readText(dump));
        const nlohmann::json& p = j["pikets"][0]["points"];
        return std::pair(p[2]["named"], p[4]["named"]);
    };
    r = runSample({"--edit", "5:crossTop=150", "--cross-survey"}, dump, plan);
    ASSERT_EQ(r.code, 0) << r.err;
    auto [three, five] = tops();
    EXPECT_EQ(three["crossTop"], 148.35);
    EXPECT_EQ(three["crossTopFrom"], "survey");
    EXPECT_EQ(five["crossTop"], 150.0);
    EXPECT_EQ(five["crossTopFrom"], "typed");
    EXPECT_NE(r.out.find("оставлен у точек: 5"), std::string::npos) << r.out;

    r = runSample({"--cross-survey=0.3"}, dump, plan);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(tops().first["crossTop"].is_null());
    EXPECT_TRUE(tops().second["crossTop"].is_null());

    r = runSample({"--cross-survey=abc"}, dump, plan);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("--cross-survey: «abc»"), std::string::npos) << r.err;
}

}  // namespace
