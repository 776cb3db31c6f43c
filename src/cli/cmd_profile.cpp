// kernavisto-cli profile: the road of one picket in batch. Opens the plan,
// defines the picket from the two end points or from its elements by handle,
// takes it into work (the blank sheet), saves the drawing and writes the
// state as JSON. Each step is a small function over one BatchRun; a step that
// fails stops the later ones, the dump is written in any case.
#include <charconv>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "cli/editor_steps.hpp"
#include "cli/ground_steps.hpp"
#include "cli/profile_steps.hpp"
#include "model/primitives.hpp"
#include "model/project.hpp"
#include "model/runner.hpp"
#include "pickets/pickets.hpp"
#include "sheet/sheet.hpp"

namespace cli {

namespace {

struct ProfileOptions {
    std::string plan;
    std::string out;
    std::string from, to;  // "X,Y"
    std::string elements;  // "H1,H2,..."
    std::vector<std::string> route, connections, communications, other;
    std::string depth, pipe;
    bool depthGiven = false, pipeGiven = false;
    std::string separator;
    bool hideWhilePicking = false;
    std::string dump;
    EditorStepOptions editorSteps;  // --edit, --pick-height, --add-point, --delete-point, --walk
    ProfileStepOptions steps;       // --no-build, --pdf, --svg, --png
    GroundStepOptions ground;       // --ground-layer, --ground-step, ...
};

// Messages go to stderr as they come and are kept for the dump.
class BatchUi : public model::Ui {
  public:
    void message(const std::string& text) override {
        std::cerr << text << '\n';
        messages.push_back(text);
    }
    void setBusy(bool) override {}
    std::vector<std::string> messages;
};

struct BatchRun {
    cad::RecordingView view;
    cad::Application app{&view};
    cad::ScriptedPrompter prompter;
    BatchUi ui;
    model::Workspace ws{app, prompter, ui};

