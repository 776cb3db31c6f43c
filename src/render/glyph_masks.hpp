// Glyphs as coverage masks: a glyph's outline is filled once for each size,
// turn and quarter-pixel offset it is shown at, and from then on its pixels
// are blended into the image with the text's colour. A zoomed-in plan shows
// thousands of letters; filling each outline anew costs many times more than
// blending the few hundred pixels it covers.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace render {

class Raster;

class GlyphMasks {
  public:
    // A glyph's shape under the linear part of a text's transform (font units
    // to pixels), quantized so that texts of nearly the same size and turn
    // share their masks: the size in steps of 1/64 of an octave, the turn
    // and slant to 1/1024 of it.
    struct Shape {
        std::int32_t scale = 0;                     // log2 of the transform's norm, 64ths
        std::int16_t m[4] = {};                     // its entries in 1024ths of the quantized norm
        bool smooth = false;                        // antialiased
        double m11 = 0, m12 = 0, m21 = 0, m22 = 0;  // the quantized transform itself
        bool usable = false;  // false when no mask can stand for the glyph (too large, degenerate)
    };
    static Shape shape(double m11, double m12, double m21, double m22, bool smooth);

    explicit GlyphMasks(std::size_t budgetBytes = std::size_t{24} << 20);
    ~GlyphMasks();
    GlyphMasks(const GlyphMasks&) = delete;
    GlyphMasks& operator=(const GlyphMasks&) = delete;

    // Draws glyph (whose outline path gives, asked only when its mask is not
    // made yet) at origin (x, y) in pixels. False when the glyph at that shape
    // is too large for a mask: the caller fills the outline itself.
    template <class PathOf>
    bool draw(Raster& raster, quint32 glyph, const Shape& s, double x, double y, std::uint32_t argb,
              PathOf pathOf) {
        if (!s.usable) return false;
        // A mask is at most kMaxSide pixels across: an origin this far out
        // leaves nothing on any screen.
        if (!(std::fabs(x) < 1e6 && std::fabs(y) < 1e6)) return true;
        const double fx = std::floor(x), fy = std::floor(y);
        const Key key = keyOf(glyph, s, x - fx, y - fy);
        const Slot* slot = &find(key);
        if (!slot->used) slot = &place(key, make(pathOf(glyph), s, key.flags & 15));
        const Mask& m = slot->mask;
        if (m.count < 0) return false;
        blend(raster, m, static_cast<int>(fx), static_cast<int>(fy), argb);
        return true;
    }

    // Asks the memory for where the mask of a glyph about to be drawn is
    // kept: a text's letters are looked up together while it comes.
    void prefetch(quint32 glyph, const Shape& s, double x, double y) const {
        if (!s.usable || !(std::fabs(x) < 1e6 && std::fabs(y) < 1e6) || slots_.empty()) return;
        const Key key = keyOf(glyph, s, x - std::floor(x), y - std::floor(y));
        __builtin_prefetch(&slots_[hash(key) & (slots_.size() - 1)]);
    }

    // Forgets every mask when they hold more than the budget; called between frames.
    void trim();
    std::size_t maskCount() const { return used_; }
    std::size_t bytes() const { return runs_.size() * sizeof(Run) + bytes_.size(); }

  private:
    static constexpr int kMaxSide = 256;

    struct Key {
        quint32 glyph;
        std::int32_t scale;
        std::int16_t m[4];
        std::uint8_t flags;  // quarter-pixel offsets, smoothing
        bool operator==(const Key& o) const;
    };
    static Key keyOf(quint32 glyph, const Shape& s, double fracX, double fracY) {
        const int sub = static_cast<int>(fracX * 4) | (static_cast<int>(fracY * 4) << 2);
        return {glyph,
                s.scale,
                {s.m[0], s.m[1], s.m[2], s.m[3]},
                static_cast<std::uint8_t>(sub | (s.smooth ? 16 : 0))};
    }
    static std::size_t hash(const Key& k);

    // A row's run of inked pixels: solid ones take the colour as it is,
    // the others their coverage from bytes_.
    struct Run {
        std::int16_t y, x, length;
        bool solid;
        std::uint32_t coverage;  // into bytes_
    };
    // The runs of a glyph, placed from the pixel of its origin (count < 0:
    // too large for a mask, drawn directly).
    struct Mask {
        std::uint32_t first = 0;
        std::int32_t count = -1;
    };

    // Open addressing: a lookup is mostly one line of memory.
    struct Slot {
        Key key;
        bool used = false;
        Mask mask;
    };
    Slot& find(const Key& key);
    Slot& place(const Key& key, const Mask& mask);

    Mask make(const QPainterPath& path, const Shape& s, int sub);
    void blend(Raster& raster, const Mask& m, int x, int y, std::uint32_t argb) const;

    std::size_t budget_;
    std::vector<Slot> slots_;  // a power of two of them, at most half used
    std::size_t used_ = 0;
    std::vector<Run> runs_;
    std::vector<std::uint8_t> bytes_;
    // Where outlines are filled: the format QPainter fills fastest, its
    // alpha the coverage.
    QImage scratch_;
    std::uint8_t* scratchBits_ = nullptr;
    std::unique_ptr<QPainter> painter_;
};

}  // namespace render
