#include "cli/profile_steps.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <utility>
#include <vector>

#include "cad/error.hpp"
#include "model/units.hpp"
#include "profile/build.hpp"
#include "render/gui_application.hpp"
#include "render/plot.hpp"
#include "sheet/layout.hpp"
#include "sheet/sheets.hpp"

namespace cli {

void ProfileStepOptions::add(CLI::App& cmd) {
    cmd_ = &cmd;
    cmd.add_flag("--no-build", noBuild, "Остановиться после взятия пикета в работу (без профиля)");
    cmd.add_option("--pdf", pdf, "Лист в PDF (1:500, 1260 x 297 мм)");
    cmd.add_option("--svg", svg, "Лист в SVG (1:500, 1260 x 297 мм)");
    cmd.add_option("--png", png, "Лист в PNG (1:500, 1260 x 297 мм)");
    cmd.add_flag("--sheets", sheets, "Длинный пикет — на нескольких листах, один под другим");
    cmd.add_option("--scale-h", horizontalScale, "Горизонтальный масштаб: 500, 1000 или 2000")
        ->check(CLI::IsMember({500.0, 1000.0, 2000.0}));
    cmd.add_option("--scale-v", verticalScale, "Вертикальный масштаб: 100 или 200")
        ->check(CLI::IsMember({100.0, 200.0}));
    cmd.add_flag("--datum-per-sheet", datumPerSheet,
                 "Условный горизонт каждого листа — по его отметкам");
    cmd.add_flag("--check-marks", checkMarks,
                 "Замечания проверки на листе: красное кольцо у точки и номер замечания");
    cmd.add_option("--datum", datum, "Условный горизонт листов, целое число метров")
        ->check(CLI::Validator(
            [](std::string& s) -> std::string {
                double v = 0.0;
                const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
                if (ec != std::errc{} || end != s.data() + s.size() || v != std::trunc(v) ||
                    std::fabs(v) >= 1e6) {
                    return "условный горизонт задаётся целым числом метров: " + s;
                }
                return {};
            },
            "ЦЕЛОЕ"));
}

void applySheetOptions(model::Workspace& ws, const ProfileStepOptions& options, bool onlyGiven) {
    model::SheetOptions& sheet = ws.sheetOptions;
    auto take = [&](const char* option, auto& field, const auto& value) {
        if (!onlyGiven || options.given(option)) field = value;
    };
    take("--sheets", sheet.split, options.sheets);
    take("--scale-h", sheet.horizontalScale, options.horizontalScale);
    take("--scale-v", sheet.verticalScale, options.verticalScale);
    take("--datum-per-sheet", sheet.datumPerSheet, options.datumPerSheet);
    take("--datum", sheet.datum, options.datum);
    take("--check-marks", sheet.checkMarks, options.checkMarks);
}

namespace {

// Sheet k (1-based) of several: the name with "-k" before the extension.
std::filesystem::path sheetFile(const std::string& file, int k) {
    if (k == 1) return file;
    std::filesystem::path p(file);
    return p.parent_path() / (p.stem().string() + "-" + std::to_string(k) + p.extension().string());
}

}  // namespace

void buildProfileStep(model::Workspace& ws, const ProfileStepOptions& options) {
    if (!options.noBuild) profile::build(ws);
}

void plotSheetStep(model::Workspace& ws, const ProfileStepOptions& options) {
    if (!options.plotRequested()) return;
    if (!ws.sheetDoc) throw cad::Error("Нет листа профиля: пикет не взят в работу");
    render::ensureGuiApplication();
    // The outer frames of the sheets, in the drawing's units at the sheet's
    // origin: the first there, each further one below the one before.
    std::vector<cad::Box2> sheets;
    for (int k = 0; k < std::max(1, ws.sheetCount); ++k) {
        const double y = -sheet::kSheetPitch * k;
        cad::Box2 frame;
        frame.add(model::sheetPoint(ws, 0.0, y));
        frame.add(model::sheetPoint(ws, sheet::kWidth, y + sheet::kHeight));
        sheets.push_back(frame);
    }
    render::PlotOptions plot;
    // 1:500 of the terrain: the same paper whatever the plan's units.
    plot.paperMmPerUnit = model::millimetresPerUnit(ws.controls.planUnits) / sheet::kPlotScale;
    plot.paperWidthMm = sheet::kPaperWidthMm;
    plot.paperHeightMm = sheet::kPaperHeightMm;
    if (!options.pdf.empty()) {
        if (sheets.size() == 1) {
            plot.format = render::PlotFormat::Pdf;
            render::exportPlot(*ws.sheetDoc, sheets[0], plot, options.pdf);
        } else {
            render::exportPdfPages(ws.sheetDoc->data(), sheets, plot, options.pdf);
        }
    }
    const std::pair<const std::string*, render::PlotFormat> files[] = {
        {&options.svg, render::PlotFormat::Svg}, {&options.png, render::PlotFormat::Png}};
    for (const auto& [file, format] : files) {
        if (file->empty()) continue;
        plot.format = format;
        for (std::size_t k = 0; k < sheets.size(); ++k) {
            render::exportPlot(*ws.sheetDoc, sheets[k], plot,
                               sheetFile(*file, static_cast<int>(k) + 1));
        }
    }
}

}  // namespace cli
