// The crossed utility's fields of the editor: typed, cleared, chosen,
// picked, refused, and shown for the point in work.
#include <string>

#include "editor_fixture.hpp"
#include "model/crossed.hpp"

using namespace editor_test;

namespace {

class CrossedFields : public EditorFixture {
  protected:
    void SetUp() override {
        // Point 1 crosses a water main, point 2 a line on a layer of no type
        // list, point 3 was added by hand.
        piketInWork({{0, 0}, {100, 0}, {200, 0}}, 3.0);
        piket().pointObjects[0].setLayer("Водопровод - Kernavisto");
        piket().pointObjects[1].setLayer("Разметка");
        piket().pointObjects[2] = cad::EntityRef{};
        ws.workPoint = 0;
        editor::ShowWorkPoint(ws, false);
    }
    const model::Crossed& crossed(std::size_t k) { return model::crossedAt(piket(), k); }
    std::string errorOf(void (*operation)(model::Workspace&)) {
        try {
            operation(ws);
        } catch (const cad::Error& e) {
            return e.what();
        }
        return {};
    }
};

TEST_F(CrossedFields, TypedValuesAreKeptShownBackAndClearedByAnEmptyField) {
    EXPECT_EQ(ws.controls.crossTopText, "");
    EXPECT_EQ(ws.controls.crossKindIndex, 0);
    EXPECT_EQ(ws.controls.crossedNote, "");
    // The table gives the kind of the layer while the point sets none.
    EXPECT_NE(ws.controls.crossedFoundText.find("Водопровод"), std::string::npos);

    ws.controls.crossTopText = "149.4";
    EXPECT_TRUE(editor::keyPress(ws, editor::Field::CrossTop, editor::Key::Enter));
    ws.controls.crossDiameterText = "100";
    editor::keyPress(ws, editor::Field::CrossDiameter, editor::Key::Enter);
    ws.controls.crossKindIndex = 1 + static_cast<int>(model::CrossKind::Sewer);
    editor::keyPress(ws, editor::Field::CrossKind, editor::Key::Enter);
    ASSERT_TRUE(crossed(0).top);
    EXPECT_EQ(crossed(0).top->value, 149.4);
    EXPECT_EQ(crossed(0).top->foundBy, model::FoundBy::Typed);
    EXPECT_EQ(crossed(0).diameter->value, 100.0);
    EXPECT_EQ(crossed(0).kind, model::CrossKind::Sewer);
    EXPECT_EQ(ws.controls.crossTopText, "149,4");
    EXPECT_TRUE(crossed(1).empty());

    // Another point shows its own (none); coming back shows these again.
    editor::next(ws);
    EXPECT_EQ(ws.controls.crossTopText, "");
    EXPECT_EQ(ws.controls.crossDiameterText, "");
    EXPECT_EQ(ws.controls.crossKindIndex, 0);
    editor::first(ws);
    EXPECT_EQ(ws.controls.crossTopText, "149,4");
    EXPECT_EQ(ws.controls.crossDiameterText, "100");
    EXPECT_EQ(ws.controls.crossKindIndex, 1 + static_cast<int>(model::CrossKind::Sewer));

    ws.controls.crossTopText = " ";
    editor::takeOverCrossTop(ws);
    ws.controls.crossKindIndex = 0;
    editor::takeOverCrossKind(ws);
    EXPECT_FALSE(crossed(0).top);
    EXPECT_FALSE(crossed(0).kind);
    EXPECT_EQ(crossed(0).diameter->value, 100.0);
}

TEST_F(CrossedFields, BadValuesAreRefusedNamingTheFieldAndChangeNothing) {
    ws.controls.crossTopText = "150";
    editor::takeOverCrossTop(ws);
    const model::Crossed before = crossed(0);
    struct Case {
        std::string model::Controls::*field;
        const char* text;
        void (*takeOver)(model::Workspace&);
        const char* named;
    } cases[] = {
        {&model::Controls::crossTopText, "верх", editor::takeOverCrossTop, "Верх пересекаемой"},
        {&model::Controls::crossTopText, "1e30", editor::takeOverCrossTop, "Верх пересекаемой"},
        {&model::Controls::crossDiameterText, "0", editor::takeOverCrossDiameter, "Диаметр"},
        {&model::Controls::crossDiameterText, "-100", editor::takeOverCrossDiameter, "Диаметр"},
        {&model::Controls::crossDiameterText, "nan", editor::takeOverCrossDiameter, "Диаметр"},
    };
    for (const Case& c : cases) {
        ws.controls.*c.field = c.text;
        EXPECT_NE(errorOf(c.takeOver).find(c.named), std::string::npos) << c.text;
        EXPECT_EQ(crossed(0), before) << c.text;
    }
    ws.controls.crossKindIndex = 99;
    EXPECT_NE(errorOf(editor::takeOverCrossKind).find("Вид пересекаемой"), std::string::npos);
    EXPECT_EQ(crossed(0), before);
}

TEST_F(CrossedFields, PointsThatCrossNothingTakeNoValuesAndSayWhy) {
    for (int k : {1, 2}) {
        editor::selectPoint(ws, k);
        EXPECT_FALSE(ws.controls.crossedNote.empty()) << k;
        ws.controls.crossTopText = "150";
        const std::string error = errorOf(editor::takeOverCrossTop);
        EXPECT_NE(error.find(ws.controls.crossedNote), std::string::npos) << error;
        EXPECT_TRUE(crossed(static_cast<std::size_t>(k)).empty()) << k;
    }
    EXPECT_NE(ws.controls.crossedNote.find("вручную"), std::string::npos);
    editor::selectPoint(ws, 1);
    EXPECT_NE(ws.controls.crossedNote.find("Разметка"), std::string::npos);
    // Putting the layer on a type list makes it a crossing point.
    ws.controls.typeList(model::TypeList::Other).push_back("разметка");
    editor::ShowWorkPoint(ws, false);
    EXPECT_EQ(ws.controls.crossedNote, "");
    ws.controls.crossTopText = "150";
    editor::takeOverCrossTop(ws);
    EXPECT_TRUE(crossed(1).top);
}

TEST_F(CrossedFields, PickedTopIsMarkedPickedAndKeptSoWhenShownUnchanged) {
    prompter.pushEntity(drawing->addText("149.40", {0, 0, 0}, 2.5));
    EXPECT_TRUE(editor::keyUp(ws, editor::Field::CrossTop, editor::Key::Home));
    ASSERT_TRUE(crossed(0).top);
    EXPECT_EQ(crossed(0).top->value, 149.4);
    EXPECT_EQ(crossed(0).top->foundBy, model::FoundBy::Picked);
    EXPECT_NE(ws.controls.crossedFoundText.find("из текста"), std::string::npos);
    // Enter on the field as it shows the value does not make it typed.
    editor::takeOverCrossTop(ws);
    EXPECT_EQ(crossed(0).top->foundBy, model::FoundBy::Picked);
    ws.controls.crossTopText = "149,5";
    editor::takeOverCrossTop(ws);
    EXPECT_EQ(crossed(0).top->foundBy, model::FoundBy::Typed);

    // Esc and a text that is no number change nothing; a number no height is said.
    const model::Crossed before = crossed(0);
    prompter.pushCancel();
    editor::pickCrossTop(ws);
    prompter.pushEntity(drawing->addText("К1", {0, 0, 0}, 2.5));
    editor::pickCrossTop(ws);
    prompter.pushEntity(drawing->addText("1e300", {0, 0, 0}, 2.5));
    EXPECT_NE(errorOf(editor::pickCrossTop).find("Верх пересекаемой"), std::string::npos);
    EXPECT_EQ(crossed(0), before);
    // End in these fields is no "Авто" of the relief height.
    EXPECT_FALSE(editor::keyUp(ws, editor::Field::CrossTop, editor::Key::End));
    EXPECT_EQ(value(0, model::kRelief), 3.0);
}

}  // namespace
