// The project file across a restart: what is saved comes back the same; a
// drawing edited between sessions opens with the picket that lost an object
// marked broken; a damaged, truncated or newer file is refused with a clear
// message and changes nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "cad/dxf/writer.hpp"
#include "cad/error.hpp"
#include "model/project.hpp"
#include "project/project_file.hpp"
#include "recording_ui.hpp"
#include "sheet/sheet.hpp"
#include "shell_util.hpp"

namespace fs = std::filesystem;

namespace {

// One run of the program: its own engine, prompts and workspace.
struct Session {
    cad::RecordingView view;
    cad::Application app{&view};
    cad::ScriptedPrompter prompter;
    testutil::RecordingUi ui;
    model::Workspace ws{app, prompter, ui};

    explicit Session(const fs::path& plan) { model::openProject(ws, plan); }
    cad::EntityRef byHandle(const std::string& h) { return ws.doc->entityByHandle(h); }
    std::string state() const { return project::toJson(project::capture(ws)); }
};

// A later session: the drawing opened and its project restored from beside it.
struct Reopened : Session {
    std::vector<std::string> lines;  // what the restore reported

    explicit Reopened(const fs::path& plan)
        : Session(plan), lines(project::restoreBeside(ws, plan)) {}
};

using testutil::isUtf8;

struct ProjectFile : testing::Test {
    const testutil::ScratchDir dir{"kv_project"};
    const fs::path plan = dir / "plan.dxf";
    std::string route1, route2, crossing, heightText;

    void SetUp() override {
        auto d = cad::Drawing::create("AC1015");
        d->addLayer("Трасса - Kernavisto");
        d->setCurrentLayer("Трасса - Kernavisto");
        route1 = d->addLine({0, 0, 0}, {10000, 0, 0}).handle();
        route2 = d->addLine({10000, 0, 0}, {20000, 5000, 0}).handle();
        d->addLayer("Водопровод - Kernavisto");
        d->setCurrentLayer("Водопровод - Kernavisto");
        crossing = d->addLine({5000, -1000, 0}, {5000, 1000, 0}).handle();
        d->setCurrentLayer("0");
        heightText = d->addText("151.5", {100, 100, 0}, 250).handle();
        d->saveAs(plan);
    }

    // The state a day of work leaves: a changed type list, typed initial
    // parameters, two pickets (one deleted from the list), values typed in
    // the editor, a point added by the editor, the picket and point in work.
    void work(Session& s) {
        model::Controls& c = s.ws.controls;
        c.typeList(model::TypeList::Other).push_back("Бордюр");
        c.typeListSelection(model::TypeList::Other) = 1;
        c.depthText = "1,8";
        c.pipeText = "225";
        c.hideWhilePicking = true;
        c.planUnits = model::PlanUnits::Metres;
        s.ws.sheetOptions = {true, 1000.0, 200.0, false, 96.0, true};
        s.ws.surveyChoice = model::SurveyChoice{{"Отметки", "Колодцы"}, 10.0, 75.5, 0.5, true};
        s.ws.checkRules = dayRules();
        model::Piket p;
        p.elements = {s.byHandle(route1), s.byHandle(route2)};
        p.pointObjects = {s.byHandle(route1), s.byHandle(crossing), {}, s.byHandle(route2)};
        for (const model::PointRow& row :
             {model::PointRow{0, 0, 151.5, 1.0, 225, 0, 0, 0, 0, 0},
              model::PointRow{5000, 0, -1, 1.8, 225, 530, 0, 0, 0, 0},
              model::PointRow{7500, 0, -2, -1, 225, 0, 0, 0, 0, 0},
              model::PointRow{10000, 0, 149.25, 1.8, 160, 0, 0, 0, 0, 0}}) {
            p.points.push_back(model::pointOf(row));
        }
        model::Piket q;
        q.elements = {s.byHandle(route2)};
        q.pointObjects = {s.byHandle(route2)};
        q.points = {model::pointOf(model::PointRow{10000, 0, 1, 2, 3, 4, 1, 6, 1, 0})};
        // The water main's top picked, its diameter typed, its kind set.
        model::setCrossed(
            p, 1,
            {model::CrossedValue{149.4, model::FoundBy::Picked},
             model::CrossedValue{100.0, model::FoundBy::Typed}, model::CrossKind::Sewer});
        s.ws.crossKinds.rules.insert(s.ws.crossKinds.rules.begin(),
                                     {"Бордюр", model::CrossKind::Channel});
        s.ws.crossKinds.byType[static_cast<std::size_t>(model::TypeList::Other)] =
            model::CrossKind::Gas;
        s.ws.pikets = {p, q};
        c.piketRows = {{"Пикет 1", 0}};  // the row of Пикет 2 was deleted
        c.selectedRow = 0;
        s.ws.workPiket = 0;
        s.ws.workPoint = 2;
    }

