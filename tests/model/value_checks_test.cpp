// The one set of value limits every door asks: which value of a point row is
// named as wrong, and where plan coordinates stop telling 0.01 mm apart in
// each of the plan's units.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/value_checks.hpp"

namespace {

using model::PlanUnits;
using model::PointRow;

// A row as the program makes it: an automatic height, a typed depth.
PointRow madeRow() {
    return PointRow{7.5e9, 6.0e9, model::kAuto, 1.8, 225, 530, 0, 0, 0, 1250};
}

TEST(ValueChecks, RowsTheProgramMakesPassAndTheFirstBadValueIsNamed) {
    EXPECT_FALSE(model::pointRowProblem(madeRow(), PlanUnits::Millimetres));
    PointRow survey = madeRow();
    survey[model::kRelief] = model::kSameAsPrevious;
    survey[model::kPointKind] = model::kGroundPoint;
    survey[model::kSurveyRelief] = -28.5;  // below the sea
    survey[model::kSurveyed] = 1;
    survey[model::kDepth] = model::kAuto;
    EXPECT_FALSE(model::pointRowProblem(survey, PlanUnits::Millimetres));
    // The depth the build gives a ground point under a hill is no typed depth.
    survey[model::kDepth] = 150.0;
    EXPECT_FALSE(model::pointRowProblem(survey, PlanUnits::Millimetres));
    survey[model::kPointKind] = 0;
    EXPECT_EQ(model::pointRowProblem(survey, PlanUnits::Millimetres)->value, model::kDepth);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        int value;
        double bad;
    } cases[] = {
        {model::kX, 1e15},          {model::kY, -nan},         {model::kRelief, 123456789},
        {model::kRelief, nan},      {model::kDepth, 1e30},     {model::kPipe, -20},
        {model::kCasing, HUGE_VAL}, {model::kPointKind, 3},    {model::kSurveyRelief, 1e308},
        {model::kSurveyed, 0.5},    {model::kChainage, -1e-9}, {model::kChainage, nan},
    };
    for (const auto& c : cases) {
        PointRow row = madeRow();
        row[c.value] = c.bad;
        const auto problem = model::pointRowProblem(row, PlanUnits::Millimetres);
        ASSERT_TRUE(problem) << c.value << " " << c.bad;
        EXPECT_EQ(problem->value, c.value) << c.bad;
        EXPECT_FALSE(problem->what.empty());
    }
}

TEST(ValueChecks, CoordinatesAreMeasuredInTerrainWhateverTheUnits) {
    // 7.5e9 mm is a real coordinate with its zone number; the same number of
    // metres is 7.5e12 mm of terrain, where 0.01 mm is lost.
    EXPECT_TRUE(model::plausiblePlace(7.5e9, -6e9, PlanUnits::Millimetres));
    EXPECT_TRUE(model::plausiblePlace(7.5e9, 0, PlanUnits::Centimetres));
    EXPECT_FALSE(model::plausiblePlace(7.5e9, 0, PlanUnits::Metres));
    EXPECT_TRUE(model::plausiblePlace(7.5e6, 0, PlanUnits::Metres));
    EXPECT_FALSE(model::plausiblePlace(0, -1e15, PlanUnits::Millimetres));
    EXPECT_FALSE(model::plausiblePlace(std::nan(""), 0, PlanUnits::Millimetres));
    PointRow row = madeRow();
    EXPECT_EQ(model::pointRowProblem(row, PlanUnits::Metres)->value, model::kX);
}

}  // namespace
