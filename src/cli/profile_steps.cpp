#include "cli/profile_steps.hpp"

#include <utility>

#include "cad/error.hpp"
#include "profile/build.hpp"
#include "render/gui_application.hpp"
#include "render/plot.hpp"
#include "sheet/layout.hpp"

namespace cli {

void ProfileStepOptions::add(CLI::App& cmd) {
    cmd.add_flag("--no-build", noBuild, "Остановиться после взятия пикета в работу (без профиля)");
    cmd.add_option("--pdf", pdf, "Лист в PDF (1:500, 1260 x 297 мм)");
    cmd.add_option("--svg", svg, "Лист в SVG (1:500, 1260 x 297 мм)");
    cmd.add_option("--png", png, "Лист в PNG (1:500, 1260 x 297 мм)");
}

void buildProfileStep(model::Workspace& ws, const ProfileStepOptions& options) {
    if (!options.noBuild) profile::build(ws);
}

void plotSheetStep(model::Workspace& ws, const ProfileStepOptions& options) {
    if (!options.plotRequested()) return;
    if (!ws.sheetDoc) throw cad::Error("Нет листа профиля: пикет не взят в работу");
    render::ensureGuiApplication();
    // The outer frame of the sheet, whose lower left corner is the drawing origin.
    cad::Box2 sheet;
    sheet.add(0.0, 0.0);
    sheet.add(sheet::kWidth, sheet::kHeight);
    const std::pair<const std::string*, render::PlotFormat> files[] = {
        {&options.pdf, render::PlotFormat::Pdf},
        {&options.svg, render::PlotFormat::Svg},
        {&options.png, render::PlotFormat::Png}};
    for (const auto& [file, format] : files) {
        if (file->empty()) continue;
        render::PlotOptions plot;
        plot.paperMmPerUnit = 1.0 / sheet::kPlotScale;
        plot.paperWidthMm = sheet::kPaperWidthMm;
        plot.paperHeightMm = sheet::kPaperHeightMm;
        plot.format = format;
        render::exportPlot(*ws.sheetDoc, sheet, plot, *file);
    }
}

}  // namespace cli
