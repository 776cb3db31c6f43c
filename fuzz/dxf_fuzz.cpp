// libFuzzer target: any bytes through the DXF reader and what the program then
// does with a drawing. A file is either read (repaired where needed) or
// refused with cad::Error; a read drawing then gives its extents, the crossings
// of its lines as a picket search finds them, the JSON `info` writes and the
// spot heights of all its layers (each a height some ground has), all without
// a crash or an exception; what the writer makes of it must read again without
// a refusal.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "cad/dxf/reader.hpp"
#include "cad/dxf/writer.hpp"
#include "cad/error.hpp"
#include "cad/geometry.hpp"
#include "cad/text_util.hpp"
#include "ground/spot_heights.hpp"
#include "model/value_checks.hpp"

namespace {

// Few enough that one input stays well inside the per-input timeout.
constexpr std::size_t kRouteElements = 8;
constexpr std::size_t kCrossedObjects = 256;

bool isRouteKind(const cad::Entity& e) {
    return cad::holdsGeom<cad::LineGeom>(e.geom) || cad::holdsGeom<cad::PolylineGeom>(e.geom) ||
           cad::holdsGeom<cad::ArcGeom>(e.geom);
}

// As a picket search does: route elements' boxes, then every other object's
// box and its crossings with each element.
void crossings(const cad::DrawingData& d) {
    std::vector<const cad::Entity*> route, others;
    for (cad::EntityId id : d.modelSpace) {
        if (id.v >= d.entities.size()) continue;
        const cad::Entity& e = d.entities[id.v];
        if (e.erased) continue;
        if (route.size() < kRouteElements && isRouteKind(e)) {
            route.push_back(&e);
        } else if (others.size() < kCrossedObjects) {
            others.push_back(&e);
        }
    }
    for (const cad::Entity* r : route) {
        (void)cad::entityBounds(d, *r);
        (void)cad::entityLength(*r);
        (void)cad::entityStart(*r);
        for (const cad::Entity* o : others) {
            if (!cad::entityBounds(d, *o).intersects(cad::entityBounds(d, *r))) continue;
            for (const cad::Point3& p : cad::intersectEntities(d, *r, *o)) (void)p;
        }
        for (const cad::Entity* o : route) (void)cad::intersectEntities(d, *r, *o);
    }
}

// The document `info --json` writes; dump() throws on text that is not UTF-8.
std::string infoJson(const cad::DrawingData& d) {
    std::map<std::string, std::size_t> byKind, byLayer;
    cad::Box2 box;
    for (cad::EntityId id : d.modelSpace) {
        const cad::Entity& e = d.entities.at(id.v);
        if (e.erased) continue;
        ++byKind[cad::validUtf8(e.dxfType)];
        ++byLayer[cad::validUtf8(e.layer)];
        if (e.visible) box.add(cad::entityBounds(d, e));
    }
    nlohmann::ordered_json j;
    j["version"] = cad::validUtf8(d.version);
    j["codepage"] = cad::validUtf8(d.codepage);
    j["byKind"] = byKind;
    j["byLayer"] = byLayer;
    if (!box.empty()) j["extents"] = {box.minX, box.minY, box.maxX, box.maxY};
    auto& w = j["warnings"] = nlohmann::ordered_json::array();
    // The reader's own messages must be valid as they stand.
    for (const cad::Issue& is : d.issues) w.push_back({{"code", is.code}, {"message", is.message}});
    return j.dump(2);
}

// The spot heights of every layer, as "Отметки по съёмке" reads them.
void spotHeights(const cad::DrawingData& d) {
    ground::SpotOptions options;
    for (const cad::Layer& layer : d.layers) options.layers.push_back(layer.name);
    for (const ground::Spot& s : ground::readSpotHeights(d, options).spots) {
        if (!model::plausibleHeight(s.z)) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string written;
    cad::DrawingData d;
    try {
        d = cad::readDxf(bytes);
    } catch (const cad::Error& e) {
        // Refused, with a message: fine, if the message is text.
        std::string_view what = e.what();
        if (cad::validUtf8(what) != what) __builtin_trap();
        return 0;
    }
    (void)infoJson(d);
    crossings(d);
    spotHeights(d);
    try {
        written = cad::writeDxf(d);
    } catch (const cad::Error&) {
        return 0;  // a drawing the writer refuses, with a message
    }
    // Our own output is never refused (an exception here ends the run).
    cad::DrawingData again = cad::readDxf(written);
    (void)again;
    return 0;
}
