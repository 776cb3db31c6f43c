// What a drawing is made of, as plain data: the file's tags kept whole for a
// lossless save, and the typed model read from them (entities, layers,
// blocks). The DXF reader fills it, the writer reads it, and Drawing offers
// the program's operations on top of it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cad/entity.hpp"
#include "cad/handle_map.hpp"
#include "cad/text_util.hpp"

namespace cad {

// The file's group code / value pairs in file order. A value is text in the
// file's own encoding (binary files are turned into the same text form); the
// values stand back to back in `text`, in tag order, so a tag needs only its
// code and where its value starts: three bytes, as a big plan has tens of
// millions of them. A file uses a few dozen group codes, so a tag keeps the
// number of its code in the store's table of codes (a file with more than 256
// keeps whole codes from the first that does not fit). Starts are kept
// relative to their block of 64 tags; a block whose values pass 64 KB (long
// texts, embedded data) keeps them whole.
class TagStore {
  public:
    std::string text;  // every value, back to back

    std::size_t size() const { return rel_.size(); }
    bool empty() const { return rel_.empty(); }
    int code(std::size_t i) const {
        if (!wideCodes_.empty()) [[unlikely]] {
            return wideCodes_[i];
        }
        return codeTable_[codeNumber_[i]];
    }
    std::string_view value(std::size_t i) const {
        const std::size_t begin = start(i);
        const std::size_t end = i + 1 < rel_.size() ? start(i + 1) : end_;
        return std::string_view(text.data() + begin, end - begin);
    }

    // Building, in file order. push: the value's bytes already stand in text
    // at the end of the values so far (endOfValues()); append puts them there.
    void reserve(std::size_t tags) {
        codeNumber_.reserve(tags);
        rel_.reserve(tags);
        blocks_.reserve(tags / kBlock + 1);
    }
    void push(int code, std::size_t length) {
        const std::size_t i = rel_.size();
        if (i % kBlock == 0) blocks_.push_back(end_);
        std::uint64_t& block = blocks_.back();
        std::uint16_t rel = 0;
        if (block & kWide) {
            wide_[(block & kWideIndex) + i % kBlock] = static_cast<std::uint32_t>(end_);
        } else if (end_ - block <= 0xFFFF) {
            rel = static_cast<std::uint16_t>(end_ - block);
        } else {
            widen(block, i);
            wide_[(block & kWideIndex) + i % kBlock] = static_cast<std::uint32_t>(end_);
        }
        pushCode(code);
        rel_.push_back(rel);
        end_ += length;
    }
    void append(int code, std::string_view v) {
        text.resize(end_);
        text.append(v);
        push(code, v.size());
    }
    std::size_t endOfValues() const { return end_; }
    // The tag arrays' memory, for touching their pages ahead of the writer.
    std::pair<void*, std::size_t> codeMemory() {
        return {codeNumber_.data(), codeNumber_.capacity()};
    }
    std::pair<void*, std::size_t> startMemory() {
        return {rel_.data(), rel_.capacity() * sizeof(std::uint16_t)};
    }

  private:
    static constexpr std::size_t kBlock = 64;
    static constexpr std::uint64_t kWide = std::uint64_t{1} << 63;
    static constexpr std::uint64_t kWideIndex = 0xFFFFFFFF;
    static constexpr std::size_t kCodeNumbers = 256;

