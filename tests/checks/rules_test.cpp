// The rules as the command line and the project file set them.
#include <gtest/gtest.h>

#include "cad/error.hpp"
#include "model/check_rules.hpp"

namespace {

using model::Rule;

TEST(Rules, DefaultsFollowThePipesKind) {
    model::CheckRules r;
    EXPECT_EQ(model::ruleValue(r, Rule::Clearance), 0.2);
    EXPECT_EQ(model::ruleValue(r, Rule::Cover), 0.5);
    EXPECT_EQ(model::ruleValue(r, Rule::Slope), std::nullopt);
    EXPECT_EQ(model::ruleValue(r, Rule::Frost), std::nullopt);
    r.pipe = model::PipeKind::Heating;
    EXPECT_EQ(model::ruleValue(r, Rule::Cover), 0.7);
    EXPECT_EQ(model::ruleValue(r, Rule::Slope), 0.002);
    EXPECT_EQ(model::ruleValue(r, Rule::SewerBelow), std::nullopt);
}

TEST(Rules, AssignmentsSetSwitchAndReset) {
    model::CheckRules r;
    model::applyRule(r, "clearance=0.3");
    model::applyRule(r, "cover = 0,7");
    model::applyRule(r, "power=off");
    model::applyRule(r, "slope=on");
    EXPECT_EQ(model::ruleValue(r, Rule::Clearance), 0.3);
    EXPECT_EQ(model::ruleValue(r, Rule::Cover), 0.7);
    EXPECT_EQ(model::ruleValue(r, Rule::PowerCable), std::nullopt);
    EXPECT_EQ(model::ruleValue(r, Rule::Slope), 0.001);  // a water main's value when on
    model::applyRule(r, "pipe=heating");
    model::applyRule(r, "slope=on");
    EXPECT_EQ(model::ruleValue(r, Rule::Slope), 0.002);
    model::applyRule(r, "clearance=default");
    EXPECT_EQ(r[Rule::Clearance], model::RuleSetting{});
    EXPECT_EQ(r.pipe, model::PipeKind::Heating);
}

TEST(Rules, BadNamesAndValuesAreRefusedSayingWhy) {
    auto refused = [](const char* assignment) -> std::string {
        model::CheckRules r;
        const model::CheckRules before = r;
        try {
            model::applyRule(r, assignment);
        } catch (const cad::Error& e) {
            EXPECT_EQ(r, before) << assignment;
            return e.what();
        }
        ADD_FAILURE() << assignment << " was taken";
        return {};
    };
    EXPECT_NE(refused("clerance=0.2").find("clearance, sewer"), std::string::npos);
    EXPECT_NE(refused("cover").find("ИМЯ=ЗНАЧЕНИЕ"), std::string::npos);
    EXPECT_NE(refused("cover=abc").find("не число"), std::string::npos);
    EXPECT_NE(refused("cover=").find("не число"), std::string::npos);
    EXPECT_NE(refused("cover=-0.5").find("от 0 до 100"), std::string::npos);
    EXPECT_NE(refused("slope=nan").find("slope"), std::string::npos);
    EXPECT_NE(refused("clearance=1e300").find("от 0 до 10"), std::string::npos);
    EXPECT_NE(refused("pipe=gas").find("water и heating"), std::string::npos);
}

}  // namespace
