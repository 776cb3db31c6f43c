// kernavisto-cli given hostile input: bytes that are not UTF-8 in a drawing or
// an option, output paths that coincide, values no pipeline has. Each ends
// with a clear message and loses nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cad/dxf_test_util.hpp"
#include "cad/text_util.hpp"

#include "shell_util.hpp"
#include "small_plan.hpp"

namespace fs = std::filesystem;

namespace {

using testutil::readText;

const testutil::ProcessScratch scratch("kv_cli_hostile");

using Result = testutil::CliResult;

Result runCli(const std::string& command, const std::vector<std::string>& args) {
    std::vector<std::string> words{command};
    words.insert(words.end(), args.begin(), args.end());
    return testutil::runProgram(KV_CLI, words, scratch.dir());
}

const std::string kReplacement = "\xEF\xBF\xBD";

// The small plan with the line 23 beside the route and a BLOCKS section for
// the marker block an added point draws.
fs::path smallPlan() {
    const dxftest::Tags line{{0, "LINE"}, {5, "23"},  {8, "0"},   {10, "0"}, {20, "50"},
                             {30, "0"},   {11, "10"}, {21, "50"}, {31, "0"}};
    const dxftest::Tags blocks{{0, "BLOCK"}, {8, "0"},  {2, "X"}, {70, "0"},     {10, "0"},
                               {20, "0"},    {30, "0"}, {3, "X"}, {0, "ENDBLK"}, {8, "0"}};
    return smallplan::write(scratch("small_plan.dxf"), line, blocks);
}

std::vector<std::string> baseArgs(const fs::path& out, const fs::path& dump) {
    return smallplan::profileArgs(smallPlan(), out, dump);
}

std::vector<std::string> with(std::vector<std::string> args, std::vector<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Ground heights for a picket of `count` points: typed at the ends, "Авто"
// between, so that the build has what it needs and the step under test is
// what decides the outcome. `from` leaves the first points to the test.
std::vector<std::string> heights(int count, int from = 1) {
    std::vector<std::string> args;
    for (int k = from; k <= count; ++k) {
        const std::string value = k == 1 ? "150" : k == count ? "151,5" : "Авто";
        args.insert(args.end(), {"--edit", std::to_string(k) + ":relief=" + value});
    }
    return args;
}

// `profile` on the small plan with the options given, saved to NAME.dxf with
// its dump in NAME.json.
Result runOnPlan(const std::string& name, const std::vector<std::string>& options,
                 const std::vector<std::string>& more = {}) {
    const auto args = baseArgs(scratch(name + ".dxf"), scratch(name + ".json"));
    return runCli("profile", with(with(args, options), more));
}

}  // namespace

// A drawing whose version, entity type and layer name are bytes that are not
// UTF-8: the JSON is still whole, with the bytes replaced.
TEST(HostileCli, InfoJsonOfBytesThatAreNotUtf8) {
    using dxftest::Tags;
    std::string bytes = dxftest::dxf(dxftest::concat(
        {dxftest::header("AC1021"), dxftest::layerTable({"сл\xFFой"}),
         dxftest::entities({{0, "LI\xC0NE"}, {8, "сл\xFFой"}, {10, "0"}, {20, "0"}}),
         dxftest::eof()}));
    // A version the reader keeps as it stands, with a byte no text has.
    std::string::size_type at = bytes.find("AC1021");
    bytes.replace(at, 6, "AC1021\xFE");
    fs::path file = scratch("not_utf8.dxf");
    std::ofstream(file, std::ios::binary) << bytes;

    Result r = runCli("info", {file.string(), "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);  // throws on a broken document
    EXPECT_NE(j["version"].get<std::string>().find(kReplacement), std::string::npos);
    EXPECT_EQ(r.out, cad::validUtf8(r.out));

    r = runCli("info", {file.string()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, cad::validUtf8(r.out));
}

// An option given in bytes that are not UTF-8 is quoted in the message and in
// the dump replaced; the dump is whole.
TEST(HostileCli, DumpIsWholeWhenAnOptionIsNotUtf8) {
    fs::path dump = scratch("depth_bytes.json");
    Result r = runCli("profile", with(baseArgs(scratch("depth_bytes.dxf"), dump), {"--depth",
                                                                                   "\xFF\xFE"
                                                                                   "1"}));
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err, cad::validUtf8(r.err));
    std::string text = readText(dump);
    ASSERT_FALSE(text.empty());
    nlohmann::json j = nlohmann::json::parse(text);
    ASSERT_EQ(j["messages"].size(), 1u);
    EXPECT_NE(j["messages"][0].get<std::string>().find(kReplacement), std::string::npos);
}

// A dump that cannot be written leaves the one before as it was, and no
// temporary file behind.
TEST(HostileCli, DumpThatCannotBeWrittenLeavesThePreviousOne) {
    fs::path dir = scratch("dump_dir");
    fs::create_directories(dir / "sub");
    fs::path dump = dir / "sub";  // a folder: the rename over it fails
    Result r = runCli("profile", baseArgs(scratch("dump_dir.dxf"), dump));
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("Не удалось записать"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_directory(dump));
    std::size_t left = 0;
    for (const auto& e : fs::directory_iterator(dir)) left += e.path() != dump;
    EXPECT_EQ(left, 0u);
}

// Two outputs naming one file, or an output naming the plan, are refused
// before anything is read or written: the plan stays as it was.
class CoincidingOutputs : public testing::TestWithParam<int> {};

TEST_P(CoincidingOutputs, AreRefused) {
    fs::path out = scratch("coincide_out.dxf");
    fs::path dump = scratch("coincide_dump.json");
    fs::remove(out);
    fs::path plan = smallPlan();
    const std::string before = readText(plan);
    fs::path link = scratch("coincide_link.json");
    fs::remove(link);
    fs::create_symlink(plan, link);
    const std::vector<std::vector<std::string>> cases = {
        {"--dump", out.string()},
        {"--pdf", out.string()},
        {"--png", plan.string()},
        {"--svg",
         (plan.parent_path() / "." / ".." / plan.parent_path().filename() / plan.filename())
             .string()},
        {"--pdf", scratch("same.pdf").string(), "--svg", scratch("same.pdf").string()},
        {"--pdf", link.string()},
    };
    std::vector<std::string> args = {plan.string(), "-o",   out.string(), "--from",
                                     "0,0",         "--to", "10000,0"};
    if (GetParam() != 0) args.insert(args.end(), {"--dump", dump.string()});
    const auto& extra = cases[static_cast<std::size_t>(GetParam())];
    args.insert(args.end(), extra.begin(), extra.end());
    Result r = runCli("profile", args);
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(readText(plan), before);
}

INSTANTIATE_TEST_SUITE_P(Table, CoincidingOutputs, testing::Range(0, 6));

TEST(HostileCli, ValuesNoPipelineHasAreRefusedWhereTheyEnter) {
    fs::path out = scratch("range_out.dxf");
    fs::remove(out);
    Result r = runCli("profile", with(baseArgs(out, scratch("range.json")), {"--depth", "1e308"}));
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("вне допустимых пределов"), std::string::npos) << r.err;
    r = runCli("profile", with(baseArgs(out, scratch("range.json")), {"--pipe", "-5"}));
    EXPECT_EQ(r.code, 2) << r.err;
    r = runCli("profile", with(baseArgs(out, scratch("range.json")), {"--sheet-at", "1e15,0"}));
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("0,01 мм местности"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
    // A plausible depth goes through.
    r = runCli("profile",
               with(with(baseArgs(out, scratch("range.json")), {"--depth", "2,5"}), heights(3)));
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST(HostileCli, PickingAHeightFromWhatIsNoNumberSaysWhy) {
    Result r = runOnPlan("pick", {"--pick-height", "1=23"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("не текст"), std::string::npos) << r.err;
    r = runOnPlan("pick", {"--pick-height", "1=22"}, heights(3, 2));
    EXPECT_EQ(r.code, 0) << r.err;
    auto j = nlohmann::json::parse(readText(scratch("pick.json")));
    EXPECT_EQ(j["pikets"][0]["points"][0]["values"][2], 151.5);
}

TEST(HostileCli, PointFarFromTheRouteIsNotAdded) {
    const fs::path dump = scratch("far.json");
    Result r = runOnPlan("far", {"--add-point", "5000,5000"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("не добавлено"), std::string::npos) << r.err;
    auto j = nlohmann::json::parse(readText(dump));
    EXPECT_EQ(j["pikets"][0]["points"].size(), 3u);
    r = runOnPlan("far", {"--add-point", "5000,10"}, heights(4));
    EXPECT_EQ(r.code, 0) << r.err;
    j = nlohmann::json::parse(readText(dump));
    EXPECT_EQ(j["pikets"][0]["points"].size(), 4u);
}
