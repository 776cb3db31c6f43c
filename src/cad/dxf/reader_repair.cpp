// The reader's repairs of damaged files that need more than one tag to see,
// and what is checked once every tag has been read: layers entities name,
// inserts of missing blocks and blocks that insert themselves, $HANDSEED.
#include "cad/dxf/reader_impl.hpp"

#include <limits>

#include "cad/error.hpp"

namespace cad::dxf_read {

// Every x (10..18) must be followed by its y; a missing y is added as 0.
void Reader::checkPoints(std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) {
        int c = code(k);
        if (c == 1001) return;  // XDATA has its own rules
        if (c >= 10 && c <= 18 && !(k + 1 < end && code(k + 1) == c + 10)) {
            insertTags(k + 1, {{c + 10, "0"}});
            editIssue("missing-y", k, 0,
                      where(k) + ": за координатой X (код " + std::to_string(c) +
                          ") нет Y; добавлен Y = 0");
        }
    }
}

// A file cut off ends inside a record: its last tags may be half of a point
// or of a binary chunk, and groups opened in it are not closed. What is half
// goes and what is open is closed, so that only whole tags are written;
// the repairs that follow add the ends of the record's section and file.
void Reader::closeCutTail() {
    std::size_t last = n();
    while (last > 0 && code(last - 1) != 0) --last;
    // An entity, table entry or object cut off inside goes whole: how much
    // of it is missing is unknown, and what is there (a line without its
    // end, a hatch without its loops) would be wrong geometry. It is known
    // to be cut when the file ends inside one of its tags, or when it is an
    // entity whose data has not begun (only the AcDbEntity part is there).
    // A file cut between two tags may have lost nothing of its last record.
    bool cutInside = tok_.droppedCode && tok_.cutCode > 0;
    std::string_view lastMarker;
    for (std::size_t k = last; k < n(); ++k) {
        if (code(k) == 100) lastMarker = trim(val(k));
    }
    if (lastMarker == "AcDbEntity") cutInside = true;
    if (last > 0 && last < n() && cutInside) {
        std::string_view kind = trim(val(last - 1));
        static constexpr std::string_view kStructure[] = {"SECTION", "ENDSEC", "TABLE",
                                                          "ENDTAB",  "BLOCK",  "ENDBLK"};
        if (std::find(std::begin(kStructure), std::end(kStructure), kind) == std::end(kStructure)) {
            Handle h = 0;
            for (std::size_t k = last; k < n(); ++k) {
                if (code(k) == 5 || code(k) == 105) {
                    parseHandle(val(k), h);
                    break;
                }
            }
            edits.push_back(Edit{Edit::Delete, last - 1, n() - last + 1, {}});
            editIssue("truncated-record", last - 1, h,
                      where(last - 1) + ": файл оборван внутри " + std::string(kind) +
                          (h ? " " + formatHandle(h) : std::string()) + "; неполный объект удалён");
            return;
        }
    }
    std::size_t end = n();
    auto drop = [&](std::string why) {
        --end;
        edits.push_back(Edit{Edit::Delete, end, 1, {}});
        editIssue("truncated-tag", end, 0, where(end) + ": " + why + " отброшен");
    };
    auto isPointX = [](int c) {
        return (c >= 10 && c <= 18) || (c >= 110 && c <= 112) || (c >= 210 && c <= 213) ||
               (c >= 1010 && c <= 1013);
    };
    auto isChunk = [](int c) { return (c >= 310 && c <= 319) || c == 1004; };
    while (end > last) {
        int c = code(end - 1);
        std::string_view v = trim(val(end - 1));
        if (isPointX(c)) {
            drop("X точки без Y (код " + std::to_string(c) + ")");
        } else if (isChunk(c) &&
                   (v.size() % 2 != 0 ||
                    v.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)) {
            drop("оборванный кусок двоичных данных (код " + std::to_string(c) + ")");
        } else {
            break;
        }
    }
    int appOpen = 0, xdataOpen = 0;
    for (std::size_t k = last; k < end; ++k) {
        std::string_view v = trim(val(k));
        if (code(k) == 102 && !v.empty()) {
            if (v.front() == '{') ++appOpen;
            if (v == "}" && appOpen > 0) --appOpen;
        } else if (code(k) == 1002) {
            if (v == "{") ++xdataOpen;
            if (v == "}" && xdataOpen > 0) --xdataOpen;
        }
    }
    std::vector<std::pair<int, std::string>> closing;
    for (; xdataOpen > 0; --xdataOpen) closing.emplace_back(1002, "}");
    for (; appOpen > 0; --appOpen) closing.emplace_back(102, "}");
    if (!closing.empty()) {
        insertTags(n(), closing);
        editIssue("truncated-group", n() - 1, 0,
                  "Файл оборван внутри группы тегов: группа закрыта");
    }
}

