// The one place where model::Controls meets the window's components: which
// member each component of PanelWidgets shows, read back before an action
// and written out after it. Nothing else in the window keeps state the model does not have.
#pragma once

namespace model {
struct Controls;
struct SheetOptions;
}  // namespace model

namespace app {

struct PanelWidgets;

// Writes every member into its component; signals stay quiet so that
// writing never starts an action.
void pushControls(const model::Controls& controls, const PanelWidgets& widgets);

// Reads what the user can change (fields, lists, check box, plan units,
// picket row selection, front panel) back into the members.
void pullControls(model::Controls& controls, const PanelWidgets& widgets);

// The same for how the profile is laid out on sheets (the controls under
// "Построить" on the editor's panel).
void pushSheetOptions(const model::SheetOptions& options, const PanelWidgets& widgets);
void pullSheetOptions(model::SheetOptions& options, const PanelWidgets& widgets);

}  // namespace app
