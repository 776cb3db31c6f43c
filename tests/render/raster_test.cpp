// The pieces frames are drawn with straight into image memory: thin lines
// drawn a band of rows at a time give the pixels the whole frame has there,
// and glyph masks put down what filling the glyph's outline does.
#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <cmath>
#include <numbers>
#include <random>

#include "render/glyph_masks.hpp"
#include "render/gui_application.hpp"
#include "render/raster.hpp"

namespace {

constexpr std::uint32_t kBlack = 0xff000000u;

QImage blank(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kBlack);
    return img;
}

render::Raster rasterOf(QImage& img) {
    return render::Raster(reinterpret_cast<std::uint32_t*>(img.bits()),
                          static_cast<int>(img.bytesPerLine() / 4), img.width(), img.height());
}

TEST(RasterTest, LinesDrawnBandByBandMatchTheWholeFrame) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> coord(-80.0, 280.0);
    std::uniform_int_distribution<std::uint32_t> colour(0, 0xffffff);
    struct Seg {
        double x0, y0, x1, y1;
        std::uint32_t c;
    };
    std::vector<Seg> segs;
    for (int i = 0; i < 400; ++i) {
        segs.push_back({coord(rng), coord(rng), coord(rng), coord(rng), kBlack | colour(rng)});
    }
    // Short ones, steep and flat, and dots, near the bands' edges.
    for (int i = 0; i < 200; ++i) {
        double x = coord(rng), y = 60 + coord(rng) / 20;
        segs.push_back({x, y, x + coord(rng) / 40, y + coord(rng) / 40, kBlack | colour(rng)});
    }
    QImage whole = blank(200, 150);
    render::Raster all = rasterOf(whole);
    for (const Seg& s : segs) all.line(s.x0, s.y0, s.x1, s.y1, s.c);
    for (int cut : {1, 37, 64, 75, 149}) {
        QImage banded = blank(200, 150);
        render::Raster r = rasterOf(banded);
        for (auto [top, bottom] : {std::pair{cut, 150}, std::pair{0, cut}}) {
            r.setRows(top, bottom);
            for (const Seg& s : segs) r.line(s.x0, s.y0, s.x1, s.y1, s.c);
        }
        EXPECT_EQ(banded, whole) << "cut at row " << cut;
    }
    // A band draws nothing outside its rows.
    QImage one = blank(200, 150);
    render::Raster r = rasterOf(one);
    r.setRows(50, 60);
    for (const Seg& s : segs) r.line(s.x0, s.y0, s.x1, s.y1, s.c);
    for (int y = 0; y < 150; ++y) {
        if (y >= 50 && y < 60) continue;
        for (int x = 0; x < 200; ++x) ASSERT_EQ(one.pixel(x, y), kBlack) << x << "," << y;
    }
}

class GlyphMaskTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { render::ensureGuiApplication(); }

    void SetUp() override {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(1000);
        f.setHintingPreference(QFont::PreferNoHinting);
        font_ = QRawFont::fromFont(f);
        ASSERT_TRUE(font_.isValid());
    }

    // The glyph's outline filled white at origin under the transform.
    QImage direct(quint32 glyph, const QTransform& m, QPointF origin, bool smooth) const {
        QImage img = blank(160, 160);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, smooth);
        p.setTransform(QTransform(m.m11(), m.m12(), m.m21(), m.m22(), origin.x(), origin.y()));
        p.fillPath(font_.pathForGlyph(glyph), Qt::white);
        return img;
    }

    QRawFont font_;
};

// Sum of the grey levels of a, and of |a − b|.
std::pair<long, long> inkAndDifference(const QImage& a, const QImage& b) {
    long ink = 0, diff = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            int ga = qGreen(a.pixel(x, y)), gb = qGreen(b.pixel(x, y));
            ink += ga;
            diff += std::abs(ga - gb);
        }
    }
    return {ink, diff};
}

