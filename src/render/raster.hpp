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
        : bits_(bits), stride_(stride), w_(width), h_(height) {}

    void pixel(double x, double y, std::uint32_t color) {
        if (!(x >= 0 && y >= 0 && x < w_ && y < h_)) return;
        bits_[static_cast<std::ptrdiff_t>(y) * stride_ + static_cast<int>(x)] = color;
    }

    // Pixel centres sit at half-integers, as QPainter has them.
    void line(double x0, double y0, double x1, double y1, std::uint32_t color) {
        if (!clip(x0, y0, x1, y1)) return;
        int ax = static_cast<int>(x0), ay = static_cast<int>(y0);
        int bx = static_cast<int>(x1), by = static_cast<int>(y1);
        int dx = std::abs(bx - ax), dy = -std::abs(by - ay);
        int stepX = ax < bx ? 1 : -1, stepY = ay < by ? 1 : -1;
        int err = dx + dy;
        std::uint32_t* p = bits_ + static_cast<std::ptrdiff_t>(ay) * stride_ + ax;
        const std::ptrdiff_t rowStep = stepY * static_cast<std::ptrdiff_t>(stride_);
        while (true) {
            *p = color;
            if (ax == bx && ay == by) break;
            int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                ax += stepX;
                p += stepX;
            }
            if (e2 <= dx) {
                err += dx;
                ay += stepY;
                p += rowStep;
            }
        }
    }

  private:
    // Liang–Barsky against the image, in doubles: a zoomed-in view maps far
    // points to coordinates no int holds.
    bool clip(double& x0, double& y0, double& x1, double& y1) const {
        const double lo = 0.0, hiX = w_ - 1e-6, hiY = h_ - 1e-6;
        if (x0 >= lo && x1 >= lo && y0 >= lo && y1 >= lo && x0 < hiX && x1 < hiX && y0 < hiY &&
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
        if (!side(-dx, x0 - lo) || !side(dx, hiX - x0) || !side(-dy, y0 - lo) ||
            !side(dy, hiY - y0)) {
            return false;
        }
        double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
        double nx1 = x0 + t1 * dx, ny1 = y0 + t1 * dy;
        x0 = std::clamp(nx0, lo, hiX);
        y0 = std::clamp(ny0, lo, hiY);
        x1 = std::clamp(nx1, lo, hiX);
        y1 = std::clamp(ny1, lo, hiY);
        return true;
    }

    std::uint32_t* bits_;
    int stride_;
    int w_, h_;
};

}  // namespace render
