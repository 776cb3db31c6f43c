// The editor steps of `kernavisto-cli profile`: their forms, their order on
// the command line, and what each does to the picket in work.
#include <string>
#include <vector>

#include "cli/editor_steps.hpp"
#include "editor_fixture.hpp"

using namespace editor_test;
using Kind = cli::EditorStep::Kind;

namespace {

std::vector<cli::EditorStep> parse(std::vector<std::string> args) {
    CLI::App app;
    auto* cmd = app.add_subcommand("profile");
    std::string plan;
    cmd->add_option("plan", plan);
    cli::EditorStepOptions options;
    options.add(*cmd);
    args.insert(args.begin(), {"kernavisto-cli", "profile", "plan.dxf"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    app.parse(static_cast<int>(argv.size()), argv.data());
    return options.steps();
}

TEST(EditorStepOptions, KeepTheCommandLineOrder) {
    auto steps =
        parse({"--edit", "2:relief=12.5", "--walk", "--add-point", "10.5,-3", "--edit=3:casing=325",
               "--delete-point", "4", "--pick-height", "1=2A", "--edit", "1:pipe=Авто"});
    ASSERT_EQ(steps.size(), 7u);
    EXPECT_EQ(steps[0].kind, Kind::Edit);
    EXPECT_EQ(steps[0].point, 2);
    EXPECT_EQ(steps[0].field, editor::Field::Relief);
    EXPECT_EQ(steps[0].text, "12.5");
    EXPECT_EQ(steps[1].kind, Kind::Walk);
    EXPECT_EQ(steps[2].kind, Kind::AddPoint);
    EXPECT_EQ(steps[2].x, 10.5);
    EXPECT_EQ(steps[2].y, -3.0);
    EXPECT_EQ(steps[3].field, editor::Field::Casing);
    EXPECT_EQ(steps[3].text, "325");
    EXPECT_EQ(steps[4].kind, Kind::DeletePoint);
    EXPECT_EQ(steps[4].point, 4);
    EXPECT_EQ(steps[5].kind, Kind::PickHeight);
    EXPECT_EQ(steps[5].text, "2A");
    EXPECT_EQ(steps[6].field, editor::Field::Pipe);
    EXPECT_EQ(steps[6].text, "Авто");
    EXPECT_TRUE(parse({}).empty());
}

class MalformedStep : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(MalformedStep, IsAUsageError) {
    EXPECT_THROW(parse(GetParam()), CLI::ParseError);
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedStep,
                         testing::Values(std::vector<std::string>{"--edit", "relief=5"},
                                         std::vector<std::string>{"--edit", "0:relief=5"},
                                         std::vector<std::string>{"--edit", "2:depth=5"},
                                         std::vector<std::string>{"--edit", "2=relief:5"},
                                         std::vector<std::string>{"--pick-height", "2:1F"},
                                         std::vector<std::string>{"--pick-height", "2=XYZ"},
                                         std::vector<std::string>{"--add-point", "10,5,3"},
                                         std::vector<std::string>{"--add-point", "10"},
                                         std::vector<std::string>{"--delete-point", "-1"},
                                         std::vector<std::string>{"--delete-point", "2", "3"}));

class EditorSteps : public EditorFixture {
  protected:
    void run(const cli::EditorStep& step) { cli::runEditorStep(ws, prompter, step); }
};

TEST_F(EditorSteps, AnEditMakesThePointCurrentWithoutTheSameAsPreviousRule) {
    piketInWork({{0, 0}, {100, 0}, {200, 0}});
    run(cli::parseEditStep("3:pipe=159.5"));
    EXPECT_EQ(ws.workPoint, 2);
    EXPECT_EQ(ws.controls.pointNumberText, "3");
    EXPECT_EQ(value(2, model::kPipe), 159.5);
    EXPECT_EQ(ws.controls.pointPipeText, "159,5");
    EXPECT_EQ(value(2, model::kRelief), model::kSameAsPrevious);
    run(cli::parseEditStep("2:relief=12,25"));
    EXPECT_EQ(value(1, model::kRelief), 12.25);
    run(cli::parseEditStep("2:relief=Авто"));
    EXPECT_EQ(value(1, model::kRelief), model::kAuto);
    run(cli::parseEditStep("1:casing=530"));
    EXPECT_EQ(value(0, model::kCasing), 530.0);
    EXPECT_THROW(run(cli::parseEditStep("1:casing=много")), cad::Error);
    EXPECT_THROW(run(cli::parseEditStep("4:relief=1")), cad::Error);
}

TEST_F(EditorSteps, PickHeightTakesTheTextWithThatHandle) {
    piketInWork({{0, 0}, {100, 0}});
    cad::EntityRef text = drawing->addText("151.75", {0, 0, 0}, 2.5);
    run(cli::parsePickHeightStep("2=" + text.handle()));
    EXPECT_EQ(value(1, model::kRelief), 151.75);
    EXPECT_EQ(ws.controls.reliefText, "151.75");
    EXPECT_THROW(run(cli::parsePickHeightStep("1=FFFFF")), cad::Error);
    EXPECT_EQ(value(0, model::kRelief), model::kSameAsPrevious);
}

TEST_F(EditorSteps, AddAndDeletePoints) {
    piketInWork({{0, 0}, {100, 0}});
    run(cli::parseAddPointStep("40,1"));
    EXPECT_EQ(piket().pointCount(), 3);
    EXPECT_EQ(value(1, model::kX), 40.0);
    EXPECT_EQ(ws.workPoint, 1);
    run(cli::parseDeletePointStep("3"));
    EXPECT_EQ(piket().pointCount(), 2);
    EXPECT_EQ(value(1, model::kX), 40.0);
    EXPECT_EQ(ws.workPoint, 1);
    EXPECT_THROW(run(cli::parseDeletePointStep("3")), cad::Error);
}

TEST_F(EditorSteps, WalkCarriesKnownHeightsForward) {
    piketInWork({{0, 0}, {100, 0}, {200, 0}, {300, 0}});
    piket().points[2].relief = model::Relief::typed(8.0);
    run(cli::EditorStep{});
    EXPECT_EQ(value(0, model::kRelief), model::kAuto);
    EXPECT_EQ(value(1, model::kRelief), model::kAuto);
    EXPECT_EQ(value(2, model::kRelief), 8.0);
    EXPECT_EQ(value(3, model::kRelief), 8.0);
    EXPECT_EQ(ws.workPoint, 3);
    EXPECT_EQ(ws.controls.front, model::PanelId::Editor);
}

TEST_F(EditorSteps, NothingWithoutAPicketInWork) {
    EXPECT_THROW(run(cli::EditorStep{}), cad::Error);
}

}  // namespace
