// Tags to the drawing model. One pass over the tags fills entities, layers,
// blocks and the places the writer needs (DxfLayout); the tags themselves
// stay untouched. A file with faults is repaired the way a careful DXF
// library would, each repair listed as an Issue:
//  - repairs that change tags (a duplicate or missing handle, a missing
//    SEQEND / ENDSEC / ENDTAB / ENDBLK / EOF, tags outside any section, a
//    number that is not a finite number, an x without its y) are edits of the
//    tag stream: they are applied to the TagStore and the tags are read
//    again, so that the writer, which only copies tags, writes them;
//  - a layer the LAYER table lacks is added as a created layer (tagBegin ==
//    kNoTags): the writer adds its table entry like any new layer;
//  - an INSERT of a block that does not exist, or one that makes a block
//    insert itself, is erased: the writer leaves its tags out.
#include "cad/dxf/reader.hpp"

#include <cctype>
#include <fstream>
#include <limits>
#include <memory>

#include "cad/dxf/reader_impl.hpp"
#include "cad/platform.hpp"

namespace cad {

namespace dxf_read {

DrawingData Reader::run() {
    d_.binary = tok_.binary;
    d_.crlf = tok_.crlf;
    d_.version.clear();
    d_.codepage.clear();

    // Largest handle in use and a count of zero tags, before anything needs
    // a fresh handle or a reservation.
    const std::size_t zeros = tok_.zeros;
    maxHandle_ = tok_.maxHandle;
    nextFresh_ = maxHandle_ + 1;
    d_.entities.reserve(zeros);
    PrefaultPages prefault(d_.entities.data(), d_.entities.capacity() * sizeof(Entity));
    d_.entityByHandle.reserve(zeros);

    if (!tok_.sawEof) closeCutTail();

    std::size_t i = 0;
    bool eof = false;
    while (i < n() && !eof) {
        if (at0(i, "SECTION")) {
            section(i);
        } else if (at0(i, "EOF")) {
            d_.layout.eof = i;
            eof = true;
        } else if (code(i) == 999) {
            lastSection_ = {};
            ++i;  // a comment
        } else {
            // Tags outside any section: dropped, as every reader would.
            std::size_t j = i + 1;
            while (j < n() && !at0(j, "SECTION") && !at0(j, "EOF") && code(j) != 999) ++j;
            edits.push_back(Edit{Edit::Delete, i, j - i, {}});
            editIssue(
                "outside-section", i, 0,
                where(i) + ": " + std::to_string(j - i) + " тегов вне разделов файла удалены");
            i = j;
        }
    }
    if (!eof) {
        insertTags(n(), {{0, "EOF"}});
        std::string why = tok_.droppedCode ? "оборванный последний тег отброшен, " : std::string();
        editIssue("truncated", n() ? n() - 1 : kNoIndex, 0,
                  "Файл обрывается без конца (EOF): " + why + "конец файла добавлен");
    }
    if (tok_.junkAfterEof) {
        editIssue("junk-after-eof", d_.layout.eof, 0,
                  "После конца файла (EOF) есть ещё данные: они отброшены");
    }
    afterRead();
    d_.tags = std::move(s_);
    return std::move(d_);
}

void Reader::section(std::size_t& i) {
    std::size_t start = i;
    ++i;
    std::string_view name;
    if (i < n() && code(i) == 2) name = trim(val(i++));
    // The same section again right after the first (nothing but stray tags
    // between): one section, as every reader takes it.
    if (!name.empty() && name == lastSection_ && lastEndsec_ != kNoIndex) {
        edits.push_back(Edit{Edit::Delete, lastEndsec_, 1, {}});
        edits.push_back(Edit{Edit::Delete, start, 2, {}});
        editIssue("duplicate-section", start, 0,
                  where(start) + ": раздел " + std::string(name) +
                      " повторён; два раздела соединены в один");
    }
    if (name == "HEADER") {
        header(i);
    } else if (name == "TABLES") {
        tables(i);
    } else if (name == "BLOCKS") {
        blocks(i);
    } else if (name == "ENTITIES") {
        entities(i);
    } else if (name == "OBJECTS") {
        d_.layout.objectsBegin = start;
        objects(i);
    } else {
        skipSection(i);
    }
    lastEndsec_ = at0(i, "ENDSEC") ? i : kNoIndex;
    endSection(i, name);
    lastSection_ = name;
}

void Reader::endSection(std::size_t& i, std::string_view name) {
    if (at0(i, "ENDSEC")) {
        ++i;
        return;
    }
    // Ended by the next section, EOF or the end of the file.
    insertTags(i, {{0, "ENDSEC"}});
    editIssue("missing-endsec", i < n() ? i : (n() ? n() - 1 : kNoIndex), 0,
              "Раздел " + std::string(name) + " не закрыт (нет ENDSEC): конец раздела добавлен");
    if (name == "ENTITIES" && d_.layout.entitiesEnd == kNoIndex) d_.layout.entitiesEnd = i;
}

void Reader::skipSection(std::size_t& i) {
    while (!sectionBreak(i)) ++i;
}

// Objects are carried along untouched; only their handles are claimed, so
// that a handle used twice is found wherever it is.
void Reader::objects(std::size_t& i) {
    while (!sectionBreak(i)) {
        if (code(i) != 0) {
            ++i;
            continue;
        }
        std::size_t end = nextZero(i + 1);
        for (std::size_t k = i + 1; k < end; ++k) {
            if (code(k) == 5) {
                claimHandle(k, std::string(trim(val(i))), false);
                break;
            }
            if (code(k) == 102 || code(k) == 100) break;  // the handle comes first
        }
        i = end;
    }
}

void Reader::header(std::size_t& i) {
    std::string_view var;
    for (; !sectionBreak(i); ++i) {
        int c = code(i);
        if (c == 9) {
            var = trim(val(i));
            continue;
        }
        if (var == "$ACADVER" && c == 1) {
            d_.version = std::string(trim(val(i)));
        } else if (var == "$DWGCODEPAGE" && c == 3) {
            d_.codepage = std::string(trim(val(i)));
        } else if (var == "$HANDSEED" && c == 5) {
            d_.layout.handseedValue = i;
            Handle h = 0;
            if (parseHandle(val(i), h) && h <= kMaxHandle) {
                headerSeed_ = h;
            } else if (h > kMaxHandle) {
                seedTooHigh_ = true;
                issue("handseed-high", i, 0,
                      "$HANDSEED (" + formatHandle(h) +
                          ") не оставляет места для новых дескрипторов: будет следующим после "
                          "занятых");
            }
        } else if (var == "$CLAYER" && c == 8) {
            d_.layout.clayerValue = i;
        }
    }
    if (!d_.version.empty() && d_.version >= "AC1012") hasSubclasses_ = true;
    // The header fixes how text is read; everything after depends on it.
    if (!d_.version.empty() && d_.version >= "AC1021") {
        textCodepage_ = "UTF-8";
        textCodepageKnown_ = true;
    } else if (!iconvName(d_.codepage).empty()) {
        textCodepage_ = d_.codepage;
        textCodepageKnown_ = true;
    }
    if (d_.layout.clayerValue != kNoIndex) d_.currentLayer = layerName(val(d_.layout.clayerValue));
}

void Reader::tables(std::size_t& i) {
    while (!sectionBreak(i)) {
        if (at0(i, "TABLE")) {
            table(i);
        } else {
            ++i;
        }
    }
}

void Reader::table(std::size_t& i) {
    std::size_t head = i++;
    std::string_view name;
    std::size_t countTag = kNoIndex;
    Handle tableHandle = 0;
    for (; i < n() && code(i) != 0; ++i) {
        if (code(i) == 2 && name.empty()) name = trim(val(i));
        if (code(i) == 70 && countTag == kNoIndex) countTag = i;
        if (code(i) == 5) tableHandle = claimHandle(i, "таблица", false);
    }
    bool isLayer = name == "LAYER";
    bool isRecord = name == "BLOCK_RECORD";
    bool isAppId = name == "APPID";
    if (isAppId) {
        d_.layout.appIdTableCount = countTag;
        d_.layout.appIdTable = tableHandle;
    }
    if (isLayer) {
        layerTableSeen_ = true;
        d_.layout.layerTableCount = countTag;
        d_.layout.layerTable = tableHandle;
    } else if (isRecord) {
        d_.layout.blockRecordTableCount = countTag;
        d_.layout.blockRecordTable = tableHandle;
    }
    (void)head;
    while (i < n() && code(i) == 0 && !at0(i, "ENDTAB") && !sectionBreak(i) && !at0(i, "TABLE")) {
        std::size_t begin = i;
        std::size_t end = nextZero(i + 1);
        Layer layer;
        std::string_view entryName;
        Handle h = 0;
        for (std::size_t k = begin + 1; k < end; ++k) {
            int c = code(k);
            if (c == 102) {  // {APP ... } groups hold other meanings of the codes
                k = appGroupEnd(k, end);
                continue;
            }
            // DIMSTYLE keeps its handle in 105: its 5 is a block name (DIMBLK).
            if ((c == 5 && name != "DIMSTYLE") || (c == 105 && name == "DIMSTYLE")) {
                h = claimHandle(k, "запись таблицы " + std::string(name), false);
            } else if (c == 2) {
                entryName = val(k);
            } else if (isLayer) {
                if (c == 62) layer.color = inum(k);
                if (c == 70) layer.flags = inum(k);
                if (c == 370) layer.lineweight = inum(k);
                if (c == 6) layer.linetype = text(trim(val(k)));
            }
        }
        if (isLayer) {
            layer.name = layerName(entryName);
            layer.handle = h;
            layer.tagBegin = static_cast<std::uint32_t>(begin);
            layer.tagEnd = static_cast<std::uint32_t>(end);
            // A second entry of the same name in another case is left to
            // the tags: CAD programs take the first.
            if (d_.findLayer(layer.name) == kNoIndex) {
                d_.layerIndex[foldName(layer.name)] = d_.layers.size();
                d_.layers.push_back(std::move(layer));
            }
        } else if (isAppId) {
            d_.appIds.push_back(AppId{text(trim(entryName)), h, false});
        } else if (isRecord) {
            std::string key = foldName(text(trim(entryName)));
            blockRecords_.emplace(key, h);
            if (key == "*MODEL_SPACE") d_.layout.modelSpaceRecord = h;
        }
        i = end;
    }
    if (at0(i, "ENDTAB")) {
        if (isLayer) d_.layout.layerTableEnd = i;
        if (isRecord) d_.layout.blockRecordTableEnd = i;
        if (isAppId) d_.layout.appIdTableEnd = i;
        i = nextZero(i + 1);
        return;
    }
    insertTags(i, {{0, "ENDTAB"}});
    editIssue("missing-endtab", i < n() ? i : n() - 1, 0,
              "Таблица " + std::string(name) + " не закрыта (нет ENDTAB): конец таблицы добавлен");
    if (isLayer) d_.layout.layerTableEnd = i;
    if (isRecord) d_.layout.blockRecordTableEnd = i;
    if (isAppId) d_.layout.appIdTableEnd = i;
}

void Reader::blocks(std::size_t& i) {
    while (!sectionBreak(i)) {
        if (at0(i, "BLOCK")) {
            block(i);
        } else if (code(i) == 0) {
            // An entity outside BLOCK .. ENDBLK: kept in the tags, read as nothing.
            i = nextZero(i + 1);
        } else {
            ++i;
        }
    }
    d_.layout.blocksEnd = i;
}

void Reader::block(std::size_t& i) {
    Block b;
    b.tagBegin = static_cast<std::uint32_t>(i);
    std::size_t headEnd = nextZero(i + 1);
    Handle owner = 0;
    auto field = [&](int c, std::size_t& k) {
        switch (c) {
            case 2:
                b.name = text(trim(val(k)));
                break;
            case 3:
                if (b.name.empty()) b.name = text(trim(val(k)));
                break;
            case 5:
                b.handle = claimHandle(k, "блок", false);
                break;
            case 10:
                b.base = point(k, headEnd);
                break;
            case 70:
                b.flags = inum(k);
                break;
            case 330:
                parseHandle(val(k), owner);
                break;
            default:
                break;
        }
    };
    eachTag(i + 1, headEnd, field, kThroughEmbedded);
    checkPoints(i + 1, headEnd);
    std::size_t blockIndex = d_.blocks.size();
    d_.blocks.push_back(std::move(b));
    i = headEnd;
    while (i < n() && !at0(i, "ENDBLK") && !sectionBreak(i) && !at0(i, "BLOCK")) {
        if (code(i) != 0) {
            ++i;
            continue;
        }
        EntityId id = entity(i, blockIndex);
        d_.blocks[blockIndex].entities.push_back(id);
    }
    Block& blk = d_.blocks[blockIndex];
    if (at0(i, "ENDBLK")) {
        std::size_t endEnd = nextZero(i + 1);
        for (std::size_t k = i + 1; k < endEnd; ++k) {
            if (code(k) == 5) claimHandle(k, "конец блока", false);
        }
        i = endEnd;
    } else {
        std::vector<std::pair<int, std::string>> tags{{0, "ENDBLK"}};
        if (hasSubclasses_) {
            tags.emplace_back(5, formatHandle(fresh()));
            if (owner) tags.emplace_back(330, formatHandle(owner));
            tags.emplace_back(100, "AcDbEntity");
        }
        tags.emplace_back(8, "0");
        if (hasSubclasses_) tags.emplace_back(100, "AcDbBlockEnd");
        insertTags(i, std::move(tags));
        editIssue("missing-endblk", i < n() ? i : n() - 1, blk.handle,
                  "Блок «" + blk.name + "» не закрыт (нет ENDBLK): конец блока добавлен");
    }
    blk.tagEnd = static_cast<std::uint32_t>(i);
    blk.recordHandle = owner;
    if (!blk.recordHandle) {
        auto it = blockRecords_.find(foldName(blk.name));
        if (it != blockRecords_.end()) blk.recordHandle = it->second;
    }
    if (!d_.blockIndex.count(blk.name)) d_.blockIndex[blk.name] = blockIndex;
}

void Reader::entities(std::size_t& i) {
    while (!sectionBreak(i)) {
        if (code(i) != 0) {
            ++i;
            continue;
        }
        tick(i);
        EntityId id = entity(i, kNoIndex);
        if (d_.entities[id.v].paperSpace) {
            d_.paperSpace.push_back(id);
        } else {
            d_.modelSpace.push_back(id);
        }
    }
    d_.layout.entitiesEnd = i;
}

// The tags after a POLYLINE (VERTEX ... SEQEND) or an INSERT with attributes
// (ATTRIB ... SEQEND) belong to it. A missing SEQEND is added.
std::size_t Reader::closeSubEntities(std::size_t j, std::string_view sub, const Entity& owner,
                                     std::size_t ownerBegin) {
    while (at0(j, sub)) {
        std::size_t e = nextZero(j + 1);
        checkPoints(j + 1, e);
        for (std::size_t k = j + 1; k < e; ++k) {
            if (code(k) == 5) claimHandle(k, std::string(sub), false);
        }
        j = e;
    }
    if (at0(j, "SEQEND")) {
        std::size_t e = nextZero(j + 1);
        for (std::size_t k = j + 1; k < e; ++k) {
            if (code(k) == 5) claimHandle(k, "SEQEND", false);
        }
        return e;
    }
    std::vector<std::pair<int, std::string>> tags{{0, "SEQEND"}};
    if (hasSubclasses_ || owner.handle) {
        Handle h = fresh();
        tags.emplace_back(5, formatHandle(h));
    }
    if (hasSubclasses_) {
        tags.emplace_back(330, formatHandle(owner.handle));
        tags.emplace_back(100, "AcDbEntity");
    }
    // The layer exactly as the owner has it in the file.
    std::string rawLayer = "0";
    for (std::size_t k = ownerBegin + 1, e = nextZero(ownerBegin + 1); k < e; ++k) {
        if (code(k) == 8) {
            rawLayer = std::string(val(k));
            break;
        }
    }
    tags.emplace_back(8, rawLayer);
    insertTags(j, std::move(tags));
    editIssue("missing-seqend", ownerBegin, owner.handle,
              where(ownerBegin) + ": у " + owner.dxfType + " нет SEQEND; конец добавлен");
    return j;
}

EntityId Reader::entity(std::size_t& i, std::size_t /*blockIndex*/) {
    std::size_t begin = i;
    std::size_t end0 = nextZero(i + 1);
    Entity e;
    std::string_view type = trim(val(begin));
    auto known = typeNames_.find(type);
    if (known == typeNames_.end()) known = typeNames_.emplace(type, Name(type)).first;
    e.dxfType = known->second;
    std::size_t geomBegin = begin + 1;
    commonProps(e, begin, end0, geomBegin);
    std::size_t end = end0;
    if (e.dxfType == "POLYLINE") {
        end = closeSubEntities(end0, "VERTEX", e, begin);
    } else if (e.dxfType == "INSERT" && at0(end0, "ATTRIB")) {
        end = closeSubEntities(end0, "ATTRIB", e, begin);
    }
    checkPoints(begin + 1, end0);
    geometry(e, geomBegin, end0);
    if (e.dxfType == "POLYLINE") polyline(e, geomBegin, end0, end0, end);
    e.tagBegin = static_cast<std::uint32_t>(begin);
    e.tagEnd = static_cast<std::uint32_t>(end);
    // XDATA closes an entity: only an entity ending in it is looked at again.
    if (end0 > begin + 1 && code(end0 - 1) >= 1000) programMark(e, begin, end0);
    EntityId id{static_cast<std::uint32_t>(d_.entities.size())};
    d_.entityByHandle.insert(e.handle, id);
    d_.entities.push_back(std::move(e));
    i = end;
    return id;
}

// The program's own mark (EntityMark): 1001 KERNAVISTO and its three strings.
void Reader::programMark(const Entity& e, std::size_t begin, std::size_t end0) {
    for (std::size_t k = begin + 1; k < end0; ++k) {
        if (code(k) != 1001 || trim(val(k)) != kMarkApp) continue;
        std::string values[3];
        std::size_t n = 0;
        for (std::size_t j = k + 1; j < end0 && code(j) == 1000 && n < 3; ++j) {
            values[n++] = std::string(val(j));
        }
        if (n == 3 && e.handle != 0) {
            d_.marks[e.handle] = EntityMark{values[0], values[1], values[2]};
        }
        return;
    }
}

void Reader::commonProps(Entity& e, std::size_t begin, std::size_t end0, std::size_t& geomBegin) {
    bool sawHandle = false;
    auto field = [&](int c, std::size_t& k) {
        if (c == 100) {
            hasSubclasses_ = true;
            if (trim(val(k)) == "AcDbEntity") return true;
            geomBegin = k;
            return false;
        }
        switch (c) {
            case 5:
                if (!sawHandle) e.handle = claimHandle(k, e.dxfType, true);
                sawHandle = true;
                break;
            case 8:
                e.layer = layerName(val(k));
                break;
            case 60:
                e.visible = inum(k) == 0;
                break;
            case 62:
                e.color = inum(k);
                break;
            case 67:
                e.paperSpace = inum(k) == 1;
                break;
            case 370:
                e.lineweight = inum(k);
                break;
            default:
                break;
        }
        return true;
    };
    eachTag(begin + 1, end0, field, kThroughEmbedded);
    if (!sawHandle) {
        if (hasSubclasses_) {  // set by the header for R13 and later, too
            Handle h = fresh();
            usedHandles_.insert(h, EntityId{});
            insertTags(begin + 1, {{5, formatHandle(h)}});
            editIssue("missing-handle", begin, h,
                      where(begin) + ": у " + e.dxfType + " нет дескриптора; дан дескриптор " +
                          formatHandle(h));
            e.handle = h;
        } else {
            // R12 files may go without handles: one in memory only, so that
            // every entity can be named; nothing is written for it.
            e.handle = fresh();
        }
    }
}

}  // namespace dxf_read

using dxf_read::Reader;

DrawingData readDxf(std::string_view bytes) {
    return readDxfBuffer(std::string(bytes));
}

namespace {

// `done`: the share of the reading already reported.
DrawingData readTokens(TokenizedDxf tok, const ReadProgress& progress, double done) {
    // Of the time a reading takes, roughly: the file 10 %, its tags 30 %,
    // the model 60 % (repairs read again, and are not counted).
    auto report = [&](double fraction) {
        if (progress && fraction > done) {
            done = fraction;
            progress(fraction);
        }
    };
    // Vertices and texts take about half a plan's size in small blocks.
    PrefaultHeap heap(tok.tags.endOfValues());
    if (tok.tags.size() == 0) throw Error("Файл пуст или не является файлом DXF");
    report(0.4);
    const std::function<void(double)> reading = report;
    std::vector<Issue> repairs;
    std::vector<std::uint32_t> orig;
    Handle freshFloor = ~Handle(0);
    for (int pass = 0;; ++pass) {
        Reader reader(tok, orig.empty() ? nullptr : &orig);
        reader.freshFloor_ = freshFloor;
        if (pass == 0 && progress) {
            reader.progress = &reading;
            reader.progressFrom = 0.4;
            reader.progressTo = 0.99;
        }
        bool last = pass >= 3;
        DrawingData d = reader.run();
        for (auto& is : reader.editIssues) repairs.push_back(std::move(is));
        if (reader.edits.empty() || last) {
            d.issues.insert(d.issues.begin(), repairs.begin(), repairs.end());
            for (Issue& is : blockLimitIssues(d)) d.issues.push_back(std::move(is));
            report(1.0);
            return d;
        }
        // Repairs that change tags: apply them and read the repaired tags again.
        if (freshFloor == ~Handle(0)) freshFloor = reader.firstFresh();
        tok.tags = std::move(d.tags);
        orig = dxf_read::applyEdits(tok.tags, reader.edits, orig.empty() ? nullptr : &orig);
        tok.sawEof = true;
        tok.junkAfterEof = false;
        tok.droppedCode = false;
        countTags(tok);
    }
}

}  // namespace

DrawingData readDxfBuffer(std::string bytes, const ReadProgress& progress) {
    return readTokens(tokenizeDxf(std::move(bytes)), progress, 0.1);
}

namespace {

// Bytes of file this machine can read: the file, its tags and its entities
// take about three times its size, and half the memory is left to the rest.
std::uintmax_t readableFileSize() {
    std::uintmax_t memory = physicalMemory();
    return memory ? memory / 6 : std::numeric_limits<std::uintmax_t>::max();
}

std::string megabytes(std::uintmax_t bytes) {
    return std::to_string((bytes + (1u << 20) - 1) >> 20);
}

}  // namespace

void checkDrawingFile(const std::filesystem::path& path) {
    if (path.empty()) throw Error("Не указан файл чертежа");
    const std::string name = validUtf8(path.string());
    std::error_code ec;
    std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (st.type() == std::filesystem::file_type::not_found) {
        throw Error("Файл «" + name + "» не найден");
    }
    if (ec) throw Error("Не удалось открыть файл «" + name + "»: " + validUtf8(ec.message()));
    if (std::filesystem::is_directory(st)) throw Error("«" + name + "» — папка, а не файл чертежа");
    if (!std::filesystem::is_regular_file(st)) {
        throw Error("«" + name +
                    "» — не обычный файл (канал, устройство или сокет): чертёж читается только "
                    "из файла");
    }
    std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) throw Error("Не удалось прочитать файл «" + name + "»: " + validUtf8(ec.message()));
    if (size > readableFileSize()) {
        throw Error("Файл «" + name + "» (" + megabytes(size) +
                    " МБ) слишком велик: памяти этой машины хватает на чертежи до " +
                    megabytes(readableFileSize()) + " МБ");
    }
}

