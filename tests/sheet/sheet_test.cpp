// The blank profile sheet checked against the layout it is drawn from (the
// frames, every row closed in the caption column, the height ruler, captions
// inside their rows, the grid over the picket), and taking a picket into
// work: the rounded length, the status text, the buttons, repeated takes,
// failures and the selection connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <variant>

#include "model/project.hpp"
#include "model/runner.hpp"
#include "recording_ui.hpp"
#include "sheet/sheet.hpp"

namespace {

using namespace sheet;

// The caption of each row of the table stands inside that row.
struct Caption {
    const char* text;
    Row row;
};

const Caption kCaptions[] = {
    {"Развернутый план", kPlanRow},
    {"Пикет", kPiketRow},
    {"Расстояние, м", kDistanceRow},
    {"Уклоны,    %", kSlopeRow},
    {"Длина, м", kSlopeRow},
    {"Основание", kBaseRow},
    {"Балластировка", kBallastRow},
    {"Обозначение трубы и тип изоляции", kPipeTypeRow},
    {"Глубина траншеи, м", kDepthRow},
    {"верха трубопровода", kPipeTopRow},
    {"дна траншеи", kTrenchBottomRow},
    {"Отметка земли фактическая, м", kGroundRow},
    {"Инженерно-геологическая", kGeologyRow},
    {"характеристика", kGeologyRow},
};

struct TakeIntoWork : testing::Test, testutil::RecordingWorkspace {
    cad::Drawing* doc = nullptr;

    void SetUp() override {
        doc = &app.add(std::make_unique<cad::Drawing>());
        model::takeProject(ws, *doc, "plan.dxf");
        doc->setCurrentLayer("Тексты");
    }

    // A picket of straight elements of the given lengths, listed as row "Пикет N".
    void addPiket(std::initializer_list<double> lengths, int number) {
        model::Piket p;
        double x = 0;
        for (double len : lengths) {
            p.elements.push_back(doc->addLine({x, 0, 0}, {x + len, 0, 0}));
            x += len;
        }
        ws.pikets.push_back(p);
        ws.controls.piketRows.push_back(
            {"Пикет " + std::to_string(number), static_cast<int>(ws.pikets.size()) - 1});
    }

    bool take(int row) {
        ws.controls.selectedRow = row;
        return model::runOperation(ws, [&] { sheet::takeIntoWork(ws); });
    }

    // Model space from entity `from` on.
    std::vector<cad::EntityRef> drawnFrom(std::size_t from) {
        auto all = doc->modelSpace();
        return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
    }
};

struct Segment {
    cad::Point3 a, b;
};

Segment segmentOf(const cad::EntityRef& e) {
    return {e.startPoint(), e.endPoint()};
}

bool horizontalAt(const Segment& s, double y) {
    return s.a.y == y && s.b.y == y;
}

bool inside(const cad::Point3& p, double x1, double y1, double x2, double y2) {
    return p.x >= x1 && p.x <= x2 && p.y >= y1 && p.y <= y2;
}

// The four sides of the rectangle, in the order bottom, left, right, top.
void expectRectangle(const std::vector<cad::EntityRef>& lines, std::size_t from, double x1,
                     double y1, double x2, double y2) {
    const Segment sides[4] = {{{x1, y1, 0}, {x2, y1, 0}},
                              {{x1, y1, 0}, {x1, y2, 0}},
                              {{x2, y1, 0}, {x2, y2, 0}},
                              {{x1, y2, 0}, {x2, y2, 0}}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[from + i].startPoint(), sides[i].a) << "side " << i;
        EXPECT_EQ(lines[from + i].endPoint(), sides[i].b) << "side " << i;
    }
}

}  // namespace

