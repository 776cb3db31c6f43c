// kernavisto-cli profile with a project file: a run that saved its project and
// a later run that only names it give the same state and the same sheet;
// options given with it apply after the restore; a damaged file or a picket
// whose objects are gone stops the run with a clear message.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cad/drawing.hpp"
#include "shell_util.hpp"

namespace fs = std::filesystem;
using nlohmann::json;
using testutil::readText;

namespace {

using Result = testutil::CliResult;

struct ProjectCli : testing::Test {
    const testutil::ScratchDir dir{"kv_project_cli"};
    const std::string plan = KV_SOURCE_DIR "/examples/plan.dxf";

    std::string at(const std::string& name) const { return (dir / name).string(); }

    Result run(const std::string& sub, const std::vector<std::string>& args) {
        std::vector<std::string> words{sub};
        words.insert(words.end(), args.begin(), args.end());
        return testutil::runProgram(KV_CLI, words, dir);
    }

    // The first day: a picket by its ends, heights picked from survey texts
    // and typed at every point (as run.sh does), a pipe and a casing changed, built and saved with
    // its project. `more` steps follow those; the files are named `day`.
    Result firstDay(const std::vector<std::string>& more = {}, const std::string& day = "day1") {
        std::vector<std::string> args{plan,
                                      "--from",
                                      "285000,5975000",
                                      "--to",
                                      "717344,6012639",
                                      "--separator",
                                      ",",
                                      "--pick-height",
                                      "1=78",
                                      "--pick-height",
                                      "2=7C",
                                      "--edit",
                                      "3:relief=Авто",
                                      "--pick-height",
                                      "4=80",
                                      "--pick-height",
                                      "5=82",
                                      "--pick-height",
                                      "6=84",
                                      "--edit",
                                      "7:relief=Авто",
                                      "--edit",
                                      "8:relief=Авто",
                                      "--pick-height",
                                      "9=88",
                                      "--edit",
                                      "10:relief=Авто",
                                      "--pick-height",
                                      "11=8C",
                                      "--pick-height",
                                      "12=8E",
                                      "--pick-height",
                                      "13=90",
                                      "--pick-height",
                                      "14=94",
                                      "--edit",
                                      "15:relief=Авто",
                                      "--pick-height",
                                      "16=98",
                                      "--edit",
                                      "17:relief=Авто",
                                      "--edit",
                                      "18:relief=Авто",
                                      "--pick-height",
                                      "19=9C",
                                      "--pick-height",
                                      "20=9E",
                                      "--pick-height",
                                      "21=A0",
                                      "--pick-height",
                                      "22=A4",
                                      "--pick-height",
                                      "23=A8",
                                      "--edit",
                                      "7:pipe=160",
                                      "--edit",
                                      "8:casing=300"};
        args.insert(args.end(), more.begin(), more.end());
        args.insert(args.end(), {"-o", at(day + ".dxf"), "--dump", at(day + ".json")});
        if (day == "day1") args.insert(args.end(), {"--save-project", at("plan.kernavisto.json")});
        return run("profile", args);
    }

    // Every model-space entity in drawing order (a rebuilt profile has new
    // handles): kind, layer, and the end points of lines and insertion
    // points of texts, but for the marker cross (it shows where the editor
    // stood, no part of the sheet); with `fingerprints` every entity and
    // all that it shows.
    static std::vector<std::string> sheetOf(const std::string& file, bool fingerprints = false) {
        auto d = cad::Drawing::open(file);
        std::vector<std::string> out;
        for (const cad::EntityRef& e : d->modelSpace()) {
            std::string line = e.dxfType() + " " + e.layer();
            if (fingerprints) line += " " + cad::entityFingerprint(e.entity());
            if (e.dxfType() == "LINE") {
                if (!fingerprints && e.color() == 3 && e.lineweight() == 90) continue;
                cad::Point3 a = e.startPoint(), b = e.endPoint();
                line += " " + std::to_string(a.x) + "," + std::to_string(a.y) + " " +
                        std::to_string(b.x) + "," + std::to_string(b.y);
            }
            if (e.dxfType() == "TEXT") line += " " + e.textString();
            out.push_back(line);
        }
        return out;
    }
};

}  // namespace

