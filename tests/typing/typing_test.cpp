// Type layer lists: the pick loop with its counting prompt, Esc, removing
// items, hiding typed objects and showing them, with the foreground calls.
#include <gtest/gtest.h>

#include <algorithm>

#include "model/runner.hpp"
#include "recording_ui.hpp"
#include "typing/typing.hpp"

using namespace typing;

namespace {

struct Typing : testing::Test, testutil::RecordingWorkspace {
    cad::Drawing doc;

    cad::EntityRef lineOn(const std::string& layer) {
        cad::EntityRef e = doc.addLine({0, 0, 0}, {1, 1, 0});
        e.setLayer(layer);
        return e;
    }
};

}  // namespace

struct PromptCase {
    TypeList list;
    const char* first;
};

class AddPrompt : public testing::TestWithParam<PromptCase> {};

TEST_P(AddPrompt, ExactTextWithTheCounter) {
    EXPECT_EQ(addPrompt(GetParam().list, 0), GetParam().first);
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, AddPrompt,
    testing::Values(
        PromptCase{TypeList::Route, "(0) \"Укажите объекты типа Трасса\" Выход ESC"},
        PromptCase{TypeList::Connections, "(0) \"Укажите объекты типа Подводы\" Выход ESC"},
        PromptCase{TypeList::Communications, "(0) \"Укажите объекты типа Коммуникации\" Выход ESC"},
        PromptCase{TypeList::Other,
                   "(0) \"Укажите объекты типа \"Другие пересечения\" Выход ESC"}));

TEST_F(Typing, ThreePicksOnOneLayerAppendItThreeTimesAndCountInThePrompt) {
    cad::EntityRef a = lineOn("Сеть");
    cad::EntityRef b = lineOn("Сеть");
    for (auto e : {a, b, a}) prompter.pushEntity(e);
    prompter.pushCancel();
    EXPECT_TRUE(model::runOperation(ws, [&] { addObjects(ws, TypeList::Communications); }));
    EXPECT_EQ(ws.controls.typeList(model::TypeList::Communications),
              (std::vector<std::string>{"Водопровод - Kernavisto", "Теплотрасса - Kernavisto",
                                        "Сеть", "Сеть", "Сеть"}));
    ASSERT_EQ(prompter.prompts.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(prompter.prompts[static_cast<std::size_t>(i)],
                  addPrompt(TypeList::Communications, i));
    }
    EXPECT_EQ(ws.controls.typeListSelection(model::TypeList::Communications),
              0);  // adding does not move the selection
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(std::count(ui.calls.begin(), ui.calls.end(), "focus:drawing"), 1);
}

TEST_F(Typing, EscAtTheFirstPromptLeavesTheListAndAnEmptyPickEndsTheLoop) {
    prompter.pushCancel();
    addObjects(ws, TypeList::Route);
    EXPECT_EQ(ws.controls.typeList(model::TypeList::Route),
              std::vector<std::string>{"Трасса - Kernavisto"});

    prompter.pushEntity(lineOn("А"));
    prompter.pushEntity(cad::EntityRef{});  // a pick on empty space
    prompter.pushEntity(lineOn("Б"));
    addObjects(ws, TypeList::Route);
    EXPECT_EQ(ws.controls.typeList(model::TypeList::Route),
              (std::vector<std::string>{"Трасса - Kernavisto", "А"}));
    EXPECT_EQ(prompter.remaining(), 1u);
}

TEST_F(Typing, UnreadablePickEndsWithAMessageAndKeepsWhatWasAdded) {
    cad::EntityRef gone = lineOn("Б");
    prompter.pushEntity(lineOn("А"));
    prompter.pushEntity(gone);
    gone.erase();
    EXPECT_FALSE(model::runOperation(ws, [&] { addObjects(ws, TypeList::Other); }));
    EXPECT_EQ(ws.controls.typeList(model::TypeList::Other),
              (std::vector<std::string>{"Асфальт - Kernavisto", "А"}));
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(Typing, RemovingDeletesTheSelectedItemThenSelectsTheFirst) {
    ws.controls.typeList(model::TypeList::Communications) = {"a", "b", "c"};
    ws.controls.typeListSelection(model::TypeList::Communications) = 1;
    removeSelectedItem(ws, TypeList::Communications);
    EXPECT_EQ(ws.controls.typeList(model::TypeList::Communications),
              (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(ws.controls.typeListSelection(model::TypeList::Communications), 0);

    ws.controls.typeListSelection(model::TypeList::Communications) =
        -1;  // the user typed into the field
    removeSelectedItem(ws, TypeList::Communications);
    EXPECT_EQ(ws.controls.typeList(model::TypeList::Communications),
              (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(ws.controls.typeListSelection(model::TypeList::Communications), 0);

    removeSelectedItem(ws, TypeList::Communications);
    removeSelectedItem(ws, TypeList::Communications);
    EXPECT_TRUE(ws.controls.typeList(model::TypeList::Communications).empty());
    EXPECT_EQ(ws.controls.typeListSelection(model::TypeList::Communications), -1);
    removeSelectedItem(ws, TypeList::Communications);  // nothing left: no harm
    EXPECT_EQ(ws.controls.typeListSelection(model::TypeList::Communications), -1);
}

TEST_F(Typing, HidingTakesEveryListAndSkipsErasedObjects) {
    cad::EntityRef route = lineOn("Трасса - Kernavisto");
    cad::EntityRef both = lineOn("Общий");
    cad::EntityRef asphalt = lineOn("Асфальт - Kernavisto");
    cad::EntityRef plain = lineOn("0");
    cad::EntityRef gone = lineOn("Подводы - Kernavisto");
    ws.controls.typeList(model::TypeList::Connections).push_back("Общий");
    ws.controls.typeList(model::TypeList::Other)
        .push_back("Общий");  // in two lists: hidden, no harm
    ws.objectList = doc.modelSpace();
    cad::EntityRef later = lineOn("Трасса - Kernavisto");  // not in the snapshot
    gone.erase();

    hideTyped(ws);
    EXPECT_FALSE(route.visible());
    EXPECT_FALSE(both.visible());
    EXPECT_FALSE(asphalt.visible());
    EXPECT_TRUE(plain.visible());
    EXPECT_TRUE(later.visible());
    EXPECT_EQ(ui.calls, (std::vector<std::string>{"focus:drawing", "focus:main", "focus:drawing"}));

    plain.setVisible(false);  // hidden by the user by other means
    later.setVisible(false);
    ui.calls.clear();
    showAll(ws);
    for (auto e : {route, both, asphalt, plain}) EXPECT_TRUE(e.visible());
    EXPECT_FALSE(later.visible());
    EXPECT_EQ(ui.calls, (std::vector<std::string>{"focus:drawing", "focus:main", "focus:drawing"}));
}

TEST_F(Typing, EmptyListsHideNothingButStillBringWindowsToFront) {
    cad::EntityRef route = lineOn("Трасса - Kernavisto");
    ws.objectList = doc.modelSpace();
    for (TypeList l :
         {TypeList::Route, TypeList::Connections, TypeList::Communications, TypeList::Other}) {
        items(ws.controls, l).clear();
    }
    hideTyped(ws);
    EXPECT_TRUE(route.visible());
    EXPECT_EQ(ui.calls.size(), 3u);
}