TEST_F(TakeIntoWork, DrawsTheSheetInOrderAtTheOrigin) {
    addPiket({10.5, 11.5}, 1);
    const std::size_t before = doc->modelSpace().size();
    ASSERT_TRUE(take(0));
    EXPECT_DOUBLE_EQ(ws.piketLength, 22.0);  // 10 + 12: each rounded half to even first

    auto drawn = drawnFrom(before);
    ASSERT_EQ(drawn.size(),
              static_cast<std::size_t>(kFixedLineCount + kFixedTextCount + kGridLineCount));
    const std::vector<cad::EntityRef> lines(drawn.begin(), drawn.begin() + kFixedLineCount);
    const std::vector<cad::EntityRef> texts(drawn.begin() + kFixedLineCount,
                                            drawn.begin() + kFixedLineCount + kFixedTextCount);
    const std::vector<cad::EntityRef> grid(drawn.begin() + kFixedLineCount + kFixedTextCount,
                                           drawn.end());

    for (const cad::EntityRef& e : lines) {
        ASSERT_EQ(e.dxfType(), "LINE");
        EXPECT_EQ(e.layer(), "Kernavisto");
        EXPECT_TRUE(e.visible());
        EXPECT_EQ(e.lineweight(), -1);
        EXPECT_EQ(e.color(), 256);
        EXPECT_TRUE(inside(e.startPoint(), 0, 0, kWidth, kHeight));
        EXPECT_TRUE(inside(e.endPoint(), 0, 0, kWidth, kHeight));
    }
    expectRectangle(lines, 0, 0, 0, kWidth, kHeight);
    expectRectangle(lines, 4, kFrameLeft, kFrameBottom, kFrameRight, kFrameTop);

    // The caption column closes every row of the table at its top; only the
    // slope row's diagonal runs neither across nor up.
    for (const Row& row : kTableRows) {
        const bool closed = std::any_of(lines.begin(), lines.end(), [&](const cad::EntityRef& e) {
            const Segment s = segmentOf(e);
            return horizontalAt(s, row.top) && s.a.x < s.b.x && s.b.x == kCaptionRight &&
                   s.a.x >= kFrameLeft;
        });
        EXPECT_TRUE(closed) << "row top " << row.top;
    }
    int diagonals = 0;
    for (const cad::EntityRef& e : lines) {
        const Segment s = segmentOf(e);
        if (s.a.x == s.b.x || s.a.y == s.b.y) continue;
        ++diagonals;
        EXPECT_EQ(s.a, (cad::Point3{kFrameLeft, kSlopeRow.bottom, 0}));
        EXPECT_EQ(s.b, (cad::Point3{kCaptionRight, kSlopeRow.top, 0}));
    }
    EXPECT_EQ(diagonals, 1);

    // The height ruler: ticks on the caption column's edge one metre apart
    // from a metre above the datum, on an axis that reaches past the last one.
    std::vector<double> ticks;
    double axisTop = 0.0;
    for (const cad::EntityRef& e : lines) {
        const Segment s = segmentOf(e);
        if (s.a.x == kCaptionRight && s.b.x == kCaptionRight) axisTop = std::max(s.a.y, s.b.y);
        if (s.a.y == s.b.y && s.b.x == kCaptionRight && s.a.y > kDatumY) ticks.push_back(s.a.y);
    }
    ASSERT_FALSE(ticks.empty());
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i], kDatumY + static_cast<double>(i + 1) * kUnitsPerMetreUp);
    }
    EXPECT_GT(axisTop, ticks.back());
    EXPECT_LT(axisTop, kFrameTop);

    for (const cad::EntityRef& e : texts) {
        ASSERT_EQ(e.dxfType(), "TEXT");
        const auto& t = cad::geomAs<cad::TextGeom>(e.entity().geom);
        EXPECT_TRUE(inside(t.insertion, 0, 0, kWidth, kHeight)) << t.text;
        EXPECT_TRUE(std::fabs(t.rotation) < 1e-12 || std::fabs(t.rotation - 90) < 1e-12) << t.text;
        EXPECT_GT(t.widthFactor, 0.0);
        EXPECT_EQ(e.layer(), "Тексты");  // texts land on the current layer
        EXPECT_TRUE(e.visible());
    }
    for (const Caption& c : kCaptions) {
        SCOPED_TRACE(c.text);
        auto it = std::find_if(texts.begin(), texts.end(),
                               [&](const cad::EntityRef& e) { return e.textString() == c.text; });
        ASSERT_NE(it, texts.end());
        const auto& t = cad::geomAs<cad::TextGeom>(it->entity().geom);
        EXPECT_EQ(t.rotation, 0.0);
        EXPECT_GE(t.insertion.y, c.row.bottom);
        EXPECT_LE(t.insertion.y + t.height, c.row.top);
        EXPECT_GE(t.insertion.x, kFrameLeft);
        EXPECT_LT(t.insertion.x, kCaptionRight);
    }

    // The grid over the picket: the top of every row above the plan, the top
    // of the plan row, then the plan line, heavier.
    std::vector<double> gridY;
    for (const Row& row : kTableRows) {
        if (row.top != kPlanRow.top) gridY.push_back(row.top);
    }
    gridY.push_back(kPlanRow.top);
    gridY.push_back(kPlanY);
    ASSERT_EQ(grid.size(), gridY.size());
    for (std::size_t i = 0; i < grid.size(); ++i) {
        SCOPED_TRACE("grid line " + std::to_string(i + 1));
        ASSERT_EQ(grid[i].dxfType(), "LINE");
        EXPECT_EQ(grid[i].startPoint(), (cad::Point3{kDataAreaX, gridY[i], 0}));
        EXPECT_EQ(grid[i].endPoint(), (cad::Point3{kDataAreaX + 22, gridY[i], 0}));
        EXPECT_EQ(grid[i].layer(), "Kernavisto");
        EXPECT_EQ(grid[i].lineweight(), gridY[i] == kPlanY ? 50 : -1);
    }
}