// A height changed the next day, after the profile was built and the
// program closed: the profile follows it, and the drawing is the one the
// height typed before the first build gives, entity by entity, with no
// second profile under it.
TEST_F(ProjectCli, AHeightChangedAfterTheBuildGivesTheDrawingOfItTypedBefore) {
    ASSERT_EQ(firstDay().code, 0);
    Result next = run(
        "profile", {at("day1.dxf"), "--project", at("plan.kernavisto.json"), "--separator", ",",
                    "--edit", "6:relief=150,25", "-o", at("day2.dxf"), "--dump", at("day2.json")});
    ASSERT_EQ(next.code, 0) << next.err;
    ASSERT_EQ(firstDay({"--edit", "6:relief=150,25"}, "typed").code, 0);
    const std::vector<std::string> typed = sheetOf(at("typed.dxf"), true);
    EXPECT_EQ(sheetOf(at("day2.dxf"), true), typed);
    EXPECT_EQ(json::parse(readText(at("day2.json"))), json::parse(readText(at("typed.json"))));
    // The heights between typed ones are interpolated anew, not kept from the first build.
    EXPECT_NE(sheetOf(at("day1.dxf"), true), typed);
}

// An entity of the profile changed by hand in another program is kept by
// the rebuild, and the run says so; the rest of the old profile goes.
TEST_F(ProjectCli, ARebuildKeepsWhatWasChangedByHandAndSaysSo) {
    ASSERT_EQ(firstDay().code, 0);
    {
        auto d = cad::Drawing::open(at("day1.dxf"));
        std::vector<cad::EntityRef> all = d->modelSpace();
        // The last line drawn is the profile's.
        auto last = std::find_if(all.rbegin(), all.rend(),
                                 [](const cad::EntityRef& e) { return e.dxfType() == "LINE"; });
        ASSERT_NE(last, all.rend());
        cad::Point3 end = last->endPoint();
        last->setEndPoint({end.x + 500.0, end.y, 0.0});
        d->saveAs(at("edited.dxf"));
    }
    Result next = run("profile", {at("edited.dxf"), "--project", at("plan.kernavisto.json"),
                                  "--separator", ",", "-o", at("day2.dxf")});
    ASSERT_EQ(next.code, 0) << next.err;
    EXPECT_NE(next.err.find("изменённых вручную: 1."), std::string::npos) << next.err;
    EXPECT_EQ(sheetOf(at("day2.dxf")).size(), sheetOf(at("day1.dxf")).size() + 1);
}

// --undo and --redo among the steps: an edit and its build taken back give
// the drawing and the dump of no edit, byte for byte; made again, those of
// the edit.
TEST_F(ProjectCli, UndoneStepsLeaveTheFilesOfNoStepsAndRedoneOnesThoseOfTheSteps) {
    const std::vector<std::string> edit{"--build", "--edit", "6:relief=150,25", "--build"};
    std::vector<std::string> undone = edit;
    undone.insert(undone.end(), {"--undo", "--undo"});
    std::vector<std::string> redone = undone;
    redone.insert(redone.end(), {"--redo", "--redo"});
    ASSERT_EQ(firstDay({"--build"}, "none").code, 0);
    ASSERT_EQ(firstDay(edit, "edited").code, 0);
    ASSERT_EQ(firstDay(undone, "undone").code, 0);
    ASSERT_EQ(firstDay(redone, "redone").code, 0);
    EXPECT_EQ(readText(at("undone.dxf")), readText(at("none.dxf")));
    EXPECT_EQ(readText(at("undone.json")), readText(at("none.json")));
    EXPECT_EQ(readText(at("redone.dxf")), readText(at("edited.dxf")));
    EXPECT_EQ(readText(at("redone.json")), readText(at("edited.json")));

    Result nothing = firstDay({"--redo"}, "nothing");
    EXPECT_EQ(nothing.code, 1);
    EXPECT_NE(nothing.err.find("Нечего повторять"), std::string::npos) << nothing.err;
}

