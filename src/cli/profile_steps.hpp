// The profile run and the plot of the sheet as steps of `kernavisto-cli
// profile`: --no-build stops before the run, --pdf/--svg/--png plot the sheet
// at 1:500 on paper 1260 x 297 mm (the outer frame of the sheet), one page.
#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "model/workspace.hpp"

namespace cli {

struct ProfileStepOptions {
    bool noBuild = false;
    std::string pdf;
    std::string svg;
    std::string png;
    bool sheets = false;           // --sheets: a long picket over several sheets
    double horizontalScale = 500;  // --scale-h 500 | 1000 | 2000
    double verticalScale = 100;    // --scale-v 100 | 200
    bool datumPerSheet = false;    // --datum-per-sheet
    std::optional<double> datum;   // --datum H, whole metres
    bool checkMarks = false;       // --check-marks

    void add(CLI::App& cmd);
    bool plotRequested() const { return !pdf.empty() || !svg.empty() || !png.empty(); }
    // Whether the option was on the command line.
    bool given(const char* option) const { return cmd_ && cmd_->count(option) > 0; }

  private:
    const CLI::App* cmd_ = nullptr;
};

// The sheet layout the options ask for, into the workspace (before taking
// the picket into work, which draws the first sheet). Over a restored project
// (`onlyGiven`) only the options on the command line change what it says.
void applySheetOptions(model::Workspace& ws, const ProfileStepOptions& options,
                       bool onlyGiven = false);

// The profile run, as both profile buttons run it (nothing when --no-build).
void buildProfileStep(model::Workspace& ws, const ProfileStepOptions& options);

// Plots the sheet of the picket in work into every file asked for. Runs Qt
// offscreen. A profile over several sheets gives a PDF of one page a sheet,
// and a PNG or SVG file a sheet: the first under the name given, sheet k
// under the name with "-k" before its extension. cad::Error when no sheet has been drawn or a file
// cannot be written.
void plotSheetStep(model::Workspace& ws, const ProfileStepOptions& options);

}  // namespace cli