TEST(SheetLayout, ThePlanLineAndItsMarksKeepInsideThePlanRow) {
    EXPECT_GT(kPlanY - kPlanMarkReach, kPlanRow.bottom);
    EXPECT_LT(kPlanY + kPlanMarkReach, kPlanRow.top);
    // The sheet fills the paper it is plotted on.
    EXPECT_EQ(kPaperWidthMm * kPlotScale, kWidth);
    EXPECT_EQ(kPaperHeightMm * kPlotScale, kHeight);
    // The data area starts right of the caption column, inside the frame.
    EXPECT_GT(kDataAreaX, kCaptionRight);
    EXPECT_LT(kDataAreaX, kFrameRight);
}

struct LengthCase {
    std::vector<double> lengths;
    double expected;
};

class PiketLength : public TakeIntoWork, public testing::WithParamInterface<LengthCase> {};

TEST_P(PiketLength, EachElementRoundedBeforeTheSumAndTheGridFollows) {
    model::Piket p;
    double x = 0;
    for (double len : GetParam().lengths) {
        p.elements.push_back(doc->addLine({x, 5, 0}, {x + len, 5, 0}));
        x += len;
    }
    ws.pikets.push_back(p);
    ws.controls.piketRows.push_back({"Пикет 1", 0});
    const std::size_t before = doc->modelSpace().size();
    ASSERT_TRUE(take(0));
    EXPECT_DOUBLE_EQ(ws.piketLength, GetParam().expected);
    auto drawn = drawnFrom(before);
    ASSERT_EQ(drawn.size(), 80u);
    for (std::size_t i = 67; i < 80; ++i) {
        EXPECT_DOUBLE_EQ(drawn[i].startPoint().x, kDataAreaX);
        EXPECT_DOUBLE_EQ(drawn[i].endPoint().x, kDataAreaX + GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PiketLength,
                         testing::Values(LengthCase{{10.5, 11.5}, 22.0},
                                         LengthCase{{0.5, 0.5, 0.5}, 0.0},  // 1.5 unrounded
                                         LengthCase{{2.4, 2.4}, 4.0},       // 5 unrounded
                                         LengthCase{{}, 0.0},  // zero-length grid at 55000
                                         LengthCase{{600000.4}, 600000.0}));  // past the frame

TEST_F(TakeIntoWork, RowStateIndexNamesThePicketAndTheStatusShowsTheCaption) {
    addPiket({100}, 1);
    addPiket({200}, 2);
    addPiket({300}, 3);
    ws.controls.piketRows.erase(ws.controls.piketRows.begin() + 1);  // row "Пикет 2" deleted
    ws.profileBuilt = true;
    ASSERT_TRUE(take(1));
    EXPECT_EQ(ws.workPiket, 2);
    EXPECT_EQ(ws.controls.statusText, "В работе Пикет 3");
    EXPECT_FALSE(ws.profileBuilt);
    EXPECT_DOUBLE_EQ(ws.piketLength, 300.0);
    EXPECT_TRUE(ws.controls.buildEnabled && ws.controls.editorEnabled &&
                ws.controls.showAllEnabled);
    EXPECT_EQ(ws.sheetDoc, doc);
    EXPECT_TRUE(doc->hasLayer("Kernavisto"));
    ASSERT_FALSE(view.requests.empty());
    EXPECT_EQ(view.requests.back().kind, "zoomAll");
    EXPECT_TRUE(app.isActive(*doc));
}

TEST_F(TakeIntoWork, AgainDrawsASecondSheetOverTheFirstAndReconnectsOnce) {
    addPiket({100}, 1);
    addPiket({250}, 2);
    int calls = 0;
    ws.selectionHandler = [&](model::Workspace&) { ++calls; };
    const std::size_t before = doc->modelSpace().size();
    ASSERT_TRUE(take(0));
    ASSERT_TRUE(take(1));
    auto drawn = drawnFrom(before);
    ASSERT_EQ(drawn.size(), 160u);  // nothing erased
    for (std::size_t i = 0; i < 45; ++i) {
        EXPECT_EQ(drawn[i].startPoint(), drawn[80 + i].startPoint()) << i;
        EXPECT_EQ(drawn[i].endPoint(), drawn[80 + i].endPoint()) << i;
    }
    for (std::size_t i = 45; i < 67; ++i) {
        EXPECT_EQ(drawn[i].textString(), drawn[80 + i].textString()) << i;
    }
    EXPECT_DOUBLE_EQ(drawn[79].endPoint().x, kDataAreaX + 100);
    EXPECT_DOUBLE_EQ(drawn[159].endPoint().x, kDataAreaX + 250);
    EXPECT_EQ(ws.controls.statusText, "В работе Пикет 2");

    doc->setPickFirst({drawn[0]});
    EXPECT_EQ(calls, 1);  // one connection, not one per take
    EXPECT_FALSE(ui.busy);
}

TEST_F(TakeIntoWork, SelectionHandlerRunsAsAnActionOrInsideTheRunningOne) {
    addPiket({100}, 1);
    bool sawRunning = false;
    ws.selectionHandler = [&](model::Workspace& w) {
        sawRunning = w.operationRunning;
        throw cad::Error("Сбой в обработчике");
    };
    ASSERT_TRUE(take(0));
    doc->setPickFirst({});  // by the user: an action of its own, its failure shown
    EXPECT_TRUE(sawRunning);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(ui.busy);

    // Selected by a running action: the handler runs within it, its error ends it.
    EXPECT_FALSE(model::runOperation(ws, [&] { doc->setPickFirst({}); }));
    EXPECT_EQ(ui.messages.size(), 2u);
}

TEST_F(TakeIntoWork, NoSelectedRowOnlyZoomsAndActivates) {
    addPiket({100}, 1);
    ws.workPiket = -1;
    ws.profileBuilt = true;
    const std::size_t before = doc->modelSpace().size();
    ASSERT_TRUE(take(-1));
    EXPECT_EQ(doc->modelSpace().size(), before);
    EXPECT_EQ(ws.workPiket, -1);
    EXPECT_TRUE(ws.profileBuilt);
    EXPECT_FALSE(ws.controls.buildEnabled || ws.controls.editorEnabled);
    EXPECT_TRUE(ws.controls.statusText.empty());
    EXPECT_EQ(ws.sheetDoc, nullptr);
    EXPECT_EQ(view.requests.back().kind, "zoomAll");
}

TEST_F(TakeIntoWork, ElementWithoutLengthStopsAfterTheFixedPartWithAMessage) {
    model::Piket p;
    p.elements.push_back(doc->addText("не линия", {0, 0, 0}, 10));
    ws.pikets.push_back(p);
    ws.controls.piketRows.push_back({"Пикет 1", 0});
    const std::size_t before = doc->modelSpace().size();
    EXPECT_FALSE(take(0));
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(ui.busy);
    EXPECT_EQ(doc->modelSpace().size(), before + 67);  // what was drawn stays
    EXPECT_EQ(ws.workPiket, 0);
    EXPECT_EQ(ws.controls.statusText, "В работе Пикет 1");
}

// A route of 2000 km (a plan in metres taken for millimetres, or junk far
// out) would give a sheet no plotter prints and a profile of 20 000 pickets.
TEST_F(TakeIntoWork, APicketLongerThanAThousandKilometresIsRefusedBeforeTheSheet) {
    model::Piket p;
    p.elements.push_back(doc->addLine({0, 0, 0}, {2e9, 0, 0}));
    ws.pikets.push_back(p);
    ws.controls.piketRows.push_back({"Пикет 1", 0});
    ws.workPiket = -1;
    const std::size_t before = doc->modelSpace().size();
    EXPECT_FALSE(take(0));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("длиннее 1000 км"), std::string::npos) << ui.messages[0];
    EXPECT_EQ(doc->modelSpace().size(), before);
    EXPECT_EQ(ws.workPiket, -1);
}

TEST_F(TakeIntoWork, RowWithoutAPicketIsRefused) {
    ws.controls.piketRows.push_back({"Пикет 7", 6});
    ws.workPiket = -1;
    EXPECT_FALSE(take(0));
    EXPECT_EQ(ws.workPiket, -1);
    EXPECT_TRUE(ws.controls.statusText.empty());
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(TakeIntoWork, AfterNewProjectNoRowLeadsToTheOldTable) {
    addPiket({100}, 1);
    addPiket({100}, 2);
    model::newProject(ws);
    EXPECT_TRUE(take(0));  // no rows left: nothing selected, nothing taken
    EXPECT_EQ(ws.workPiket, -1);
}
