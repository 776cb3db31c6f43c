// The crossing editor's steps of kernavisto-cli profile on a small plan: a
// route of one line crossed by a water main, with a height text beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "shell_util.hpp"
#include "small_plan.hpp"

namespace fs = std::filesystem;

namespace {

using testutil::readText;

const testutil::ProcessScratch scratch("kv_cli_editor");

using Result = testutil::CliResult;

Result runCli(const std::vector<std::string>& args) {
    return testutil::runProfileCommand(KV_CLI, args, scratch.dir());
}

std::vector<std::string> baseArgs(const fs::path& out, const fs::path& dump) {
    return smallplan::profileArgs(smallplan::write(scratch("small_plan.dxf")), out, dump);
}

nlohmann::json pointValues(const nlohmann::json& dump, std::size_t k) {
    return dump["pikets"][0]["points"][k]["values"];
}

}  // namespace

class EditorStepUsage : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(EditorStepUsage, ExitsWithTwo) {
    std::vector<std::string> args = baseArgs(scratch("usage.dxf"), scratch("usage.json"));
    args.insert(args.end(), GetParam().begin(), GetParam().end());
    Result r = runCli(args);
    EXPECT_EQ(r.code, 2) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Table, EditorStepUsage,
                         testing::Values(std::vector<std::string>{"--edit", "0:relief=1"},
                                         std::vector<std::string>{"--edit", "1:height=1"},
                                         std::vector<std::string>{"--pick-height", "1=G7"},
                                         std::vector<std::string>{"--add-point", "1"},
                                         std::vector<std::string>{"--delete-point", "x"}));

TEST(EditorStepsCli, AStepOnAMissingPointStopsTheRunAfterTheStepsBefore) {
    fs::path out = scratch("missing_point.dxf");
    fs::path dump = scratch("missing_point.json");
    fs::remove(out);
    std::vector<std::string> args = baseArgs(out, dump);
    args.insert(args.end(),
                {"--edit", "1:relief=150.25", "--edit", "9:relief=1", "--edit", "2:pipe=225"});
    Result r = runCli(args);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("нет точки 9"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
    auto j = nlohmann::json::parse(readText(dump));
    ASSERT_EQ(j["pikets"][0]["points"].size(), 3u);
    EXPECT_EQ(pointValues(j, 0)[2], 150.25);
    EXPECT_EQ(pointValues(j, 1)[4], 110.0);  // the step after the failure did not run
    EXPECT_EQ(j["workPoint"], 0);
    EXPECT_EQ(j["messages"].size(), 1u);
}

TEST(EditorStepsCli, CrossedValuesReachTheDumpAndAreUndoneLikeTheOthers) {
    fs::path dump = scratch("crossed.json");
    std::vector<std::string> args = baseArgs(scratch("crossed.dxf"), dump);
    args.insert(args.end(), {"--no-build", "--edit", "2:crossTop=149.4", "--edit",
                             "2:crossDiameter=100", "--edit", "2:crossKind=sewer", "--edit",
                             "2:crossTop=150", "--undo", "--edit", "2:crossKind=gas", "--undo"});
    Result r = runCli(args);
    ASSERT_EQ(r.code, 0) << r.err;
    auto j = nlohmann::json::parse(readText(dump));
    const nlohmann::json& named = j["pikets"][0]["points"][1]["named"];
    EXPECT_EQ(named["crossTop"], 149.4);
    EXPECT_EQ(named["crossTopFrom"], "typed");
    EXPECT_EQ(named["crossDiameter"], 100.0);
    EXPECT_EQ(named["crossKind"], "sewer");
    EXPECT_EQ(named["crossKindFrom"], "typed");
    EXPECT_EQ(pointValues(j, 1).size(), 10u);
    // The ends of the route cross nothing.
    EXPECT_TRUE(j["pikets"][0]["points"][0]["named"]["crossTop"].is_null());
    EXPECT_TRUE(j["pikets"][0]["points"][0]["named"]["crossKind"].is_null());

    // An empty kind gives the kind back to the table: the layer names a water main.
    args = baseArgs(scratch("crossed.dxf"), dump);
    args.insert(args.end(),
                {"--no-build", "--edit", "2:crossKind=sewer", "--edit", "2:crossKind="});
    r = runCli(args);
    ASSERT_EQ(r.code, 0) << r.err;
    j = nlohmann::json::parse(readText(dump));
    EXPECT_EQ(j["pikets"][0]["points"][1]["named"]["crossKind"], "water");
    EXPECT_EQ(j["pikets"][0]["points"][1]["named"]["crossKindFrom"], "table");
    EXPECT_TRUE(j["pikets"][0]["points"][1]["named"]["crossTopFrom"].is_null());
}

TEST(EditorStepsCli, BadCrossedValuesAreRefusedNamingThePlace) {
    fs::path dump = scratch("crossed_bad.json");
    std::vector<std::string> args = baseArgs(scratch("crossed_bad.dxf"), dump);
    args.insert(args.end(), {"--edit", "2:crossKind=river"});
    Result r = runCli(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("water, sewer, heating, gas, power, telecom, channel, other"),
              std::string::npos)
        << r.err;

    struct Case {
        const char* edit;
        const char* said;
    } cases[] = {
        {"2:crossTop=верх", "Верх пересекаемой сети, м"},
        {"2:crossDiameter=0", "Диаметр (высота) пересекаемой, мм"},
        {"1:crossTop=150", "Трасса - Kernavisto"},  // a route end crosses nothing
    };
    for (const Case& c : cases) {
        args = baseArgs(scratch("crossed_bad.dxf"), dump);
        args.insert(args.end(), {"--no-build", "--edit", "2:crossTop=149.4", "--edit", c.edit});
        r = runCli(args);
        EXPECT_EQ(r.code, 1) << c.edit;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        auto j = nlohmann::json::parse(readText(dump));
        EXPECT_EQ(j["pikets"][0]["points"][1]["named"]["crossTop"], 149.4) << c.edit;
        EXPECT_TRUE(j["pikets"][0]["points"][0]["named"]["crossTop"].is_null()) << c.edit;
    }
}

TEST(EditorStepsCli, PickCrossTopTakesTheTextAsPickedOnlyAtACrossing) {
    fs::path dump = scratch("crossed_pick.json");
    std::vector<std::string> args = baseArgs(scratch("crossed_pick.dxf"), dump);
    args.insert(args.end(), {"--no-build", "--pick-cross-top", "2=22"});
    Result r = runCli(args);
    ASSERT_EQ(r.code, 0) << r.err;
    auto j = nlohmann::json::parse(readText(dump));
    EXPECT_EQ(j["pikets"][0]["points"][1]["named"]["crossTop"], 151.5);
    EXPECT_EQ(j["pikets"][0]["points"][1]["named"]["crossTopFrom"], "picked");
    EXPECT_EQ(pointValues(j, 1)[2], -2.0);  // the relief height is not the one picked

    for (const char* pick : {"1=22", "2=20"}) {  // a route end; a line, no text
        args = baseArgs(scratch("crossed_pick.dxf"), dump);
        args.insert(args.end(), {"--no-build", "--pick-cross-top", pick});
        r = runCli(args);
        EXPECT_EQ(r.code, 1) << pick;
        EXPECT_TRUE(
            nlohmann::json::parse(readText(dump))["pikets"][0]["points"][0]["named"]["crossTop"]
                .is_null());
    }
}
