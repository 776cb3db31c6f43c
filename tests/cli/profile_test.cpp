// kernavisto-cli profile as users' scripts call it: usage errors, failures
// that still leave the dump, and the whole road of a picket on the sample plan.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Result {
    int code;
    std::string err;
};

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

fs::path scratch(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("kv_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / name;
}

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Result runCli(const std::vector<std::string>& args) {
    std::string cmd = quote(KV_CLI) + " profile";
    for (const std::string& a : args) cmd += " " + quote(a);
    fs::path err = scratch("stderr.txt");
    cmd += " >/dev/null 2>" + quote(err.string());
    int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(err)};
}

}  // namespace

class UsageError : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(UsageError, ExitsWithTwo) {
    fs::path out = scratch("usage_out.dxf");
    fs::remove(out);
    Result r = runCli(GetParam());
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_FALSE(fs::exists(out));
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsageError,
    testing::Values(std::vector<std::string>{"plan.dxf", "-o", scratch("usage_out.dxf").string()},
                    std::vector<std::string>{"plan.dxf", "--from", "0,0", "--to", "1,1"},
                    std::vector<std::string>{"plan.dxf", "-o", scratch("usage_out.dxf").string(),
                                             "--from", "0,0"},
                    std::vector<std::string>{"plan.dxf", "-o", scratch("usage_out.dxf").string(),
                                             "--from", "0,0", "--to", "1,1", "--elements", "2A"},
                    std::vector<std::string>{"plan.dxf", "-o", scratch("usage_out.dxf").string(),
                                             "--from", "0;0", "--to", "1,1"},
                    std::vector<std::string>{"plan.dxf", "-o", scratch("usage_out.dxf").string(),
                                             "--from", "0,0", "--to", "1,1", "--separator", ";"},
                    std::vector<std::string>{"plan.dxf", "-o", scratch("usage_out.dxf").string(),
                                             "--elements", "2A,XYZ"},
                    std::vector<std::string>{"plan.dxf", "-o", scratch("usage_out.dxf").string(),
                                             "--from", "0,0", "--to", "1,1", "--bogus"}));

TEST(ProfileCli, PlanThatCannotBeOpenedExitsWithOneAndStillWritesTheDump) {
    fs::path out = scratch("none_out.dxf");
    fs::path dump = scratch("none_dump.json");
    fs::remove(out);
    Result r = runCli({scratch("missing.dxf").string(), "-o", out.string(), "--from", "0,0", "--to",
                       "10,0", "--separator", ".", "--dump", dump.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.empty());
    EXPECT_FALSE(fs::exists(out));
    ASSERT_TRUE(fs::exists(dump));
    auto j = nlohmann::json::parse(readText(dump));
    EXPECT_EQ(j["decimalSeparator"], ".");
    ASSERT_EQ(j["messages"].size(), 1u);
    EXPECT_NE(r.err.find(j["messages"][0].get<std::string>()), std::string::npos);
    EXPECT_TRUE(j["rows"].empty());
    EXPECT_EQ(j["workPiket"], -1);
    EXPECT_EQ(j["profileBuilt"], 0);
}
