// Entities as values: one std::variant of geometry kinds plus the properties
// every entity has. Planar kinds keep their coordinates in the entity's own
// coordinate system (OCS) exactly as the file holds them, with the extrusion
// direction beside them; ocs.hpp turns them into world coordinates.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "cad/geom.hpp"
#include "cad/handle.hpp"
#include "cad/name.hpp"

namespace cad {

struct EntityId {
    std::uint32_t v = std::numeric_limits<std::uint32_t>::max();
    auto operator<=>(const EntityId&) const = default;
    bool valid() const { return v != std::numeric_limits<std::uint32_t>::max(); }
};

inline constexpr Point3 kWorldZ{0.0, 0.0, 1.0};

struct LineGeom {  // LINE: 10/20/30 start, 11/21/31 end, world coordinates
    Point3 start;
    Point3 end;
};

struct PolyVertex {  // x, y in OCS (2D) or world (3D); z only for 3D polylines
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double bulge = 0.0;  // 42: tan(sweep / 4) of the arc to the next vertex
    friend bool operator==(const PolyVertex&, const PolyVertex&) = default;
};

// LWPOLYLINE, and POLYLINE with its VERTEX entities (2D or 3D).
struct PolylineGeom {
    std::vector<PolyVertex> vertices;
    bool closed = false;         // 70 bit 1
    bool is3d = false;           // POLYLINE 70 bit 8: vertices in world coordinates
    bool lightweight = true;     // LWPOLYLINE rather than POLYLINE
    double elevation = 0.0;      // 38 (LWPOLYLINE) or 30 of the POLYLINE's 10 point
    Point3 extrusion = kWorldZ;  // 210/220/230
};

struct ArcGeom {  // ARC: centre in OCS, angles in degrees counter-clockwise in OCS
    Point3 center;
    double radius = 0.0;
    double startAngle = 0.0;  // 50
    double endAngle = 0.0;    // 51
    Point3 extrusion = kWorldZ;
};

struct CircleGeom {
    Point3 center;  // OCS
    double radius = 0.0;
    Point3 extrusion = kWorldZ;
};

struct EllipseGeom {          // world coordinates
    Point3 center;            // 10
    Point3 majorAxis;         // 11, relative to the centre
    double ratio = 1.0;       // 40, minor / major
    double startParam = 0.0;  // 41
    double endParam = 0.0;    // 42 (2 pi for a full ellipse)
    Point3 extrusion = kWorldZ;
};

struct SplineGeom {                     // world coordinates
    int degree = 3;                     // 71
    int flags = 0;                      // 70 (1 closed, 2 periodic, 4 rational)
    std::vector<double> knots;          // 40
    std::vector<double> weights;        // 41, empty when all are 1
    std::vector<Point3> controlPoints;  // 10
    std::vector<Point3> fitPoints;      // 11
    Point3 extrusion = kWorldZ;
};

struct TextGeom {      // TEXT (and ATTRIB / ATTDEF read as text)
    std::string text;  // 1, UTF-8 with %%-codes as stored
    Point3 insertion;  // 10, OCS
    Point3 alignment;  // 11, OCS; used when an alignment is set
    bool hasAlignment = false;
    double height = 0.0;             // 40
    double rotation = 0.0;           // 50, degrees
    double widthFactor = 1.0;        // 41
    double oblique = 0.0;            // 51, degrees
    int hAlign = 0;                  // 72
    int vAlign = 0;                  // 73
    std::string style = "Standard";  // 7
    Point3 extrusion = kWorldZ;
};

struct MTextGeom {
    std::string text;                  // 3... then 1, UTF-8 with formatting codes as stored
    Point3 insertion;                  // 10, world
    double height = 0.0;               // 40
    double rectWidth = 0.0;            // 41
    int attachment = 1;                // 71: 1 top left ... 9 bottom right
    Point3 xDirection{1.0, 0.0, 0.0};  // 11, world
    double rotation = 0.0;             // 50, degrees, when no 11 is given
    std::string style = "Standard";
    Point3 extrusion = kWorldZ;
};

struct InsertGeom {
    std::string blockName;        // 2
    Point3 insertion;             // 10, OCS
    Point3 scale{1.0, 1.0, 1.0};  // 41/42/43
    double rotation = 0.0;        // 50, degrees
    int columns = 1;              // 70
    int rows = 1;                 // 71
    double columnSpacing = 0.0;   // 44
    double rowSpacing = 0.0;      // 45
    Point3 extrusion = kWorldZ;
};

struct DimensionGeom {
    std::string blockName;           // 2: the anonymous block that shows it
    int dimType = 0;                 // 70
    Point3 definition;               // 10
    Point3 textMidpoint;             // 11
    Point3 p13, p14, p15, p16;       // 13, 14, 15, 16 (meaning depends on the type)
    std::string text;                // 1: override, "" or "<>" for the measurement
    std::string style = "Standard";  // 3
    Point3 extrusion = kWorldZ;
    double textHeight = 0.0;  // DIMTXT override (XDATA ACAD DSTYLE 140); 0 = the style's
};

struct HatchGeom {
    std::string pattern;     // 2
    bool solid = false;      // 70
    double elevation = 0.0;  // z of 10
    // Boundary loops in OCS; line and arc edges become vertices with bulges,
    // ellipse and spline edges are flattened.
    std::vector<PolylineGeom> loops;
    Point3 extrusion = kWorldZ;
};

struct PointGeom {
    Point3 position;  // 10, world
};

struct SolidGeom {  // SOLID and TRACE: corners 10, 11, 12, 13 in OCS
    Point3 corners[4];
    Point3 extrusion = kWorldZ;
};

// Any kind the engine carries along without understanding it.
struct OtherGeom {};

// A value kept on the heap. A plan holds millions of lines and polylines and
// comparatively few arcs, texts, inserts and dimensions; keeping the kinds
// larger than a polyline out of line keeps every entity small. Copies are deep, like the value.
template <class T>
class Boxed {
  public:
    Boxed(T v) : p_(std::make_unique<T>(std::move(v))) {}  // NOLINT: a T is a Boxed<T>
    Boxed(const Boxed& o) : p_(std::make_unique<T>(*o.p_)) {}
    Boxed(Boxed&&) noexcept = default;
    Boxed& operator=(const Boxed& o) {
        if (this != &o) p_ = std::make_unique<T>(*o.p_);
        return *this;
    }
    Boxed& operator=(Boxed&&) noexcept = default;
    ~Boxed() = default;
    T& get() { return *p_; }
    const T& get() const { return *p_; }