    static model::CheckRules dayRules() {
        model::CheckRules r;
        r.pipe = model::PipeKind::Heating;
        r[model::Rule::Clearance] = {model::RuleSetting::State::Set, 0.3};
        r[model::Rule::Slope].state = model::RuleSetting::State::Off;
        return r;
    }

    // A session that did a day's work and saved its project beside the drawing.
    void saveADayOfWork() {
        Session first(plan);
        work(first);
        project::saveBeside(first.ws, plan);
    }

    // A saved day of work, then the drawing changed by another program.
    void savedThenEdited(const std::function<void(cad::Drawing&)>& change) {
        saveADayOfWork();
        auto d = cad::Drawing::open(plan);
        change(*d);
        d->saveAs(plan);
    }
};

TEST_F(ProjectFile, SaveRestartReopenGivesTheSameStateAndLeavesTheDrawingAlone) {
    std::string saved;
    {
        Session first(plan);
        work(first);
        project::saveBeside(first.ws, plan);
        saved = first.state();
    }
    EXPECT_TRUE(fs::exists(dir / "plan.kernavisto.json"));
    Session second(plan);
    const std::string drawingBefore = cad::writeDxf(second.ws.doc->data());
    EXPECT_TRUE(project::restoreBeside(second.ws, plan).empty());
    EXPECT_EQ(second.state(), saved);
    EXPECT_EQ(cad::writeDxf(second.ws.doc->data()), drawingBefore);

    // The references lead to the objects themselves, not just to their handles.
    const model::Piket& p = second.ws.pikets[0];
    EXPECT_EQ(p.elements[1], second.byHandle(route2));
    EXPECT_EQ(p.pointObjects[1], second.byHandle(crossing));
    EXPECT_TRUE(p.pointObjects[2].isNull());
    EXPECT_EQ(second.ws.controls.typeList(model::TypeList::Other).back(), "Бордюр");
    EXPECT_EQ(second.ws.controls.depthText, "1,8");
    EXPECT_EQ(second.ws.controls.planUnits, model::PlanUnits::Metres);
    const model::SheetOptions& sheet = second.ws.sheetOptions;
    EXPECT_TRUE(sheet.split);
    EXPECT_EQ(sheet.horizontalScale, 1000.0);
    EXPECT_EQ(sheet.verticalScale, 200.0);
    EXPECT_EQ(sheet.datum, std::optional<double>(96.0));
    EXPECT_TRUE(sheet.checkMarks);
    EXPECT_EQ(second.ws.surveyChoice,
              (model::SurveyChoice{{"Отметки", "Колодцы"}, 10.0, 75.5, 0.5, true}));
    EXPECT_EQ(second.ws.checkRules, dayRules());
    EXPECT_TRUE(second.ws.controls.brokenPikets.empty());
    const model::Crossed& crossed = model::crossedAt(p, 1);
    ASSERT_TRUE(crossed.top && crossed.diameter);
    EXPECT_EQ(crossed.top->value, 149.4);
    EXPECT_EQ(crossed.top->foundBy, model::FoundBy::Picked);
    EXPECT_EQ(crossed.diameter->value, 100.0);
    EXPECT_EQ(crossed.kind, model::CrossKind::Sewer);
    EXPECT_TRUE(model::crossedAt(p, 0).empty());
    EXPECT_EQ(second.ws.crossKinds.rules.front().layerContains, "Бордюр");
    EXPECT_EQ(second.ws.crossKinds.byType[3], model::CrossKind::Gas);

    // A file from before the checks gives the default rules, not the ones in hand.
    std::string text = project::toJson(project::capture(second.ws));
    const std::size_t from = text.find("\"checks\"");
    const std::size_t to = text.find("\"pikets\"");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos && from < to);
    text.erase(from, to - from);
    project::restore(second.ws, project::parse(text));
    EXPECT_EQ(second.ws.checkRules, model::CheckRules{});
}