DrawingData readDxfFile(const std::filesystem::path& path, const ReadProgress& progress) {
    // Refused before a byte is read: a folder, a pipe that would block, a file
    // larger than memory.
    checkDrawingFile(path);
    const std::string name = validUtf8(path.string());
    // What a killed save or conversion left in the folder goes now, before
    // this drawing's own next save would find it.
    removeAbandonedTemporaries(path.parent_path());
    const std::string fileName = validUtf8(path.filename().string());
    std::unique_ptr<RegularFile> in;
    char head[6] = {};  // a DWG's version
    std::size_t headSize = 0;
    try {
        // Checked again on the opened file: the name may have changed since.
        in = std::make_unique<RegularFile>(path);
        if (in->size() > readableFileSize()) {
            throw Error("Файл «" + name + "» (" + megabytes(in->size()) +
                        " МБ) слишком велик: памяти этой машины хватает на чертежи до " +
                        megabytes(readableFileSize()) + " МБ");
        }
        headSize = in->readAt(head, sizeof head, 0);
    } catch (const Error& e) {
        throw Error(validUtf8(e.what()));
    }
    // A DWG starts with its version ("AC1015"); read as DXF it would only give
    // a puzzling complaint about its bytes.
    if (headSize == sizeof head && std::string_view(head, 4) == "AC10" &&
        std::isdigit(static_cast<unsigned char>(head[4])) &&
        std::isdigit(static_cast<unsigned char>(head[5]))) {
        throw Error("Файл «" + fileName + "» — чертёж DWG (" + std::string(head, 6) +
                    "), а не DXF; его открывают через импорт DWG");
    }
    TokenizedDxf tok;
    try {
        tok = readTokenized(*in, static_cast<std::size_t>(in->size()), name);
    } catch (const FileReadError& e) {
        throw Error(validUtf8(e.what()));
    } catch (const Error& e) {
        throw Error("Файл «" + fileName + "»: " + e.what());
    }
    in.reset();
    if (progress) progress(0.4);
    try {
        return readTokens(std::move(tok), progress, 0.4);
    } catch (const Error& e) {
        throw Error("Файл «" + fileName + "»: " + e.what());
    }
}

}  // namespace cad