    std::size_t start(std::size_t i) const {
        const std::uint64_t block = blocks_[i / kBlock];
        if (block & kWide) [[unlikely]] {
            return wide_[(block & kWideIndex) + i % kBlock];
        }
        return static_cast<std::size_t>(block) + rel_[i];
    }
    // The block of tag i keeps whole starts from now on.
    void widen(std::uint64_t& block, std::size_t i) {
        const std::size_t at = wide_.size();
        wide_.resize(at + kBlock, 0);
        const std::size_t first = i - i % kBlock;
        for (std::size_t k = first; k < i; ++k) {
            wide_[at + k - first] = static_cast<std::uint32_t>(block + rel_[k]);
        }
        block = kWide | at;
    }
    void pushCode(int code) {
        if (!wideCodes_.empty()) {
            wideCodes_.push_back(static_cast<std::int16_t>(code));
            return;
        }
        if (numberOfCode_.empty()) numberOfCode_.assign(std::size_t{1} << 16, 0);
        std::uint16_t& number = numberOfCode_[static_cast<std::uint16_t>(code)];
        if (number == 0) {
            if (codeCount_ == kCodeNumbers) {
                // More codes than numbers: whole codes from here on.
                wideCodes_.reserve(codeNumber_.capacity());
                for (std::uint8_t n : codeNumber_) wideCodes_.push_back(codeTable_[n]);
                wideCodes_.push_back(static_cast<std::int16_t>(code));
                std::vector<std::uint8_t>().swap(codeNumber_);
                return;
            }
            codeTable_[codeCount_] = static_cast<std::int16_t>(code);
            number = static_cast<std::uint16_t>(++codeCount_);
        }
        codeNumber_.push_back(static_cast<std::uint8_t>(number - 1));
    }

    std::vector<std::uint8_t> codeNumber_;  // each tag's code, as its number in codeTable_
    std::vector<std::int16_t> wideCodes_;   // each tag's code, once there are too many codes
    std::array<std::int16_t, kCodeNumbers> codeTable_{};
    std::vector<std::uint16_t> numberOfCode_;  // while building: code -> number + 1, 0 none
    std::size_t codeCount_ = 0;
    std::vector<std::uint16_t> rel_;     // start of each value from its block's start
    std::vector<std::uint64_t> blocks_;  // start of each block's first value, or kWide | index
    std::vector<std::uint32_t> wide_;    // whole starts of the wide blocks, 64 each
    std::size_t end_ = 0;                // end of the values so far
};

inline constexpr int kMinGroupCode = -32768;
inline constexpr int kMaxGroupCode = 32767;

inline constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);

// Where in the tag stream the writer has to change or add something.
// Indexes are into TagStore::tags; kNoIndex where the file lacks the place.
struct DxfLayout {
    std::size_t handseedValue = kNoIndex;    // the value tag (5) after $HANDSEED
    std::size_t clayerValue = kNoIndex;      // the value tag (8) after $CLAYER
    std::size_t entitiesEnd = kNoIndex;      // ENDSEC of ENTITIES
    std::size_t layerTableCount = kNoIndex;  // the 70 tag of the LAYER table head
    std::size_t layerTableEnd = kNoIndex;    // ENDTAB of the LAYER table
    std::size_t blockRecordTableCount = kNoIndex;
    std::size_t blockRecordTableEnd = kNoIndex;
    std::size_t blocksEnd = kNoIndex;        // ENDSEC of BLOCKS
    std::size_t appIdTableCount = kNoIndex;  // the 70 tag of the APPID table head
    std::size_t appIdTableEnd = kNoIndex;    // ENDTAB of the APPID table
    Handle appIdTable = 0;                   // owner of new APPID entries (R2000+)
    Handle layerTable = 0;                   // owner of new layers (R2000+)
    Handle blockRecordTable = 0;             // owner of new block records (R2000+)
    Handle modelSpaceRecord = 0;             // owner of new model-space entities (R2000+)
    std::size_t objectsBegin = kNoIndex;  // 0/SECTION of OBJECTS: a missing ENTITIES goes before it
    std::size_t eof = kNoIndex;           // the 0/EOF tag
    Handle maxHandle = 0;  // largest handle the file's tags hold, after the reader's repairs
};

struct Layer {
    std::string name;                     // 2, UTF-8
    int color = 7;                        // 62; negative when the layer is off
    int flags = 0;                        // 70: 1 frozen, 4 locked
    int lineweight = -3;                  // 370
    std::string linetype = "Continuous";  // 6
    Handle handle = 0;
    std::uint32_t tagBegin = kNoTags;  // the layer's table entry; kNoTags when created
    std::uint32_t tagEnd = kNoTags;
};

