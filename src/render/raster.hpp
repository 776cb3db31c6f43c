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
        : bits_(bits), stride_(stride), x0_(0), y0_(0), x1_(width), y1_(height) {}

    // Drawing stays inside [x0, x1) × [y0, y1), which must lie in the image.
    void setClip(int x0, int y0, int x1, int y1) {
        x0_ = x0;
        y0_ = y0;
        x1_ = x1;
        y1_ = y1;
    }

    void pixel(double x, double y, std::uint32_t color) {
        if (!(x >= x0_ && y >= y0_ && x < x1_ && y < y1_)) return;
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
            bits_[static_cast<std::ptrdiff_t>(ay) * stride_ + ax] = color;
            return;
        }
        if (std::abs(dx) >= std::abs(dy)) {
            const int stepX = dx > 0 ? 1 : -1;
            const std::int32_t slope = static_cast<std::int32_t>((std::int64_t{dy} << 16) / n);
            std::int32_t y = (ay << 16) + 0x8000;
            for (int i = 0; i <= n; ++i, ax += stepX, y += slope) {
                bits_[static_cast<std::ptrdiff_t>(y >> 16) * stride_ + ax] = color;
            }
        } else {
            const int stepY = dy > 0 ? 1 : -1;
            const std::int32_t slope = static_cast<std::int32_t>((std::int64_t{dx} << 16) / n);
            std::int32_t x = (ax << 16) + 0x8000;
            std::uint32_t* row = bits_ + static_cast<std::ptrdiff_t>(ay) * stride_;
            const std::ptrdiff_t rowStep = stepY * static_cast<std::ptrdiff_t>(stride_);
            for (int i = 0; i <= n; ++i, row += rowStep, x += slope) row[x >> 16] = color;
        }
    }

  private:
    // Liang–Barsky against the image, in doubles: a zoomed-in view maps far
    // points to coordinates no int holds.
    bool clip(double& x0, double& y0, double& x1, double& y1) const {
        const double loX = x0_, loY = y0_, hiX = x1_ - 1e-6, hiY = y1_ - 1e-6;
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
    int x0_, y0_, x1_, y1_;
};

}  // namespace render
