// `entities PLAN.dxf [--layer L] [--type T] [--near X,Y --radius R] [--json]`:
// the objects of the plan's model space with what a user needs to type a
// picket: handle, kind, layer, start and end, length, and the text of texts.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "cad/drawing.hpp"
#include "cad/error.hpp"
#include "cad/geometry.hpp"
#include "cad/mtext.hpp"
#include "cad/text_codes.hpp"
#include "cad/text_util.hpp"
#include "cli/commands.hpp"
#include "cli/text.hpp"
#include "model/primitives.hpp"

namespace cli {

namespace {

struct EntitiesOptions {
    std::string file;
    std::string layer;
    std::string type;
    std::string near;  // "X,Y"
    double radius = 0.0;
    bool json = false;
};

std::optional<cad::Point3> parseXy(const std::string& text) {
    auto comma = text.find(',');
    if (comma == std::string::npos) return std::nullopt;
    auto x = model::parseNumber(std::string_view(text).substr(0, comma), '.');
    auto y = model::parseNumber(std::string_view(text).substr(comma + 1), '.');
    if (!x || !y) return std::nullopt;
    return cad::Point3{*x, *y, 0.0};
}

// Where a text, a block, a point or a circle stands.
std::optional<cad::Point3> positionOf(const cad::Entity& e) {
    if (const auto* t = cad::geomIf<cad::TextGeom>(e.geom)) return t->insertion;
    if (const auto* m = cad::geomIf<cad::MTextGeom>(e.geom)) return m->insertion;
    if (const auto* i = cad::geomIf<cad::InsertGeom>(e.geom)) return i->insertion;
    if (const auto* p = cad::geomIf<cad::PointGeom>(e.geom)) return p->position;
    if (const auto* c = cad::geomIf<cad::CircleGeom>(e.geom)) return c->center;
    return std::nullopt;
}

std::optional<std::string> textOf(const cad::Entity& e) {
    if (const auto* t = cad::geomIf<cad::TextGeom>(e.geom)) return cad::decodeTextCodes(t->text);
    if (const auto* m = cad::geomIf<cad::MTextGeom>(e.geom)) return cad::plainMText(m->text);
    return std::nullopt;
}

double distanceToBox(const cad::Box2& b, cad::Point3 p) {
    double dx = std::max({b.minX - p.x, 0.0, p.x - b.maxX});
    double dy = std::max({b.minY - p.y, 0.0, p.y - b.maxY});
    return std::hypot(dx, dy);
}

std::string xy(cad::Point3 p) {
    return fixedText(p.x) + "," + fixedText(p.y);
}

int runEntities(const EntitiesOptions& o) {
    std::unique_ptr<cad::Drawing> drawing;
    try {
        drawing = cad::Drawing::open(o.file);
    } catch (const cad::Error& e) {
        std::cerr << "Не удалось прочитать чертёж: " << e.what() << "\n";
        return 1;
    }
    const std::optional<cad::Point3> near = parseXy(o.near);
    const cad::DrawingData& d = drawing->data();
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    std::size_t shown = 0;
    for (cad::EntityId id : d.modelSpace) {
        const cad::Entity& e = d.entities[id.v];
        if (e.erased) continue;
        if (!o.layer.empty() && e.layer != o.layer) continue;
        if (!o.type.empty() && !cad::equalsNoCase(e.dxfType, o.type)) continue;
        if (near) {
            cad::Box2 box;
            try {
                box = cad::entityBounds(d, e);
            } catch (const cad::Error&) {
                continue;
            }
            if (box.empty() || distanceToBox(box, *near) > o.radius) continue;
        }
        auto start = cad::entityStart(e);
        auto end = cad::entityEnd(e);
        auto length = cad::entityLength(e);
        auto at = positionOf(e);
        auto text = textOf(e);
        ++shown;
        if (o.json) {
            nlohmann::ordered_json j;
            j["handle"] = cad::formatHandle(e.handle);
            j["type"] = e.dxfType;
            j["layer"] = e.layer;
            j["start"] = start ? nlohmann::ordered_json{start->x, start->y} : nullptr;
            j["end"] = end ? nlohmann::ordered_json{end->x, end->y} : nullptr;
            j["length"] = length ? nlohmann::ordered_json(*length) : nullptr;
            if (at) j["at"] = {at->x, at->y};
            if (text) j["text"] = *text;
            list.push_back(j);
            continue;
        }
        std::cout << cad::formatHandle(e.handle) << "  " << e.dxfType << "  «" << e.layer << "»";
        if (start && end) std::cout << "  начало " << xy(*start) << "  конец " << xy(*end);
        if (length) std::cout << "  длина " << fixedText(*length);
        if (at) std::cout << "  точка " << xy(*at);
        if (text) std::cout << "  текст «" << *text << "»";
        std::cout << "\n";
    }
    if (o.json) {
        // Texts of odd files may hold bytes that are not UTF-8: replace them.
        std::cout << list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                  << "\n";
    } else {
        std::cout << "Объектов: " << shown << "\n";
    }
    return 0;
}

}  // namespace

void registerEntities(CLI::App& app, int& exitCode) {
    auto o = std::make_shared<EntitiesOptions>();
    auto* cmd = app.add_subcommand("entities", "Объекты плана: метки, слои, концы, длины, тексты");
    cmd->add_option("PLAN", o->file, "План (DXF)")->required();
    cmd->add_option("--layer", o->layer, "Только объекты этого слоя");
    cmd->add_option("--type", o->type, "Только объекты этого вида (LINE, LWPOLYLINE, TEXT, ...)");
    auto* near = cmd->add_option("--near", o->near, "Только объекты у точки X,Y");
    auto* radius = cmd->add_option("--radius", o->radius, "На расстоянии не больше R от --near");
    near->needs(radius);
    radius->needs(near);
    cmd->add_flag("--json", o->json, "Вывод в JSON");
    cmd->callback([o, &exitCode] {
        if (!o->near.empty() && !parseXy(o->near)) {
            throw CLI::ValidationError("--near", "ожидается точка вида X,Y");
        }
        if (!(o->radius >= 0) || !std::isfinite(o->radius)) {
            throw CLI::ValidationError("--radius", "ожидается неотрицательное число");
        }
        exitCode = runEntities(*o);
    });
}

}  // namespace cli