TEST_F(ProjectFile, NoProjectFileBesideTheDrawingChangesNothing) {
    Session s(plan);
    const std::string before = s.state();
    EXPECT_TRUE(project::restoreBeside(s.ws, plan).empty());
    EXPECT_EQ(s.state(), before);
}

TEST_F(ProjectFile, ElementErasedBetweenSessionsMarksOnlyItsPicketBroken) {
    savedThenEdited([&](cad::Drawing& d) { d.entityByHandle(route1).erase(); });

    Reopened second(plan);
    ASSERT_EQ(second.lines.size(), 1u);
    EXPECT_NE(second.lines[0].find("Пикет 1"), std::string::npos) << second.lines[0];
    EXPECT_NE(second.lines[0].find(route1), std::string::npos) << second.lines[0];
    ASSERT_EQ(second.ws.controls.brokenPikets.size(), 1u);
    EXPECT_EQ(second.ws.controls.brokenPikets.begin()->first, 0);
    // What the user typed is all still there.
    ASSERT_EQ(second.ws.pikets.size(), 2u);
    EXPECT_EQ(model::rowOf(second.ws.pikets[0].points[1])[model::kCasing], 530);
    EXPECT_TRUE(second.ws.pikets[0].elements[0].isNull());
    EXPECT_EQ(second.ws.pikets[1].elements[0], second.byHandle(route2));

    // A broken picket is not taken into work, and says why.
    second.ws.controls.selectedRow = 0;
    try {
        sheet::takeIntoWork(second.ws);
        FAIL() << "a broken picket was taken into work";
    } catch (const cad::Error& e) {
        EXPECT_NE(std::string(e.what()).find(route1), std::string::npos) << e.what();
    }

    // Saved again and reopened, it stays broken instead of making the file unreadable.
    project::saveBeside(second.ws, plan);
    Reopened third(plan);
    ASSERT_EQ(third.lines.size(), 1u);
    EXPECT_NE(third.lines[0].find("утерян"), std::string::npos) << third.lines[0];
    EXPECT_EQ(third.ws.pikets[0].points, second.ws.pikets[0].points);
}

TEST_F(ProjectFile, CrossedObjectErasedMarksThePicketBrokenToo) {
    savedThenEdited([&](cad::Drawing& d) { d.entityByHandle(crossing).erase(); });
    Reopened second(plan);
    ASSERT_EQ(second.lines.size(), 1u);
    EXPECT_NE(second.lines[0].find("объект точки 2"), std::string::npos) << second.lines[0];
}

TEST_F(ProjectFile, HeightTextChangedBetweenSessionsKeepsTheTypedValues) {
    saveADayOfWork();
    // The user retyped the survey text in another program.
    std::string text = testutil::readText(plan);
    std::size_t at = text.find("\n151.5\n");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 7, "\n148.75\n");
    std::ofstream(plan, std::ios::binary | std::ios::trunc) << text;

    Reopened second(plan);
    EXPECT_TRUE(second.lines.empty());
    EXPECT_EQ(second.byHandle(heightText).textString(), "148.75");
    // Values are what was picked or typed then; the project does not re-read texts.
    EXPECT_EQ(model::rowOf(second.ws.pikets[0].points[0])[model::kRelief], 151.5);
    EXPECT_TRUE(second.ws.controls.brokenPikets.empty());
}

