#include "model/marks.hpp"

#include <charconv>
#include <cstdint>
#include <cstdio>

namespace model {

std::string piketKey(const Piket& piket) {
    // FNV-1a over the element handles and the coordinates of both ends.
    std::uint64_t h = 0xcbf29ce484222325ULL;
    auto add = [&h](std::string_view s) {
        for (unsigned char c : s) {
            h ^= c;
            h *= 0x100000001b3ULL;
        }
        h ^= 0xFF;
        h *= 0x100000001b3ULL;
    };
    auto addNumber = [&add](double v) {
        char buf[32];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
        add(std::string_view(buf, ec == std::errc() ? static_cast<std::size_t>(end - buf) : 0));
    };
    for (const cad::EntityRef& e : piket.elements) add(e.exists() ? e.handle() : "");
    if (!piket.points.empty()) {
        for (const PiketPoint* point : {&piket.points.front(), &piket.points.back()}) {
            addNumber(point->x);
            addNumber(point->y);
        }
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

namespace {

// The fingerprint of an entity as the drawing's file holds it: a file before
// R2000 has no lineweights, so what was drawn with one reads back without.
std::string fingerprint(const cad::Drawing& doc, const cad::Entity& e) {
    if (doc.data().version >= "AC1015" || e.lineweight == -1) return cad::entityFingerprint(e);
    cad::Entity asRead = e;
    asRead.lineweight = -1;
    return cad::entityFingerprint(asRead);
}

}  // namespace

void markEntities(cad::Drawing& doc, std::size_t from, std::string_view kind,
                  const std::string& owner) {
    const cad::DrawingData& d = doc.data();
    for (std::size_t k = from; k < d.modelSpace.size(); ++k) {
        const cad::EntityId id = d.modelSpace[k];
        const cad::Entity& e = d.entities[id.v];
        if (e.erased) continue;
        doc.setMark(id, {std::string(kind), owner, fingerprint(doc, e)});
    }
}

namespace {

// Only the marked entities are looked at, however large the plan.
template <class F>
void forMarked(cad::Drawing& doc, std::string_view kind, const std::string& owner, F&& f) {
    const cad::DrawingData& d = doc.data();
    for (const auto& [handle, m] : d.marks) {
        if (m.kind != kind || m.owner != owner) continue;
        const cad::EntityId* id = d.entityByHandle.find(handle);
        if (!id) continue;
        const cad::Entity& e = d.entities[id->v];
        if (!e.erased && e.handle == handle && !e.paperSpace) f(*id, e, m);
    }
}

}  // namespace

bool hasMarked(cad::Drawing& doc, std::string_view kind, const std::string& owner) {
    bool any = false;
    forMarked(doc, kind, owner,
              [&any](cad::EntityId, const cad::Entity&, const cad::EntityMark&) { any = true; });
    return any;
}

Removal eraseMarked(cad::Drawing& doc, std::string_view kind, const std::string& owner) {
    Removal r;
    std::vector<cad::EntityId> gone;
    forMarked(doc, kind, owner,
              [&](cad::EntityId id, const cad::Entity& e, const cad::EntityMark& m) {
                  if (fingerprint(doc, e) == m.fingerprint) {
                      gone.push_back(id);
                  } else {
                      ++r.kept;
                  }
              });
    for (cad::EntityId id : gone) cad::EntityRef(&doc, id).erase();
    r.removed = static_cast<int>(gone.size());
    return r;
}

}  // namespace model
