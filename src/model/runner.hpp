// How every user action runs: one at a time, with the busy indicator shown
// while it works and always hidden afterwards, its failure shown to the user
// as a message, and Esc at a prompt ending it quietly. Also the hiding of
// everything but the route while a picket is picked ("Скрывать элементы"),
// which a failed action undoes.
#pragma once

#include <functional>

#include "model/workspace.hpp"

namespace model {

// Runs one user action. Refuses (returns false at once, nothing shown) while
// another action runs. cad::Error and other exceptions become ui.message;
// cad::Cancelled ends the action without a message. The busy indicator is
// hidden at the end in every case, and objects hidden for picking are shown
// again when the action did not complete. Returns whether it completed.
bool runOperation(Workspace& ws, const std::function<void()>& operation);

// With "Скрывать элементы" ticked and at least one route layer listed, hides
// every object of the object list that is not on a route layer and returns
// true; otherwise changes nothing and returns false. Objects that can no
// longer be read (erased since the project was opened) are skipped.
bool hideForPicking(Workspace& ws);

// Shows every object of the object list again if hideForPicking hid them.
void showAfterPicking(Workspace& ws);

}  // namespace model
