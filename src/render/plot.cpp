#include "render/plot.hpp"

#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "cad/canvas.hpp"
#include "cad/error.hpp"
#include "cad/geometry.hpp"
#include "render/gui_application.hpp"
#include "render/qpainter_canvas.hpp"

namespace render {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr int kPdfDpi = 1200;
constexpr double kSvgUnitsPerMm = 10.0;  // the SVG's own units: tenths of a millimetre
constexpr double kEdgeAllowanceMm = 1.0;

QString qpath(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

[[noreturn]] void cannotWrite(const std::filesystem::path& path) {
    throw cad::Error("Не удалось записать файл «" + path.string() + "»");
}

cad::Box2 extentsOf(const cad::DrawingData& d) {
    cad::Box2 box;
    for (cad::EntityId id : d.modelSpace) {
        if (id.v >= d.entities.size()) continue;
        const cad::Entity& e = d.entities[id.v];
        if (e.erased || !e.visible || e.paperSpace) continue;
        box.add(cad::entityBounds(d, e));
    }
    return box;
}

// Draws the region onto a painter whose device is the whole sheet.
void plotOnto(QPainter& painter, double devicePerMm, double minPen, const cad::DrawingData& d,
              const cad::Box2& region, const PlotOptions& o) {
    double w = o.paperWidthMm, h = o.paperHeightMm, m = o.marginMm;
    double mmPerUnit = o.paperMmPerUnit;
    double regionW = region.maxX - region.minX, regionH = region.maxY - region.minY;
    if (!(mmPerUnit > 0)) {
        double sx = regionW > 0 ? (w - 2 * m) / regionW : 0.0;
        double sy = regionH > 0 ? (h - 2 * m) / regionH : 0.0;
        mmPerUnit = (sx > 0 && sy > 0) ? std::min(sx, sy) : std::max(sx, sy);
        if (!(mmPerUnit > 0)) mmPerUnit = 1.0;
    }
    double k = mmPerUnit * devicePerMm;
    // World to device: the region's lower left corner at the margin's lower left.
    QTransform toDevice(k, 0, 0, -k, (m - region.minX * mmPerUnit) * devicePerMm,
                        (h - m + region.minY * mmPerUnit) * devicePerMm);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    // Cut at the margins, but wide enough that a line lying on the region's edge
    // keeps its full weight.
    double g = std::min(kEdgeAllowanceMm, m);
    painter.setClipRect(QRectF((m - g) * devicePerMm, (m - g) * devicePerMm,
                               (w - 2 * m + 2 * g) * devicePerMm,
                               (h - 2 * m + 2 * g) * devicePerMm));
    CanvasOptions co;
    co.devicePerMm = devicePerMm;
    co.minPenWidth = minPen;
    co.monochrome = o.monochrome;
    QPainterCanvas canvas(painter, toDevice, co);
    // Only what can reach the sheet is drawn.
    cad::Box2 visible;
    visible.add(region.minX - m / mmPerUnit, region.minY - m / mmPerUnit);
    visible.add(region.minX + (w - m) / mmPerUnit, region.minY + (h - m) / mmPerUnit);
    cad::drawDrawing(d, canvas, visible);
}

}  // namespace

PlotFormat plotFormatFor(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".pdf") return PlotFormat::Pdf;
    if (ext == ".svg") return PlotFormat::Svg;
    if (ext == ".png") return PlotFormat::Png;
    throw cad::Error("Неизвестный формат файла печати «" + path.filename().string() +
                     "»: нужен .pdf, .svg или .png");
}

