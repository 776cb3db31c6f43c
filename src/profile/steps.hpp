// The steps of a profile run, shared by the files that draw them. Not part of
// the library's interface beyond the profile folder and its tests.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cad/geom.hpp"
#include "model/primitives.hpp"
#include "model/workspace.hpp"
#include "sheet/layout.hpp"

namespace profile::detail {

using sheet::kDataAreaX;
using sheet::kDatumY;
using sheet::kPlanY;
using sheet::kTick;
using sheet::kUnitsPerMetreUp;
inline constexpr double kUpright = 1.5707963267948966;  // text rotation reading upwards
inline constexpr double kWidthFactor = 0.7;
inline constexpr double kTextHeight = 1250.0;

// How long a text of the sheet is at `height`, as the table estimates it.
double textLength(const std::string& s, double height);

// Where the heights drawn over one datum leave the profile area, the datum
// steps: from `chainage` on (on the way from point `after` to the next, or at
// point `after` itself) heights stand over `datum`. The first step of a sheet
// stands at its first point (`after` -1) and gives the sheet's datum.
struct DatumStep {
    int after = -1;
    double chainage = 0.0;
    double datum = 0.0;
};

// The numbers a run computes and draws from: each point of the picket in work
// (or of one sheet's part of it) as a row of ten values, with the chainages
// and the heights and depths left to the program filled in. They become the
// picket's `built` rows; the typed points are never written.
struct Rows {
    std::vector<model::PointRow> points;
    std::vector<cad::EntityRef> pointObjects;  // entry k belongs to points[k]
    std::vector<model::Crossed> crossed;       // the utility point k crosses
    // Whether point k's ground height (depth) is known: typed, or computed by
    // the run so far. The rows' -1 is no marker here: a survey may give -1 m.
    std::vector<bool> reliefKnown, depthKnown;
    std::vector<bool>& known(int value) {
        return value == model::kRelief ? reliefKnown : depthKnown;
    }
    int pointCount() const { return static_cast<int>(points.size()); }
};

// What one run works on: the workspace, the rows of the picket in work and the drawing
// calls that also record every line and text in profileObjects.
// On a profile over several sheets a run draws one sheet: the points of its
// part of the picket, its chainage from `start` scaled by `along`, its heights
// over its own datum, everything `offsetY` lower.
struct Run {
    model::Workspace& ws;
    Rows& piket;
    double start = 0.0;            // chainage at the data area's start
    double along = 1.0;            // sheet units per unit of chainage
    double up = kUnitsPerMetreUp;  // sheet units per metre of height
    double offsetY = 0.0;          // where the sheet stands below the first
    double datum = 0.0;            // the sheet's datum level, m
    bool continues = false;        // the sheet goes on from the one above
    bool datumByHand = false;      // the user's datum: kept on the first point whatever it holds
    std::vector<DatumStep> steps = {};  // the datum steps of the sheet, found by drawSheet
    // The ground and pipe lines as drawProfileLines drew them, in sheet units
    // of the sheet (without offsetY): what labels over the profile keep clear of.
    struct Stroke {
        double x0, y0, x1, y1;
    };
    std::vector<Stroke> strokes = {};
    // The numbers of the sheet's points on the picket (from 0), -1 for a
    // sheet's end; none when the sheet holds the whole picket.
    const std::vector<int>* real = nullptr;
    // What the run drew so far, each as the box it covers in sheet units of
    // the sheet: what the notes keep clear of.
    struct Box {
        double left, right, bottom, top;
    };
    std::vector<Box> drawn = {};
    // The values of rows too short for them, written as notes in the profile
    // area: "1) Точки 12–40: 0,03; 0,03; …"; `x` is where the reference stands.
    struct Note {
        std::string text;
        double x = 0.0;
    };
    std::vector<Note> notes = {};

