// The crossing editor's steps of `kernavisto-cli profile`: edits of point
// values, a relief height taken from a text, points added and deleted, and a
// walk through every point. They run in the order given on the command line,
// after taking the picket into work and before the profile run.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "cad/prompter.hpp"
#include "editor/editor.hpp"
#include "model/workspace.hpp"

namespace cli {

struct EditorStep {
    // Undo, Redo and Build are steps of the run itself: cmd_profile does them.
    enum class Kind {
        Edit,
        PickHeight,
        PickCrossTop,
        AddPoint,
        DeletePoint,
        Walk,
        Undo,
        Redo,
        Build
    };
    Kind kind = Kind::Walk;
    int point = 0;                                // N, 1-based (Edit, PickHeight, DeletePoint)
    editor::Field field = editor::Field::Relief;  // Edit
    std::string text;  // Edit: the value as typed; PickHeight: the handle
    double x = 0.0;    // AddPoint
    double y = 0.0;
};

// Reads one option's value into a step; throws CLI::ValidationError naming
// the expected form when it cannot.
EditorStep parseEditStep(std::string_view value);          // "N:relief=V", "N:crossKind=K", …
EditorStep parsePickHeightStep(std::string_view value);    // "N=HANDLE"
EditorStep parsePickCrossTopStep(std::string_view value);  // "N=HANDLE"
EditorStep parseAddPointStep(std::string_view value);      // "X,Y" with '.' decimals
EditorStep parseDeletePointStep(std::string_view value);   // "N"

// Registers --edit, --pick-height, --pick-cross-top, --add-point, --delete-point, --walk,
// --undo, --redo and --build on the profile command; steps() gives them back
// in command-line order once the command line is parsed.
class EditorStepOptions {
  public:
    void add(CLI::App& cmd);
    std::vector<EditorStep> steps() const;

  private:
    CLI::App* cmd_ = nullptr;
    CLI::Option* edit_ = nullptr;
    CLI::Option* pickHeight_ = nullptr;
    CLI::Option* pickCrossTop_ = nullptr;
    CLI::Option* addPoint_ = nullptr;
    CLI::Option* deletePoint_ = nullptr;
    CLI::Option* walk_ = nullptr;
    CLI::Option* undo_ = nullptr;
    CLI::Option* redo_ = nullptr;
    CLI::Option* build_ = nullptr;
};

// The name of a step as the window's Edit menu shows it ("Отменить «…»").
std::string stepName(const EditorStep& step);
// That of taking over one field of the editor ("Диаметр трубы").
std::string fieldStepName(editor::Field field);

// Makes the editor follow the sheet drawing's selection (set before taking
// into work, which connects it).
void connectEditor(model::Workspace& ws);

// Whether a step changes the values of the picket in work (a live run
// rebuilds the profile after it).
bool changesValues(const EditorStep& step);

// One step on the picket in work. Each step that names a point first makes it
// current as selecting its point line does. cad::Error when the step cannot
// be done (no picket in work, no such point, no entity with that handle, a
// value that is not a number).
void runEditorStep(model::Workspace& ws, cad::ScriptedPrompter& prompter, const EditorStep& step);

}  // namespace cli