// A project file of version 1 (written by the program before the typed
// values were kept apart, so its automatic heights hold the numbers a build
// put there) opens; saved again it becomes version 2 with the picket's key.
TEST_F(ProjectCli, AProjectFileOfVersionOneStillOpens) {
    const std::string v1 = KV_SOURCE_DIR "/tests/data/project/plan-v1.kernavisto.json";
    Result r = run("profile", {plan, "--project", v1, "-o", at("out.dxf"), "--dump", at("out.json"),
                               "--save-project", at("v2.json")});
    ASSERT_EQ(r.code, 0) << r.err;
    json old = json::parse(readText(v1));
    json dump = json::parse(readText(at("out.json")));
    json saved = json::parse(readText(at("v2.json")));
    ASSERT_EQ(old["version"], 1);
    EXPECT_EQ(dump["profileBuilt"], 1);
    EXPECT_EQ(saved["version"], 2);
    ASSERT_EQ(saved["pikets"].size(), 1u);
    EXPECT_EQ(saved["pikets"][0]["key"].get<std::string>().size(), 16u);
    // What the file held is what the picket holds; nothing is lost or recomputed into it.
    // The chainage (value 9) is derived by every build: the point keeps none.
    for (std::size_t k = 0; k < old["pikets"][0]["points"].size(); ++k) {
        json expected = old["pikets"][0]["points"][k];
        expected["values"][9] = 0.0;
        EXPECT_EQ(saved["pikets"][0]["points"][k], expected) << k;
    }
    EXPECT_EQ(saved["pikets"][0]["elements"], old["pikets"][0]["elements"]);
    EXPECT_EQ(saved["controls"], old["controls"]);
    // The picket keeps the key it gets when defined: the sheet a day's run
    // drew is the sheet of the restored picket.
    ASSERT_EQ(firstDay().code, 0);
    EXPECT_EQ(json::parse(readText(at("plan.kernavisto.json")))["pikets"][0]["key"],
              saved["pikets"][0]["key"]);
}

TEST_F(ProjectCli, NextDayTheProjectAloneGivesTheSameDumpAndSheet) {
    Result first = firstDay();
    ASSERT_EQ(first.code, 0) << first.err;
    Result second = run("profile", {plan, "--project", at("plan.kernavisto.json"), "--separator",
                                    ",", "-o", at("day2.dxf"), "--dump", at("day2.json")});
    ASSERT_EQ(second.code, 0) << second.err;
    json day1 = json::parse(readText(at("day1.json")));
    json day2 = json::parse(readText(at("day2.json")));
    EXPECT_EQ(day2, day1);
    EXPECT_EQ(day1["profileBuilt"], 1);
    // The same sheet and profile, entity by entity.
    std::vector<std::string> sheet1 = sheetOf(at("day1.dxf"));
    EXPECT_GT(sheet1.size(), 700u);
    EXPECT_EQ(sheetOf(at("day2.dxf")), sheet1);
}

TEST_F(ProjectCli, StepsAndPicketsGivenWithTheProjectApplyAfterTheRestore) {
    ASSERT_EQ(firstDay().code, 0);
    Result edited =
        run("profile", {plan, "--project", at("plan.kernavisto.json"), "--separator", ",", "--edit",
                        "6:relief=150,25", "-o", at("day2.dxf"), "--dump", at("day2.json")});
    ASSERT_EQ(edited.code, 0) << edited.err;
    json day1 = json::parse(readText(at("day1.json")));
    json day2 = json::parse(readText(at("day2.json")));
    EXPECT_EQ(day2["pikets"][0]["points"][5]["values"][2], 150.25);
    // The values typed on the first day are still there.
    EXPECT_EQ(day2["pikets"][0]["points"][6]["values"][4], 160.0);
    EXPECT_EQ(day2["pikets"][0]["points"][7]["values"][5], 300.0);
    EXPECT_EQ(day2["pikets"][0]["points"][1]["values"], day1["pikets"][0]["points"][1]["values"]);

    // A new picket joins the restored list and becomes the picket in work;
    // a layer list given replaces the restored one.
    Result added = run(
        "profile", {plan, "--project", at("plan.kernavisto.json"), "--from", "285000,5975000",
                    "--to", "322630,5980289", "--depth", "2", "--no-build", "-o", at("day3.dxf"),
                    "--dump", at("day3.json"), "--save-project", at("day3.kernavisto.json")});
    ASSERT_EQ(added.code, 0) << added.err;
    json day3 = json::parse(readText(at("day3.json")));
    ASSERT_EQ(day3["rows"].size(), 2u);
    EXPECT_EQ(day3["rows"][1]["caption"], "Пикет 2");
    EXPECT_EQ(day3["workPiket"], 1);
    // The first day's picket as typed (without a build the dump shows no computed values).
    json typed = json::parse(readText(at("plan.kernavisto.json")))["pikets"][0];
    ASSERT_EQ(day3["pikets"][0]["points"].size(), typed["points"].size());
    for (std::size_t k = 0; k < typed["points"].size(); ++k) {
        EXPECT_EQ(day3["pikets"][0]["points"][k]["values"], typed["points"][k]["values"]) << k;
    }
    EXPECT_EQ(day3["pikets"][0]["elements"], day1["pikets"][0]["elements"]);
    json project = json::parse(readText(at("day3.kernavisto.json")));
    EXPECT_EQ(project["controls"]["depthText"], "2");
    EXPECT_EQ(project["workPiket"], 1);
}

