// Tags for what the program created: entities, layers and blocks written in
// full with the handles, owners and subclass markers of the drawing's DXF
// version.
#include "cad/dxf/emit.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numbers>
#include <optional>
#include <variant>
#include <vector>

#include "cad/dxf/emit_support.hpp"
#include "cad/dxf/fields.hpp"
#include "cad/error.hpp"
#include "cad/followers.hpp"
#include "cad/mtext.hpp"
#include "cad/text_util.hpp"

namespace cad {

using namespace dxf_emit;

// ---- new entities -------------------------------------------------------------

namespace {

class EntityWriter {
  public:
    EntityWriter(const DrawingData& d, TagOut& out)
        : d_(d), out_(out), ver_(d), handles_(writesHandles(d)) {}

    void write(const Entity& e, Handle owner) {
        visitGeom([&](const auto& g) { emit(e, owner, g); }, e.geom);
        // Lines, texts, ellipses and dimensions end here; a polyline's vertices are
        // written by its own emit, and the program marks none.
        const EntityMark* mark = d_.markOf(e);
        if (mark && !holdsGeom<PolylineGeom>(e.geom) && hasAppId(kMarkApp)) {
            out_.put(1001, kMarkApp);
            for (const std::string* v : {&mark->kind, &mark->owner, &mark->fingerprint}) {
                out_.put(1000, encodeValue(d_, *v));
            }
        }
    }

  private:
    void head(const Entity& e, std::string_view type, Handle owner) {
        head(e, type, owner, e.handle);
    }
    void head(const Entity& e, std::string_view type, Handle owner, Handle handle) {
        out_.put(0, type);
        if (handles_) out_.putHandle(5, handle);
        if (ver_.subclasses) {
            out_.putHandle(330, owner);
            out_.put(100, "AcDbEntity");
        }
        if (e.paperSpace) out_.putInt(67, 1);
        out_.put(8, encodeValue(d_, e.layer.empty() ? std::string("0") : e.layer.str()));
        if (e.color != 256) out_.putInt(62, e.color);
        if (ver_.lineweights && e.lineweight != -1) out_.putInt(370, e.lineweight);
        if (!e.visible) out_.putInt(60, 1);
    }
    void subclass(std::string_view name) {
        if (ver_.subclasses) out_.put(100, name);
    }
    void point(int code, Point3 p) {
        out_.putDouble(code, p.x);
        out_.putDouble(code + 10, p.y);
        out_.putDouble(code + 20, p.z);
    }
    void extrusion(Point3 z) {
        if (z == kWorldZ) return;
        point(210, z);
    }
    void style(const std::string& name) {
        if (!name.empty() && !equalsNoCase(name, "Standard")) out_.put(7, encodeValue(d_, name));
    }
    // Every field of a table the reader reads the kind by, in the table's order.
    template <class G, std::size_t N>
    void fields(const G& g, const std::array<dxf_read::Field<G>, N>& table) {
        for (const dxf_read::Field<G>& f : table) {
            std::visit([&](auto member) { field(f.code, g.*member); }, f.member);
        }
    }
    void field(int code, double v) { out_.putDouble(code, v); }
    void field(int code, int v) { out_.putInt(code, v); }
    void field(int code, Point3 p) { point(code, p); }
    void field(int code, const std::string& s) { out_.put(code, encodeValue(d_, s)); }

    void emit(const Entity& e, Handle owner, const LineGeom& g) {
        head(e, "LINE", owner);
        subclass("AcDbLine");
        fields(g, dxf_read::kLineFields);
    }

    void emit(const Entity& e, Handle owner, const PointGeom& g) {
        head(e, "POINT", owner);
        subclass("AcDbPoint");
        fields(g, dxf_read::kPointFields);
    }

    // The part a circle and an arc share.
    void circleHead(const Entity& e, const char* type, Handle owner, Point3 center, double radius,
                    Point3 normal) {
        head(e, type, owner);
        subclass("AcDbCircle");
        point(10, center);
        out_.putDouble(40, radius);
        extrusion(normal);
    }

    void emit(const Entity& e, Handle owner, const CircleGeom& g) {
        circleHead(e, "CIRCLE", owner, g.center, g.radius, g.extrusion);
    }

    void emit(const Entity& e, Handle owner, const ArcGeom& g) {
        circleHead(e, "ARC", owner, g.center, g.radius, g.extrusion);
        subclass("AcDbArc");
        out_.putDouble(50, g.startAngle);
        out_.putDouble(51, g.endAngle);
    }