// Values come back to the bit; one no door lets in (a depth JSON cannot even
// hold, written as text) is refused by its place when the file is read.
TEST_F(ProjectFile, ValuesSurviveExactlyAndOnesNoDoorTakesAreRefused) {
    Session first(plan);
    work(first);
    model::PiketPoint& point = first.ws.pikets[0].points[1];
    point.relief = model::Relief::typed(0.1 + 0.2);  // not short in decimal
    point.casing = 1e-300;
    project::ProjectData back = project::parse(project::toJson(project::capture(first.ws)));
    const model::PointRow& got = back.pikets[0].points[1].values;
    EXPECT_EQ(got[model::kRelief], 0.1 + 0.2);
    EXPECT_EQ(got[model::kCasing], 1e-300);

    point.depth = HUGE_VAL;
    try {
        project::parse(project::toJson(project::capture(first.ws)));
        FAIL() << "an infinite depth was read";
    } catch (const cad::Error& e) {
        EXPECT_NE(std::string(e.what()).find("/pikets/0/points/1/values/3"), std::string::npos)
            << e.what();
    }
}

TEST_F(ProjectFile, NewerVersionIsRefusedWithAClearMessageAndChangesNothing) {
    Session first(plan);
    work(first);
    std::string text = project::toJson(project::capture(first.ws));
    const std::string version = "\"version\": " + std::to_string(project::kFormatVersion);
    std::size_t at = text.find(version);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, version.size(), "\"version\": 7");
    std::ofstream(project::projectFilePath(plan), std::ios::binary) << text;

    Session second(plan);
    const std::string before = second.state();
    std::vector<std::string> lines = project::restoreBeside(second.ws, plan);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("более новой версией"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("формат 7"), std::string::npos) << lines[0];
    EXPECT_EQ(second.state(), before);
}

TEST_F(ProjectFile, EveryTruncationIsRefusedAndLeavesTheOpenDrawingUsable) {
    Session first(plan);
    work(first);
    const std::string text = project::toJson(project::capture(first.ws));
    Session second(plan);
    const std::string before = second.state();
    // The last bytes are the newline after the closing brace: still whole.
    for (std::size_t n = 0; n + 1 < text.size(); n += 11) {
        std::ofstream(project::projectFilePath(plan), std::ios::binary | std::ios::trunc)
            << text.substr(0, n);
        std::vector<std::string> lines = project::restoreBeside(second.ws, plan);
        ASSERT_EQ(lines.size(), 1u) << "cut at " << n;
        EXPECT_TRUE(isUtf8(lines[0])) << lines[0];
        ASSERT_EQ(second.state(), before) << "cut at " << n;
    }
    EXPECT_NO_THROW(second.ws.doc->addLine({0, 0, 0}, {1, 1, 0}));
}

