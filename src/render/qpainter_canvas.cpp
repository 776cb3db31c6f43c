#include "render/qpainter_canvas.hpp"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <cmath>
#include <numbers>

namespace render {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;
// Glyphs are laid out at this size and scaled to the text height: outlines stay
// exact at any size, and hinting cannot move the baseline.
constexpr int kFontPixels = 1000;

}  // namespace

QPainterCanvas::QPainterCanvas(QPainter& painter, const QTransform& worldToDevice,
                               CanvasOptions options)
    : painter_(painter), toDevice_(worldToDevice), options_(options) {
    double sx = std::hypot(toDevice_.m11(), toDevice_.m12());
    double sy = std::hypot(toDevice_.m21(), toDevice_.m22());
    scale_ = std::sqrt(sx * sy);
    if (!(scale_ > 0)) scale_ = 1.0;
    upright_ = toDevice_.m12() == 0 && toDevice_.m21() == 0 && toDevice_.m11() > 0 &&
               std::fabs(toDevice_.m11() + toDevice_.m22()) <= 1e-12 * toDevice_.m11();
    font_ = QFont(QStringLiteral("DejaVu Sans"));
    font_.setPixelSize(kFontPixels);
    font_.setHintingPreference(QFont::PreferNoHinting);
    font_.setStyleStrategy(QFont::PreferOutline);
}

QPointF QPainterCanvas::map(cad::Point3 p) const {
    return toDevice_.map(QPointF(p.x, p.y));
}

QColor QPainterCanvas::color(const cad::Style& style) const {
    QColor fore = options_.darkBackground ? QColor(Qt::white) : QColor(Qt::black);
    if (options_.monochrome) return fore;
    if (style.trueColor) return QColor(style.trueColor->r, style.trueColor->g, style.trueColor->b);
    if (style.color == 7) return fore;
    cad::Rgb c = cad::aciToRgb(style.color);
    return QColor(c.r, c.g, c.b);
}

void QPainterCanvas::usePen(const cad::Style& style) {
    double width = std::max(style.lineweightMm * options_.devicePerMm, options_.minPenWidth);
    QPen pen(color(style), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter_.setPen(pen);
    painter_.setBrush(Qt::NoBrush);
}

void QPainterCanvas::line(cad::Point3 a, cad::Point3 b, const cad::Style& style) {
    usePen(style);
    QPointF pa = map(a), pb = map(b);
    if (pa == pb) {
        painter_.drawPoint(pa);
    } else {
        painter_.drawLine(pa, pb);
    }
}

void QPainterCanvas::polyline(const std::vector<cad::Point3>& points, bool closed,
                              const cad::Style& style) {
    if (points.empty()) return;
    usePen(style);
    QPolygonF poly;
    poly.reserve(static_cast<qsizetype>(points.size()));
    for (const cad::Point3& p : points) poly << map(p);
    if (closed) {
        painter_.drawPolygon(poly);
    } else if (poly.size() == 1) {
        painter_.drawPoint(poly.front());
    } else {
        painter_.drawPolyline(poly);
    }
}

void QPainterCanvas::arc(cad::Point3 centre, double radius, double startAngle, double sweep,
                         const cad::Style& style) {
    usePen(style);
    QPainterPath path;
    if (upright_) {
        // Y is flipped, so Qt's anticlockwise-on-screen angles are the world's.
        QPointF c = map(centre);
        double r = radius * scale_;
        QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
        path.arcMoveTo(box, startAngle * kDegrees);
        path.arcTo(box, startAngle * kDegrees, sweep * kDegrees);
    } else {
        double tol = flattenTolerance();
        double step = 2.0 * std::acos(std::max(-1.0, 1.0 - tol / std::max(radius, 1e-12)));
        int n = std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / std::max(step, 1e-6))), 8,
                           20000);
        for (int i = 0; i <= n; ++i) {
            double a = startAngle + sweep * i / n;
            QPointF p = map({centre.x + radius * std::cos(a), centre.y + radius * std::sin(a), 0});
            if (i == 0) {
                path.moveTo(p);
            } else {
                path.lineTo(p);
            }
        }
    }
    painter_.drawPath(path);
}

