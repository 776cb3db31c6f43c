// The Canvas on a QPainter: screen, PDF, SVG and PNG all draw through it.
// Points are mapped to device coordinates here, with doubles, so that plan
// coordinates of millions of units keep their precision; line weights are in
// millimetres of paper and texts use DejaVu Sans, which has Cyrillic.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QTransform>

#include "cad/canvas.hpp"

namespace render {

struct CanvasOptions {
    double devicePerMm = 1.0;     // device units per millimetre of paper or screen
    double minPenWidth = 0.0;     // device units; thinner lines are drawn this wide
    bool darkBackground = false;  // colour 7 white on dark, black on paper
    bool monochrome = false;      // everything in the foreground colour
};

class QPainterCanvas : public cad::Canvas {
  public:
    // worldToDevice must be a uniform scale with Y flipped (plus a translation)
    // for arcs and texts to come out true; other maps still draw, flattened.
    QPainterCanvas(QPainter& painter, const QTransform& worldToDevice, CanvasOptions options);

    void line(cad::Point3 a, cad::Point3 b, const cad::Style& style) override;
    void polyline(const std::vector<cad::Point3>& points, bool closed,
                  const cad::Style& style) override;
    void arc(cad::Point3 centre, double radius, double startAngle, double sweep,
             const cad::Style& style) override;
    void circle(cad::Point3 centre, double radius, const cad::Style& style) override;
    void text(const cad::TextItem& text, const cad::Style& style) override;
    void fill(const std::vector<std::vector<cad::Point3>>& loops, const cad::Style& style) override;
    double flattenTolerance() const override;
    double textWidth(std::string_view utf8, double height) const override;

    QColor color(const cad::Style& style) const;

  private:
    QPointF map(cad::Point3 p) const;
    void usePen(const cad::Style& style);

    QPainter& painter_;
    QTransform toDevice_;
    CanvasOptions options_;
    double scale_;  // device units per world unit
    bool upright_;  // a uniform scale with Y flipped and no turn
    QFont font_;
};

}  // namespace render
