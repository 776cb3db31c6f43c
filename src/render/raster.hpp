// One-pixel lines and dots straight into 32-bit image memory. A plan of a
// million entities shown whole is millions of lines a few pixels long; through
// QPainter each costs more in setting up than in drawing.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace render {

class Raster {
  public:
    Raster(std::uint32_t* bits, int stride, int width, int height)
        : bits_(bits), stride_(stride), w_(width), h_(height), top_(0), bottom_(height) {}

    // Only rows [top, bottom) are written. Every line is placed against the
    // whole image as before, so that a band of the image drawn alone gets
    // exactly the pixels the whole frame has there.
    void setRows(int top, int bottom) {
        top_ = std::clamp(top, 0, h_);
        bottom_ = std::clamp(bottom, top_, h_);
    }
    int top() const { return top_; }
    int bottom() const { return bottom_; }
    int width() const { return w_; }
    std::uint32_t* row(int y) const { return bits_ + static_cast<std::ptrdiff_t>(y) * stride_; }

    void pixel(double x, double y, std::uint32_t color) {
        if (!(x >= 0 && y >= top_ && x < w_ && y < bottom_)) return;
        bits_[static_cast<std::ptrdiff_t>(y) * stride_ + static_cast<int>(x)] = color;
    }

    // Pixel centres sit at half-integers, as QPainter has them. One step a
    // pixel along the longer axis, the other coordinate in 16.16 fixed point.
    void line(double x0, double y0, double x1, double y1, std::uint32_t color) {
        if (!clip(x0, y0, x1, y1)) return;
        int ax = static_cast<int>(x0), ay = static_cast<int>(y0);
        int bx = static_cast<int>(x1), by = static_cast<int>(y1);
        int dx = bx - ax, dy = by - ay;
        int n = std::max(std::abs(dx), std::abs(dy));
        if (n == 0) {
            if (ay >= top_ && ay < bottom_)
                bits_[static_cast<std::ptrdiff_t>(ay) * stride_ + ax] = color;
            return;
        }
        if (std::abs(dx) >= std::abs(dy)) {
            const int stepX = dx > 0 ? 1 : -1;
            const std::int32_t slope = static_cast<std::int32_t>((std::int64_t{dy} << 16) / n);
            const std::int32_t y = (ay << 16) + 0x8000;
            // The steps whose row lies in the band: the row moves one way only.
            int from = 0, to = n;
            if (ay < top_ || ay >= bottom_ || by < top_ || by >= bottom_) {
                if (!stepsInRows(y, slope, n, from, to)) return;
            }
            std::int32_t fy = y + slope * from;
            ax += stepX * from;
            for (int i = from; i <= to; ++i, ax += stepX, fy += slope) {
                bits_[static_cast<std::ptrdiff_t>(fy >> 16) * stride_ + ax] = color;
            }
        } else {
            const int stepY = dy > 0 ? 1 : -1;
            const std::int32_t slope = static_cast<std::int32_t>((std::int64_t{dx} << 16) / n);
            std::int32_t x = (ax << 16) + 0x8000;
            int from = 0, to = n;
            if (stepY > 0) {
                from = std::max(0, top_ - ay);
                to = std::min(n, bottom_ - 1 - ay);
            } else {
                from = std::max(0, ay - (bottom_ - 1));
                to = std::min(n, ay - top_);
            }
            if (from > to) return;
            x += slope * from;
            std::uint32_t* row = bits_ + static_cast<std::ptrdiff_t>(ay + stepY * from) * stride_;
            const std::ptrdiff_t rowStep = stepY * static_cast<std::ptrdiff_t>(stride_);
            for (int i = from; i <= to; ++i, row += rowStep, x += slope) row[x >> 16] = color;
        }
    }

  private:
    // The steps i in [0, n] of a run whose row is (y + i·slope) >> 16 that
    // fall in [top, bottom); false when none does.
    bool stepsInRows(std::int32_t y, std::int32_t slope, int n, int& from, int& to) const {
        const std::int64_t lo = std::int64_t{top_} << 16, hi = (std::int64_t{bottom_} << 16) - 1;
        if (slope == 0) {
            if (y < lo || y > hi) return false;
            from = 0;
            to = n;
            return true;
        }
        // Seen the way the rows move, the run climbs from y0 by s a step
        // and must stay within [low, high].
        std::int64_t y0 = y, s = slope, low = lo, high = hi;
        if (slope < 0) {
            y0 = -y0;
            s = -s;
            low = -hi;
            high = -lo;
        }
        const std::int64_t need = low - y0, room = high - y0;
        const std::int64_t a = need <= 0 ? 0 : (need + s - 1) / s;
        const std::int64_t b = std::min<std::int64_t>(n, room < 0 ? -1 : room / s);
        if (a > b) return false;
        from = static_cast<int>(a);
        to = static_cast<int>(b);
        return true;
    }

    // Liang–Barsky against the image, in doubles: a zoomed-in view maps far
    // points to coordinates no int holds.
    bool clip(double& x0, double& y0, double& x1, double& y1) const {
        const double loX = 0, loY = 0, hiX = w_ - 1e-6, hiY = h_ - 1e-6;
        if (x0 >= loX && x1 >= loX && y0 >= loY && y1 >= loY && x0 < hiX && x1 < hiX && y0 < hiY &&
            y1 < hiY) {
            return true;
        }
        if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) {
            return false;
        }
        double t0 = 0, t1 = 1, dx = x1 - x0, dy = y1 - y0;
        auto side = [&](double p, double q) {
            if (p == 0) return q >= 0;
            double r = q / p;
            if (p < 0) {
                if (r > t1) return false;
                if (r > t0) t0 = r;
            } else {
                if (r < t0) return false;
                if (r < t1) t1 = r;
            }
            return true;
        };
        if (!side(-dx, x0 - loX) || !side(dx, hiX - x0) || !side(-dy, y0 - loY) ||
            !side(dy, hiY - y0)) {
            return false;
        }
        double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
        double nx1 = x0 + t1 * dx, ny1 = y0 + t1 * dy;
        x0 = std::clamp(nx0, loX, hiX);
        y0 = std::clamp(ny0, loY, hiY);
        x1 = std::clamp(nx1, loX, hiX);
        y1 = std::clamp(ny1, loY, hiY);
        return true;
    }

    std::uint32_t* bits_;
    int stride_;
    int w_, h_;
    int top_, bottom_;
};

}  // namespace render