void Reader::afterRead() {
    DrawingData& d = d_;
    if (d.version.empty()) d.version = "AC1009";
    if (d.codepage.empty()) d.codepage = "ANSI_1252";

    // Layers: every layer an entity names must be in the table.
    // The name of the layer in the table, which is added when missing.
    auto ensureLayer = [&](const std::string& name, Handle h, std::size_t at) -> std::string {
        std::size_t found = d.findLayer(name);
        if (found != kNoIndex) return d.layers[found].name;  // layer names ignore case
        Layer layer;
        layer.name = name;
        if (layerTableSeen_) {
            layer.handle = fresh();
            issue("missing-layer", at, h, "Слоя «" + name + "» нет в таблице слоёв: слой добавлен");
        }
        d.layerIndex[foldName(name)] = d.layers.size();
        d.layers.push_back(std::move(layer));
        return name;
    };
    // Entities share a handful of layer names: each is looked up once.
    std::unordered_map<const std::string*, Name> resolved;
    for (Entity& e : d.entities) {
        auto it = resolved.find(&e.layer.str());
        if (it == resolved.end()) {
            Name table(ensureLayer(e.layer, e.handle, e.tagBegin));
            it = resolved.emplace(&e.layer.str(), table).first;
        }
        e.layer = it->second;
    }
    if (d.layout.clayerValue != kNoIndex)
        d.currentLayer = ensureLayer(d.currentLayer, 0, d.layout.clayerValue);

    // INSERTs of missing blocks, and INSERTs that make a block contain itself.
    auto insertTarget = [&](const Entity& e) -> std::size_t {
        if (e.erased) return kNoIndex;
        auto* ins = geomIf<InsertGeom>(e.geom);
        if (!ins) return kNoIndex;
        const Block* b = findBlock(d, ins->blockName);
        return b ? static_cast<std::size_t>(b - d.blocks.data()) : d.blocks.size();  // or missing
    };
    for (Entity& e : d.entities) {
        if (e.dxfType != "INSERT") continue;
        if (insertTarget(e) == d.blocks.size()) {
            e.erased = true;
            issue("missing-block", e.tagBegin, e.handle,
                  "Вставка " + formatHandle(e.handle) + " ссылается на несуществующий блок «" +
                      geomAs<InsertGeom>(e.geom).blockName + "»: вставка удалена");
        }
    }
    // Depth-first walk over blocks; an INSERT that reaches a block on the
    // current path closes a cycle and is erased.
    std::vector<int> state(d.blocks.size(), 0);              // 0 new, 1 on path, 2 done
    std::vector<std::pair<std::size_t, std::size_t>> stack;  // block, next entity
    for (std::size_t root = 0; root < d.blocks.size(); ++root) {
        if (state[root]) continue;
        stack.emplace_back(root, 0);
        state[root] = 1;
        while (!stack.empty()) {
            auto& [b, next] = stack.back();
            if (next >= d.blocks[b].entities.size()) {
                state[b] = 2;
                stack.pop_back();
                continue;
            }
            Entity& e = d.entities[d.blocks[b].entities[next++].v];
            std::size_t target = insertTarget(e);
            if (target >= d.blocks.size()) continue;
            if (state[target] == 1) {
                e.erased = true;
                issue("block-cycle", e.tagBegin, e.handle,
                      "Блок «" + d.blocks[b].name + "» через вставку " + formatHandle(e.handle) +
                          " содержит сам себя: вставка удалена");
            } else if (state[target] == 0) {
                state[target] = 1;
                stack.emplace_back(target, 0);
            }
        }
    }

    Handle maxUsed = maxClaimed_;
    d.layout.maxHandle = maxUsed;
    d.handseed = std::max({headerSeed_, maxUsed + 1, nextFresh_});
    if (d.layout.handseedValue != kNoIndex && headerSeed_ <= maxOriginal_ && !seedTooHigh_) {
        issue("handseed-low", d.layout.handseedValue, 0,
              "$HANDSEED (" + formatHandle(headerSeed_) +
                  ") не больше занятых дескрипторов: будет " + formatHandle(d.handseed));
    }
    if (d.findLayer(d.currentLayer) == kNoIndex) d.currentLayer = "0";
}

std::vector<std::uint32_t> applyEdits(TagStore& s, std::vector<Edit>& edits,
                                      const std::vector<std::uint32_t>* prevOrig) {
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.at < b.at; });
    // The store keeps its values in tag order, so the edited stream is a new
    // store; repairs are rare and small, the copy is made only for them.
    TagStore out;
    std::vector<std::uint32_t> orig;
    out.reserve(s.size() + edits.size() * 4);
    out.text.reserve(s.text.size());
    orig.reserve(s.size() + edits.size() * 4);
    auto origOf = [&](std::size_t i) -> std::uint32_t {
        if (prevOrig && i < prevOrig->size()) return (*prevOrig)[i];
        if (prevOrig && !prevOrig->empty()) return prevOrig->back();
        return static_cast<std::uint32_t>(i);
    };
    auto add = [&](int code, std::string_view v, std::uint32_t o) {
        out.append(code, v);
        orig.push_back(o);
    };
    std::size_t e = 0;
    std::size_t skipUntil = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        bool replaced = false;
        std::string replacement;
        for (; e < edits.size() && edits[e].at == i; ++e) {
            Edit& ed = edits[e];
            if (ed.kind == Edit::Insert) {
                for (auto& [c, v] : ed.tags) add(c, v, origOf(i));
            } else if (ed.kind == Edit::Delete) {
                skipUntil = std::max(skipUntil, i + ed.count);
            } else {
                replaced = true;
                replacement = ed.tags[0].second;
            }
        }
        if (i == s.size()) break;
        if (i < skipUntil) continue;
        add(s.code(i), replaced ? std::string_view(replacement) : s.value(i), origOf(i));
    }
    if (out.text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw Error("Файл DXF больше 4 ГБ: такие файлы не поддерживаются");
    }
    s = std::move(out);
    return orig;
}

}  // namespace cad::dxf_read
