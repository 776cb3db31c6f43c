// Plotting: page size and count of a PDF, the size and ink of SVG and PNG
// sheets, line weights in paper millimetres, texts on their baseline and
// narrowed by their width factor.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <atomic>
#include <filesystem>
#include <string>

#include "cad/drawing.hpp"
#include "cad/error.hpp"
#include "render/gui_application.hpp"
#include "render/plot.hpp"
#include "render/qpainter_canvas.hpp"
#include "shell_util.hpp"

using namespace cad;
using namespace render;

namespace {

std::filesystem::path tempFile(const std::string& name) {
    static std::atomic<int> counter{0};
    auto dir = std::filesystem::temp_directory_path() /
               ("kv_render_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(dir);
    return dir / name;
}

using testutil::readText;

Box2 box(double x0, double y0, double x1, double y1) {
    Box2 b;
    b.add(x0, y0);
    b.add(x1, y1);
    return b;
}

bool dark(QRgb c) {
    return qGray(c) < 128;
}

// Ink bounds of an image: the smallest rectangle holding every dark pixel.
QRect ink(const QImage& img) {
    int x0 = img.width(), y0 = img.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (!dark(img.pixel(x, y))) continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x);
            y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    }
    return x1 < 0 ? QRect() : QRect(QPoint(x0, y0), QPoint(x1, y1));
}

class Plot : public ::testing::Test {
  protected:
    void SetUp() override { ensureGuiApplication(); }

    // A sheet of 120 × 60 mm at 1 mm per unit with 10 mm margins, 254 dpi: 10 px per mm.
    PlotOptions sheet(PlotFormat f) const {
        PlotOptions o;
        o.paperMmPerUnit = 1.0;
        o.paperWidthMm = 120;
        o.paperHeightMm = 60;
        o.marginMm = 10;
        o.format = f;
        o.dpi = 254;
        return o;
    }

    QImage png(const Drawing& d, Box2 region, PlotOptions o) {
        auto path = tempFile("plot.png");
        o.format = PlotFormat::Png;
        exportPlot(d, region, o, path);
        QImage img(QString::fromStdString(path.string()));
        EXPECT_FALSE(img.isNull());
        return img;
    }
};

TEST_F(Plot, PdfIsOnePageOfTheSheetSize) {
    Drawing d;
    d.addLine({0, 0, 0}, {630000, 148500, 0});
    d.addText("Профиль трассы", {1000, 1000, 0}, 1250);
    auto path = tempFile("sheet.pdf");
    PlotOptions o;  // 1:500 on a 1260 × 297 mm sheet
    exportPlot(d, box(0, 0, 630000, 148500), o, path);
    std::string pdf = readText(path);
    ASSERT_EQ(pdf.rfind("%PDF", 0), 0u);
    QRegularExpression pageRe(QStringLiteral("/Type\\s*/Page[^s]"));
    auto pages = pageRe.globalMatch(QString::fromLatin1(pdf.data(), pdf.size()));
    int count = 0;
    while (pages.hasNext()) {
        pages.next();
        ++count;
    }
    EXPECT_EQ(count, 1);
    QRegularExpression mediaRe(
        QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([0-9.]+)\\s+([0-9.]+)\\s*\\]"));
    auto m = mediaRe.match(QString::fromLatin1(pdf.data(), pdf.size()));
    ASSERT_TRUE(m.hasMatch());
    // 1260 × 297 mm in points, landscape as given.
    EXPECT_NEAR(m.captured(1).toDouble(), 1260 / 25.4 * 72, 0.5);
    EXPECT_NEAR(m.captured(2).toDouble(), 297 / 25.4 * 72, 0.5);
}

TEST_F(Plot, SvgHasTheSheetSizeInMillimetresAndDrawsTheLine) {
    Drawing d;
    d.addLine({0, 0, 0}, {100, 0, 0});
    auto path = tempFile("sheet.svg");
    exportPlot(d, box(0, 0, 100, 40), sheet(PlotFormat::Svg), path);
    std::string svg = readText(path);
    EXPECT_NE(svg.find("width=\"120mm\""), std::string::npos);
    EXPECT_NE(svg.find("height=\"60mm\""), std::string::npos);
    EXPECT_NE(svg.find("viewBox=\"0 0 1200 600\""), std::string::npos);
    // The line runs along the bottom margin: y = 600 − 100 tenths of a millimetre.
    EXPECT_NE(svg.find("100,500"), std::string::npos) << svg.substr(0, 3000);
}

TEST_F(Plot, PngPutsTheLineWhereThePaperSaysAndWeighsItInMillimetres) {
    Drawing d;
    EntityRef thin = d.addLine({0, 0, 0}, {100, 0, 0});
    EntityRef thick = d.addLine({0, 20, 0}, {100, 20, 0});
    thin.setLineweight(25);
    thick.setLineweight(100);
    QImage img = png(d, box(0, 0, 100, 40), sheet(PlotFormat::Png));
    ASSERT_EQ(img.width(), 1200);
    ASSERT_EQ(img.height(), 600);
    auto column = [&](int x, int from, int to) {
        int n = 0;
        for (int y = from; y < to; ++y) n += dark(img.pixel(x, y));
        return n;
    };
    // y = 0 of the drawing sits 10 mm above the bottom edge: row 500; y = 20 at row 300.
    EXPECT_TRUE(dark(img.pixel(600, 500)));
    EXPECT_TRUE(dark(img.pixel(600, 300)));
    EXPECT_FALSE(dark(img.pixel(600, 400)));
    EXPECT_NEAR(column(600, 480, 520), 2.5, 1.5);   // 0.25 mm
    EXPECT_NEAR(column(600, 280, 320), 10.0, 1.5);  // 1.00 mm
    // Nothing is drawn in the margins, nor left of the region's start.
    EXPECT_FALSE(dark(img.pixel(50, 500)));
    EXPECT_FALSE(dark(img.pixel(1150, 500)));
}

