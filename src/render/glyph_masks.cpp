#include "render/glyph_masks.hpp"

#include <algorithm>
#include <cstring>

#include "render/raster.hpp"

namespace render {

GlyphMasks::Shape GlyphMasks::shape(double m11, double m12, double m21, double m22, bool smooth) {
    Shape s;
    s.smooth = smooth;
    const double norm = std::max(std::hypot(m11, m12), std::hypot(m21, m22));
    if (!(norm > 1e-9) || !std::isfinite(norm) || !std::isfinite(m11 + m12 + m21 + m22)) {
        return s;
    }
    const double e = std::round(std::log2(norm) * 64);
    if (!(std::fabs(e) < 64 * 60)) return s;
    s.scale = static_cast<std::int32_t>(e);
    const double q = std::exp2(e / 64);
    const double in[4] = {m11, m12, m21, m22};
    double out[4];
    for (int i = 0; i < 4; ++i) {
        s.m[i] = static_cast<std::int16_t>(std::lround(in[i] / q * 1024));
        out[i] = s.m[i] * q / 1024;
    }
    s.m11 = out[0];
    s.m12 = out[1];
    s.m21 = out[2];
    s.m22 = out[3];
    s.usable = true;
    return s;
}

bool GlyphMasks::Key::operator==(const Key& o) const {
    return glyph == o.glyph && scale == o.scale && m[0] == o.m[0] && m[1] == o.m[1] &&
           m[2] == o.m[2] && m[3] == o.m[3] && flags == o.flags;
}

std::size_t GlyphMasks::hash(const Key& k) {
    auto u16 = [](std::int16_t v) { return std::uint64_t{static_cast<std::uint16_t>(v)}; };
    std::uint64_t a = (std::uint64_t{k.glyph} << 32) ^ static_cast<std::uint32_t>(k.scale) ^
                      (std::uint64_t{k.flags} << 24);
    std::uint64_t b = u16(k.m[0]) | u16(k.m[1]) << 16 | u16(k.m[2]) << 32 | u16(k.m[3]) << 48;
    std::uint64_t h = a * 0x9e3779b97f4a7c15ull ^ (b + 0x632be59bd9b4e019ull + (a << 6));
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    return static_cast<std::size_t>(h ^ (h >> 32));
}

GlyphMasks::Slot& GlyphMasks::find(const Key& key) {
    if (slots_.empty()) slots_.resize(4096);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash(key) & mask;; i = (i + 1) & mask) {
        Slot& s = slots_[i];
        if (!s.used || s.key == key) return s;
    }
}

GlyphMasks::Slot& GlyphMasks::place(const Key& key, const Mask& mask) {
    if ((used_ + 1) * 2 > slots_.size()) {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        used_ = 0;
        for (const Slot& s : old) {
            if (s.used) place(s.key, s.mask);
        }
    }
    Slot& s = find(key);
    s.key = key;
    s.used = true;
    s.mask = mask;
    ++used_;
    return s;
}

GlyphMasks::GlyphMasks(std::size_t budgetBytes) : budget_(budgetBytes) {}

GlyphMasks::~GlyphMasks() {
    if (painter_) painter_->end();
}

void GlyphMasks::trim() {
    if (bytes() + slots_.size() * sizeof(Slot) <= budget_) return;
    slots_.clear();
    slots_.shrink_to_fit();
    used_ = 0;
    runs_.clear();
    runs_.shrink_to_fit();
    bytes_.clear();
    bytes_.shrink_to_fit();
}

GlyphMasks::Mask GlyphMasks::make(const QPainterPath& path, const Shape& s, int sub) {
    // The offset within the pixel is the middle of its quarter.
    const QTransform t(s.m11, s.m12, s.m21, s.m22, (sub & 3) / 4.0 + 0.125,
                       (sub >> 2) / 4.0 + 0.125);
    const QRectF r = t.mapRect(path.controlPointRect());
    Mask m;
    if (r.isEmpty()) {
        m.count = 0;  // nothing to draw, as for a space
        return m;
    }
    // Runs keep their place from the origin in 16 bits.
    if (!(r.width() < kMaxSide - 4 && r.height() < kMaxSide - 4 && std::fabs(r.left()) < 16000 &&
          std::fabs(r.top()) < 16000)) {
        return m;
    }
    const int left = static_cast<int>(std::floor(r.left())) - 1;
    const int top = static_cast<int>(std::floor(r.top())) - 1;
    const int w = static_cast<int>(std::ceil(r.right())) + 1 - left;
    const int h = static_cast<int>(std::ceil(r.bottom())) + 1 - top;
    if (scratch_.isNull()) {
        scratch_ = QImage(kMaxSide, kMaxSide, QImage::Format_ARGB32_Premultiplied);
        scratch_.fill(0);
        scratchBits_ = scratch_.bits();
        painter_ = std::make_unique<QPainter>(&scratch_);
        painter_->setPen(Qt::NoPen);
    }
    const qsizetype stride = scratch_.bytesPerLine();
    painter_->setRenderHint(QPainter::Antialiasing, s.smooth);
    painter_->setTransform(t * QTransform::fromTranslate(-left, -top));
    painter_->fillPath(path, Qt::black);
    // Each row's runs of ink; the scratch is left clear.
    m.first = static_cast<std::uint32_t>(runs_.size());
    m.count = 0;
    for (int y = 0; y < h; ++y) {
        std::uint32_t* row = reinterpret_cast<std::uint32_t*>(scratchBits_ + y * stride);
        for (int x = 0; x < w;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            const int from = x;
            std::uint32_t all = 0xffffffffu;
            for (; x < w && row[x]; ++x) all &= row[x];
            const bool solid = all >> 24 == 255;
            runs_.push_back({static_cast<std::int16_t>(top + y),
                             static_cast<std::int16_t>(left + from),
                             static_cast<std::int16_t>(x - from), solid,
                             static_cast<std::uint32_t>(bytes_.size())});
            if (!solid) {
                for (int i = from; i < x; ++i)
                    bytes_.push_back(static_cast<std::uint8_t>(row[i] >> 24));
            }
            ++m.count;
        }
        std::memset(row, 0, static_cast<std::size_t>(w) * 4);
    }
    return m;
}

namespace {

// colour·a + dest·(255 − a) over 255, two channels at a time.
inline std::uint32_t mix(std::uint32_t x, std::uint32_t a, std::uint32_t y) {
    const std::uint32_t b = 255 - a;
    std::uint32_t t = (x & 0xff00ff) * a + (y & 0xff00ff) * b;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    std::uint32_t u = ((x >> 8) & 0xff00ff) * a + ((y >> 8) & 0xff00ff) * b;
    u = (u + ((u >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return u | t;
}

}  // namespace

void GlyphMasks::blend(Raster& raster, const Mask& m, int x, int y, std::uint32_t argb) const {
    const int top = raster.top(), bottom = raster.bottom(), width = raster.width();
    for (const Run *r = runs_.data() + m.first, *end = r + m.count; r != end; ++r) {
        const int row = y + r->y;
        if (row < top || row >= bottom) continue;
        const int from = x + r->x;
        const int xs = std::max(from, 0), xe = std::min(from + r->length, width);
        if (xs >= xe) continue;
        std::uint32_t* d = raster.row(row);
        if (r->solid) {
            std::fill(d + xs, d + xe, argb);
            continue;
        }
        const std::uint8_t* a = bytes_.data() + r->coverage - from;
        for (int i = xs; i < xe; ++i) d[i] = a[i] == 255 ? argb : mix(argb, a[i], d[i]);
    }
}

}  // namespace render
