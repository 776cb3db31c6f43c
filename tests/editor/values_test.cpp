// Taking over typed values, "Авто", and "Указать" under both decimal
// separators.
#include <string>

#include "editor_fixture.hpp"

using namespace editor_test;

namespace {

class Values : public EditorFixture, public testing::WithParamInterface<char> {
  protected:
    void SetUp() override {
        ws.decimalSeparator = GetParam();
        piketInWork({{0, 0}, {100, 0}, {200, 0}}, 3.0);
        ws.workPoint = 1;
    }
    std::string sep(const std::string& withComma) {
        std::string s = withComma;
        for (char& ch : s) {
            if (ch == ',') ch = GetParam();
        }
        return s;
    }
};

TEST_P(Values, TypedNumbersReadEitherDecimalPoint) {
    for (const char* typed : {"12.5", "12,5"}) {
        ws.controls.reliefText = typed;
        editor::takeOverRelief(ws);
        EXPECT_EQ(ws.controls.reliefText, sep("12,5")) << typed;
        EXPECT_EQ(value(1, model::kRelief), 12.5) << typed;
    }
    ws.controls.pointPipeText = "159.5";
    editor::takeOverPipe(ws);
    EXPECT_EQ(value(1, model::kPipe), 159.5);
    EXPECT_EQ(ws.controls.pointPipeText, sep("159,5"));
    ws.controls.casingText = "325,5";
    editor::takeOverCasing(ws);
    EXPECT_EQ(value(1, model::kCasing), 325.5);
    EXPECT_EQ(value(0, model::kCasing), 0.0);
    EXPECT_EQ(value(2, model::kPipe), 110.0);
}

TEST_P(Values, PickedTextReadsEitherDecimalPointAndShowsAsWritten) {
    for (const char* written : {"12.5", "12,5"}) {
        piket().points[1].relief = model::Relief::typed(3.0);
        prompter.pushEntity(drawing->addText(written, {0, 0, 0}, 2.5));
        editor::pickRelief(ws);
        EXPECT_EQ(value(1, model::kRelief), 12.5) << written;
        EXPECT_EQ(ws.controls.reliefText, written);
    }
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.calls.front(), "focus:drawing");
}

TEST_P(Values, AutomaticByTheWordByMinusOneAndByTheButton) {
    ws.controls.reliefText = "Авто";
    editor::takeOverRelief(ws);
    EXPECT_EQ(value(1, model::kRelief), model::kAuto);

    piket().points[1].relief = model::Relief::typed(3.0);
    ws.controls.reliefText = "-1";
    editor::takeOverRelief(ws);
    EXPECT_EQ(value(1, model::kRelief), model::kAuto);
    ws.workPoint = 1;
    editor::ShowWorkPoint(ws);
    EXPECT_EQ(ws.controls.reliefText, "Авто");

    piket().points[1].relief = model::Relief::typed(3.0);
    ws.controls.reliefText = "typed";
    editor::setAuto(ws);
    EXPECT_EQ(ws.controls.reliefText, "Авто");
    EXPECT_EQ(value(1, model::kRelief), model::kAuto);
}

TEST_P(Values, NotANumberKeepsTheValueAndTheFixedText) {
    for (const char* typed : {"АВТО", "авто", "1.000,5", ""}) {
        ws.controls.reliefText = typed;
        EXPECT_THROW(editor::takeOverRelief(ws), cad::Error) << typed;
        EXPECT_EQ(value(1, model::kRelief), 3.0);
    }
    ws.controls.reliefText = "1.000,5";
    EXPECT_THROW(editor::takeOverRelief(ws), cad::Error);
    EXPECT_EQ(ws.controls.reliefText, sep("1,000,5"));
    ws.controls.pointPipeText = "Авто";
    EXPECT_THROW(editor::takeOverPipe(ws), cad::Error);
    EXPECT_EQ(value(1, model::kPipe), 110.0);
    ws.controls.casingText = "x";
    EXPECT_THROW(editor::takeOverCasing(ws), cad::Error);
    EXPECT_EQ(value(1, model::kCasing), 0.0);
}

// Negatives and zero are stored as typed where the value can have them (a
// height below the sea, no casing); past the value's limits (a negative
// diameter, a height of 123 456 789 m) the field is refused and the value kept.
TEST_P(Values, NegativeAndZeroAreStoredAsTypedWithinTheValuesLimits) {
    ws.controls.reliefText = "-0.5";
    editor::takeOverRelief(ws);
    EXPECT_EQ(value(1, model::kRelief), -0.5);
    ws.controls.casingText = "0";
    editor::takeOverCasing(ws);
    EXPECT_EQ(value(1, model::kCasing), 0.0);
    ws.controls.pointPipeText = "-20";
    EXPECT_THROW(editor::takeOverPipe(ws), cad::Error);
    EXPECT_EQ(value(1, model::kPipe), 110.0);
    ws.controls.reliefText = "123456789";
    EXPECT_THROW(editor::takeOverRelief(ws), cad::Error);
    EXPECT_EQ(value(1, model::kRelief), -0.5);
    ws.controls.casingText = "1e30";
    EXPECT_THROW(editor::takeOverCasing(ws), cad::Error);
    EXPECT_EQ(value(1, model::kCasing), 0.0);
}

// A picked text that is a number no ground has is said, and not taken.
TEST_P(Values, APickedHeightNoGroundHasIsRefused) {
    piket().points[1].relief = model::Relief::typed(3.0);
    ws.controls.reliefText = "shown";
    prompter.pushEntity(drawing->addText("1e300", {0, 0, 0}, 2.5));
    EXPECT_THROW(editor::pickRelief(ws), cad::Error);
    EXPECT_EQ(value(1, model::kRelief), 3.0);
    EXPECT_EQ(ws.controls.reliefText, "shown");
}

TEST_P(Values, AFailedPickChangesNothingAndSaysNothing) {
    ws.controls.reliefText = "shown";
    prompter.pushCancel();                                             // Esc
    prompter.pushEntity(cad::EntityRef{});                             // empty pick
    prompter.pushEntity(drawing->addLine({0, 0, 0}, {1, 1, 0}));       // not a text
    prompter.pushEntity(drawing->addText("ПК 3+50", {0, 0, 0}, 2.5));  // not a number
    prompter.pushEntity(drawing->addText("1.000,5", {0, 0, 0}, 2.5));  // two points
    for (int attempt = 0; attempt < 5; ++attempt) {
        EXPECT_NO_THROW(editor::pickRelief(ws));
        EXPECT_EQ(value(1, model::kRelief), 3.0);
        EXPECT_EQ(ws.controls.reliefText, "shown");
    }
    EXPECT_EQ(prompter.remaining(), 0u);
    EXPECT_TRUE(ui.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Separators, Values, testing::Values(',', '.'),
                         [](const testing::TestParamInfo<char>& p) {
                             return p.param == ',' ? std::string("Comma") : std::string("Point");
                         });

class ValuesWithoutPoints : public EditorFixture {};

TEST_F(ValuesWithoutPoints, TheFieldIsFixedButNothingIsStoredOrAsked) {
    piketInWork({});
    ws.controls.reliefText = "12.5";
    ws.controls.casingText = "abc";
    EXPECT_NO_THROW(editor::takeOverRelief(ws));
    EXPECT_NO_THROW(editor::takeOverCasing(ws));
    EXPECT_EQ(ws.controls.reliefText, "12,5");
    editor::setAuto(ws);
    EXPECT_EQ(ws.controls.reliefText, "12,5");
    editor::pickRelief(ws);
    EXPECT_TRUE(prompter.prompts.empty());
}

}  // namespace
