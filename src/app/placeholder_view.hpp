// Stands in the working area until the drawing view is built in: the same
// interface, an empty dark surface, and prompts that end at once as if the
// user had pressed Esc.
#pragma once

#include <QString>
#include <QWidget>

#include "cad/application.hpp"
#include "cad/error.hpp"
#include "cad/prompter.hpp"

namespace app {

class DrawingView : public QWidget, public cad::View, public cad::Prompter {
    Q_OBJECT
  public:
    explicit DrawingView(QWidget* parent = nullptr) : QWidget(parent) {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(33, 40, 48));
        setPalette(p);
    }
    void setDrawing(cad::Drawing* drawing) { drawing_ = drawing; }
    void drawingChanged() {}
    void zoomExtents() {}

    void zoomAll(cad::Drawing&) override {}
    void zoomCenter(cad::Drawing&, cad::Point3, double) override {}
    cad::Point3 getPoint(const std::string&) override { throw cad::Cancelled(); }
    cad::PickedEntity getEntity(const std::string&) override { throw cad::Cancelled(); }

  signals:
    void cursorMoved(double x, double y);
    void promptChanged(const QString& prompt);

  private:
    cad::Drawing* drawing_ = nullptr;
};

}  // namespace app
