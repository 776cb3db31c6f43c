// The checks on the sample plan's road, built as ./run.sh builds it: a crossed
// water pipe too close under the new pipe at one crossing, far enough at
// another, and a cover rule deeper than the whole pipe.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "checks/checks.hpp"
#include "cli/editor_steps.hpp"
#include "model/project.hpp"
#include "pickets/pickets.hpp"
#include "profile/build.hpp"
#include "recording_ui.hpp"
#include "sample_road.hpp"
#include "sheet/sheet.hpp"

namespace {

class SampleChecks : public testing::Test {
  protected:
    model::HeadlessWorkspace<testutil::RecordingUi> h;
    model::Workspace& ws = h.ws;

    void SetUp() override {
        const std::filesystem::path plan =
            std::filesystem::path(KV_SOURCE_DIR) / "examples/plan.dxf";
        ASSERT_TRUE(std::filesystem::exists(plan)) << plan;
        cli::connectEditor(ws);
        model::openProject(ws, plan);
        h.prompter.pushPoint({sample_road::kFrom.x, sample_road::kFrom.y, 0.0});
        h.prompter.pushPoint({sample_road::kTo.x, sample_road::kTo.y, 0.0});
        pickets::addByEndPoints(ws);
        ws.controls.selectedRow = static_cast<int>(ws.controls.piketRows.size()) - 1;
        sheet::takeIntoWork(ws);
        for (int k = 1; k <= sample_road::kPointCount; ++k) {
            const char* text = sample_road::kHeightTexts[static_cast<std::size_t>(k - 1)];
            const std::string n = std::to_string(k);
            cli::runEditorStep(ws, h.prompter,
                               text ? cli::parsePickHeightStep(n + "=" + text)
                                    : cli::parseEditStep(n + ":relief=Авто"));
        }
        profile::build(ws);
        ASSERT_TRUE(h.ui.messages.empty()) << testing::PrintToString(h.ui.messages);
        ASSERT_EQ(ws.piketInWork()->built.size(), std::size_t(sample_road::kPointCount));
    }

    // A water pipe of 100 mm whose top lies `gap` metres under the new pipe's bottom.
    void waterUnder(std::size_t k, double gap) {
        model::Piket& p = *ws.piketInWork();
        const model::PointRow& row = p.built[k];
        const double bottom = row[model::kRelief] - row[model::kDepth] - row[model::kPipe] / 1000.0;
        model::Crossed c;
        c.top = model::CrossedValue{bottom - gap};
        c.diameter = model::CrossedValue{100.0};
        c.kind = model::CrossKind::Water;
        model::setCrossed(p, k, c);
    }
};

TEST_F(SampleChecks, ClearanceAtTheCloseCrossingOnlyAndCoverEverywhere) {
    waterUnder(2, 0.16);  // point 3, a crossing
    waterUnder(9, 1.0);   // point 10
    std::vector<checks::Finding> f = checks::checkPiketInWork(ws);
    ASSERT_EQ(f.size(), 1u) << testing::PrintToString(f.size());
    EXPECT_EQ(f[0].point, 3);
    EXPECT_EQ(f[0].rule, "clearance");
    EXPECT_DOUBLE_EQ(f[0].actual, 0.16);
    EXPECT_EQ(f[0].text, "Точка 3: до водопровода 0,16 м по вертикали, нужно не менее 0,20 м");

    model::applyRule(ws.checkRules, "cover=5");
    f = checks::checkPiketInWork(ws);
    int covers = 0;
    for (const checks::Finding& finding : f) {
        if (finding.rule != "cover") continue;
        EXPECT_EQ(finding.point, ++covers);
    }
    EXPECT_EQ(covers, sample_road::kPointCount);
}

}  // namespace
