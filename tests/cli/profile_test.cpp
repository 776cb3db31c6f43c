// kernavisto-cli profile as users' scripts call it: usage errors, failures
// that still leave the dump, and the whole road of a picket on the sample plan.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cad/drawing.hpp"

#include "shell_util.hpp"

namespace fs = std::filesystem;

namespace {

using testutil::quote;
using testutil::readText;

using Result = testutil::CliResult;

const testutil::ProcessScratch scratch("kv_cli");

Result runCli(const std::vector<std::string>& args) {
    return testutil::runProfileCommand(KV_CLI, args, scratch.dir());
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

// ---- the sample plan -------------------------------------------------------

namespace {

const fs::path kPlan = fs::path(KV_SOURCE_DIR) / "examples" / "plan.dxf";
constexpr const char* kRouteLayer = "Трасса - Kernavisto";

// The route of the plan as the engine reads it: its lines in chain order.
struct Route {
    std::vector<std::string> handles;
    cad::Point3 start, end;
    double roundedLength = 0.0;  // each line rounded to a whole unit first
};

Route readRoute(const fs::path& plan) {
    auto d = cad::Drawing::open(plan);
    std::vector<cad::EntityRef> lines;
    for (const cad::EntityRef& e : d->modelSpace()) {
        if (e.layer() == kRouteLayer && e.dxfType() == "LINE") lines.push_back(e);
    }
    // The start is the one start point that no line ends at.
    Route r;
    cad::EntityRef current;
    for (const cad::EntityRef& a : lines) {
        bool joined = std::any_of(lines.begin(), lines.end(), [&](const cad::EntityRef& b) {
            return b.endPoint() == a.startPoint();
        });
        if (!joined) current = a;
    }
    r.start = current.startPoint();
    while (!current.isNull()) {
        r.handles.push_back(current.handle());
        r.roundedLength += std::nearbyint(current.length());
        r.end = current.endPoint();
        cad::EntityRef next;
        for (const cad::EntityRef& b : lines) {
            if (b.startPoint() == current.endPoint()) next = b;
        }
        current = next;
    }
    return r;
}

std::string xy(cad::Point3 p) {
    std::ostringstream s;
    s.precision(17);
    s << p.x << ',' << p.y;
    return s.str();
}

// ezdxf's recovering reader and auditor find no error in the file.
void expectAuditClean(const fs::path& dxf) {
    fs::path script = scratch("audit.py");
    std::ofstream(script) << "import sys, ezdxf\n"
                             "from ezdxf import recover\n"
                             "doc, auditor = recover.readfile(sys.argv[1])\n"
                             "auditor = doc.audit()\n"
                             "for e in auditor.errors: print(e.message)\n"
                             "sys.exit(1 if auditor.has_errors else 0)\n";
    const testutil::ShellResult audit =
        testutil::shell("/usr/bin/python3 " + quote(script.string()) + " " + quote(dxf.string()));
    EXPECT_EQ(audit.code, 0) << audit.out;
}

struct SampleRun {
    Result result;
    nlohmann::json dump;
    fs::path out;
};

SampleRun runOnSample(const std::string& name, std::vector<std::string> args) {
    SampleRun s;
    s.out = scratch(name + ".dxf");
    fs::path dump = scratch(name + ".json");
    fs::remove(s.out);
    fs::remove(dump);
    // The blank sheet only: the profile run has checks of its own.
    args.insert(args.begin(),
                {kPlan.string(), "-o", s.out.string(), "--dump", dump.string(), "--no-build"});
    s.result = runCli(args);
    if (fs::exists(dump)) s.dump = nlohmann::json::parse(readText(dump));
    return s;
}

}  // namespace

TEST(ProfileCliSample, EndPointsGiveTheWholeRouteAndTheSheet) {
    ASSERT_TRUE(fs::exists(kPlan)) << kPlan;  // committed with the sources
    const Route route = readRoute(kPlan);
    ASSERT_GT(route.handles.size(), 1u);
    SampleRun s = runOnSample("ends", {"--from", xy(route.start), "--to", xy(route.end),
                                       "--separator", ",", "--pipe", "160"});
    ASSERT_EQ(s.result.code, 0) << s.result.err;
    const nlohmann::json& j = s.dump;
    EXPECT_EQ(j["decimalSeparator"], ",");
    EXPECT_TRUE(j["messages"].empty());
    ASSERT_EQ(j["rows"].size(), 1u);
    EXPECT_EQ(j["rows"][0]["caption"], "Пикет 1");
    EXPECT_EQ(j["rows"][0]["stateIndex"], 0);
    ASSERT_EQ(j["pikets"].size(), 1u);
    EXPECT_EQ(j["pikets"][0]["elements"].get<std::vector<std::string>>(), route.handles);
    const nlohmann::json& points = j["pikets"][0]["points"];
    ASSERT_GT(points.size(), route.handles.size());  // element ends plus crossings
    const auto first = points[0]["values"].get<std::vector<double>>();
    ASSERT_EQ(first.size(), 10u);
    EXPECT_DOUBLE_EQ(first[0], std::nearbyint(route.start.x * 100) / 100);
    EXPECT_DOUBLE_EQ(first[1], std::nearbyint(route.start.y * 100) / 100);
    EXPECT_DOUBLE_EQ(first[3], 1.0);  // the start keeps depth 1.0
    EXPECT_DOUBLE_EQ(first[4], 160.0);
    EXPECT_EQ(points[0]["object"], route.handles.front());
    const auto last = points.back()["values"].get<std::vector<double>>();
    EXPECT_DOUBLE_EQ(last[0], std::nearbyint(route.end.x * 100) / 100);
    EXPECT_DOUBLE_EQ(last[1], std::nearbyint(route.end.y * 100) / 100);
    for (const auto& p : points) {
        EXPECT_TRUE(p["object"].is_string());
        EXPECT_DOUBLE_EQ(p["values"][2].get<double>(), -2.0);
    }
    EXPECT_EQ(j["workPiket"], 0);
    EXPECT_EQ(j["workPoint"], 0);
    EXPECT_DOUBLE_EQ(j["piketLength"].get<double>(), route.roundedLength);
    EXPECT_EQ(j["profileBuilt"], 0);

    // The saved drawing: the plan untouched in its route, the sheet added.
    auto out = cad::Drawing::open(s.out);
    EXPECT_EQ(readRoute(s.out).handles, route.handles);
    int sheetLines = 0, planLines = 0, horizon = 0;
    for (const cad::EntityRef& e : out->modelSpace()) {
        if (e.dxfType() == "LINE" && e.layer() == "Kernavisto") {
            ++sheetLines;
            if (e.lineweight() == 50 && e.startPoint() == cad::Point3{55000, 12500, 0}) {
                ++planLines;
                EXPECT_DOUBLE_EQ(e.endPoint().x, 55000 + route.roundedLength);
            }
        }
        if (e.dxfType() == "TEXT" && e.textString() == "Условный горизонт") ++horizon;
    }
    EXPECT_EQ(sheetLines, 45 + 13);
    EXPECT_EQ(planLines, 1);
    EXPECT_EQ(horizon, 1);
    expectAuditClean(s.out);
}

TEST(ProfileCliSample, ElementsByHandleCarryTheDepthFieldAtTheStart) {
    ASSERT_TRUE(fs::exists(kPlan)) << kPlan;  // committed with the sources
    const Route route = readRoute(kPlan);
    std::string handles;
    for (const std::string& h : route.handles) handles += (handles.empty() ? "" : ",") + h;
    SampleRun s = runOnSample("elements", {"--elements", handles, "--depth", "1.5", "--separator",
                                           ".", "--hide-while-picking"});
    ASSERT_EQ(s.result.code, 0) << s.result.err;
    const nlohmann::json& points = s.dump["pikets"][0]["points"];
    ASSERT_FALSE(points.empty());
    EXPECT_DOUBLE_EQ(points[0]["values"][3].get<double>(), 1.5);
    EXPECT_DOUBLE_EQ(points[0]["values"][0].get<double>(),
                     std::nearbyint(route.start.x * 100) / 100);
    EXPECT_EQ(s.dump["pikets"][0]["elements"].get<std::vector<std::string>>(), route.handles);
    // Everything hidden for picking is visible again in the saved drawing.
    auto out = cad::Drawing::open(s.out);
    for (const cad::EntityRef& e : out->modelSpace()) EXPECT_TRUE(e.visible()) << e.handle();
}

struct FailureCase {
    const char* name;
    std::vector<std::string> args;
    const char* message;  // expected among the messages
};

class ProfileCliSampleFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(ProfileCliSampleFailure, ExitsWithOneWritesTheDumpAndNoDrawing) {
    ASSERT_TRUE(fs::exists(kPlan)) << kPlan;  // committed with the sources
    const Route route = readRoute(kPlan);
    std::vector<std::string> args = GetParam().args;
    for (std::string& a : args) {
        if (a == "START") a = xy(route.start);
        if (a == "END") a = xy(route.end);
    }
    SampleRun s = runOnSample(GetParam().name, args);
    EXPECT_EQ(s.result.code, 1);
    EXPECT_FALSE(fs::exists(s.out));
    ASSERT_TRUE(s.dump.is_object());
    const auto messages = s.dump["messages"].get<std::vector<std::string>>();
    EXPECT_NE(std::find(messages.begin(), messages.end(), GetParam().message), messages.end())
        << s.result.err;
    EXPECT_NE(s.result.err.find(GetParam().message), std::string::npos);
    EXPECT_TRUE(s.dump["rows"].empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileCliSampleFailure,
    testing::Values(
        FailureCase{"nochain", {"--from", "0,0", "--to", "END"}, "Ошибка поиска начала"},
        // A route list given on the command line replaces the default item.
        FailureCase{"routelist",
                    {"--from", "START", "--to", "END", "--route", "Трасса"},
                    "Ошибка поиска начала"},
        FailureCase{"nohandle", {"--elements", "FFFFFF"}, "В чертеже нет объекта с меткой FFFFFF"}),
    [](const testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });
