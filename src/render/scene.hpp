// What the drawing view shows, kept ready for fast frames: every model-space
// entity drawn once through the engine's walk into a display list of world
// coordinate primitives, an R-tree over their bounds for culling, and a frame
// renderer with a level of detail (an entity smaller than a pixel becomes a
// pixel, small text a box or nothing). Thin lines go through a rasterizer of
// our own straight into the image; wide lines, texts and fills through
// QPainterCanvas.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QTransform>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "cad/canvas.hpp"

namespace render {

// World to screen: a uniform scale with Y flipped. originX/originY is the world
// point at the top-left corner of the image.
struct ScreenMap {
    double originX = 0.0;
    double originY = 0.0;
    double scale = 1.0;  // pixels per world unit

    QPointF toScreen(double x, double y) const {
        return {(x - originX) * scale, (originY - y) * scale};
    }
    QPointF toScreen(cad::Point3 p) const { return toScreen(p.x, p.y); }
    cad::Point3 toWorld(QPointF p) const {
        return {originX + p.x() / scale, originY - p.y() / scale, 0.0};
    }
    QTransform transform() const;
    cad::Box2 worldRect(double width, double height) const;
    // The map that shows box centred in a width × height image with a margin.
    static ScreenMap fit(const cad::Box2& box, double width, double height, double margin = 0.03);
};

struct FrameOptions {
    bool lineweights = false;          // lineweights in screen pixels, else one pixel
    double pixelsPerMm = 96.0 / 25.4;  // for lineweights
    QColor background{33, 40, 48};     // colour 7 is drawn white on it
    // Threads drawing the frame at once, 0: one for each processor core, up
    // to four. The picture is the same for any number.
    int threads = 0;
};

class Scene {
  public:
    Scene();
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Everything anew from the drawing's model space.
    void build(const cad::DrawingData& drawing);
    // Entities added, changed or erased since build: drawn again (erased and
    // invisible ones leave nothing).
    void update(const cad::DrawingData& drawing, const std::vector<cad::EntityId>& ids);
    void clear();

    // Model-space entities the scene knows (those drawn and those that left nothing).
    std::size_t itemCount() const;
    bool knows(cad::EntityId id) const;
    std::optional<std::uint32_t> itemOf(cad::EntityId id) const;
    cad::EntityId entityOf(std::uint32_t item) const;
    cad::Box2 boundsOf(std::uint32_t item) const;
    cad::Box2 extents() const;  // of all that is drawn
    // The same without some entities (what the program keeps for itself).
    cad::Box2 extentsWithout(const std::vector<cad::EntityId>& left) const;

    // Items whose bounds meet the box, in drawing order.
    std::vector<std::uint32_t> query(const cad::Box2& box) const;

    // Geometry tests in world units, on what is drawn.
    double distance(std::uint32_t item, cad::Point3 p) const;  // to the nearest stroke
    bool inside(std::uint32_t item, const cad::Box2& box) const;
    bool touches(std::uint32_t item, const cad::Box2& box) const;

    // One frame into image (Format_RGB32 or ARGB32_Premultiplied).
    void render(QImage& image, const ScreenMap& map, const FrameOptions& options) const;
    // The given items outlined with pen over whatever is on the painter
    // (selection and the entity under the pick box).
    void outline(QPainter& painter, const ScreenMap& map, const std::vector<std::uint32_t>& items,
                 const QPen& pen) const;

    struct Data;

  private:
    std::unique_ptr<Data> d_;
};

}  // namespace render