TEST_F(Plot, MarginsCutOffWhatDoesNotFit) {
    Drawing d;
    d.addLine({-50, 10, 0}, {500, 10, 0});
    QImage img = png(d, box(0, 0, 100, 40), sheet(PlotFormat::Png));
    EXPECT_TRUE(dark(img.pixel(105, 400)));
    EXPECT_FALSE(dark(img.pixel(85, 400)));  // 1 mm of allowance for line weights
    EXPECT_TRUE(dark(img.pixel(1095, 400)));
    EXPECT_FALSE(dark(img.pixel(1115, 400)));
}

TEST_F(Plot, TextSitsOnItsBaselineAndTheWidthFactorNarrowsIt) {
    auto plotText = [&](double widthFactor, int hAlign, double x) {
        Drawing d;
        EntityRef t = d.addText("НИЖНЕЕ", {x, 20, 0}, 8);
        t.setScaleFactor(widthFactor);
        if (hAlign != 0) {
            Entity& e = d.mutableData().entities[t.id().v];
            auto& g = geomAs<TextGeom>(e.geom);
            g.hasAlignment = true;
            g.hAlign = hAlign;
            g.alignment = g.insertion;
        }
        return ink(png(d, box(0, 0, 100, 40), sheet(PlotFormat::Png)));
    };
    QRect wide = plotText(1.0, 0, 10);
    QRect narrow = plotText(0.5, 0, 10);
    ASSERT_FALSE(wide.isNull());
    ASSERT_FALSE(narrow.isNull());
    // Capitals without descenders: the ink stands on the baseline (row 600 − 100 − 200 = 300)
    // and is as tall as the text height (8 mm = 80 px).
    EXPECT_NEAR(wide.bottom(), 300, 2);
    EXPECT_NEAR(wide.height(), 80, 3);
    // The baseline starts at x = 10 → 100 + 100 px; the first glyph's side bearing follows.
    EXPECT_GE(wide.left(), 199);
    EXPECT_LE(wide.left(), 200 + 16);
    EXPECT_NEAR(narrow.height(), 80, 3);
    EXPECT_NEAR(static_cast<double>(narrow.width()) / wide.width(), 0.5, 0.03);
    // Right-aligned at x = 90: the ink ends at the alignment point, less a side bearing.
    QRect right = plotText(1.0, 2, 90);
    EXPECT_LE(right.right(), 1000);
    EXPECT_GE(right.right(), 1000 - 16);
    EXPECT_NEAR(right.width(), wide.width(), 2);
}

TEST_F(Plot, FitScalesTheRegionIntoTheSheet) {
    Drawing d;
    d.addLine({1000, 1000, 0}, {3000, 1000, 0});
    PlotOptions o = sheet(PlotFormat::Png);
    o.paperMmPerUnit = 0;  // fit 2000 units into 100 mm
    QImage img = png(d, box(1000, 1000, 3000, 1400), o);
    QRect r = ink(img);
    EXPECT_NEAR(r.left(), 100, 3);
    EXPECT_NEAR(r.right(), 1100, 3);
}

// MTEXT wraps by the real font: widths grow with the text and its height.
TEST(QPainterCanvasText, MeasuresWidthsWithTheFont) {
    ensureGuiApplication();
    QImage image(100, 100, QImage::Format_ARGB32);
    QPainter painter(&image);
    QPainterCanvas canvas(painter, QTransform(), CanvasOptions{});
    double one = canvas.textWidth("Колодец", 1.0);
    EXPECT_GT(one, 3.0);
    EXPECT_LT(one, 10.0);
    EXPECT_NEAR(canvas.textWidth("Колодец", 2.5), 2.5 * one, 1e-9 * one);
    EXPECT_GT(canvas.textWidth("Колодец К-1", 1.0), one);
    EXPECT_LT(canvas.textWidth("iii", 1.0), canvas.textWidth("WWW", 1.0));
}

TEST(PlotErrors, BadPathsAndFormatsAreReported) {
    ensureGuiApplication();
    Drawing d;
    d.addLine({0, 0, 0}, {1, 1, 0});
    PlotOptions o;
    o.format = PlotFormat::Png;
    o.dpi = 20;
    EXPECT_THROW(exportPlot(d, Box2{}, o, "/nonexistent-dir/x/plot.png"), Error);
    o.format = PlotFormat::Pdf;
    EXPECT_THROW(exportPlot(d, Box2{}, o, "/nonexistent-dir/x/plot.pdf"), Error);
    o.marginMm = 200;
    EXPECT_THROW(exportPlot(d, Box2{}, o, tempFile("m.pdf")), Error);
    EXPECT_EQ(plotFormatFor("a/Профиль.PDF"), PlotFormat::Pdf);
    EXPECT_EQ(plotFormatFor("b.svg"), PlotFormat::Svg);
    EXPECT_THROW(plotFormatFor("c.dwg"), Error);
}

}  // namespace
