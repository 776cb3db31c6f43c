// Where a line of text stands against its anchor, shared by the screen scene
// and the QPainter canvas: the start of its baseline, the vertical alignment
// left to apply and, for Aligned and Fit, the direction and stretch that make
// it span from its first point to its second.
#pragma once

#include <cmath>
#include <utility>

#include "cad/canvas.hpp"

namespace render {

struct TextPlacement {
    double x0 = 0.0;  // start of the baseline, font units along the text from the anchor
    cad::VAlign v = cad::VAlign::Baseline;
    double k = 1.0;   // units per font unit, vertically
    double wf = 1.0;  // width factor
    bool turned = false;
    double angle = 0.0;  // direction of the text when turned
};

// span() gives the vector from the first point to the second in the units k
// maps to; it is asked only for Aligned and Fit.
template <class Span>
TextPlacement placeText(const cad::TextItem& t, double advance, double k, double wf, Span span) {
    TextPlacement p{0.0, t.vAlign, k, wf, false, 0.0};
    switch (t.hAlign) {
        case cad::HAlign::Left:
            break;
        case cad::HAlign::Center:
            p.x0 = -advance / 2;
            break;
        case cad::HAlign::Middle:
            p.x0 = -advance / 2;
            if (p.v == cad::VAlign::Baseline) p.v = cad::VAlign::Middle;
            break;
        case cad::HAlign::Right:
            p.x0 = -advance;
            break;
        case cad::HAlign::Aligned:
        case cad::HAlign::Fit: {
            const auto [dx, dy] = span();
            double length = std::hypot(dx, dy);
            if (length > 0) {
                p.turned = true;
                p.angle = std::atan2(dy, dx);
                double natural = advance * p.k * p.wf;
                if (t.hAlign == cad::HAlign::Fit) {
                    p.wf *= length / natural;
                } else {
                    p.k *= length / natural;
                }
            }
            p.v = cad::VAlign::Baseline;
            break;
        }
    }
    return p;
}

}  // namespace render