    void emit(const Entity& e, Handle owner, const SolidGeom& g) {
        head(e, "SOLID", owner);
        subclass("AcDbTrace");
        for (int k = 0; k < 4; ++k) point(10 + k, g.corners[k]);
        extrusion(g.extrusion);
    }

    void emit(const Entity& e, Handle owner, const TextGeom& g) {
        head(e, "TEXT", owner);
        subclass("AcDbText");
        point(10, g.insertion);
        out_.putDouble(40, g.height);
        out_.put(1, encodeValue(d_, g.text));
        if (g.rotation != 0.0) out_.putDouble(50, g.rotation);
        if (g.widthFactor != 1.0) out_.putDouble(41, g.widthFactor);
        if (g.oblique != 0.0) out_.putDouble(51, g.oblique);
        style(g.style);
        if (g.hAlign != 0) out_.putInt(72, g.hAlign);
        if (g.hasAlignment || g.hAlign != 0 || g.vAlign != 0) point(11, g.alignment);
        extrusion(g.extrusion);
        subclass("AcDbText");
        if (g.vAlign != 0) out_.putInt(73, g.vAlign);
    }

    void emit(const Entity& e, Handle owner, const MTextGeom& g) {
        if (!ver_.subclasses) {  // R12 has no MTEXT: the plain text as a TEXT
            TextGeom t;
            t.text = plainMText(g.text);
            std::replace(t.text.begin(), t.text.end(), '\n', ' ');
            t.insertion = g.insertion;
            t.height = g.height;
            t.rotation = g.rotation;
            t.style = g.style;
            t.extrusion = g.extrusion;
            t.vAlign = 3;  // the insertion point of an MTEXT is its top left
            t.hasAlignment = true;
            t.alignment = g.insertion;
            emit(e, owner, t);
            return;
        }
        head(e, "MTEXT", owner);
        subclass("AcDbMText");
        point(10, g.insertion);
        out_.putDouble(40, g.height);
        out_.putDouble(41, g.rectWidth);
        out_.putInt(71, g.attachment);
        out_.putInt(72, 1);  // left to right
        // The text in pieces of at most 250 bytes (3 ... 3, then 1), never
        // splitting a UTF-8 character.
        std::string text = encodeValue(d_, g.text, true);
        std::size_t pos = 0;
        while (text.size() - pos > 250) {
            std::size_t cut = pos + 250;
            while (cut > pos && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
            out_.put(3, std::string_view(text).substr(pos, cut - pos));
            pos = cut;
        }
        out_.put(1, std::string_view(text).substr(pos));
        style(g.style);
        extrusion(g.extrusion);
        if (g.xDirection != Point3{1.0, 0.0, 0.0}) {
            point(11, g.xDirection);
        } else if (g.rotation != 0.0) {
            out_.putDouble(50, g.rotation);
        }
    }

    void emit(const Entity& e, Handle owner, const PolylineGeom& g) {
        if (ver_.lwpolyline && !g.is3d) {
            head(e, "LWPOLYLINE", owner);
            subclass("AcDbPolyline");
            out_.putInt(90, static_cast<long long>(g.vertices.size()));
            out_.putInt(70, g.closed ? 1 : 0);
            if (g.elevation != 0.0) out_.putDouble(38, g.elevation);
            for (const PolyVertex& v : g.vertices) {
                out_.putDouble(10, v.x);
                out_.putDouble(20, v.y);
                if (v.bulge != 0.0) out_.putDouble(42, v.bulge);
            }
            extrusion(g.extrusion);
            return;
        }
        // POLYLINE, VERTEX ..., SEQEND: the followers use the handles reserved
        // just below the polyline's own (see reservedHandles).
        head(e, "POLYLINE", owner);
        subclass(g.is3d ? "AcDb3dPolyline" : "AcDb2dPolyline");
        out_.putInt(66, 1);
        point(10, {0.0, 0.0, g.is3d ? 0.0 : g.elevation});
        out_.putInt(70, (g.closed ? 1 : 0) | (g.is3d ? 8 : 0));
        if (!g.is3d) extrusion(g.extrusion);
        Entity follower;
        follower.layer = e.layer;
        follower.paperSpace = e.paperSpace;
        Handle next = e.handle - reservedHandles(e);
        for (const PolyVertex& v : g.vertices) {
            head(follower, "VERTEX", e.handle, next++);
            subclass("AcDbVertex");
            subclass(g.is3d ? "AcDb3dPolylineVertex" : "AcDb2dVertex");
            point(10, {v.x, v.y, g.is3d ? v.z : g.elevation});
            if (v.bulge != 0.0 && !g.is3d) out_.putDouble(42, v.bulge);
            out_.putInt(70, g.is3d ? 32 : 0);
        }
        head(follower, "SEQEND", e.handle, next);
    }

    void emit(const Entity& e, Handle owner, const InsertGeom& g) {
        head(e, "INSERT", owner);
        bool array = g.columns > 1 || g.rows > 1;
        subclass(array ? "AcDbMInsertBlock" : "AcDbBlockReference");
        out_.put(2, encodeValue(d_, g.blockName));
        point(10, g.insertion);
        if (g.scale.x != 1.0) out_.putDouble(41, g.scale.x);
        if (g.scale.y != 1.0) out_.putDouble(42, g.scale.y);
        if (g.scale.z != 1.0) out_.putDouble(43, g.scale.z);
        if (g.rotation != 0.0) out_.putDouble(50, g.rotation);
        if (array) {
            out_.putInt(70, g.columns);
            out_.putInt(71, g.rows);
            out_.putDouble(44, g.columnSpacing);
            out_.putDouble(45, g.rowSpacing);
        }
        extrusion(g.extrusion);
    }

    void emit(const Entity& e, Handle owner, const HatchGeom& g) {
        if (!ver_.subclasses) {
            throw Error("Штриховку нельзя записать в чертёж DXF R12");
        }
        bool ansi31 = !g.solid && equalsNoCase(g.pattern, "ANSI31");
        if (!g.solid && !ansi31) {
            throw Error("Штриховка образцом «" + g.pattern + "» не поддерживается");
        }
        head(e, "HATCH", owner);
        subclass("AcDbHatch");
        point(10, {0.0, 0.0, g.elevation});
        point(210, g.extrusion);
        out_.put(2, g.solid ? "SOLID" : "ANSI31");
        out_.putInt(70, g.solid ? 1 : 0);
        out_.putInt(71, 0);  // not associative
        out_.putInt(91, static_cast<long long>(g.loops.size()));
        for (std::size_t k = 0; k < g.loops.size(); ++k) {
            const PolylineGeom& loop = g.loops[k];
            bool bulges = std::any_of(loop.vertices.begin(), loop.vertices.end(),
                                      [](const PolyVertex& v) { return v.bulge != 0.0; });
            out_.putInt(92, k == 0 ? 3 : 2);  // polyline loop; the first is the outer one
            out_.putInt(72, bulges ? 1 : 0);
            out_.putInt(73, 1);
            out_.putInt(93, static_cast<long long>(loop.vertices.size()));
            for (const PolyVertex& v : loop.vertices) {
                out_.putDouble(10, v.x);
                out_.putDouble(20, v.y);
                if (bulges) out_.putDouble(42, v.bulge);
            }
            out_.putInt(97, 0);
        }
        out_.putInt(75, 0);  // normal island detection
        out_.putInt(76, 1);  // predefined pattern
        if (ansi31) {
            // ANSI31: one family of lines at 45 degrees, 3.175 apart.
            out_.putDouble(52, 0.0);
            out_.putDouble(41, 1.0);
            out_.putInt(77, 0);
            out_.putInt(78, 1);
            out_.putDouble(53, 45.0);
            out_.putDouble(43, 0.0);
            out_.putDouble(44, 0.0);
            out_.putDouble(45, -3.175 * std::sqrt(0.5));
            out_.putDouble(46, 3.175 * std::sqrt(0.5));
            out_.putInt(79, 0);
        }
        out_.putInt(98, 0);
    }

    void emit(const Entity& e, Handle owner, const DimensionGeom& g) {
        head(e, "DIMENSION", owner);
        subclass("AcDbDimension");
        out_.put(2, encodeValue(d_, g.blockName));
        point(10, g.definition);
        point(11, g.textMidpoint);
        out_.putInt(70, g.dimType);
        if (!g.text.empty()) out_.put(1, encodeValue(d_, g.text));
        if (ver_.subclasses) out_.putInt(71, 5);  // text attached at its middle
        out_.put(3, encodeValue(d_, g.style.empty() ? std::string("Standard") : g.style));
        extrusion(g.extrusion);
        switch (g.dimType & 0x0F) {
            case 0:  // rotated: 13, 14 the measured points
            case 1:  // aligned
                subclass("AcDbAlignedDimension");
                point(13, g.p13);
                point(14, g.p14);
                if ((g.dimType & 0x0F) == 0) {
                    out_.putDouble(50, 0.0);
                    subclass("AcDbRotatedDimension");
                }
                break;
            case 2:  // two lines: 13-14 and 15-10, the arc through 16
                subclass("AcDb2LineAngularDimension");
                point(13, g.p13);
                point(14, g.p14);
                point(15, g.p15);
                point(16, g.p16);
                break;
            case 3:
            case 4:
                subclass((g.dimType & 0x0F) == 3 ? "AcDbDiametricDimension"
                                                 : "AcDbRadialDimension");
                point(15, g.p15);
                out_.putDouble(40, 0.0);
                break;
            case 5:  // three points: 13, 14 on the legs, 15 the vertex, the arc through 10
                subclass("AcDb3PointAngularDimension");
                point(13, g.p13);
                point(14, g.p14);
                point(15, g.p15);
                break;
            case 6:
                subclass("AcDbOrdinateDimension");
                point(13, g.p13);
                point(14, g.p14);
                break;
            default:
                break;
        }
        if (g.textHeight > 0.0 && hasAppId("ACAD")) {
            // The text height as an override of the dimension style (DIMTXT, 140),
            // so that a CAD program regenerating the block keeps it.
            out_.put(1001, "ACAD");
            out_.put(1000, "DSTYLE");
            out_.put(1002, "{");
            out_.putInt(1070, 140);
            out_.putDouble(1040, g.textHeight);
            out_.put(1002, "}");
        }
    }

    // From R13 on; an R12 drawing has no ellipses, and the program draws none there.
    void emit(const Entity& e, Handle owner, const EllipseGeom& g) {
        if (!ver_.subclasses) unsupported(e);
        head(e, "ELLIPSE", owner);
        subclass("AcDbEllipse");
        point(10, g.center);
        point(11, g.majorAxis);
        extrusion(g.extrusion);
        out_.putDouble(40, g.ratio);
        out_.putDouble(41, g.startParam);
        out_.putDouble(42, g.endParam);
    }
    void emit(const Entity& e, Handle, const SplineGeom&) { unsupported(e); }
    void emit(const Entity& e, Handle, const OtherGeom&) { unsupported(e); }

    [[noreturn]] void unsupported(const Entity& e) {
        throw Error("Новый объект " + (e.dxfType.empty() ? std::string("?") : e.dxfType.str()) +
                    " не может быть записан");
    }

    // XDATA must be registered in the APPID table: read from it, or
    // registered by the program in a file that has the table.
    bool hasAppId(std::string_view name) const {
        for (const AppId& a : d_.appIds) {
            if (equalsNoCase(a.name, name)) {
                return !a.created || d_.layout.appIdTableEnd != kNoIndex;
            }
        }
        return false;
    }

    const DrawingData& d_;
    TagOut& out_;
    Version ver_;
    bool handles_;
};

// The tags of a table entry read from the file, [begin, end).
std::optional<std::size_t> findInRange(const TagStore& tags, std::uint32_t begin, std::uint32_t end,
                                       int code) {
    if (begin == kNoTags) return std::nullopt;
    for (std::size_t i = begin + 1; i < end && i < tags.size(); ++i) {
        if (tags.code(i) == code) return i;
    }
    return std::nullopt;
}

// Whether the file's own table entries of a kind carry handles (R12 files
// differ); for R13 and later they always do.
bool tableEntriesHaveHandles(const DrawingData& d) {
    if (Version(d).subclasses) return true;
    for (const Layer& l : d.layers) {
        if (l.tagBegin == kNoTags) continue;
        return findInRange(d.tags, l.tagBegin, l.tagEnd, 5).has_value();
    }
    return writesHandles(d);
}

bool linetypeExists(const DrawingData& d, std::string_view name) {
    if (d.tags.size() == 0) return true;
    const TagStore& t = d.tags;
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (t.code(i) != 0) continue;
        std::string_view v = trim(t.value(i));
        if (v == "ENTITIES" || v == "BLOCKS") break;
        if (v != "LTYPE") continue;
        for (std::size_t k = i + 1; k < t.size() && t.code(k) != 0; ++k) {
            if (t.code(k) == 2 && equalsNoCase(trim(t.value(k)), name)) return true;
        }
    }
    return false;
}

}  // namespace

void emitNewEntity(const DrawingData& d, const Entity& e, Handle owner, TagOut& out) {
    EntityWriter(d, out).write(e, owner);
}

void emitNewAppId(const DrawingData& d, const AppId& app, TagOut& out) {
    const Version ver(d);
    out.put(0, "APPID");
    if (tableEntriesHaveHandles(d)) out.putHandle(5, app.handle);
    if (ver.subclasses) {
        out.putHandle(330, d.layout.appIdTable);
        out.put(100, "AcDbSymbolTableRecord");
        out.put(100, "AcDbRegAppTableRecord");
    }
    out.put(2, encodeValue(d, app.name));
    out.putInt(70, 0);
}

void emitNewLayer(const DrawingData& d, const Layer& layer, TagOut& out) {
    const Version ver(d);
    out.put(0, "LAYER");
    if (tableEntriesHaveHandles(d)) out.putHandle(5, layer.handle);
    if (ver.subclasses) {
        out.putHandle(330, d.layout.layerTable);
        out.put(100, "AcDbSymbolTableRecord");
        out.put(100, "AcDbLayerTableRecord");
    }
    out.put(2, encodeValue(d, layer.name));
    out.putInt(70, layer.flags);
    out.putInt(62, layer.color == 0 ? 7 : layer.color);
    std::string linetype = layer.linetype.empty() ? std::string("Continuous") : layer.linetype;
    if (!linetypeExists(d, linetype)) linetype = "Continuous";
    out.put(6, encodeValue(d, linetype));
    if (ver.lineweights) {
        out.putInt(370, layer.lineweight);
        // The plot style name (390) and material (347) every layer points to
        // in a CAD program's file: the same objects as the file's own layers.
        for (int code : {390, 347}) {
            for (const Layer& other : d.layers) {
                auto i = findInRange(d.tags, other.tagBegin, other.tagEnd, code);
                if (!i) continue;
                out.put(code, trim(d.tags.value(*i)));
                break;
            }
        }
    }
}

void emitNewBlockRecord(const DrawingData& d, const Block& block, TagOut& out) {
    const Version ver(d);
    if (!ver.subclasses) return;  // R12 has no block records
    out.put(0, "BLOCK_RECORD");
    out.putHandle(5, block.recordHandle);
    out.putHandle(330, d.layout.blockRecordTable);
    out.put(100, "AcDbSymbolTableRecord");
    out.put(100, "AcDbBlockTableRecord");
    out.put(2, encodeValue(d, block.name));
    if (d.version >= "AC1015") out.put(340, "0");  // no layout
    if (d.version >= "AC1021") {
        out.putInt(70, 0);   // insertion units: none
        out.putInt(280, 1);  // explodable
        out.putInt(281, 0);  // scales non-uniformly
    }
}

void emitNewBlock(const DrawingData& d, const Block& block, TagOut& out) {
    const Version ver(d);
    const bool handles = writesHandles(d);
    std::string name = encodeValue(d, block.name);
    out.put(0, "BLOCK");
    if (handles) out.putHandle(5, block.handle);
    if (ver.subclasses) {
        out.putHandle(330, block.recordHandle);
        out.put(100, "AcDbEntity");
    }
    out.put(8, "0");
    if (ver.subclasses) out.put(100, "AcDbBlockBegin");
    out.put(2, name);
    out.putInt(70, block.flags);
    out.putDouble(10, block.base.x);
    out.putDouble(20, block.base.y);
    out.putDouble(30, block.base.z);
    out.put(3, name);
    if (ver.subclasses) out.put(1, "");
    for (EntityId id : block.entities) {
        const Entity& e = d.entities.at(id.v);
        if (e.erased) continue;
        emitNewEntity(d, e, block.recordHandle, out);
    }
    out.put(0, "ENDBLK");
    if (handles) {
        if (block.endHandle == 0) throw Error("Блоку «" + block.name + "» не выдан номер конца");
        out.putHandle(5, block.endHandle);
    }
    if (ver.subclasses) {
        out.putHandle(330, block.recordHandle);
        out.put(100, "AcDbEntity");
    }
    out.put(8, "0");
    if (ver.subclasses) out.put(100, "AcDbBlockEnd");
}

}  // namespace cad
