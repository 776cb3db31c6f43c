// A long picket over several sheets: where the sheets are cut, the chainage
// going on from sheet to sheet, every sheet with its own blank and table, the
// scales, and a datum that fits each sheet.
#include <algorithm>
#include <map>

#include "fixture.hpp"
#include "sheet/sheets.hpp"

namespace {

using profile_test::ProfileFixture;

TEST(SheetSpans, CutAtWholePicketsOneBelowTheOther) {
    model::SheetOptions o;
    EXPECT_EQ(sheet::sheetSpans(2000000.0, o).size(), 1u);  // unsplit: one sheet, as specified
    o.split = true;
    const auto spans = sheet::sheetSpans(2000000.0, o);
    ASSERT_EQ(spans.size(), 4u);
    const double ends[] = {500000, 1000000, 1500000, 2000000};
    for (std::size_t s = 0; s < spans.size(); ++s) {
        EXPECT_EQ(spans[s].start, s == 0 ? 0.0 : ends[s - 1]);
        EXPECT_EQ(spans[s].end, ends[s]);
        EXPECT_EQ(spans[s].offsetY, -sheet::kSheetPitch * static_cast<double>(s));
    }
    o.horizontalScale = 1000;
    ASSERT_EQ(sheet::sheetSpans(2000000.0, o).size(), 2u);
    EXPECT_EQ(sheet::sheetSpans(2000000.0, o)[0].end, 1100000.0);
    o.horizontalScale = 2000;
    EXPECT_EQ(sheet::sheetSpans(2000000.0, o).size(), 1u);
    EXPECT_EQ(sheet::sheetSpans(560000.0, model::SheetOptions{true}).size(), 1u);
}

class LongPicket : public ProfileFixture {
  protected:
    // A straight 2 km route with a point every 70 m, none on a whole picket.
    void makeRoute() {
        addPoint(0, 0, 150.0, 1.5);
        for (double x = 35000; x < 2000000; x += 70000) addPoint(x, 0, 150.0 + x / 400000.0, 1.5);
        addPoint(2005000, 0, 155.0, 1.5);
    }
};

TEST_F(LongPicket, ChainageGoesOnOverFourSheets) {
    makeRoute();
    ws.sheetOptions.split = true;
    profile::build(ws);
    EXPECT_EQ(ws.sheetCount, 4);
    // Every whole picket 0 .. 20 is labelled once, on the sheet that holds it.
    std::map<std::string, int> wholePikets;
    for (const auto& t : texts()) {
        for (int s = 0; s < 4; ++s) {
            const double y = sheet::kPiketRow.bottom + 450 - sheet::kSheetPitch * s;
            if (std::fabs(t.at.y - y) > 1e-6 || t.height != 1250.0) continue;
            if (t.text.find('+') != std::string::npos) continue;
            wholePikets[t.text] += 1;
            const int j = std::stoi(t.text);
            EXPECT_EQ(s, std::min(3, j == 0 ? 0 : (j - 1) / 5)) << t.text;
            // On its sheet the picket stands at its chainage from the sheet's start.
            EXPECT_NEAR(t.at.x,
                        sheet::kDataAreaX + 625 + (j * 100000.0 - std::max(0, s) * 500000.0), 1e-6)
                << t.text;
        }
    }
    EXPECT_EQ(wholePikets.size(), 21u);
    for (const auto& [label, count] : wholePikets) EXPECT_EQ(count, 1) << label;
    // Each later sheet has its own blank: its datum caption and its datum label.
    std::size_t captions = 0;
    for (const cad::EntityRef& e : doc.modelSpace()) {
        if (e.dxfType() == "TEXT" && e.textString() == "Условный горизонт") ++captions;
    }
    EXPECT_EQ(captions, 3u);  // sheets 2 to 4; the first came with taking into work
    // The ground line ends on each sheet's last point: nothing is drawn past the frame.
    for (const auto& l : lines()) {
        EXPECT_LE(std::max(l.start.x, l.end.x), sheet::kFrameRight) << l.start.x;
    }
    // Point lines belong to the points of the picket, one each.
    ASSERT_EQ(ws.pointLines.size(), piket().points.size());
    for (const auto& line : ws.pointLines) EXPECT_FALSE(line.isNull());
}

TEST_F(LongPicket, SmallerScalesTakeTheRouteOnFewerSheets) {
    makeRoute();
    ws.sheetOptions.split = true;
    ws.sheetOptions.horizontalScale = 1000;
    ws.sheetOptions.verticalScale = 200;
    profile::build(ws);
    EXPECT_EQ(ws.sheetCount, 2);
    // 70 m is 35 000 units at 1:1000; 1 m of height 2500 units at 1:200.
    EXPECT_TRUE(lineFrom(sheet::kDataAreaX + 17500, sheet::kDatumY, sheet::kDataAreaX + 17500,
                         sheet::kDatumY + (150.0875 - ws.horizonLevel) * 2500));
}

TEST_F(LongPicket, UnknownScalesAreRefused) {
    makeRoute();
    ws.sheetOptions.horizontalScale = 750;
    profile::build(ws);
    expectRefusedWith("1:500, 1:1000 или 1:2000");
}

TEST_F(LongPicket, APerSheetDatumKeepsTheGroundOnTheSheet) {
    // 20 m of rise over 400 m: more than the 12 m the profile area holds above
    // a datum 5 m under the lowest ground.
    for (int i = 0; i <= 8; ++i) addPoint(i * 50000.0, 0, 100.0 + 2.5 * i, 1.5);
    ws.sheetOptions.datumPerSheet = true;
    profile::build(ws);
    const auto datum = textsAtY(sheet::kDatumY + 860);
    ASSERT_FALSE(datum.empty());
    EXPECT_EQ(datum[0].text, "98,0");  // raised from 95 as far as the pipe (from 98.5 m) allows
    EXPECT_LT(datum[0].at.x, sheet::kDataAreaX);
    // What the raised datum cannot hold, the steps of the datum do.
    for (const auto& l : lines()) EXPECT_LE(std::max(l.start.y, l.end.y), sheet::kFrameTop);
}

}  // namespace