TEST_F(GlyphMaskTest, MasksPutDownWhatFillingTheOutlineDoes) {
    QList<quint32> glyphs = font_.glyphIndexesForString(QStringLiteral("ПКЖ№ag7"));
    render::GlyphMasks masks;
    int drawn = 0;
    for (double px : {11.0, 24.0, 70.0}) {
        for (double degrees : {0.0, 37.0, 90.0, 200.0}) {
            for (bool smooth : {true, false}) {
                // The view smooths the letters of small texts only.
                if (px < 20 && !smooth) continue;
                // Font units to pixels, turned, y down as on the screen.
                double k = px / 1000, a = degrees * std::numbers::pi / 180;
                QTransform m(k * std::cos(a), -k * std::sin(a), k * std::sin(a), k * std::cos(a), 0,
                             0);
                auto shape = render::GlyphMasks::shape(m.m11(), m.m12(), m.m21(), m.m22(), smooth);
                ASSERT_TRUE(shape.usable);
                const QPointF origin(70.37, 90.71);
                for (quint32 g : glyphs) {
                    QImage want = direct(g, m, origin, smooth);
                    QImage got = blank(160, 160);
                    render::Raster r = rasterOf(got);
                    ASSERT_TRUE(masks.draw(r, g, shape, origin.x(), origin.y(), 0xffffffffu,
                                           [&](quint32 id) { return font_.pathForGlyph(id); }));
                    auto [ink, diff] = inkAndDifference(want, got);
                    ASSERT_GT(ink, 0);
                    // Only the edges differ a little: the mask stands at the
                    // quarter pixel and the size and turn the text is nearest.
                    EXPECT_LT(static_cast<double>(diff) / ink, px < 20 ? 0.16 : 0.12)
                        << "glyph " << g << " at " << px << " px, " << degrees << "°, smooth "
                        << smooth;
                    ++drawn;
                }
            }
        }
    }
    EXPECT_EQ(drawn, 5 * 4 * glyphs.size());
    // Each glyph at each shape was made once: drawing them all again adds none.
    std::size_t made = masks.maskCount();
    EXPECT_GT(made, 0u);
    QImage again = blank(160, 160);
    render::Raster r = rasterOf(again);
    auto shape = render::GlyphMasks::shape(0.024, 0, 0, 0.024, true);
    masks.draw(r, glyphs[0], shape, 70.37, 90.71, 0xffffffffu,
               [&](quint32 id) { return font_.pathForGlyph(id); });
    EXPECT_EQ(masks.maskCount(), made);
}

TEST_F(GlyphMaskTest, LargeGlyphsBandsAndTheBudget) {
    quint32 g = font_.glyphIndexesForString(QStringLiteral("Ж")).front();
    auto path = [&](quint32 id) { return font_.pathForGlyph(id); };
    // Letters too large for a mask are left to the caller.
    render::GlyphMasks masks(64 * 1024);
    QImage img = blank(160, 160);
    render::Raster r = rasterOf(img);
    auto huge = render::GlyphMasks::shape(0.5, 0, 0, 0.5, false);
    EXPECT_FALSE(masks.draw(r, g, huge, 10, 150, 0xffffffffu, path));
    EXPECT_EQ(img, blank(160, 160));
    EXPECT_FALSE(render::GlyphMasks::shape(0, 0, 0, 0, true).usable);
    EXPECT_FALSE(render::GlyphMasks::shape(NAN, 0, 0, 1, true).usable);

    // A band gets only its rows of the letter, the same pixels as the whole.
    auto shape = render::GlyphMasks::shape(0.1, 0, 0, 0.1, true);
    ASSERT_TRUE(masks.draw(r, g, shape, 20.5, 100.25, 0xffffffffu, path));
    QImage banded = blank(160, 160);
    render::Raster b = rasterOf(banded);
    for (auto [top, bottom] : {std::pair{0, 60}, std::pair{60, 160}}) {
        b.setRows(top, bottom);
        masks.draw(b, g, shape, 20.5, 100.25, 0xffffffffu, path);
    }
    EXPECT_EQ(banded, img);
    EXPECT_GT(inkAndDifference(img, blank(160, 160)).first, 255 * 100);

    // Over the budget, every mask is forgotten and made again when asked.
    for (int i = 0; i < 40; ++i) {
        auto s = render::GlyphMasks::shape(0.05 + 0.002 * i, 0, 0, 0.05 + 0.002 * i, true);
        masks.draw(r, g, s, 80, 100, 0xffffffffu, path);
    }
    EXPECT_GT(masks.bytes(), 64u * 1024);
    masks.trim();
    EXPECT_EQ(masks.maskCount(), 0u);
    QImage after = blank(160, 160);
    render::Raster a = rasterOf(after);
    masks.draw(a, g, shape, 20.5, 100.25, 0xffffffffu, path);
    EXPECT_EQ(after, banded);
}

}  // namespace