    // One operation; false when it did not complete or showed a message
    // (such as "Ошибка поиска начала").
    bool run(const std::function<void()>& operation) {
        std::size_t before = ui.messages.size();
        bool completed = model::runOperation(ws, operation);
        return completed && ui.messages.size() == before;
    }
    bool fail(const std::string& text) {
        ui.message(text);
        return false;
    }
};

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (;;) {
        std::size_t comma = text.find(',', begin);
        parts.push_back(text.substr(begin, comma - begin));
        if (comma == std::string::npos) return parts;
        begin = comma + 1;
    }
}

// "X,Y" (or "X,Y,Z") with '.' as the decimal point.
std::optional<cad::Point3> parsePoint(const std::string& text) {
    std::vector<std::string> parts = splitList(text);
    if (parts.size() != 2 && parts.size() != 3) return std::nullopt;
    double v[3] = {0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        auto number = model::parseNumber(parts[i], '.');
        if (!number) return std::nullopt;
        v[i] = *number;
    }
    return cad::Point3{v[0], v[1], 0.0};  // the program works in the XY plane
}

// Usage errors end with exit code 2 through CLI11.
void checkUsage(const ProfileOptions& o) {
    const bool byPoints = !o.from.empty() || !o.to.empty();
    if (byPoints && !o.elements.empty()) {
        throw CLI::ValidationError("--from/--to и --elements", "задайте пикет одним способом");
    }
    if (!byPoints && o.elements.empty()) {
        throw CLI::ValidationError("пикет", "нужны --from и --to или --elements");
    }
    if (byPoints && (!parsePoint(o.from) || !parsePoint(o.to))) {
        throw CLI::ValidationError("--from/--to", "ожидаются две точки вида X,Y");
    }
    if (!o.elements.empty()) {
        for (const std::string& h : splitList(o.elements)) {
            cad::Handle ignored = 0;
            if (h.empty() || !cad::parseHandle(h, ignored)) {
                throw CLI::ValidationError("--elements", "«" + h + "» не метка объекта");
            }
        }
    }
    if (!o.separator.empty() && o.separator != "," && o.separator != ".") {
        throw CLI::ValidationError("--separator", "допустимы только «,» и «.»");
    }
}

// The window's fields as the options set them.
void applyControls(BatchRun& r, const ProfileOptions& o) {
    model::Controls& c = r.ws.controls;
    auto replace = [](std::vector<std::string>& list, int& index,
                      const std::vector<std::string>& given) {
        if (given.empty()) return;
        list = given;
        index = 0;
    };
    replace(c.typeList(model::TypeList::Route), c.typeListSelection(model::TypeList::Route),
            o.route);
    replace(c.typeList(model::TypeList::Connections),
            c.typeListSelection(model::TypeList::Connections), o.connections);
    replace(c.typeList(model::TypeList::Communications),
            c.typeListSelection(model::TypeList::Communications), o.communications);
    replace(c.typeList(model::TypeList::Other), c.typeListSelection(model::TypeList::Other),
            o.other);
    if (o.depthGiven) c.depthText = o.depth;
    if (o.pipeGiven) c.pipeText = o.pipe;
    c.hideWhilePicking = o.hideWhilePicking;
    r.ws.decimalSeparator =
        o.separator.empty() ? model::systemDecimalSeparator() : o.separator.front();
}

bool openPlan(BatchRun& r, const ProfileOptions& o) {
    return r.run([&] { model::openProject(r.ws, o.plan); });
}

bool definePiket(BatchRun& r, const ProfileOptions& o) {
    const std::size_t rowsBefore = r.ws.controls.piketRows.size();
    bool ok = false;
    if (o.elements.empty()) {
        r.prompter.pushPoint(*parsePoint(o.from));
        r.prompter.pushPoint(*parsePoint(o.to));
        ok = r.run([&] { pickets::addByEndPoints(r.ws); });
    } else {
        for (const std::string& h : splitList(o.elements)) {
            cad::EntityRef e = r.ws.doc->entityByHandle(h);
            if (e.isNull()) return r.fail("В чертеже нет объекта с меткой " + h);
            r.prompter.pushEntity(e);
        }
        r.prompter.pushCancel();  // Esc ends the selection
        ok = r.run([&] { pickets::addBySequence(r.ws); });
    }
    if (ok && r.ws.controls.piketRows.size() == rowsBefore) return r.fail("Пикет не задан");
    return ok;
}

bool takePiketIntoWork(BatchRun& r, const ProfileOptions&) {
    r.ws.controls.selectedRow = static_cast<int>(r.ws.controls.piketRows.size()) - 1;
    return r.run([&] { sheet::takeIntoWork(r.ws); });
}

bool buildProfile(BatchRun& r, const ProfileOptions& o) {
    return r.run([&] { buildProfileStep(r.ws, o.steps); });
}

bool plotSheet(BatchRun& r, const ProfileOptions& o) {
    return r.run([&] { plotSheetStep(r.ws, o.steps); });
}

bool savePlan(BatchRun& r, const ProfileOptions& o) {
    return r.run([&] { r.ws.doc->saveAs(o.out); });
}

// A handle as the drawing writes it; null for no object.
nlohmann::ordered_json handleJson(const cad::EntityRef& e) {
    if (e.isNull()) return nullptr;
    return cad::formatHandle(e.drawing()->data().entities[e.id().v].handle);
}

nlohmann::ordered_json dumpState(const BatchRun& r) {
    const model::Workspace& ws = r.ws;
    nlohmann::ordered_json j;
    j["decimalSeparator"] = std::string(1, ws.decimalSeparator);
    j["messages"] = r.ui.messages;
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const model::PiketRow& row : ws.controls.piketRows) {
        rows.push_back({{"caption", row.caption}, {"stateIndex", row.stateIndex}});
    }
    j["rows"] = rows;
    nlohmann::ordered_json pikets = nlohmann::ordered_json::array();
    for (const model::Piket& p : ws.pikets) {
        nlohmann::ordered_json elements = nlohmann::ordered_json::array();
        for (const cad::EntityRef& e : p.elements) elements.push_back(handleJson(e));
        nlohmann::ordered_json points = nlohmann::ordered_json::array();
        for (std::size_t k = 0; k < p.points.size(); ++k) {
            cad::EntityRef object =
                k < p.pointObjects.size() ? p.pointObjects[k] : cad::EntityRef{};
            points.push_back({{"object", handleJson(object)}, {"values", p.points[k]}});
        }
        pikets.push_back({{"elements", elements}, {"points", points}});
    }
    j["pikets"] = pikets;
    j["workPiket"] = ws.workPiket;
    j["workPoint"] = ws.workPoint;
    j["piketLength"] = ws.piketLength;
    j["horizonLevel"] = ws.horizonLevel;
    j["profileBuilt"] = ws.profileBuilt;
    return j;
}