void exportPlot(const cad::DrawingData& d, cad::Box2 region, const PlotOptions& o,
                const std::filesystem::path& path) {
    if (!(o.paperWidthMm > 0) || !(o.paperHeightMm > 0) || !(o.marginMm >= 0) ||
        2 * o.marginMm >= std::min(o.paperWidthMm, o.paperHeightMm)) {
        throw cad::Error("Неверный размер листа или полей для печати");
    }
    if (region.empty()) region = extentsOf(d);
    if (region.empty()) region.add(0, 0);
    ensureGuiApplication();
    const QString file = qpath(path);

    switch (o.format) {
        case PlotFormat::Pdf: {
            QPdfWriter writer(file);
            writer.setResolution(kPdfDpi);
            writer.setCreator(QStringLiteral("Kernavisto"));
            writer.setTitle(QString::fromStdString(path.stem().string()));
            QPageSize size(QSizeF(o.paperWidthMm, o.paperHeightMm), QPageSize::Millimeter,
                           QString(), QPageSize::ExactMatch);
            writer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                             QPageLayout::Millimeter));
            QPainter painter;
            if (!painter.begin(&writer)) cannotWrite(path);
            double perMm = kPdfDpi / kMmPerInch;
            plotOnto(painter, perMm, 0.05 * perMm, d, region, o);
            if (!painter.end()) cannotWrite(path);
            break;
        }
        case PlotFormat::Svg: {
            QSvgGenerator svg;
            svg.setFileName(file);
            QSize size(static_cast<int>(std::lround(o.paperWidthMm * kSvgUnitsPerMm)),
                       static_cast<int>(std::lround(o.paperHeightMm * kSvgUnitsPerMm)));
            svg.setSize(size);
            svg.setViewBox(QRect(QPoint(0, 0), size));
            svg.setResolution(static_cast<int>(std::lround(kSvgUnitsPerMm * kMmPerInch)));
            svg.setTitle(QString::fromStdString(path.stem().string()));
            QPainter painter;
            if (!painter.begin(&svg)) cannotWrite(path);
            plotOnto(painter, kSvgUnitsPerMm, 0.05 * kSvgUnitsPerMm, d, region, o);
            if (!painter.end()) cannotWrite(path);
            break;
        }
        case PlotFormat::Png: {
            int dpi = std::clamp(o.dpi, 10, 2400);
            double perMm = dpi / kMmPerInch;
            double pixels = o.paperWidthMm * perMm * o.paperHeightMm * perMm;
            if (pixels > 400e6) throw cad::Error("Слишком большой рисунок: уменьшите разрешение");
            QImage image(static_cast<int>(std::lround(o.paperWidthMm * perMm)),
                         static_cast<int>(std::lround(o.paperHeightMm * perMm)),
                         QImage::Format_RGB32);
            if (image.isNull()) throw cad::Error("Не хватает памяти для рисунка");
            image.fill(Qt::white);
            int perMetre = static_cast<int>(std::lround(dpi / 0.0254));
            image.setDotsPerMeterX(perMetre);
            image.setDotsPerMeterY(perMetre);
            {
                QPainter painter(&image);
                plotOnto(painter, perMm, 1.0, d, region, o);
            }
            if (!image.save(file, "PNG")) cannotWrite(path);
            break;
        }
    }
    if (!QFile::exists(file)) cannotWrite(path);
}

void exportPlot(const cad::Drawing& drawing, cad::Box2 region, const PlotOptions& options,
                const std::filesystem::path& path) {
    exportPlot(drawing.data(), region, options, path);
}

void exportPdfPages(const cad::DrawingData& d, const std::vector<cad::Box2>& regions,
                    const PlotOptions& o, const std::filesystem::path& path) {
    if (regions.empty()) throw cad::Error("Нечего печатать: нет ни одного листа");
    if (!(o.paperWidthMm > 0) || !(o.paperHeightMm > 0) || !(o.marginMm >= 0) ||
        2 * o.marginMm >= std::min(o.paperWidthMm, o.paperHeightMm)) {
        throw cad::Error("Неверный размер листа или полей для печати");
    }
    ensureGuiApplication();
    const QString file = qpath(path);
    QPdfWriter writer(file);
    writer.setResolution(kPdfDpi);
    writer.setCreator(QStringLiteral("Kernavisto"));
    writer.setTitle(QString::fromStdString(path.stem().string()));
    QPageSize size(QSizeF(o.paperWidthMm, o.paperHeightMm), QPageSize::Millimeter, QString(),
                   QPageSize::ExactMatch);
    writer.setPageLayout(
        QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer)) cannotWrite(path);
    const double perMm = kPdfDpi / kMmPerInch;
    for (std::size_t i = 0; i < regions.size(); ++i) {
        if (i > 0 && !writer.newPage()) cannotWrite(path);
        plotOnto(painter, perMm, 0.05 * perMm, d, regions[i], o);
    }
    if (!painter.end()) cannotWrite(path);
    if (!QFile::exists(file)) cannotWrite(path);
}

}  // namespace render