void QPainterCanvas::circle(cad::Point3 centre, double radius, const cad::Style& style) {
    if (!upright_) {
        arc(centre, radius, 0.0, 2 * std::numbers::pi, style);
        return;
    }
    usePen(style);
    painter_.drawEllipse(map(centre), radius * scale_, radius * scale_);
}

void QPainterCanvas::text(const cad::TextItem& t, const cad::Style& style) {
    QString s = QString::fromUtf8(t.text.data(), static_cast<qsizetype>(t.text.size()));
    if (s.isEmpty() || !(t.height > 0)) return;
    QFontMetricsF fm(font_, painter_.device());
    double cap = fm.capHeight();
    double advance = fm.horizontalAdvance(s);
    if (!(cap > 0) || !(advance > 0)) return;

    QPointF anchor = map(t.position);
    // The text's direction on the device: the world angle seen through the map.
    QPointF ahead =
        map({t.position.x + std::cos(t.rotation), t.position.y + std::sin(t.rotation), 0}) - anchor;
    double angle = std::atan2(ahead.y(), ahead.x());
    double k = t.height * scale_ / cap;  // device units per font unit, vertically
    double wf = t.widthFactor > 0 ? t.widthFactor : 1.0;

    double x0 = 0.0, y0 = 0.0;  // where the baseline starts, in font units from the anchor
    cad::VAlign v = t.vAlign;
    switch (t.hAlign) {
        case cad::HAlign::Left:
            break;
        case cad::HAlign::Center:
            x0 = -advance / 2;
            break;
        case cad::HAlign::Middle:
            x0 = -advance / 2;
            if (v == cad::VAlign::Baseline) v = cad::VAlign::Middle;
            break;
        case cad::HAlign::Right:
            x0 = -advance;
            break;
        case cad::HAlign::Aligned:
        case cad::HAlign::Fit: {
            QPointF span = map(t.second) - anchor;
            double length = std::hypot(span.x(), span.y());
            if (length > 0) {
                angle = std::atan2(span.y(), span.x());
                double natural = advance * k * wf;
                if (t.hAlign == cad::HAlign::Fit) {
                    wf *= length / natural;
                } else {
                    k *= length / natural;
                }
            }
            v = cad::VAlign::Baseline;
            break;
        }
    }
    // Device Y grows downwards: a baseline below the anchor has positive y.
    if (v == cad::VAlign::Bottom) y0 = -fm.descent();
    if (v == cad::VAlign::Middle) y0 = cap / 2;
    if (v == cad::VAlign::Top) y0 = cap;

    painter_.save();
    painter_.resetTransform();
    painter_.translate(anchor);
    painter_.rotate(angle * kDegrees);
    painter_.shear(-std::tan(t.oblique), 0.0);
    painter_.scale(k * wf, k);
    painter_.setFont(font_);
    painter_.setPen(color(style));
    painter_.drawText(QPointF(x0, y0), s);
    painter_.restore();
}

void QPainterCanvas::fill(const std::vector<std::vector<cad::Point3>>& loops,
                          const cad::Style& style) {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const auto& loop : loops) {
        if (loop.size() < 2) continue;
        QPolygonF poly;
        for (const cad::Point3& p : loop) poly << map(p);
        path.addPolygon(poly);
        path.closeSubpath();
    }
    painter_.fillPath(path, color(style));
}

double QPainterCanvas::flattenTolerance() const {
    return 0.2 / scale_;
}

double QPainterCanvas::textWidth(std::string_view utf8, double height) const {
    QFontMetricsF fm(font_, painter_.device());
    double cap = fm.capHeight();
    if (!(cap > 0)) return cad::Canvas::textWidth(utf8, height);
    QString s = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return fm.horizontalAdvance(s) / cap * height;
}

}  // namespace render