bool writeDump(BatchRun& r, const ProfileOptions& o) {
    if (o.dump.empty()) return true;
    std::ofstream file(o.dump, std::ios::binary | std::ios::trunc);
    file << dumpState(r).dump(2) << '\n';
    file.close();
    if (!file) {
        std::cerr << "Не удалось записать " << o.dump << '\n';
        return false;
    }
    return true;
}

// The editor steps, in command-line order, each an operation of its own.
bool runEditorSteps(BatchRun& r, const ProfileOptions& o) {
    for (const EditorStep& step : o.editorSteps.steps()) {
        if (!r.run([&] { runEditorStep(r.ws, r.prompter, step); })) return false;
    }
    return true;
}

// "Отметки по съёмке"; its report goes to stdout.
bool fillGround(BatchRun& r, const ProfileOptions& o) {
    if (!o.ground.requested()) return true;
    return r.run([&] {
        const ground::GroundReport report =
            ground::fillGroundFromSurvey(r.ws, o.ground.groundOptions());
        std::cout << ground::reportText(report);
    });
}

int runProfile(const ProfileOptions& o) {
    BatchRun r;
    applyControls(r, o);
    applySheetOptions(r.ws, o.steps);
    connectEditor(r.ws);
    bool ok = openPlan(r, o) && definePiket(r, o) && takePiketIntoWork(r, o) &&
              runEditorSteps(r, o) && fillGround(r, o) && buildProfile(r, o) && plotSheet(r, o) &&
              savePlan(r, o);
    ok = writeDump(r, o) && ok;
    return ok ? 0 : 1;
}

}  // namespace

void registerProfile(CLI::App& app) {
    auto* cmd = app.add_subcommand("profile", "Пикет, лист профиля и профиль в пакетном режиме");
    auto o = std::make_shared<ProfileOptions>();
    cmd->add_option("PLAN", o->plan, "План (DXF)")->required();
    cmd->add_option("-o", o->out, "Куда сохранить чертёж с листом (DXF)")->required();
    cmd->add_option("--from", o->from, "Начало пикета X,Y");
    cmd->add_option("--to", o->to, "Конец пикета X,Y");
    cmd->add_option("--elements", o->elements, "Элементы пикета по порядку: метки H1,H2,...");
    // One layer name per occurrence, so that a name never swallows PLAN.
    cmd->add_option("--route", o->route, "Слой трассы (можно несколько раз)")
        ->allow_extra_args(false);
    cmd->add_option("--connections", o->connections, "Слой подводов")->allow_extra_args(false);
    cmd->add_option("--communications", o->communications, "Слой коммуникаций")
        ->allow_extra_args(false);
    cmd->add_option("--other", o->other, "Слой других пересечений")->allow_extra_args(false);
    cmd->add_option("--depth", o->depth, "Глубина верха трубопровода, м (как набрано)");
    cmd->add_option("--pipe", o->pipe, "Трубы, мм (как набрано)");
    cmd->add_option("--separator", o->separator, "Десятичный разделитель: , или .");
    cmd->add_flag("--hide-while-picking", o->hideWhilePicking, "Скрывать элементы");
    cmd->add_option("--dump", o->dump, "Состояние после работы (JSON)");
    o->editorSteps.add(*cmd);
    o->steps.add(*cmd);
    o->ground.add(*cmd);
    cmd->callback([o, cmd] {
        o->depthGiven = cmd->count("--depth") > 0;
        o->pipeGiven = cmd->count("--pipe") > 0;
        checkUsage(*o);
        int code = runProfile(*o);
        if (code != 0) std::exit(code);
    });
}

}  // namespace cli
