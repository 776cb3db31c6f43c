// The fields each kind of entity reads straight into its geometry, and the
// few kinds (polylines with their vertices) read by hand.
#include <numbers>

#include "cad/dxf/reader_impl.hpp"

namespace cad::dxf_read {

// The codes each kind reads straight into a member of its geometry; those
// that fields.hpp names are the emitter's too.
const std::array<Field<LineGeom>, 2> kLineFields{{{10, &LineGeom::start}, {11, &LineGeom::end}}};
const std::array<Field<PolylineGeom>, 2> kLwPolylineFields{
    {{38, &PolylineGeom::elevation}, {210, &PolylineGeom::extrusion}}};
const std::array<Field<ArcGeom>, 5> kArcFields{{{10, &ArcGeom::center},
                                                {40, &ArcGeom::radius},
                                                {50, &ArcGeom::startAngle},
                                                {51, &ArcGeom::endAngle},
                                                {210, &ArcGeom::extrusion}}};
const std::array<Field<EllipseGeom>, 6> kEllipseFields{{{10, &EllipseGeom::center},
                                                        {11, &EllipseGeom::majorAxis},
                                                        {40, &EllipseGeom::ratio},
                                                        {41, &EllipseGeom::startParam},
                                                        {42, &EllipseGeom::endParam},
                                                        {210, &EllipseGeom::extrusion}}};
const std::array<Field<SplineGeom>, 3> kSplineFields{
    {{70, &SplineGeom::flags}, {71, &SplineGeom::degree}, {210, &SplineGeom::extrusion}}};
const std::array<Field<TextGeom>, 9> kTextFields{{{1, &TextGeom::text},
                                                  {7, &TextGeom::style, true},
                                                  {10, &TextGeom::insertion},
                                                  {40, &TextGeom::height},
                                                  {41, &TextGeom::widthFactor},
                                                  {50, &TextGeom::rotation},
                                                  {51, &TextGeom::oblique},
                                                  {72, &TextGeom::hAlign},
                                                  {210, &TextGeom::extrusion}}};
const std::array<Field<MTextGeom>, 7> kMTextFields{{{7, &MTextGeom::style, true},
                                                    {10, &MTextGeom::insertion},
                                                    {40, &MTextGeom::height},
                                                    {41, &MTextGeom::rectWidth},
                                                    {50, &MTextGeom::rotation},
                                                    {71, &MTextGeom::attachment},
                                                    {210, &MTextGeom::extrusion}}};
const std::array<Field<InsertGeom>, 8> kInsertFields{{{2, &InsertGeom::blockName, true},
                                                      {10, &InsertGeom::insertion},
                                                      {50, &InsertGeom::rotation},
                                                      {70, &InsertGeom::columns},
                                                      {71, &InsertGeom::rows},
                                                      {44, &InsertGeom::columnSpacing},
                                                      {45, &InsertGeom::rowSpacing},
                                                      {210, &InsertGeom::extrusion}}};
const std::array<Field<DimensionGeom>, 11> kDimensionFields{{{2, &DimensionGeom::blockName, true},
                                                             {70, &DimensionGeom::dimType},
                                                             {10, &DimensionGeom::definition},
                                                             {11, &DimensionGeom::textMidpoint},
                                                             {13, &DimensionGeom::p13},
                                                             {14, &DimensionGeom::p14},
                                                             {15, &DimensionGeom::p15},
                                                             {16, &DimensionGeom::p16},
                                                             {1, &DimensionGeom::text},
                                                             {3, &DimensionGeom::style, true},
                                                             {210, &DimensionGeom::extrusion}}};
const std::array<Field<PointGeom>, 1> kPointFields{{{10, &PointGeom::position}}};
const std::array<Field<SolidGeom>, 1> kSolidFields{{{210, &SolidGeom::extrusion}}};

void Reader::geometry(Entity& e, std::size_t gb, std::size_t ge) {
    const std::string& t = e.dxfType;
    auto none = [](int, std::size_t&) {};
    if (t == "LINE") {
        LineGeom g;
        readFields(g, gb, ge, kLineFields, none);
        e.geom = g;
    } else if (t == "LWPOLYLINE") {
        PolylineGeom g;
        readFields(g, gb, ge, kLwPolylineFields, [&](int c, std::size_t& k) {
            switch (c) {
                case 90:  // the vertex count: room made once (never more than the tags allow)
                    g.vertices.reserve(std::min<std::size_t>(
                        static_cast<std::size_t>(std::max(inum(k), 0)), (ge - k) / 2));
                    break;
                case 10: {
                    Point3 p = point(k, ge);
                    g.vertices.push_back(PolyVertex{p.x, p.y, 0.0, 0.0});
                    break;
                }
                case 42:
                    if (!g.vertices.empty()) g.vertices.back().bulge = num(k);
                    break;
                case 70:
                    g.closed = (inum(k) & 1) != 0;
                    break;
                default:
                    break;
            }
        });
        e.geom = std::move(g);
    } else if (t == "POLYLINE") {
        e.geom = PolylineGeom{};  // filled by polyline()
    } else if (t == "ARC" || t == "CIRCLE") {
        ArcGeom g;
        readFields(g, gb, ge, kArcFields, none);
        if (t == "ARC") {
            e.geom = g;
        } else {
            e.geom = CircleGeom{g.center, g.radius, g.extrusion};
        }
    } else if (t == "ELLIPSE") {
        EllipseGeom g;
        g.endParam = 2 * std::numbers::pi;
        readFields(g, gb, ge, kEllipseFields, none);
        e.geom = g;
    } else if (t == "SPLINE") {
        SplineGeom g;
        bool anyWeight = false;
        readFields(g, gb, ge, kSplineFields, [&](int c, std::size_t& k) {
            if (c == 40) g.knots.push_back(num(k));
            if (c == 41) {
                double w = num(k);
                anyWeight = anyWeight || w != 1.0;
                g.weights.push_back(w);
            }
            if (c == 10) g.controlPoints.push_back(point(k, ge));
            if (c == 11) g.fitPoints.push_back(point(k, ge));
        });
        if (!anyWeight) g.weights.clear();
        if (g.degree > kMaxSplineDegree || g.controlPoints.size() > kMaxSplineControlPoints) {
            issue("spline-limit", gb, e.handle, splineLimitMessage(e.handle, g.degree));
        }
        e.geom = std::move(g);
    } else if (t == "TEXT" || t == "ATTRIB" || t == "ATTDEF") {
        TextGeom g;
        bool attrib = t != "TEXT";
        readFields(g, gb, ge, kTextFields, [&](int c, std::size_t& k) {
            if (c == 11) {
                g.alignment = point(k, ge);
                g.hasAlignment = true;
            }
            // Text's vertical alignment is 73; an attribute's is 74 (its 73 is the field length).
            if (c == (attrib ? 74 : 73)) g.vAlign = inum(k);
        });
        e.geom = std::move(g);
    } else if (t == "MTEXT") {
        MTextGeom g;
        std::string raw;
        std::string_view last;
        bool sawX = false;
        readFields(g, gb, ge, kMTextFields, [&](int c, std::size_t& k) {
            if (c == 3) raw.append(val(k));  // 3 ... then 1: the text in pieces
            if (c == 1) last = val(k);
            if (c == 11) {
                g.xDirection = point(k, ge);
                sawX = true;
            }
        });
        raw.append(last);
        g.text = text(raw);
        if (sawX) {
            g.rotation = std::atan2(g.xDirection.y, g.xDirection.x) * 180.0 / std::numbers::pi;
        } else {
            double a = g.rotation * std::numbers::pi / 180.0;
            g.xDirection = Point3{std::cos(a), std::sin(a), 0.0};
        }
        e.geom = std::move(g);
    } else if (t == "INSERT") {
        InsertGeom g;
        readFields(g, gb, ge, kInsertFields, [&](int c, std::size_t& k) {
            if (c == 41) g.scale.x = num(k);
            if (c == 42) g.scale.y = num(k);
            if (c == 43) g.scale.z = num(k);
        });
        e.geom = std::move(g);
    } else if (t == "DIMENSION") {
        DimensionGeom g;
        readFields(g, gb, ge, kDimensionFields, none);
        e.geom = std::move(g);
    } else if (t == "HATCH") {
        HatchGeom g;
        hatch(g, gb, ge);
        e.geom = std::move(g);
    } else if (t == "POINT") {
        PointGeom g;
        readFields(g, gb, ge, kPointFields, none);
        e.geom = g;
    } else if (t == "SOLID" || t == "TRACE") {
        SolidGeom g;
        readFields(g, gb, ge, kSolidFields, [&](int c, std::size_t& k) {
            if (c >= 10 && c <= 13) g.corners[c - 10] = point(k, ge);
        });
        e.geom = g;
    } else {
        e.geom = OtherGeom{};
    }
}

void Reader::polyline(Entity& e, std::size_t gb, std::size_t ge, std::size_t end0,
                      std::size_t end) {
    PolylineGeom g;
    g.lightweight = false;
    int flags = 0;
    for (std::size_t k = gb; k < ge; ++k) {
        int c = code(k);
        if (c == 1001) break;
        if (c == 70) flags = inum(k);
        if (c == 10) g.elevation = point(k, ge).z;
        if (c == 210) g.extrusion = point(k, ge);
    }
    g.closed = (flags & 1) != 0;
    g.is3d = (flags & 8) != 0;
    std::size_t j = end0;
    while (at0(j, "VERTEX") && j < end) {
        std::size_t ve = nextZero(j + 1);
        PolyVertex v;
        int vflags = 0;
        bool subclasses = false;
        for (std::size_t k = j + 1; k < ve; ++k) {
            int c = code(k);
            if (c == 1001) break;
            if (c == 100) subclasses = true;
            if (c == 10) {
                Point3 p = point(k, ve);
                v.x = p.x;
                v.y = p.y;
                v.z = p.z;
            }
            if (c == 42) v.bulge = num(k);
            if (c == 70) vflags = inum(k);
        }
        (void)subclasses;
        // Spline frame points (16) and polyface face records (128 without 64)
        // are not points of the line.
        bool frame = (vflags & 16) != 0;
        bool faceRecord = (vflags & 128) != 0 && (vflags & 64) == 0;
        if (!frame && !faceRecord) g.vertices.push_back(v);
        j = ve;
    }
    if (!g.is3d) {
        for (PolyVertex& v : g.vertices) v.z = 0.0;
    }
    e.geom = std::move(g);
}

}  // namespace cad::dxf_read
