// Reading spot heights: which entities give a height, where it stands, which
// texts are reported as unreadable; and the real Russian survey.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ground/spot_heights.hpp"
#include "ground/surface.hpp"
#include "survey_fixture.hpp"

namespace {

using namespace ground_test;

bool hasSpot(const ground::SpotReading& r, double x, double y, double z) {
    return std::any_of(r.spots.begin(), r.spots.end(),
                       [&](const ground::Spot& s) { return s.x == x && s.y == y && s.z == z; });
}

TEST(SpotHeights, TextsPointsBlocksAndVertices) {
    cad::Drawing d;
    addHeightText(d, "151.50", 0, 0);               // alone: at its anchor
    addHeightText(d, " 152,25 ", 10000, 0);         // comma and blanks
    addHeightText(d, "%%U153.1", 20000, 0);         // underlined
    addHeightText(d, "КНС-1", 30000, 0);            // a name, not a height
    addHeightText(d, "154.0", 40000, 0, "Прочее");  // another layer
    addHeightText(d, "155.5", 51000, 1000);         // labels the POINT beside it
    addPoint(d, 50000, 0, 0.0);
    addPoint(d, 60000, 0, 149.8);  // a POINT with its own height
    addPoint(d, 70000, 0, 0.0);    // neither height nor label
    add3dPolyline(d, {{0, 10000, 150.0}, {10000, 10000, 151.0}});
    d.addBlock("МЕТКА", {0, 0, 0}, {});
    d.addInsert("МЕТКА", {80000, 0, 0}).setLayer(kHeights);
    addHeightText(d, "156", 80500, -500);                        // labels the block reference
    d.addInsert("МЕТКА", {90000, 0, 148.7}).setLayer(kHeights);  // a block at its height
    addCircle(d, 100000, 0, 149.2);                              // a manhole cover
    addCircle(d, 110000, 0, 0.0);                                // a circle without height
    addHeightText(d, "157.25", 120300, 300);                     // labels the circle
    addCircle(d, 120000, 0, 0.0);
    addContour(d, {{0, 20000}, {10000, 21000}}, 150.5);  // a contour line

    const ground::SpotReading r = ground::readSpotHeights(d.data(), {{kHeights}, 4.0});
    EXPECT_EQ(r.texts, 6);
    EXPECT_EQ(r.labelled, 3);
    EXPECT_EQ(r.points, 7);  // a POINT, a block, a cover, two 3D and two contour vertices
    ASSERT_EQ(r.unread.size(), 1u);
    EXPECT_EQ(r.unread[0].text, "КНС-1");
    EXPECT_EQ(r.spots.size(), 13u);
    EXPECT_TRUE(hasSpot(r, 90000, 0, 148.7));
    EXPECT_TRUE(hasSpot(r, 100000, 0, 149.2));
    EXPECT_TRUE(hasSpot(r, 120000, 0, 157.25));
    EXPECT_TRUE(hasSpot(r, 10000, 21000, 150.5));
    EXPECT_TRUE(hasSpot(r, 0, 0, 151.5));
    EXPECT_TRUE(hasSpot(r, 10000, 0, 152.25));
    EXPECT_TRUE(hasSpot(r, 20000, 0, 153.1));
    EXPECT_TRUE(hasSpot(r, 50000, 0, 155.5));  // the text's figure at the POINT
    EXPECT_TRUE(hasSpot(r, 60000, 0, 149.8));
    EXPECT_TRUE(hasSpot(r, 80000, 0, 156.0));
    EXPECT_TRUE(hasSpot(r, 10000, 10000, 151.0));
}

TEST(SpotHeights, EachMarkTakesOnlyItsNearestText) {
    cad::Drawing d;
    addPoint(d, 0, 0, 0.0);
    addHeightText(d, "10.5", 2500, 0);  // farther
    addHeightText(d, "11.5", 1000, 0);  // nearer: this one labels the POINT
    const ground::SpotReading r = ground::readSpotHeights(d.data(), {{kHeights}, 4.0});
    EXPECT_EQ(r.labelled, 1);
    EXPECT_TRUE(hasSpot(r, 0, 0, 11.5));
    EXPECT_TRUE(hasSpot(r, 2500, 0, 10.5));
}

TEST(SpotHeights, TextsOutOfReachStayAtTheirAnchor) {
    cad::Drawing d;
    addPoint(d, 0, 0, 0.0);
    addHeightText(d, "12", 4000, 0);  // 5 text heights away
    const ground::SpotReading r = ground::readSpotHeights(d.data(), {{kHeights}, 4.0});
    EXPECT_EQ(r.labelled, 0);
    EXPECT_TRUE(hasSpot(r, 4000, 0, 12.0));
    EXPECT_EQ(r.spots.size(), 1u);  // the POINT has no height of its own
}

TEST(SpotHeights, RealSurveyGivesTheGroundOfTheSite) {
    const std::filesystem::path file = KV_CORPUS_DIR "/acad2010_ru_topo_survey.dxf";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "нет ../shared/dxf-corpus: " << file;
    auto d = cad::Drawing::open(file);
    const ground::SpotReading r =
        ground::readSpotHeights(d->data(), {{"61_Отметки высоты поверхности"}, 4.0});
    EXPECT_EQ(r.texts, 423);
    EXPECT_TRUE(r.unread.empty());
    EXPECT_GT(r.labelled, 150);
    // Every height of this site lies between 24 and 31 m, save one: a text
    // "53" a twentieth of a metre high on the height layer, which reads as a
    // number and is taken as written.
    int outside = 0;
    for (const ground::Spot& s : r.spots) {
        if (s.z < 23.0 || s.z > 31.0) {
            ++outside;
            EXPECT_EQ(s.z, 53.0);
        }
    }
    EXPECT_EQ(outside, 1);
    const ground::Surface surface(r.spots, 100.0);  // the plan is drawn in metres
    EXPECT_GT(surface.triangleCount(), 300u);
}

}  // namespace
