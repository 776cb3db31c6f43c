// libFuzzer target: any bytes through the project file reader. A file is
// either refused with cad::Error or restored into a workspace over a small
// drawing; the restored state keeps the model's invariants, every point value
// lies within the limits every other door applies, and what the writer makes
// of it reads again without a refusal. A picket in work that is whole is then
// built into a sheet, as `profile --project` does: refused with a message or
// drawn, in bounded time and memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cad/error.hpp"
#include "model/value_checks.hpp"
#include "profile/build.hpp"
#include "project/project_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    project::ProjectData parsed;
    try {
        parsed = project::parse(text);
    } catch (const cad::Error&) {
        return 0;  // refused, with a message: fine
    }
    struct QuietUi : model::Ui {
        void message(const std::string&) override {}
        void setBusy(bool) override {}
    };
    model::HeadlessWorkspace<QuietUi> headless;
    model::Workspace& ws = headless.ws;
    cad::Drawing& doc = headless.app.add(cad::Drawing::create("AC1015"));
    for (int i = 0; i < 8; ++i) doc.addLine({0.0, double(i), 0.0}, {10.0, double(i), 0.0});
    ws.doc = &doc;
    project::restore(ws, parsed);  // parsed data is never refused

    const int tableSize = static_cast<int>(ws.pikets.size());
    for (const model::PiketRow& row : ws.controls.piketRows) {
        if (row.stateIndex < 0 || row.stateIndex >= tableSize) __builtin_trap();
    }
    for (const model::Piket& p : ws.pikets) {
        if (p.pointObjects.size() != p.points.size()) __builtin_trap();
        for (const model::PiketPoint& point : p.points) {
            if (model::pointRowProblem(model::rowOf(point), ws.controls.planUnits))
                __builtin_trap();
        }
    }
    if (ws.workPiket < -1 || ws.workPiket >= tableSize) __builtin_trap();
    if (ws.controls.selectedRow < -1 ||
        ws.controls.selectedRow >= static_cast<int>(ws.controls.piketRows.size())) {
        __builtin_trap();
    }
    // Our own output is never refused (an exception here ends the run).
    project::parse(project::toJson(project::capture(ws)));

    if (ws.piketInWork() && !ws.controls.brokenPikets.contains(ws.workPiket)) {
        ws.sheetDoc = &doc;
        try {
            profile::build(ws);
        } catch (const cad::Error&) {
            // refused or failed with a message: fine
        }
    }
    return 0;
}
