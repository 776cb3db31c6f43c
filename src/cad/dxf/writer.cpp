// The lossless writer: the file's tags in their order, each value as read,
// with the few places the program touched rewritten (see emit.hpp for
// the tags of changed and created things). Group codes are written
// right-aligned in three columns; values are never reformatted.
#include "cad/dxf/writer.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>

#include "cad/drawing.hpp"
#include "cad/dxf/emit.hpp"
#include "cad/dxf/encoding.hpp"
#include "cad/error.hpp"
#include "cad/platform.hpp"
#include "cad/text_util.hpp"

namespace cad {

namespace {

// "  0\n" and the like for every group code, built once.
class CodeLines {
  public:
    explicit CodeLines(std::string_view eol) {
        for (int c = kMin; c <= kMax; ++c) {
            std::string& s = lines_[static_cast<std::size_t>(c - kMin)];
            s = format(c);
            s += eol;
        }
        eol_ = eol;
    }
    void put(std::string& out, int code, std::string_view value) const {
        if (code >= kMin && code <= kMax) {
            out += lines_[static_cast<std::size_t>(code - kMin)];
        } else {
            out += format(code);
            out += eol_;
        }
        out += value;
        out += eol_;
    }

  private:
    static std::string format(int code) {
        std::string s;
        appendGroupCode(s, code);
        return s;
    }
    static constexpr int kMin = -5;
    static constexpr int kMax = 1071;
    std::array<std::string, kMax - kMin + 1> lines_;
    std::string_view eol_;
};

bool parseInt(std::string_view v, long long& out) {
    v = trim(v);
    auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
    return ec == std::errc() && p == v.data() + v.size();
}

// Writes the drawing into `out`; when `flush` is given it is called whenever
// `out` has grown past a few megabytes, and takes the text away, so that a
// big drawing is never held twice in memory.
void writeTags(const DrawingData& d, std::string& out,
               const std::function<void(std::string&)>& flush) {
    const TagStore& s = d.tags;
    if (s.size() == 0) {
        throw Error("Чертёж не связан с файлом DXF или образцом: записать его нельзя");
    }
    const DxfLayout& lay = d.layout;

    // What the program changed or created.
    std::vector<const Entity*> touched;  // read from the file, then changed or erased
    std::vector<const Entity*> created;  // new model-space entities
    Handle maxHandle = lay.maxHandle;
    for (const Entity& e : d.entities) {
        if (e.tagBegin != kNoTags) {
            if (e.erased || e.changed) touched.push_back(&e);
            if (e.changed && !e.erased) maxHandle = std::max(maxHandle, e.handle);
        }
    }
    for (EntityId id : d.modelSpace) {
        const Entity& e = d.entities[id.v];
        if (e.tagBegin == kNoTags && !e.erased) {
            created.push_back(&e);
            maxHandle = std::max(maxHandle, e.handle);
        }
    }
    std::sort(touched.begin(), touched.end(),
              [](const Entity* a, const Entity* b) { return a->tagBegin < b->tagBegin; });
    std::vector<const Layer*> newLayers;
    for (const Layer& l : d.layers) {
        if (l.tagBegin == kNoTags && lay.layerTableEnd != kNoIndex) {
            newLayers.push_back(&l);
            maxHandle = std::max(maxHandle, l.handle);
        }
    }
    std::vector<const AppId*> newAppIds;
    for (const AppId& a : d.appIds) {
        if (a.created && lay.appIdTableEnd != kNoIndex) {
            newAppIds.push_back(&a);
            maxHandle = std::max(maxHandle, a.handle);
        }
    }
    std::vector<const Block*> newBlocks;
    for (const Block& b : d.blocks) {
        if (b.tagBegin == kNoTags) {
            newBlocks.push_back(&b);
            maxHandle = std::max({maxHandle, b.handle, b.recordHandle});
            for (EntityId id : b.entities) maxHandle = std::max(maxHandle, d.entities[id.v].handle);
        }
    }
    if (!newBlocks.empty() && lay.blocksEnd == kNoIndex) {
        throw Error("В файле нет раздела BLOCKS: новые блоки записать некуда");
    }
    const std::string textCodepage = fileTextCodepage(d.version, d.codepage);

    constexpr std::size_t kChunk = 4u << 20;
    std::size_t eolSize = d.crlf ? 2 : 1;
    out.reserve(flush ? kChunk + (1u << 16) : s.text.size() + s.size() * (4 + 2 * eolSize) + 4096);
    TagOut tagOut(out, d.crlf);
    const CodeLines lines(d.crlf ? "\r\n" : "\n");

    auto newEntities = [&] {
        for (const Entity* e : created) emitNewEntity(d, *e, d.layout.modelSpaceRecord, tagOut);
    };
    bool needSection = lay.entitiesEnd == kNoIndex && !created.empty();
    std::size_t sectionAt = lay.objectsBegin != kNoIndex ? lay.objectsBegin : lay.eof;

    std::size_t next = 0;  // into touched
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i == lay.entitiesEnd) newEntities();
        if (i == lay.layerTableEnd) {
            for (const Layer* l : newLayers) emitNewLayer(d, *l, tagOut);
        }
        if (i == lay.appIdTableEnd) {
            for (const AppId* a : newAppIds) emitNewAppId(d, *a, tagOut);
        }
        if (i == lay.blockRecordTableEnd) {
            for (const Block* b : newBlocks) emitNewBlockRecord(d, *b, tagOut);
        }
        if (i == lay.blocksEnd) {
            for (const Block* b : newBlocks) emitNewBlock(d, *b, tagOut);
        }
        if (needSection && i == sectionAt) {
            lines.put(out, 0, "SECTION");
            lines.put(out, 2, "ENTITIES");
            newEntities();
            lines.put(out, 0, "ENDSEC");
            needSection = false;
        }
        while (next < touched.size() && touched[next]->tagBegin < i) ++next;
        if (next < touched.size() && touched[next]->tagBegin == i) {
            const Entity& e = *touched[next++];
            if (!e.erased) emitChangedEntity(d, e, tagOut);
            i = e.tagEnd - 1;
            continue;
        }
        std::string_view value = s.value(i);
        std::string rewritten;
        if (i == lay.handseedValue) {
            Handle old = 0;
            if (!parseHandle(value, old) || old <= maxHandle || old > kMaxHandle) {
                rewritten =
                    formatHandle(old > kMaxHandle ? maxHandle + 1 : std::max(maxHandle + 1, old));
                value = rewritten;
            }
        } else if (i == lay.clayerValue && d.currentLayerChanged) {
            rewritten = encodeText(d.currentLayer, textCodepage);
            value = rewritten;
        } else if (i == lay.layerTableCount && !newLayers.empty()) {
            long long count = 0;
            if (!parseInt(value, count)) count = 0;
            rewritten = std::to_string(count + static_cast<long long>(newLayers.size()));
            value = rewritten;
        } else if (i == lay.appIdTableCount && !newAppIds.empty()) {
            long long count = 0;
            if (!parseInt(value, count)) count = 0;
            rewritten = std::to_string(count + static_cast<long long>(newAppIds.size()));
            value = rewritten;
        } else if (i == lay.blockRecordTableCount && !newBlocks.empty()) {
            long long count = 0;
            if (!parseInt(value, count)) count = 0;
            rewritten = std::to_string(count + static_cast<long long>(newBlocks.size()));
            value = rewritten;
        }
        lines.put(out, s.code(i), value);
        if (i == lay.eof) break;
        if (flush && out.size() >= kChunk) flush(out);
    }
    if (flush) flush(out);
}

}  // namespace

std::string writeDxf(const DrawingData& d) {
    std::string out;
    writeTags(d, out, nullptr);
    return out;
}

void writeDxfFile(const DrawingData& data, const std::filesystem::path& path) {
    if (data.tags.size() == 0) writeDxf(data);  // throws: nothing to write
    // The old file is not touched until the new one is complete on disk;
    // whatever fails before, the temporary file goes with `file`.
    FileReplacement file(path);
    std::string buffer;
    writeTags(data, buffer, [&](std::string& chunk) {
        file.write(chunk);
        chunk.clear();
    });
    file.commit(true);
}

}  // namespace cad