struct Block {
    std::string name;                  // 2, UTF-8
    Point3 base;                       // 10
    int flags = 0;                     // 70: 1 anonymous, 4 xref
    Handle handle = 0;                 // of the BLOCK entity
    Handle recordHandle = 0;           // of its BLOCK_RECORD (R2000+)
    Handle endHandle = 0;              // of its ENDBLK; set for blocks the program created
    std::vector<EntityId> entities;    // in order
    std::uint32_t tagBegin = kNoTags;  // BLOCK .. ENDBLK inclusive; kNoTags when created
    std::uint32_t tagEnd = kNoTags;
};

// The application name under which the program marks the entities it drew
// (XDATA 1001), registered in the APPID table of a drawing that has marks.
inline constexpr std::string_view kMarkApp = "KERNAVISTO";

// What the program writes with an entity it drew, so that it finds the
// entity again after a restart: what it belongs to (`kind`, e.g. a sheet or
// a profile, and `owner`, the picket) and the fingerprint of the entity as it
// was drawn (entityFingerprint): an entity whose fingerprint no longer
// matches was changed by hand. XDATA 1000 strings, in this order.
struct EntityMark {
    std::string kind;
    std::string owner;
    std::string fingerprint;
    friend bool operator==(const EntityMark&, const EntityMark&) = default;
};

// The fingerprint of what an entity shows: kind, layer, colour, lineweight,
// visibility and the geometry of the kinds the program draws (lines, texts,
// ellipses, dimensions; for others the kind only). Sixteen hexadecimal digits.
std::string entityFingerprint(const Entity& e);

// An application name of the APPID table (2), as read or registered.
struct AppId {
    std::string name;
    Handle handle = 0;
    bool created = false;  // registered by the program: the writer adds its entry
};

// A repair made while reading, or something worth a warning.
struct Issue {
    std::string code;      // short stable key: "missing-layer", "duplicate-handle", ...
    std::size_t line = 0;  // line number in the file (1-based), 0 when not known
    Handle handle = 0;     // the entity concerned, 0 when none
    std::string message;   // Russian, for the user
};

struct DrawingData {
    std::string version = "AC1015";      // $ACADVER
    std::string codepage = "ANSI_1251";  // $DWGCODEPAGE as written in the file
    bool binary = false;                 // read from binary DXF (saved as ASCII)
    bool crlf = false;                   // line endings of the source file, kept on save
    TagStore tags;                       // empty for a drawing that was not read from a file
    DxfLayout layout;

    std::vector<Entity> entities;      // every entity, model space, paper space and blocks
    std::vector<EntityId> modelSpace;  // model-space entities in drawing order
    std::vector<EntityId> paperSpace;
    std::vector<Layer> layers;
    // foldName(name) -> index into layers: layer names ignore case.
    std::unordered_map<std::string, std::size_t> layerIndex;
    // The index of the layer of that name, whatever its case; kNoIndex when none.
    std::size_t findLayer(std::string_view name) const {
        auto it = layerIndex.find(foldName(name));
        return it == layerIndex.end() ? kNoIndex : it->second;
    }
    std::vector<Block> blocks;
    std::unordered_map<std::string, std::size_t> blockIndex;  // name -> blocks index
    HandleMap entityByHandle;
    Handle handseed = 1;  // next free handle
    std::string currentLayer = "0";
    bool currentLayerChanged = false;
    std::vector<Issue> issues;
    std::vector<AppId> appIds;  // the APPID table, in order
    // The program's marks, by the handle of the entity that carries one.
    std::unordered_map<Handle, EntityMark> marks;

    bool hasAppId(std::string_view name) const {
        for (const AppId& a : appIds) {
            if (equalsNoCase(a.name, name)) return true;
        }
        return false;
    }
    const EntityMark* markOf(const Entity& e) const {
        auto it = marks.find(e.handle);
        return it == marks.end() ? nullptr : &it->second;
    }

    Handle newHandle() { return handseed++; }
};

}  // namespace cad
