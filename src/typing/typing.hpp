// The four type layer lists: taking the layer of picked objects into a list,
// removing list items, hiding every typed object and showing the collected
// objects again. An object belongs to a type when its layer is an item of
// that type's list; nothing is written into the drawing to classify it.
#pragma once

#include <string>
#include <vector>

#include "model/workspace.hpp"

namespace typing {

using model::TypeList;

std::vector<std::string>& items(model::Controls& c, TypeList list);
int& itemIndex(model::Controls& c, TypeList list);  // its selected item

// The prompt of the n-th pick: "(n) "Укажите объекты типа ..." Выход ESC".
std::string addPrompt(TypeList list, int counter);

// Asks for objects until Esc or an empty pick and appends the layer of each
// to the list (duplicates allowed); the list's selected item does not change.
void addObjects(model::Workspace& ws, TypeList list);

// Deletes the selected item, then selects the first item left (-1 when none).
void removeSelectedItem(model::Workspace& ws, TypeList list);

// "Скрыть выбранное": hides every object of the object list whose layer is an
// item of any list. "Показать все": shows every object of the object list.
// Objects that can no longer be read are skipped silently. Both end with the
// drawing, the main window and the drawing brought to the front in turn.
void hideTyped(model::Workspace& ws);
void showAll(model::Workspace& ws);

}  // namespace typing
