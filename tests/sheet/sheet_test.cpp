// The blank profile sheet, line by line and text by text in drawing order,
// and taking a picket into work: the rounded length, the status text, the
// buttons, repeated takes, failures and the selection connection.
#include <gtest/gtest.h>

#include <cmath>
#include <variant>

#include "model/project.hpp"
#include "model/runner.hpp"
#include "sheet/sheet.hpp"

namespace {

struct Line {
    double x1, y1, x2, y2;
};

// The sheet as the users' plot templates expect it, in drawing order.
const Line kLines[] = {
    {0, 0, 630000, 0},
    {0, 0, 0, 148500},
    {630000, 0, 630000, 148500},
    {0, 148500, 630000, 148500},
    {10000, 2500, 627500, 2500},
    {10000, 2500, 10000, 146000},
    {627500, 2500, 627500, 146000},
    {10000, 146000, 627500, 146000},
    {10000, 2500, 4000, 2500},
    {4000, 2500, 4000, 45000},
    {6500, 2500, 6500, 45000},
    {38000, 2500, 38000, 115000},
    {2500, 45000, 2500, 110000},
    {5000, 45000, 5000, 110000},
    {7500, 45000, 7500, 110000},
    {4000, 15000, 10000, 15000},
    {4000, 32500, 10000, 32500},
    {0, 45000, 10000, 45000},
    {0, 77500, 10000, 77500},
    {0, 87500, 10000, 87500},
    {0, 97500, 10000, 97500},
    {0, 105000, 10000, 105000},
    {0, 110000, 10000, 110000},
    {2500, 55000, 10000, 55000},
    {2500, 65000, 10000, 65000},
    {2500, 72500, 10000, 72500},
    {10000, 25000, 38000, 25000},
    {10000, 32500, 38000, 32500},
    {10000, 37500, 38000, 37500},
    {10000, 42500, 38000, 42500},
    {10000, 47500, 38000, 47500},
    {10000, 52500, 38000, 52500},
    {10000, 57500, 38000, 57500},
    {10000, 62500, 38000, 62500},
    {10000, 37500, 38000, 42500},
    {10000, 72500, 38000, 72500},
    {10000, 77500, 38000, 77500},
    {10000, 82500, 38000, 82500},
    {36000, 87500, 38000, 87500},
    {36000, 92500, 38000, 92500},
    {36000, 97500, 38000, 97500},
    {36000, 102500, 38000, 102500},
    {36000, 107500, 38000, 107500},
    {15000, 67500, 38000, 67500},
    {15000, 62500, 15000, 72500},
};

struct Text {
    const char* text;
    double x, y, height, degrees, widthFactor;
};

const Text kTexts[] = {
    {"инв. N    подп.", 5925, 4470, 1000, 90, 0.7},
    {"Подпись и дата", 5925, 18060, 1000, 90, 0.7},
    {"Взамен инв. N", 5925, 33325, 1000, 90, 0.7},
    {"Согласовано:", 1860, 46310, 1000, 90, 0.7},
    {"Развернутый план", 16150, 13540, 1500, 0, 0.7},
    {"Пикет", 21360, 28090, 1250, 0, 0.7},
    {"Расстояние, м", 18480, 34380, 1250, 0, 0.7},
    {"Уклоны,    %", 11020, 40480, 1250, 0, 0.7},
    {"Длина, м", 29090, 38500, 1250, 0, 0.7},
    {"Основание", 20100, 44260, 1250, 0, 0.7},
    {"Балластировка", 19060, 49360, 1250, 0, 0.7},
    {"Обозначение трубы и тип изоляции", 11360, 54540, 1250, 0, 0.6},
    {"Глубина траншеи, м", 16260, 59290, 1250, 0, 0.7},
    {"верха трубопровода", 15790, 64235, 1250, 0, 0.7},
    {"дна траншеи", 16200, 69340, 1250, 0, 0.7},
    {"Отметка земли фактическая, м", 12500, 74465, 1250, 0, 0.7},
    {"характеристика", 18420, 78540, 1250, 0, 0.7},
    {"Инженерно-геологическая", 15880, 80505, 1250, 0, 0.7},
    {"Условный горизонт", 13775, 83360, 1250, 0, 0.7},
    {"\xD0\x9C 1:100 по вертикали", 12785, 86855, 1250, 0, 0.7},  // Cyrillic Em
    {"\xD0\x9C 1:500 по горизонтали", 12785, 88780, 1250, 0, 0.7},
    {"Отметки", 13135, 64640, 1250, 90, 0.7},
};

struct TakeIntoWork : testing::Test {
    cad::RecordingView view;
    cad::Application app{&view};
    cad::ScriptedPrompter prompter;
    model::RecordingUi ui;
    model::Workspace ws{app, prompter, ui};
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
        ws.piketCount = static_cast<int>(ws.pikets.size());
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

void expectLine(const cad::EntityRef& e, const Line& l, int lineweight) {
    ASSERT_EQ(e.dxfType(), "LINE");
    EXPECT_EQ(e.startPoint(), (cad::Point3{l.x1, l.y1, 0}));
    EXPECT_EQ(e.endPoint(), (cad::Point3{l.x2, l.y2, 0}));
    EXPECT_EQ(e.layer(), "Kernavisto");
    EXPECT_TRUE(e.visible());
    EXPECT_EQ(e.lineweight(), lineweight);
    EXPECT_EQ(e.color(), 256);
}

}  // namespace

TEST_F(TakeIntoWork, DrawsTheSheetInOrderAtTheOrigin) {
    addPiket({10.5, 11.5}, 1);
    const std::size_t before = doc->modelSpace().size();
    ASSERT_TRUE(take(0));
    EXPECT_DOUBLE_EQ(ws.piketLength, 22.0);  // 10 + 12: each rounded half to even first

    auto drawn = drawnFrom(before);
    ASSERT_EQ(drawn.size(), 45u + 22u + 13u);
    for (std::size_t i = 0; i < 45; ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        expectLine(drawn[i], kLines[i], -1);
    }
    for (std::size_t i = 0; i < 22; ++i) {
        SCOPED_TRACE("text " + std::to_string(i + 1));
        const cad::EntityRef& e = drawn[45 + i];
        ASSERT_EQ(e.dxfType(), "TEXT");
        const auto& t = cad::geomAs<cad::TextGeom>(e.entity().geom);
        EXPECT_EQ(t.text, kTexts[i].text);
        EXPECT_EQ(t.insertion, (cad::Point3{kTexts[i].x, kTexts[i].y, 0}));
        EXPECT_DOUBLE_EQ(t.height, kTexts[i].height);
        EXPECT_NEAR(t.rotation, kTexts[i].degrees, 1e-12);
        EXPECT_DOUBLE_EQ(t.widthFactor, kTexts[i].widthFactor);
        EXPECT_EQ(e.layer(), "Тексты");  // texts land on the current layer
        EXPECT_TRUE(e.visible());
    }
    for (std::size_t i = 0; i < 13; ++i) {
        SCOPED_TRACE("grid line " + std::to_string(i + 1));
        double y = i < 11 ? 32500.0 + 5000.0 * static_cast<double>(i) : i == 11 ? 25000 : 12500;
        expectLine(drawn[67 + i], {55000, y, 55022, y}, i == 12 ? 50 : -1);
    }
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
        EXPECT_DOUBLE_EQ(drawn[i].startPoint().x, 55000.0);
        EXPECT_DOUBLE_EQ(drawn[i].endPoint().x, 55000.0 + GetParam().expected);
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
    ws.profileBuilt = 1;
    ASSERT_TRUE(take(1));
    EXPECT_EQ(ws.workPiket, 2);
    EXPECT_EQ(ws.controls.statusText, "В работе Пикет 3");
    EXPECT_EQ(ws.profileBuilt, 0);
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
    EXPECT_DOUBLE_EQ(drawn[79].endPoint().x, 55100.0);
    EXPECT_DOUBLE_EQ(drawn[159].endPoint().x, 55250.0);
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
    ws.profileBuilt = 1;
    const std::size_t before = doc->modelSpace().size();
    ASSERT_TRUE(take(-1));
    EXPECT_EQ(doc->modelSpace().size(), before);
    EXPECT_EQ(ws.workPiket, -1);
    EXPECT_EQ(ws.profileBuilt, 1);
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
