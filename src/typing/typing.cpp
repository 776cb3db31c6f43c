#include "typing/typing.hpp"

namespace typing {

std::vector<std::string>& items(model::Controls& c, TypeList list) {
    return c.typeList(list);
}

int& itemIndex(model::Controls& c, TypeList list) {
    return c.typeListSelection(list);
}

std::string addPrompt(TypeList list, int counter) {
    // By TypeList. The quotation marks of the last are unbalanced, as the users know it.
    static constexpr const char* kTails[model::kTypeListCount] = {
        ") \"Укажите объекты типа Трасса\" Выход ESC",
        ") \"Укажите объекты типа Подводы\" Выход ESC",
        ") \"Укажите объекты типа Коммуникации\" Выход ESC",
        ") \"Укажите объекты типа \"Другие пересечения\" Выход ESC",
    };
    return "(" + std::to_string(counter) + kTails[static_cast<std::size_t>(list)];
}

void addObjects(model::Workspace& ws, TypeList list) {
    ws.ui.focusDrawing();
    int counter = 0;
    for (;;) {
        cad::PickedEntity picked;
        try {
            picked = ws.prompter.getEntity(addPrompt(list, counter));
        } catch (const cad::Cancelled&) {
            return;
        }
        ++counter;
        items(ws.controls, list).push_back(picked.entity.layer());
    }
}

void removeSelectedItem(model::Workspace& ws, TypeList list) {
    std::vector<std::string>& v = items(ws.controls, list);
    int& index = itemIndex(ws.controls, list);
    if (index >= 0 && index < static_cast<int>(v.size())) {
        v.erase(v.begin() + index);
    }
    index = v.empty() ? -1 : 0;
}

namespace {

void bringToFrontThreeTimes(model::Ui& ui) {
    ui.focusDrawing();
    ui.focusMainWindow();
    ui.focusDrawing();
}

constexpr TypeList kAllLists[] = {TypeList::Route, TypeList::Connections, TypeList::Communications,
                                  TypeList::Other};

}  // namespace

void hideTyped(model::Workspace& ws) {
    for (cad::EntityRef object : ws.objectList) {
        if (!object.exists()) continue;  // erased since the project was opened
        for (TypeList list : kAllLists) {
            for (const std::string& item : items(ws.controls, list)) {
                if (object.layer() == item) object.setVisible(false);
            }
        }
    }
    bringToFrontThreeTimes(ws.ui);
}

void showAll(model::Workspace& ws) {
    for (cad::EntityRef object : ws.objectList) {
        if (object.exists()) object.setVisible(true);
    }
    bringToFrontThreeTimes(ws.ui);
}

}  // namespace typing
