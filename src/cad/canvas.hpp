// The small sink a drawing is drawn through. drawDrawing walks model space and
// calls a Canvas with world-coordinate primitives whose colour and lineweight
// are already resolved; the QPainter renderer (screen, PDF, SVG, PNG) and the
// recording canvas of the tests implement it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cad/drawing.hpp"

namespace cad {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The AutoCAD colour index palette (1..255). Index 7 is the foreground colour:
// a canvas shows it black on paper and white on a dark screen.
Rgb aciToRgb(int aci);

inline constexpr double kDefaultLineweightMm = 0.25;

struct Style {
    int color = 7;  // colour index 1..255, ByLayer and ByBlock resolved
    // A true colour (420) that wins over the index; the index stays as the
    // file's nearest match.
    std::optional<Rgb> trueColor;
    double lineweightMm = kDefaultLineweightMm;  // ByLayer, ByBlock and default resolved
    EntityId entity;  // the model-space entity being drawn (an insert for its block's parts)
};

enum class HAlign { Left, Center, Right, Aligned, Middle, Fit };
enum class VAlign { Baseline, Bottom, Middle, Top };

struct TextItem {
    std::string text;       // UTF-8, %% codes and formatting already turned into characters
    Point3 position;        // the anchor the alignment names: left end of the baseline for Left
    Point3 second;          // Aligned and Fit: the text runs from position to second
    double height = 1.0;    // of capitals, world units
    double rotation = 0.0;  // radians, counter-clockwise from world X
    double widthFactor = 1.0;
    double oblique = 0.0;  // radians, slant of the glyphs to the right
    HAlign hAlign = HAlign::Left;
    VAlign vAlign = VAlign::Baseline;
};

class Canvas {
  public:
    virtual ~Canvas() = default;
    virtual void line(Point3 a, Point3 b, const Style& style) = 0;
    // Straight pieces only: bulges have been flattened.
    virtual void polyline(const std::vector<Point3>& points, bool closed, const Style& style) = 0;
    // Angles in radians; sweep is signed, positive counter-clockwise.
    virtual void arc(Point3 centre, double radius, double startAngle, double sweep,
                     const Style& style) = 0;
    virtual void circle(Point3 centre, double radius, const Style& style) = 0;
    virtual void text(const TextItem& text, const Style& style) = 0;
    // Filled area, even-odd over the loops.
    virtual void fill(const std::vector<std::vector<Point3>>& loops, const Style& style) = 0;
    // Largest distance from a curve its flattening may stray, in world units.
    virtual double flattenTolerance() const { return 0.01; }
    // Whether the bulges of a 2D polyline come as arc() calls between
    // polyline() calls for its straight runs, rather than flattened into one
    // polyline. A canvas that draws arcs at the scale it shows them (the
    // scene) keeps them; fewer points to store.
    virtual bool keepsArcs() const { return false; }
    // Length of a line of text of the given capital height (width factor 1),
    // in the same units; for wrapping MTEXT at its box width. Without a font
    // at hand, an estimate of 0.8 of the height a character.
    virtual double textWidth(std::string_view utf8, double height) const;
};

// Draws model space in drawing order: invisible and erased entities and those on
// layers that are off or frozen are left out; with a region only the entities
// whose bounds meet it are drawn.
void drawDrawing(const DrawingData& drawing, Canvas& canvas,
                 std::optional<Box2> region = std::nullopt);
void drawDrawing(const Drawing& drawing, Canvas& canvas, std::optional<Box2> region = std::nullopt);
// Draws the given model-space entities in the order given, with the same rules;
// a view that keeps what it drew per entity redraws only what changed.
void drawEntities(const DrawingData& drawing, Canvas& canvas, const std::vector<EntityId>& ids);

}  // namespace cad