TEST_F(ProjectCli, DamagedProjectFileStopsWithAClearMessage) {
    ASSERT_EQ(firstDay().code, 0);
    std::string text = readText(at("plan.kernavisto.json"));
    std::ofstream(at("cut.json"), std::ios::binary) << text.substr(0, text.size() / 2);
    std::ofstream(at("junk.json"), std::ios::binary) << "\x89PNG\r\n\x1a\n\xff\xfe binary XYZZY";
    for (const char* name : {"cut.json", "junk.json", "missing.json"}) {
        Result r = run("profile", {plan, "--project", at(name), "-o", at("out.dxf"), "--dump",
                                   at("dump.json")});
        EXPECT_EQ(r.code, 1) << name;
        EXPECT_NE(r.err.find("проекта"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("XYZZY"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("PNG"), std::string::npos) << r.err;
        // The plan was opened; the dump says what happened.
        json dump = json::parse(readText(at("dump.json")));
        EXPECT_FALSE(dump["messages"].empty());
    }
}

// One point moved to X = 1e15 in a 6 KB file made the run grow its memory
// without end while it drew the picket row; values no door lets in are
// refused by their place before anything is drawn.
TEST_F(ProjectCli, ValuesPastTheLimitsAreRefusedByTheirPlace) {
    ASSERT_EQ(firstDay().code, 0);
    const json good = json::parse(readText(at("plan.kernavisto.json")));
    const struct {
        int value;
        json bad;
    } damages[] = {{0, 1e15}, {1, -9.2233720368547758e18}, {3, 1e30}, {5, "inf"}};
    for (const auto& d : damages) {
        json project = good;
        project["pikets"][0]["points"][3]["values"][d.value] = d.bad;
        std::ofstream(at("bad.json"), std::ios::binary | std::ios::trunc) << project.dump(2);
        Result r = run("profile", {plan, "--project", at("bad.json"), "-o", at("out.dxf"), "--dump",
                                   at("d.json")});
        EXPECT_EQ(r.code, 1) << d.value;
        const std::string place = "/pikets/0/points/3/values/" + std::to_string(d.value);
        EXPECT_NE(r.err.find(place), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(at("out.dxf")));
    }
}

TEST_F(ProjectCli, PicketInWorkWhoseElementIsGoneIsNotBuilt) {
    ASSERT_EQ(firstDay().code, 0);
    json project = json::parse(readText(at("plan.kernavisto.json")));
    std::string gone = project["pikets"][0]["elements"][3];
    project["pikets"][0]["elements"][3] = "FFFFF0";
    std::ofstream(at("edited.json"), std::ios::binary) << project.dump(2);
    Result r = run("profile", {plan, "--project", at("edited.json"), "-o", at("out.dxf"), "--dump",
                               at("dump.json")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("FFFFF0"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("элемент 4"), std::string::npos) << r.err;
    json dump = json::parse(readText(at("dump.json")));
    EXPECT_EQ(dump["rows"][0]["broken"].get<std::string>().find("FFFFF0") != std::string::npos,
              true);
    EXPECT_FALSE(fs::exists(at("out.dxf")));
}

// The sheet layout is part of the project: a later run without sheet options
// keeps it, and an option given then changes only itself.
TEST_F(ProjectCli, SheetOptionsSurviveAndGivenOnesChangeOnlyThemselves) {
    ASSERT_EQ(firstDay().code, 0);
    Result scaled = run(
        "profile", {plan, "--project", at("plan.kernavisto.json"), "--scale-v", "200", "--sheets",
                    "-o", at("day2.dxf"), "--save-project", at("day2.kernavisto.json")});
    ASSERT_EQ(scaled.code, 0) << scaled.err;
    Result later =
        run("profile", {plan, "--project", at("day2.kernavisto.json"), "--datum", "140", "-o",
                        at("day3.dxf"), "--save-project", at("day3.kernavisto.json")});
    ASSERT_EQ(later.code, 0) << later.err;
    json sheet = json::parse(readText(at("day3.kernavisto.json")))["sheet"];
    EXPECT_EQ(sheet["verticalScale"], 200.0);
    EXPECT_EQ(sheet["split"], true);
    EXPECT_EQ(sheet["horizontalScale"], 500.0);
    EXPECT_EQ(sheet["datum"], 140.0);
}
