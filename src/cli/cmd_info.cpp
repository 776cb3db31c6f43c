// `info FILE [--json]`: what a DXF file holds (version, code page, entity
// counts by kind and by layer, extents, the reader's warnings), and
// `roundtrip IN OUT`: open and save without a change. A DWG is converted to
// a DXF beside it first, and that DXF is what they read.
#include <cmath>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "cad/drawing.hpp"
#include "cad/error.hpp"
#include "cad/number_text.hpp"
#include "cad/text_util.hpp"
#include "cli/commands.hpp"
#include "cli/text.hpp"

#include "dwg/dwg_import.hpp"

namespace cli {

namespace {

struct InfoOptions {
    std::string file;
    bool json = false;
};

std::string versionName(const std::string& v) {
    static const std::map<std::string, std::string> names = {
        {"AC1009", "R12"},   {"AC1012", "R13"},   {"AC1014", "R14"},
        {"AC1015", "R2000"}, {"AC1018", "R2004"}, {"AC1021", "R2007"},
        {"AC1024", "R2010"}, {"AC1027", "R2013"}, {"AC1032", "R2018"}};
    auto it = names.find(v);
    return it == names.end() ? v : v + " (" + it->second + ")";
}

// The DXF to read for a file given on the command line; the notice of a
// conversion goes to stderr.
std::string readablePath(const std::string& file) {
    dwg::Opened opened = dwg::openable(file);
    if (!opened.notice.empty()) std::cerr << opened.notice << "\n";
    return opened.dxf.string();
}

// The command ends the program: the system takes a big drawing's memory back
// at once, where freeing its million pieces one by one costs a tenth of a
// second. Still reachable from here, so that it is no leak.
cad::Drawing* g_leftToTheSystem = nullptr;
void leaveToTheSystem(std::unique_ptr<cad::Drawing>& drawing) {
    if (drawing) g_leftToTheSystem = drawing.release();
}

int runInfo(const InfoOptions& opt) {
    std::unique_ptr<cad::Drawing> drawing;
    struct Leave {
        std::unique_ptr<cad::Drawing>& d;
        ~Leave() { leaveToTheSystem(d); }
    } leave{drawing};
    try {
        drawing = cad::Drawing::open(readablePath(opt.file));
    } catch (const cad::Error& e) {
        std::cerr << "Не удалось прочитать чертёж: " << cad::validUtf8(e.what()) << "\n";
        return 1;
    }
    const cad::DrawingData& d = drawing->data();
    // Counted by the name each holds (every name is kept once for the whole
    // program), then by its text: a million entities, a few dozen names.
    std::unordered_map<const std::string*, std::size_t> kinds, layers;
    std::size_t total = 0;
    for (cad::EntityId id : d.modelSpace) {
        const cad::Entity& e = d.entities[id.v];
        if (e.erased) continue;
        ++kinds[&e.dxfType.str()];
        ++layers[&e.layer.str()];
        ++total;
    }
    // Names as the file spells them, which need not be UTF-8.
    std::map<std::string, std::size_t> byKind, byLayer;
    for (const auto& [name, n] : kinds) byKind[cad::validUtf8(*name)] += n;
    for (const auto& [name, n] : layers) byLayer[cad::validUtf8(*name)] += n;
    cad::Box2 box;
    std::string extentsError;
    try {
        box = drawing->extents();
    } catch (const cad::Error& e) {
        extentsError = e.what();
    }

    if (opt.json) {
        nlohmann::ordered_json j;
        j["file"] = cad::validUtf8(opt.file);
        j["version"] = cad::validUtf8(d.version);
        j["codepage"] = cad::validUtf8(d.codepage);
        j["binary"] = d.binary;
        j["entities"] = total;
        j["paperSpaceEntities"] = d.paperSpace.size();
        j["blocks"] = d.blocks.size();
        j["layers"] = d.layers.size();
        j["byKind"] = byKind;
        j["byLayer"] = byLayer;
        if (!box.empty()) {
            j["extents"] = {
                {"minX", box.minX}, {"minY", box.minY}, {"maxX", box.maxX}, {"maxY", box.maxY}};
        } else {
            j["extents"] = nullptr;
        }
        auto& w = j["warnings"] = nlohmann::ordered_json::array();
        for (const cad::Issue& is : d.issues) {
            w.push_back({{"code", is.code},
                         {"line", is.line},
                         {"handle", is.handle ? cad::formatHandle(is.handle) : ""},
                         {"message", cad::validUtf8(is.message)}});
        }
        // Every text above is valid UTF-8; should one slip through, it is
        // replaced rather than the output given up.
        std::cout << j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                  << "\n";
        return 0;
    }

    std::cout << "Файл: " << cad::validUtf8(opt.file) << "\n";
    std::cout << "Версия DXF: " << versionName(cad::validUtf8(d.version))
              << (d.binary ? ", двоичный" : "") << "\n";
    std::cout << "Кодовая страница: " << cad::validUtf8(d.codepage) << "\n";
    std::cout << "Объектов в пространстве модели: " << total
              << " (в пространстве листа: " << d.paperSpace.size()
              << ", блоков: " << d.blocks.size() << ", слоёв: " << d.layers.size() << ")\n";
    std::cout << "По видам:\n";
    for (auto& [k, n] : byKind) std::cout << "  " << k << ": " << n << "\n";
    std::cout << "По слоям:\n";
    for (auto& [k, n] : byLayer) std::cout << "  " << k << ": " << n << "\n";
    if (!box.empty()) {
        std::cout << "Границы: (" << fixedText(box.minX) << ", " << fixedText(box.minY) << ") — ("
                  << fixedText(box.maxX) << ", " << fixedText(box.maxY) << ")\n";
    } else if (!extentsError.empty()) {
        std::cout << "Границы: не определены (" << extentsError << ")\n";
    } else {
        std::cout << "Границы: чертёж пуст\n";
    }
    if (!d.issues.empty()) {
        std::cout << "Предупреждения (" << d.issues.size() << "):\n";
        for (const cad::Issue& is : d.issues) {
            std::cout << "  [" << is.code << "] " << cad::validUtf8(is.message) << "\n";
        }
    }
    return 0;
}

int runRoundtrip(const std::string& in, const std::string& out) {
    try {
        auto drawing = cad::Drawing::open(readablePath(in));
        std::size_t repairs = drawing->data().issues.size();
        drawing->saveAs(out);
        std::cout << "Сохранено: " << out;
        if (repairs) std::cout << " (исправлений и предупреждений при чтении: " << repairs << ")";
        std::cout << "\n";
        return 0;
    } catch (const cad::Error& e) {
        std::cerr << cad::validUtf8(e.what()) << "\n";
        return 1;
    }
}

}  // namespace

void registerInfo(CLI::App& app, int& exitCode) {
    auto opt = std::make_shared<InfoOptions>();
    auto* cmd = app.add_subcommand("info", "Сведения о чертеже DXF (или DWG)");
    cmd->add_option("FILE", opt->file, "Файл DXF или DWG")->required();
    cmd->add_flag("--json", opt->json, "Вывод в JSON");
    cmd->callback([opt, &exitCode] { exitCode = runInfo(*opt); });
}

void registerRoundtrip(CLI::App& app, int& exitCode) {
    auto files = std::make_shared<std::pair<std::string, std::string>>();
    auto* cmd = app.add_subcommand("roundtrip", "Открыть и сохранить без изменений");
    cmd->add_option("IN", files->first, "Исходный файл DXF или DWG")->required();
    cmd->add_option("OUT", files->second, "Куда сохранить")->required();
    cmd->callback([files, &exitCode] { exitCode = runRoundtrip(files->first, files->second); });
}

}  // namespace cli