  private:
    std::unique_ptr<T> p_;
};

template <class T>
struct GeomStorage {
    using type = T;
};
template <class T>
requires(sizeof(T) > sizeof(PolylineGeom)) struct GeomStorage<T> {
    using type = Boxed<T>;
};
template <class T>
using StoredGeom = typename GeomStorage<T>::type;

using Geometry =
    std::variant<LineGeom, PolylineGeom, StoredGeom<ArcGeom>, CircleGeom, StoredGeom<EllipseGeom>,
                 StoredGeom<SplineGeom>, StoredGeom<TextGeom>, StoredGeom<MTextGeom>,
                 StoredGeom<InsertGeom>, StoredGeom<DimensionGeom>, StoredGeom<HatchGeom>,
                 PointGeom, StoredGeom<SolidGeom>, OtherGeom>;

// Access by the geometry kind, whether it is kept in place or on the heap.
template <class T>
bool holdsGeom(const Geometry& g) {
    return std::holds_alternative<StoredGeom<T>>(g);
}
template <class T>
T* geomIf(Geometry& g) {
    auto* s = std::get_if<StoredGeom<T>>(&g);
    if constexpr (std::is_same_v<StoredGeom<T>, T>) {
        return s;
    } else {
        return s ? &s->get() : nullptr;
    }
}
template <class T>
const T* geomIf(const Geometry& g) {
    return geomIf<T>(const_cast<Geometry&>(g));
}
template <class T>
T& geomAs(Geometry& g) {
    if (T* t = geomIf<T>(g)) return *t;
    throw std::bad_variant_access();
}
template <class T>
const T& geomAs(const Geometry& g) {
    return geomAs<T>(const_cast<Geometry&>(g));
}
template <class T>
const T& unboxed(const T& v) {
    return v;
}
template <class T>
const T& unboxed(const Boxed<T>& v) {
    return v.get();
}
template <class T>
T& unboxed(T& v) {
    return v;
}
template <class T>
T& unboxed(Boxed<T>& v) {
    return v.get();
}
// Calls fn with the geometry as its own kind (LineGeom, TextGeom, ...).
template <class F>
decltype(auto) visitGeom(F&& fn, const Geometry& g) {
    return std::visit([&](const auto& s) -> decltype(auto) { return fn(unboxed(s)); }, g);
}
template <class F>
decltype(auto) visitGeom(F&& fn, Geometry& g) {
    return std::visit([&](auto& s) -> decltype(auto) { return fn(unboxed(s)); }, g);
}

// Which properties the program changed, so that saving rewrites only those tags.
enum Changed : std::uint32_t {
    kChangedLayer = 1u << 0,       // 8
    kChangedVisible = 1u << 1,     // 60
    kChangedLineweight = 1u << 2,  // 370
    kChangedColor = 1u << 3,       // 62
    kChangedPoints = 1u << 4,      // 10/20/30, 11/21/31 of a line
    kChangedText = 1u << 5,        // 1, 40, 41, 50 of a text
};

// The layer every drawing has.
inline const Name& layerZero() {
    static const Name zero("0");
    return zero;
}

inline constexpr std::uint32_t kNoTags = std::numeric_limits<std::uint32_t>::max();

// A plan holds a million of these: the members are ordered so that no
// padding lies between them (120 bytes).
struct Entity {
    Geometry geom;
    Name dxfType;              // 0, as in the file: "LINE", "ACAD_PROXY_ENTITY", ...
    Handle handle = 0;         // 5 (105 for DIMSTYLE-like oddities is not an entity concern)
    Name layer = layerZero();  // 8, UTF-8
    int lineweight = -1;  // 370: hundredths of a millimetre; -1 ByLayer, -2 ByBlock, -3 default
    int color = 256;      // 62: 256 ByLayer, 0 ByBlock
    std::uint32_t changed = 0;  // Changed bits
    // The entity's tags in DrawingData::tags, from its 0 tag up to (not including)
    // the next entity's 0 tag; a POLYLINE's range takes in its VERTEX and SEQEND.
    // kNoTags for entities the program created.
    std::uint32_t tagBegin = kNoTags;
    std::uint32_t tagEnd = kNoTags;
    bool visible = true;      // 60: 0 visible, 1 invisible
    bool paperSpace = false;  // 67
    bool erased = false;
};
static_assert(sizeof(Entity) <= 120, "an entity record grew: a big plan holds millions");

}  // namespace cad