TEST_F(ProjectFile, DamagedContentIsNamedByPlaceNeverByItsBytes) {
    Session first(plan);
    work(first);
    const std::string good = project::toJson(project::capture(first.ws));
    auto refusal = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at == std::string::npos) return std::string();
        text.replace(at, from.size(), to);
        try {
            project::parse(text);
        } catch (const cad::Error& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    std::string m = refusal("\"depthText\": \"1,8\"", "\"depthText\": \"\xff\xfe\x01junk\"");
    EXPECT_TRUE(isUtf8(m)) << m;
    EXPECT_EQ(m.find("junk"), std::string::npos) << m;
    m = refusal("\"format\": \"kernavisto-project\"", "\"format\": \"something-else\"");
    EXPECT_NE(m.find("не файл проекта"), std::string::npos) << m;
    m = refusal("\"" + crossing + "\"", "\"ZZ\"");
    EXPECT_NE(m.find("/pikets/0/points/1/object"), std::string::npos) << m;
    m = refusal("151.5,", "\"высоко\",");
    EXPECT_NE(m.find("/pikets/0/points/0/values/2"), std::string::npos) << m;
    EXPECT_EQ(m.find("высоко"), std::string::npos) << m;
    // Each damage refused, naming the place in the file.
    const struct {
        const char* from;
        const char* to;
        const char* place;
    } damages[] = {
        {"\"workPiket\": 0", "\"workPiket\": 5", "/workPiket"},
        {"\"workPoint\": 2", "\"workPoint\": 1e300", "/workPoint"},
        {"\"planUnits\": \"m\"", "\"planUnits\": \"furlong\"", "/controls/planUnits"},
        {"\"verticalScale\": 200.0", "\"verticalScale\": 150.0", "/sheet/verticalScale"},
        {"\"datum\": 96.0", "\"datum\": 96.5", "/sheet/datum"},
        {"\"near\": 0.5", "\"near\": -0.5", "/survey/near"},
        {"\"Колодцы\"", "7", "/survey/layers/1"},
        {"\"pipe\": \"heating\"", "\"pipe\": \"steam\"", "/checks/pipe"},
        {"\"clearance\": 0.3", "\"clearance\": 11.0", "/checks/rules/clearance"},
        {"\"clearance\": 0.3", "\"clearance\": \"0.3\"", "/checks/rules/clearance"},
        {"\"slope\": \"off\"", "\"slope\": \"on\"", "/checks/rules/slope"},
        {"\"slope\": \"off\"", "\"slope\": -1", "/checks/rules/slope"},
        {"\"slope\": \"off\"", "\"slopes\": 0.1", "/checks/rules/…: неизвестное правило"},
        // Values past the limits the window and the command line apply.
        {"151.5,", "123456789.0,", "/pikets/0/points/0/values/2"},
        {"1.8,", "1e30,", "/pikets/0/points/1/values/3"},
        {"530.0,", "\"inf\",", "/pikets/0/points/1/values/5"},
        {"5000.0,", "1e15,", "/pikets/0/points/1/values/0"},
        {"5000.0,", "-9.223372036854776e18,", "/pikets/0/points/1/values/0"},
        // The crossed utility and the kind table.
        {"\"from\": \"picked\"", "\"from\": \"guessed\"", "/pikets/0/points/1/crossed/top/from"},
        {"\"value\": 149.4", "\"value\": 1e30", "/pikets/0/points/1/crossed/top/value"},
        {"\"value\": 100.0", "\"value\": 0.0", "/pikets/0/points/1/crossed/diameter/value"},
        {"\"kind\": \"sewer\"", "\"kind\": \"river\"", "/crossKinds/rules/1/kind"},
        {"\"other\": \"gas\"", "\"other\": \"air\"", "/crossKinds/byType/other"},
        {"\"layerContains\": \"Бордюр\"", "\"layerContains\": 5",
         "/crossKinds/rules/0/layerContains"},
        // A picket that comes back to a place it passed (its list repeated).
        {"7500.0,", "0.0,", "/pikets/0/points/2: точка стоит там же, где точка 1"},
    };
    for (const auto& damage : damages) {
        m = refusal(damage.from, damage.to);
        EXPECT_NE(m.find(damage.place), std::string::npos) << m;
    }
    m = refusal("1.8,\n", "");  // a row of nine values
    EXPECT_NE(m.find("10 значений"), std::string::npos) << m;
}

TEST_F(ProjectFile, RowsLeadingOutsideTheTableAreLeftOutNotFollowed) {
    Session first(plan);
    work(first);
    first.ws.controls.piketRows = {{"Пикет 1", 0}, {"Пикет 9", 8}, {"Пикет 2", 1}};
    first.ws.controls.selectedRow = 2;
    const std::string text = project::toJson(project::capture(first.ws));
    Session second(plan);
    project::RestoreReport r = project::restore(second.ws, project::parse(text));
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_NE(r.notes[0].find("Пикет 9"), std::string::npos);
    ASSERT_EQ(second.ws.controls.piketRows.size(), 2u);
    EXPECT_EQ(second.ws.controls.piketRows[1].caption, "Пикет 2");
    EXPECT_EQ(second.ws.controls.selectedRow, 1);  // still the row of Пикет 2
}

TEST_F(ProjectFile, UnwritableFolderFailsWithTheFileNameAndKeepsTheOldFile) {
    Session s(plan);
    work(s);
    project::saveBeside(s.ws, plan);
    const std::string before = testutil::readText(project::projectFilePath(plan));
    s.ws.controls.depthText = "3";
    const fs::path nowhere = dir / "no-such-folder" / "plan.kernavisto.json";
    try {
        project::save(s.ws, nowhere);
        FAIL() << "saved into a folder that does not exist";
    } catch (const cad::Error& e) {
        EXPECT_NE(std::string(e.what()).find("no-such-folder"), std::string::npos) << e.what();
    }
    EXPECT_EQ(testutil::readText(project::projectFilePath(plan)), before);
    int leftovers = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().filename().string().find(".json.") != std::string::npos) ++leftovers;
    }
    EXPECT_EQ(leftovers, 0);
}

}  // namespace
