// The crossing editor's steps of kernavisto-cli profile on a small plan: a
// route of one line crossed by a water main, with a height text beside it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cad/dxf_test_util.hpp"

#include "shell_util.hpp"

namespace fs = std::filesystem;

namespace {

using testutil::quote;
using testutil::readText;

fs::path scratch(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("kv_cli_editor_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / name;
}

using Result = testutil::CliResult;

Result runCli(const std::vector<std::string>& args) {
    return testutil::runProfileCommand(KV_CLI, args, scratch("stderr.txt"));
}

// Route (0,0)-(10000,0) on "Трасса - Kernavisto", a water main crossing it at
// x = 6000, and the text "151.5" with handle 22.
fs::path smallPlan() {
    using dxftest::Tags;
    Tags body{{0, "LINE"},   {5, "20"},     {8, "Трасса - Kernavisto"},
              {10, "0"},     {20, "0"},     {30, "0"},
              {11, "10000"}, {21, "0"},     {31, "0"},
              {0, "LINE"},   {5, "21"},     {8, "Водопровод - Kernavisto"},
              {10, "6000"},  {20, "-1000"}, {30, "0"},
              {11, "6000"},  {21, "1000"},  {31, "0"},
              {0, "TEXT"},   {5, "22"},     {8, "0"},
              {10, "100"},   {20, "100"},   {30, "0"},
              {40, "2.5"},   {1, "151.5"}};
    fs::path plan = scratch("small_plan.dxf");
    std::ofstream(plan, std::ios::binary)
        << dxftest::r12(body, {"Трасса - Kernavisto", "Водопровод - Kernavisto"});
    return plan;
}

std::vector<std::string> baseArgs(const fs::path& out, const fs::path& dump) {
    return {smallPlan().string(), "-o", out.string(), "--from",     "0,0", "--to", "10000,0",
            "--separator",        ",",  "--dump",     dump.string()};
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