    int count() const { return piket.pointCount(); }
    const model::PointRow& point(int i) const { return piket.points[static_cast<std::size_t>(i)]; }
    double chainage(int i) const { return point(i)[model::kChainage]; }
    double xAt(double ch) const { return kDataAreaX + (ch - start) * along; }
    double x(int i) const { return xAt(chainage(i)); }
    double y(double height) const { return kDatumY + (height - datum) * up; }
    const cad::EntityRef& object(int i) const {
        return piket.pointObjects[static_cast<std::size_t>(i)];
    }
    std::string number(double v) const;       // general number text
    std::string tableNumber(double v) const;  // TableNumberText
    std::string datumNumber(double v) const;  // a whole datum with its tenth: 95,0 or 95.0

    cad::EntityRef line(double x1, double y1, double x2, double y2);
    cad::EntityRef text(const std::string& s, double x, double y, double rotation,
                        double height = kTextHeight);
    // The note of `values` (of the sheet's points `points`, the reference at
    // x) under `number`, or the next number of the sheet when 0; returns its
    // reference, "1)" for the sheet's first.
    std::string note(const std::vector<std::string>& values, const std::vector<int>& points,
                     double x, int number = 0);
};

using model::onLayerList;

// Point numbers as the editor shows them (from 1), runs of three or more
// joined by a dash: {0, 1, 2, 3, 14} -> "1–4, 15".
std::string pointNumbers(const std::vector<int>& points);

// The rows of the typed points with their chainages; sets ws.piketLength.
Rows rowsOf(model::Workspace& ws, const model::Piket& piket);
// Values computed into the rows.
void interpolateMissing(Rows& rows, int value);  // kRelief or kDepth
// The pipe runs straight between the points of the route: a ground point
// from the survey with an automatic depth gets the depth from its ground
// down to that line. Needs the chainages and the relief heights.
void pipeAtGroundPoints(Rows& rows);
std::optional<double> datumLevel(const Rows& rows);

// The metres of height the profile area holds between the datum line and the
// room kept free under the inner frame, at `up` sheet units a metre.
double profileRoom(double up);

// The datum steps of a run, starting from run.datum: none beyond the first
// while every ground and pipe height of the sheet stays inside the profile
// area; otherwise a step at the last point that still fits (inside a segment
// only where ground or pipe climbs or falls more than the area holds between
// two points), each new datum a whole number that keeps as many of the
// following points inside as one datum can.
std::vector<DatumStep> datumSteps(const Run& run);

// Drawing steps, in the order of the run.
void drawDatumLabel(Run& run);
// The break of the datum: a vertical line at the step's chainage and the new
// datum written beside it (`ground` is the ground height there).
void drawDatumStep(Run& run, double chainage, double ground, double before, double after);
void drawElevationRows(Run& run);
void drawProfileLines(Run& run);
void drawPlanMarks(Run& run);
void drawDistanceRow(Run& run);
void drawSlopeRow(Run& run);
void drawPiketRow(Run& run);
// The findings of the checks on the computed rows, marked at their points
// (check_marks.cpp); after the drawing, while ws.pointLines hold the points.
void drawCheckMarks(model::Workspace& ws, const model::Piket& typed,
                    const std::vector<model::PointRow>& computed);
void drawBendAngles(Run& run);
// The run's notes, each a block of lines in the profile area, hanging from
// the top of the frame where nothing drawn is near, as near its reference
// as there is room; after everything else of the sheet.
void drawNotes(Run& run);
// The utilities crossed at the points whose crossed utility has a top
// elevation: the section at true size in the sheet's scales and its label
// on a leader above the profile lines. Nothing where no point has one.
void drawCrossedUtilities(Run& run);
// The datum the profile lines of point i stand on.
double datumAtPoint(const Run& run, int i);

// The angular dimension of the bend at point i of the developed plan, or
// nullopt when the route runs straight there (or doubles back, or two
// neighbouring points coincide).
struct BendDimension {
    int angle = 0;  // whole degrees between the neighbours, 180 for a straight run
    cad::Point3 vertex;
    cad::Point3 first;
    cad::Point3 second;
    cad::Point3 textPoint;
};
std::optional<BendDimension> bendAt(const Rows& rows, int i);

}  // namespace profile::detail
