// Tags for what the program changed or created, as the writer puts them
// into the stream: a changed entity's tags with only the changed values
// rewritten, new entities, layers and blocks with handles, owners and the
// subclass markers of the drawing's DXF version.
#pragma once

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "cad/drawing_data.hpp"

namespace cad {

// Appends a group code, right-aligned in three columns as CAD programs write
// them (no line ending).
inline void appendGroupCode(std::string& out, int code) {
    char buf[16];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, code);
    (void)ec;
    for (std::ptrdiff_t pad = 3 - (end - buf); pad > 0; --pad) out += ' ';
    out.append(buf, end);
}

// Appends group code / value lines to a string, with the file's line ending.
class TagOut {
  public:
    TagOut(std::string& out, bool crlf) : out_(out), eol_(crlf ? "\r\n" : "\n") {}
    void put(int code, std::string_view value) {
        appendGroupCode(out_, code);
        out_ += eol_;
        out_ += value;
        out_ += eol_;
    }
    void putInt(int code, long long value) { put(code, std::to_string(value)); }
    void putDouble(int code, double value);  // shortest text that reads back exactly
    void putHandle(int code, Handle h);
    std::string& buffer() { return out_; }
    std::string_view eol() const { return eol_; }

  private:
    std::string& out_;
    const char* eol_;
};

// A changed entity read from the file: its original tags with the changed
// properties (Entity::changed) rewritten in place, a missing tag inserted where
// the version wants it.
void emitChangedEntity(const DrawingData& d, const Entity& e, TagOut& out);

// An entity the program created (model space unless it belongs to a block).
// A polyline written as POLYLINE (R12, 3D) uses the reservedHandles(e)
// (drawing_data.hpp)
// handles just below its own for its VERTEX entities and SEQEND: whoever
// gives a new entity its handle reserves them first, so that the entity's
// own handle is the largest it uses.
void emitNewEntity(const DrawingData& d, const Entity& e, Handle owner, TagOut& out);
// An application name the program registered (AppId::created).
void emitNewAppId(const DrawingData& d, const AppId& app, TagOut& out);

// A layer the program created (one table entry).
void emitNewLayer(const DrawingData& d, const Layer& layer, TagOut& out);

// A block the program created: its BLOCK_RECORD entry (R2000+) and its
// BLOCK ... ENDBLK with its entities.
void emitNewBlockRecord(const DrawingData& d, const Block& block, TagOut& out);
void emitNewBlock(const DrawingData& d, const Block& block, TagOut& out);

// The DXF text of a new, empty drawing of the given $ACADVER (AC1009,
// AC1015, AC1018, AC1021, AC1024, AC1027, AC1032); makeEmptyDrawing reads it.
// A view box, when given, becomes the drawing's extents and first view.
std::string emptyDrawingText(std::string_view version, const Box2& view = Box2{});

}  // namespace cad
