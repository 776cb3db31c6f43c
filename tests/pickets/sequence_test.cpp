// A picket by sequential selection: the picket's ends from the free ends of
// its first and last element (whole-unit meeting), the prompts, refusing
// objects without ends, and Esc.
#include <gtest/gtest.h>

#include "pickets/detail.hpp"
#include "pickets/pickets.hpp"
#include "plan.hpp"

using namespace pickets;
using namespace pickets::testing;
using cad::EntityRef;
using cad::Point3;

namespace {

// The picks, then Esc: the one picket "Последовательный выбор" defined, or
// null when there is not exactly one.
const model::Piket* pickInSequence(Plan& plan, std::initializer_list<EntityRef> picks) {
    for (const EntityRef& e : picks) plan.prompter.pushEntity(e);
    plan.prompter.pushCancel();
    addBySequence(plan.ws);
    return plan.ws.piketCount() == 1 ? &plan.ws.pikets[0] : nullptr;
}

}  // namespace

struct EndsCase {
    const char* name;
    std::vector<std::array<double, 4>> lines;  // x1, y1, x2, y2 in pick order
    Point3 start;
    Point3 end;
};
class SequenceEnds : public ::testing::TestWithParam<EndsCase> {};

TEST_P(SequenceEnds, FreeEndsOfTheFirstAndLastElement) {
    Plan plan;
    std::vector<EntityRef> picked;
    for (const auto& l : GetParam().lines) picked.push_back(plan.route(l[0], l[1], l[2], l[3]));
    detail::Ends ends = detail::sequenceEnds(picked);
    EXPECT_EQ(ends.start, GetParam().start);
    EXPECT_EQ(ends.end, GetParam().end);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SequenceEnds,
    ::testing::Values(
        EndsCase{"one element as drawn", {{1000, 0, 0, 0}}, {1000, 0, 0}, {0, 0, 0}},
        EndsCase{
            "in picking direction", {{0, 0, 1000, 0}, {1000, 0, 2000, 0}}, {0, 0, 0}, {2000, 0, 0}},
        EndsCase{"head to head", {{1000, 0, 0, 0}, {1000, 0, 2000, 0}}, {0, 0, 0}, {2000, 0, 0}},
        EndsCase{"last element reversed",
                 {{0, 0, 1000, 0}, {1000, 500, 1000, 0}, {2000, 500, 1000, 500}},
                 {0, 0, 0},
                 {2000, 500, 0}},
        // 10.6 and 11.4 both round to 11: the ends meet.
        EndsCase{"whole units meet", {{10.6, 0, 0, 0}, {11.4, 0, 20, 0}}, {0, 0, 0}, {20, 0, 0}},
        // 10.4 rounds to 10, 10.6 to 11: they do not, so no end is exchanged.
        EndsCase{
            "whole units apart", {{10.6, 0, 0, 0}, {10.4, 0, 20, 0}}, {10.6, 0, 0}, {10.4, 0, 0}}),
    [](const ::testing::TestParamInfo<EndsCase>& p) {
        std::string n = p.param.name;
        for (char& ch : n) {
            if (ch == ' ') ch = '_';
        }
        return n;
    });

TEST(Sequence, PicksInOrderUntilEscAndEveryEndCarriesTheDepthField) {
    Plan plan;
    EntityRef a = plan.route(1000, 0, 0, 0);  // head to head with b
    EntityRef b = plan.route(1000, 0, 2000, 0);
    EntityRef w = plan.line(kWater, 1500, -5, 1500, 5);
    plan.snapshot();
    plan.ws.controls.depthText = "2,5";
    const model::Piket* picked = pickInSequence(plan, {a, b});
    ASSERT_NE(picked, nullptr);
    const model::Piket& p = *picked;
    EXPECT_EQ(p.elements, (std::vector<EntityRef>{a, b}));
    EXPECT_EQ(a.startPoint(), (Point3{1000, 0, 0}));  // nothing turned
    std::vector<double> xs;
    for (const auto& r : p.points) {
        xs.push_back(r.x);
        EXPECT_EQ(r.depth, 2.5);
    }
    EXPECT_EQ(xs, (std::vector<double>{0, 1000, 1500, 2000}));
    EXPECT_EQ(p.pointObjects[2], w);
    EXPECT_EQ(plan.prompter.prompts,
              (std::vector<std::string>{sequencePrompt(0), sequencePrompt(1), sequencePrompt(2)}));
    EXPECT_EQ(sequencePrompt(0),
              "(0) \"Укажите последовательно элементы пикета от начала до конца\" Выход ESC");
    ASSERT_EQ(plan.ws.controls.piketRows.size(), 1u);
    EXPECT_EQ(plan.ws.controls.piketRows[0].caption, "Пикет 1");
    EXPECT_TRUE(plan.ui.messages.empty());
    EXPECT_FALSE(plan.ui.busy);
    EXPECT_EQ(plan.ui.calls.back(), "busy:off");
    EXPECT_NE(std::find(plan.ui.calls.begin(), plan.ui.calls.end(), "focus:main"),
              plan.ui.calls.end());
}

