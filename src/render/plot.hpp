// Plotting a region of a drawing to a sheet of paper at a scale, as PDF, SVG or
// PNG: what a user prints instead of a CAD program's plot.
#pragma once

#include <filesystem>
#include <vector>

#include "cad/drawing.hpp"

namespace render {

enum class PlotFormat { Pdf, Svg, Png };

struct PlotOptions {
    // Millimetres of paper per drawing unit: a plan in millimetres plotted at 1:500
    // gives 1 / 500. Zero or less fits the region into the sheet.
    double paperMmPerUnit = 1.0 / 500.0;
    double paperWidthMm = 1260.0;
    double paperHeightMm = 297.0;
    double marginMm = 0.0;  // on every side
    PlotFormat format = PlotFormat::Pdf;
    int dpi = 150;            // PNG only
    bool monochrome = false;  // every colour printed black
};

// The format a file name asks for by its extension (.pdf, .svg, .png, any case);
// throws cad::Error for any other.
PlotFormat plotFormatFor(const std::filesystem::path& path);

// Plots the region with its lower left corner at the lower left corner of the
// sheet inside the margins; what falls outside them is cut off, save that lines
// on the region's edge keep their full weight. An empty region plots the
// drawing's extents. One page. Throws cad::Error when the file cannot be written.
void exportPlot(const cad::DrawingData& drawing, cad::Box2 region, const PlotOptions& options,
                const std::filesystem::path& path);
void exportPlot(const cad::Drawing& drawing, cad::Box2 region, const PlotOptions& options,
                const std::filesystem::path& path);

// Several regions, one page each, into one PDF (options.format is not read).
// Throws cad::Error when the file cannot be written or there is no region.
void exportPdfPages(const cad::DrawingData& drawing, const std::vector<cad::Box2>& regions,
                    const PlotOptions& options, const std::filesystem::path& path);

}  // namespace render
