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