TEST(Sequence, ObjectWithoutEndsIsRefusedAtThePickAndTheLoopGoesOn) {
    Plan plan;
    EntityRef a = plan.route(0, 0, 1000, 0);
    EntityRef text = plan.d.addText("ПК 1", {500, 50, 0}, 250);
    cad::Entity circle;
    circle.dxfType = "CIRCLE";
    circle.geom = cad::CircleGeom{{500, 0, 0}, 100};
    EntityRef c = plan.d.addEntity(circle);
    EntityRef b = plan.route(1000, 0, 2000, 0);
    plan.snapshot();
    const model::Piket* picked = pickInSequence(plan, {a, text, c, b});
    ASSERT_NE(picked, nullptr);
    const model::Piket& p = *picked;
    EXPECT_EQ(p.elements, (std::vector<EntityRef>{a, b}));
    EXPECT_EQ(plan.prompter.notes, (std::vector<std::string>{kNotAnElement, kNotAnElement}));
    EXPECT_EQ(plan.prompter.prompts,
              (std::vector<std::string>{sequencePrompt(0), sequencePrompt(1), sequencePrompt(1),
                                        sequencePrompt(1), sequencePrompt(2)}));
    EXPECT_GE(p.pointCount(), 3);
}

TEST(Sequence, EscAtTheFirstPromptLeavesNoPicketAndShowsEverythingAgain) {
    Plan plan;
    plan.route(0, 0, 1000, 0);
    EntityRef w = plan.line(kWater, 500, -5, 500, 5);
    plan.snapshot();
    plan.ws.controls.hideWhilePicking = true;
    plan.prompter.pushCancel();
    addBySequence(plan.ws);
    EXPECT_EQ(plan.ws.piketCount(), 0);
    EXPECT_TRUE(plan.ws.pikets.empty());
    EXPECT_TRUE(plan.ws.controls.piketRows.empty());
    EXPECT_TRUE(plan.ui.messages.empty());
    EXPECT_TRUE(w.visible());
    EXPECT_FALSE(plan.ui.busy);
}

TEST(Sequence, ElementsOutOfOrderStillGiveOrderedPoints) {
    Plan plan;
    const EntityRef route[] = {plan.route(0, 0, 1000, 0), plan.route(1000, 0, 2000, 0),
                               plan.route(2000, 0, 3000, 0)};
    plan.snapshot();
    const model::Piket* picked = pickInSequence(plan, {route[0], route[2], route[1]});
    ASSERT_NE(picked, nullptr);
    EXPECT_EQ(xsOf(*picked), (std::vector<double>{0, 1000, 2000, 3000}));
}

TEST(Sequence, FieldThatIsNotANumberStopsBeforeTheFirstPrompt) {
    Plan plan;
    EntityRef a = plan.route(0, 0, 1000, 0);
    plan.snapshot();
    plan.ws.controls.pipeText = "110 мм";
    plan.prompter.pushEntity(a);
    EXPECT_THROW(addBySequence(plan.ws), cad::Error);
    EXPECT_TRUE(plan.prompter.prompts.empty());
    EXPECT_EQ(plan.ws.piketCount(), 0);
    EXPECT_TRUE(plan.ui.calls.empty());
}
