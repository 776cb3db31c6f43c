// kernavisto-cli profile: the road of one picket in batch. Opens the plan,
// defines the picket from the two end points or from its elements by handle,
// takes it into work (the blank sheet), saves the drawing and writes the
// state as JSON. With --project it first restores a saved project and, when
// no picket is given, continues with the saved picket in work. Each step is a
// small function over one BatchRun; a step that fails stops the later ones,
// the dump is written in any case.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cad/check.hpp"
#include "cad/geom.hpp"
#include "cad/text_util.hpp"
#include "checks/checks.hpp"
#include "cli/commands.hpp"
#include "cli/editor_steps.hpp"
#include "cli/ground_steps.hpp"
#include "cli/profile_steps.hpp"
#include "cli/text.hpp"
#include "ground/crossed_tops.hpp"
#include "model/check_rules.hpp"
#include "model/crossed.hpp"
#include "model/history.hpp"
#include "model/primitives.hpp"
#include "model/project.hpp"
#include "model/runner.hpp"
#include "model/units.hpp"
#include "model/value_checks.hpp"
#include "pickets/pickets.hpp"
#include "profile/build.hpp"
#include "project/project_file.hpp"
#include "project/session.hpp"
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
    std::string units;                       // --units; empty: mm, or what a restored project says
    std::string sheetAt;                     // "X,Y", empty: the origin
    double snap = pickets::kJointTolerance;  // --snap, plan units
    bool hideWhilePicking = false;
    bool live = false;  // --live: "Перестраивать сразу"
    std::string dump;
    std::string project;             // project file to restore after opening the plan
    std::string saveProject;         // project file to write at the end
    EditorStepOptions editorSteps;   // --edit, --pick-height, --add-point, --delete-point, --walk
    ProfileStepOptions steps;        // --no-build, --pdf, --svg, --png
    GroundStepOptions ground;        // --ground-layer, --ground-step, ...
    std::vector<std::string> rules;  // --rule NAME=V, in order
    bool check = false;              // --check
};

// Messages go to stderr as they come and are kept for the dump.
class BatchUi : public model::Ui {
  public:
    void message(const std::string& text) override {
        // A message may quote a file name or an option as given, in any bytes.
        std::string valid = cad::validUtf8(text);
        std::cerr << valid << '\n';
        messages.push_back(std::move(valid));
    }
    void notice(const std::string& text) override { warn(text); }
    void setBusy(bool) override {}
    std::vector<std::string> messages;
    // Warnings of the batch run itself: shown, kept for the dump, never a failure.
    void warn(const std::string& text) {
        std::cerr << "Предупреждение: " << text << '\n';
        warnings.push_back(text);
    }
    std::vector<std::string> warnings;
};

struct BatchRun : model::HeadlessWorkspace<BatchUi> {
    model::History history;
    // Opening, restoring and saving go through the document session the
    // window uses too; a batch run marks no drawing as open.
    project::Session session{ws, project::Session::batch()};
    // One operation, a step of the history named `name`; false when it did
    // not complete or showed a message (such as "Ошибка поиска начала").
    bool run(const std::string& name, const std::function<void()>& operation) {
        std::size_t before = ui.messages.size();
        bool completed = history.run(ws, name, [&] { return model::runOperation(ws, operation); });
        return completed && ui.messages.size() == before;
    }
    // What is no step of its own (opening, saving, undo and redo themselves).
    bool run(const std::function<void()>& operation) {
        std::size_t before = ui.messages.size();
        bool completed = model::runOperation(ws, operation);
        return completed && ui.messages.size() == before;
    }
    bool fail(const std::string& text) {
        ui.message(text);
        return false;
    }
    // With --check: what the checks found on the built profile.
    std::optional<std::vector<checks::Finding>> findings;
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

// Whether two paths name one file: the same canonical path (links and "..",
// resolved as far as the path exists), or one file under two names.
bool sameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path ca = fs::weakly_canonical(fs::absolute(a, ec), ec);
    if (ec) ca = fs::path(a).lexically_normal();
    fs::path cb = fs::weakly_canonical(fs::absolute(b, ec), ec);
    if (ec) cb = fs::path(b).lexically_normal();
    if (ca == cb) return true;
    return fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

// Outputs that name one file would overwrite each other (the dump over the
// drawing, a sheet over the plan it was drawn from): refused before anything runs.
void checkDistinctFiles(const ProfileOptions& o) {
    struct Output {
        const char* option;
        const std::string& path;
    };
    const Output outputs[] = {{"-o", o.out},
                              {"--dump", o.dump},
                              {"--pdf", o.steps.pdf},
                              {"--svg", o.steps.svg},
                              {"--png", o.steps.png}};
    for (std::size_t i = 0; i < std::size(outputs); ++i) {
        const Output& a = outputs[i];
        if (a.path.empty()) continue;
        // Saving the drawing over its plan is what -o is for; nothing else may.
        if (i > 0 && sameFile(a.path, o.plan)) {
            throw CLI::ValidationError(a.option, "«" + cad::validUtf8(a.path) +
                                                     "» — это исходный план: он был бы заменён");
        }
        for (std::size_t j = i + 1; j < std::size(outputs); ++j) {
            const Output& b = outputs[j];
            if (!b.path.empty() && sameFile(a.path, b.path)) {
                throw CLI::ValidationError(std::string(a.option) + " и " + b.option,
                                           "указывают на один файл «" + cad::validUtf8(b.path) +
                                               "»: один вывод заменил бы другой");
            }
        }
    }
}

// Usage errors end with exit code 2 through CLI11.
void checkUsage(const ProfileOptions& o) {
    checkDistinctFiles(o);
    const bool byPoints = !o.from.empty() || !o.to.empty();
    if (byPoints && !o.elements.empty()) {
        throw CLI::ValidationError("--from/--to и --elements", "задайте пикет одним способом");
    }
    if (!byPoints && o.elements.empty() && o.project.empty()) {
        throw CLI::ValidationError("пикет", "нужны --from и --to, --elements или --project");
    }
    if (byPoints && (!parsePoint(o.from) || !parsePoint(o.to))) {
        throw CLI::ValidationError("--from/--to", "ожидаются две точки вида X,Y");
    }
    if (!o.elements.empty()) {
        for (const std::string& h : splitList(o.elements)) {
            cad::Handle ignored = 0;
            if (h.empty() || !cad::parseHandle(h, ignored)) {
                throw CLI::ValidationError("--elements",
                                           "«" + cad::validUtf8(h) + "» не метка объекта");
            }
        }
    }
    if (!o.separator.empty() && o.separator != "," && o.separator != ".") {
        throw CLI::ValidationError("--separator", "допустимы только «,» и «.»");
    }
    if (!o.units.empty() && !model::parsePlanUnits(o.units)) {
        throw CLI::ValidationError("--units", "«" + o.units + "»: допустимы mm, cm и m");
    }
    if (!o.sheetAt.empty()) {
        const std::optional<cad::Point3> at = parsePoint(o.sheetAt);
        if (!at) throw CLI::ValidationError("--sheet-at", "ожидается точка вида X,Y");
        const model::PlanUnits units =
            o.units.empty() ? model::PlanUnits::Millimetres : *model::parsePlanUnits(o.units);
        try {
            model::checkPlace(at->x, at->y, units, "Лист");
        } catch (const cad::Error& e) {
            throw CLI::ValidationError("--sheet-at", e.what());
        }
    }
    if (!std::isfinite(o.snap) || o.snap < 0) {
        throw CLI::ValidationError("--snap", "допуск привязки — неотрицательное число");
    }
    // A number no pipeline has is refused here, where it enters; a text that
    // is no number at all is the field's own message, as in the window.
    const char separator =
        o.separator.empty() ? model::systemDecimalSeparator() : o.separator.front();
    auto checkRange = [&](bool given, const std::string& text, const char* option,
                          const char* field, model::ValueLimit limit) {
        if (!given || !model::parseNumber(model::FixDecimalText(text, separator), separator)) {
            return;
        }
        try {
            model::readNumberField(text, separator, field, limit);
        } catch (const cad::Error& e) {
            throw CLI::ValidationError(option, e.what());
        }
    };
    checkRange(o.depthGiven, o.depth, "--depth", pickets::kDepthFieldName, model::kDepthLimit);
    checkRange(o.pipeGiven, o.pipe, "--pipe", pickets::kPipeFieldName, model::kDiameterLimit);
    model::CheckRules rules;
    for (const std::string& rule : o.rules) {
        try {
            model::applyRule(rules, rule);
        } catch (const cad::Error& e) {
            throw CLI::ValidationError("--rule", e.what());
        }
    }
}

bool definesPiket(const ProfileOptions& o) {
    return !o.from.empty() || !o.to.empty() || !o.elements.empty();
}

// The window's fields as the options set them (over a restored project:
// only what is given changes).
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
    if (o.hideWhilePicking) c.hideWhilePicking = true;
    if (!o.units.empty()) c.planUnits = *model::parsePlanUnits(o.units);
    if (auto at = parsePoint(o.sheetAt)) {
        c.sheetOriginX = at->x;
        c.sheetOriginY = at->y;
    }
    r.ws.decimalSeparator =
        o.separator.empty() ? model::systemDecimalSeparator() : o.separator.front();
    // Over the project's rules, in the order given (checked in checkUsage).
    for (const std::string& rule : o.rules) model::applyRule(r.ws.checkRules, rule);
}

bool openPlan(BatchRun& r, const ProfileOptions& o) {
    return r.run([&] {
        r.session.open(o.plan, [](const std::string& notice) { std::cerr << notice << '\n'; });
    });
}

bool restoreProject(BatchRun& r, const ProfileOptions& o) {
    if (o.project.empty()) return true;
    // Part of opening: no step to undo.
    return r.run([&] {
        for (const std::string& line : r.session.restore(o.project)) r.ui.message(line);
    });
}

// Without picket options a restored project goes on with its picket in work.
bool takeSavedPiketIntoWork(BatchRun& r, const ProfileOptions&) {
    model::Controls& c = r.ws.controls;
    if (r.ws.workPiket < 0) return r.fail("В файле проекта нет пикета в работе");
    for (std::size_t i = 0; i < c.piketRows.size(); ++i) {
        const model::PiketRow& row = c.piketRows[i];
        if (row.stateIndex != r.ws.workPiket) continue;
        if (auto b = c.brokenPikets.find(row.stateIndex); b != c.brokenPikets.end()) {
            return r.fail(row.caption + ": " + b->second);
        }
        c.selectedRow = static_cast<int>(i);
        return r.run("Взять в работу", [&] { sheet::takeIntoWork(r.ws); });
    }
    return r.fail("Пикета в работе нет в списке пикетов");
}

std::string pointText(cad::Point3 p) {
    return fixedText(p.x) + "," + fixedText(p.y);
}

// A point typed near an end of a route element takes that end exactly, by
// the rule of the picket operation itself; the user is told which.
cad::Point3 snapToRouteEnd(cad::Point3 typed, double tolerance,
                           const std::vector<cad::EntityRef>& routeList) {
    const std::optional<pickets::RouteEnd> near =
        pickets::routeEndNear(routeList, typed, tolerance);
    if (!near || (near->point.x == typed.x && near->point.y == typed.y)) return typed;
    std::cerr << "Точка " << pointText(typed) << " привязана к концу объекта "
              << near->element.handle() << ": " << pointText(near->point) << '\n';
    return near->point;
}

// Elements listed one after another that do not share an end.
void warnGaps(BatchRun& r, const std::vector<cad::EntityRef>& elements, double tolerance) {
    for (std::size_t k = 0; k + 1 < elements.size(); ++k) {
        try {
            const cad::Point3 a[2] = {elements[k].startPoint(), elements[k].endPoint()};
            const cad::Point3 b[2] = {elements[k + 1].startPoint(), elements[k + 1].endPoint()};
            double gap = std::numeric_limits<double>::infinity();
            cad::Point3 from, to;
            for (const cad::Point3& p : a) {
                for (const cad::Point3& q : b) {
                    double d = cad::planeDistance(p, q);
                    if (d < gap) {
                        gap = d;
                        from = p;
                        to = q;
                    }
                }
            }
            if (gap <= tolerance) continue;
            r.ui.warn("элементы " + elements[k].handle() + " и " + elements[k + 1].handle() +
                      " не соединены: между концами " + pointText(from) + " и " + pointText(to) +
                      " разрыв " + fixedText(gap) + " (единицы плана)");
        } catch (const cad::Error&) {
            // An object without ends is refused by the selection itself.
        }
    }
}

bool definePiket(BatchRun& r, const ProfileOptions& o) {
    const std::size_t rowsBefore = r.ws.controls.piketRows.size();
    bool ok = false;
    if (o.elements.empty()) {
        r.ws.endSnapTolerance = o.snap;
        const std::vector<cad::EntityRef> ends = pickets::routeElements(r.ws);
        r.prompter.pushPoint(snapToRouteEnd(*parsePoint(o.from), o.snap, ends));
        r.prompter.pushPoint(snapToRouteEnd(*parsePoint(o.to), o.snap, ends));
        ok = r.run("Пикет по конечным точкам", [&] { pickets::addByEndPoints(r.ws); });
    } else {
        std::vector<cad::EntityRef> elements;
        for (const std::string& h : splitList(o.elements)) {
            cad::EntityRef e = r.ws.doc->entityByHandle(h);
            if (e.isNull()) return r.fail("В чертеже нет объекта с меткой " + h);
            elements.push_back(e);
            r.prompter.pushEntity(e);
        }
        warnGaps(r, elements, o.snap);
        r.prompter.pushCancel();  // Esc ends the selection
        ok = r.run("Пикет последовательным выбором", [&] { pickets::addBySequence(r.ws); });
    }
    if (ok && r.ws.controls.piketRows.size() == rowsBefore) return r.fail("Пикет не задан");
    if (ok) {
        double length = 0.0;
        for (const cad::EntityRef& e : r.ws.pikets.back().elements) {
            try {
                length += e.length();
            } catch (const cad::Error&) {
            }
        }
        for (const std::string& w : model::unitsWarnings(r.ws, length)) r.ui.warn(w);
    }
    return ok;
}

bool takePiketIntoWork(BatchRun& r, const ProfileOptions&) {
    r.ws.controls.selectedRow = static_cast<int>(r.ws.controls.piketRows.size()) - 1;
    return r.run("Взять в работу", [&] { sheet::takeIntoWork(r.ws); });
}

bool buildProfile(BatchRun& r, const ProfileOptions& o) {
    if (o.steps.noBuild) return true;
    return r.run("Построить\\Перестроить", [&] { buildProfileStep(r.ws, o.steps); });
}

// The findings are warnings of the run, never a failure: the engineer decides.
bool checkProfile(BatchRun& r, const ProfileOptions& o) {
    if (!o.check) return true;
    const model::Piket* piket = r.ws.piketInWork();
    if (!piket || piket->built.empty()) {
        r.ui.warn("проверка не выполнена: профиль не построен");
        r.findings.emplace();
        return true;
    }
    r.findings = checks::checkPiketInWork(r.ws);
    for (const checks::Finding& f : *r.findings) std::cerr << "Предупреждение: " << f.text << '\n';
    return true;
}

bool plotSheet(BatchRun& r, const ProfileOptions& o) {
    return r.run([&] { plotSheetStep(r.ws, o.steps); });
}

bool savePlan(BatchRun& r, const ProfileOptions& o) {
    return r.run([&] { r.session.writeDrawingTo(o.out); });
}

// The ten values of a point row by name, as the dump shows them beside the values.
constexpr std::array<const char*, 10> kPointValueNames = {
    "x", "y", "relief", "depth", "pipe", "casing", "kind", "surveyRelief", "surveyed", "chainage"};

// A handle as the drawing writes it; null for no object.
nlohmann::ordered_json handleJson(const cad::EntityRef& e) {
    if (e.isNull()) return nullptr;
    return cad::formatHandle(e.drawing()->data().entities[e.id().v].handle);
}

// The crossed utility of point k beside its named values: each value and how
// it was found, null when not set; the kind the point has, its own or the
// kind table's, and whether it is the point's ("typed") or the table's.
void addCrossed(nlohmann::ordered_json& named, const model::Workspace& ws, const model::Piket& p,
                std::size_t k) {
    const model::Crossed& c = model::crossedAt(p, k);
    auto value = [](const std::optional<model::CrossedValue>& v) -> nlohmann::ordered_json {
        return v ? nlohmann::ordered_json(v->value) : nlohmann::ordered_json(nullptr);
    };
    auto from = [](const std::optional<model::CrossedValue>& v) -> nlohmann::ordered_json {
        return v ? nlohmann::ordered_json(model::foundByKey(v->foundBy))
                 : nlohmann::ordered_json(nullptr);
    };
    named["crossTop"] = value(c.top);
    named["crossTopFrom"] = from(c.top);
    named["crossDiameter"] = value(c.diameter);
    named["crossDiameterFrom"] = from(c.diameter);
    const std::optional<model::CrossKind> kind =
        model::notCrossingWhy(ws.controls, p, k).empty()
            ? model::effectiveCrossKind(ws.crossKinds, ws.controls, p, k)
            : std::nullopt;
    named["crossKind"] =
        kind ? nlohmann::ordered_json(model::info(*kind).key) : nlohmann::ordered_json(nullptr);
    named["crossKindFrom"] = c.kind ? nlohmann::ordered_json("typed")
                             : kind ? nlohmann::ordered_json("table")
                                    : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json dumpState(const BatchRun& r) {
    const model::Workspace& ws = r.ws;
    nlohmann::ordered_json j;
    j["decimalSeparator"] = std::string(1, ws.decimalSeparator);
    j["messages"] = r.ui.messages;
    j["warnings"] = r.ui.warnings;
    j["planUnits"] = model::planUnitsKey(ws.controls.planUnits);
    j["sheetAt"] = {ws.controls.sheetOriginX, ws.controls.sheetOriginY};
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const model::PiketRow& row : ws.controls.piketRows) {
        nlohmann::ordered_json jr = {{"caption", row.caption}, {"stateIndex", row.stateIndex}};
        if (auto b = ws.controls.brokenPikets.find(row.stateIndex);
            b != ws.controls.brokenPikets.end()) {
            jr["broken"] = b->second;
        }
        rows.push_back(jr);
    }
    j["rows"] = rows;
    nlohmann::ordered_json pikets = nlohmann::ordered_json::array();
    for (const model::Piket& p : ws.pikets) {
        nlohmann::ordered_json elements = nlohmann::ordered_json::array();
        for (const cad::EntityRef& e : p.elements) elements.push_back(handleJson(e));
        nlohmann::ordered_json points = nlohmann::ordered_json::array();
        KV_ASSERT(p.pointObjects.size() == p.points.size());
        for (std::size_t k = 0; k < p.points.size(); ++k) {
            const cad::EntityRef& object = p.pointObjects[k];
            const model::PointRow row = model::shownRow(p, k);
            nlohmann::ordered_json named;
            for (std::size_t v = 0; v < kPointValueNames.size(); ++v) {
                named[kPointValueNames[v]] = row[v];
            }
            addCrossed(named, ws, p, k);
            nlohmann::ordered_json point = {
                {"object", handleJson(object)}, {"values", row}, {"named", named}};
            // A value past the limits every door applies would show here as a
            // bare null or a huge number; the dump says which and why.
            if (auto problem =
                    model::pointRowProblem(model::rowOf(p.points[k]), ws.controls.planUnits)) {
                point["problem"] =
                    "values/" + std::to_string(problem->value) + ": " + problem->what;
            }
            points.push_back(std::move(point));
        }
        pikets.push_back({{"elements", elements}, {"points", points}});
    }
    j["pikets"] = pikets;
    j["workPiket"] = ws.workPiket;
    j["workPoint"] = ws.workPoint;
    j["piketLength"] = ws.piketLength;
    j["horizonLevel"] = ws.horizonLevel;
    j["profileBuilt"] = ws.profileBuilt ? 1 : 0;  // the dump keeps the number
    if (r.findings) {
        nlohmann::ordered_json found = nlohmann::ordered_json::array();
        for (const checks::Finding& f : *r.findings) {
            found.push_back({{"point", f.point},
                             {"rule", f.rule},
                             {"required", f.required},
                             {"actual", f.actual},
                             {"text", f.text}});
        }
        j["checks"] = std::move(found);
    }
    return j;
}

// The dump is written whole or not at all: into a temporary file beside it,
// renamed over it once complete. A reader never sees half a dump, and a dump
// that cannot be made leaves the previous one as it was.
bool writeDump(BatchRun& r, const ProfileOptions& o) {
    if (o.dump.empty()) return true;
    namespace fs = std::filesystem;
    const fs::path target(o.dump);
    const std::string shown = cad::validUtf8(o.dump);
    std::string text;
    try {
        text = dumpState(r).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    } catch (const std::exception& e) {
        std::cerr << "Не удалось составить " << shown << ": " << cad::validUtf8(e.what()) << '\n';
        return false;
    }
    // A short temporary name: the target's own may already be as long as names go.
    fs::path temp = target.parent_path() / (".kv-dump-" + std::to_string(::getpid()) + ".tmp");
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file << text << '\n';
    file.close();
    std::error_code ec;
    if (file) fs::rename(temp, target, ec);
    if (!file || ec) {
        fs::remove(temp, ec);
        std::cerr << "Не удалось записать " << shown << '\n';
        return false;
    }
    return true;
}

// The editor steps, in command-line order, each an operation of its own;
// --undo and --redo take back or make again the step before, --build builds
// there. With --live a step that changes values rebuilds the profile as part
// of the same step, where the values allow a profile.
bool runEditorSteps(BatchRun& r, const ProfileOptions& o) {
    using Kind = EditorStep::Kind;
    for (const EditorStep& step : o.editorSteps.steps()) {
        bool ok = true;
        if (step.kind == Kind::Undo || step.kind == Kind::Redo) {
            const bool undo = step.kind == Kind::Undo;
            if (!(undo ? r.history.canUndo() : r.history.canRedo())) {
                return r.fail(undo ? "Нечего отменять" : "Нечего повторять");
            }
            ok = r.run([&] { undo ? r.history.undo(r.ws) : r.history.redo(r.ws); });
        } else if (step.kind == Kind::Build) {
            ok = r.run(stepName(step), [&] { profile::build(r.ws); });
        } else {
            ok = r.run(stepName(step), [&] {
                runEditorStep(r.ws, r.prompter, step);
                if (o.live && changesValues(step)) profile::rebuildLive(r.ws);
            });
        }
        if (!ok) return false;
    }
    return true;
}

// The typed input is worth keeping even when a later step failed, as long as
// the plan was opened (the handles name its objects).
bool writeProject(BatchRun& r, const ProfileOptions& o) {
    if (o.saveProject.empty() || !r.ws.doc) return true;
    return r.run([&] { r.session.writeProjectTo(o.saveProject); });
}

// "Отметки по съёмке"; its report goes to stdout.
bool fillGround(BatchRun& r, const ProfileOptions& o) {
    if (!o.ground.requested()) return true;
    return r.run("Отметки по съёмке", [&] {
        const ground::GroundReport report =
            ground::fillGroundFromSurvey(r.ws, o.ground.groundOptions());
        std::cout << ground::reportText(report);
    });
}

// "Верх сетей по съёмке", after the heights; its report goes to stdout.
bool readCrossedTops(BatchRun& r, const ProfileOptions& o) {
    if (!o.ground.crossSurveyRequested()) return true;
    return r.run("Верх сетей по съёмке", [&] {
        const ground::CrossedTopsReport report =
            ground::crossedTopsFromSurvey(r.ws, o.ground.crossReach());
        std::cout << ground::reportText(report);
    });
}

int runProfile(const ProfileOptions& o) {
    BatchRun r;
    connectEditor(r.ws);
    bool ok = openPlan(r, o) && restoreProject(r, o);
    // Once, after the restore: opening reads none of these, a restore that
    // fails changes nothing, and over a project only what is given changes.
    applyControls(r, o);
    applySheetOptions(r.ws, o.steps, !o.project.empty());
    ok = ok &&
         (definesPiket(o) ? definePiket(r, o) && takePiketIntoWork(r, o)
                          : takeSavedPiketIntoWork(r, o)) &&
         runEditorSteps(r, o) && fillGround(r, o) && readCrossedTops(r, o) && buildProfile(r, o) &&
         checkProfile(r, o) && plotSheet(r, o) && savePlan(r, o);
    ok = writeProject(r, o) && ok;
    ok = writeDump(r, o) && ok;
    return ok ? 0 : 1;
}

}  // namespace

void registerProfile(CLI::App& app, int& exitCode) {
    auto* cmd = app.add_subcommand("profile", "Пикет, лист профиля и профиль в пакетном режиме");
    auto o = std::make_shared<ProfileOptions>();
    cmd->add_option("PLAN", o->plan, "План (DXF или DWG)")->required();
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
    cmd->add_flag("--live", o->live,
                  "«Перестраивать сразу»: после каждого изменения значений профиль пикета в "
                  "работе строится заново");
    cmd->add_option("--units", o->units,
                    "Единицы плана: mm (по умолчанию), cm или m; лист рисуется в тех же "
                    "единицах в том же масштабе на бумаге");
    cmd->add_option("--sheet-at", o->sheetAt,
                    "Где поставить левый нижний угол листа X,Y (по умолчанию 0,0)");
    cmd->add_option("--snap", o->snap,
                    "Допуск привязки --from/--to к концу элемента трассы и проверки стыков "
                    "--elements, единицы плана (по умолчанию 0.05)");
    cmd->add_option("--dump", o->dump, "Состояние после работы (JSON)");
    cmd->add_option("--project", o->project,
                    "Файл проекта: восстановить после открытия плана; без пикета — продолжить "
                    "с пикетом в работе");
    cmd->add_option("--save-project", o->saveProject, "Записать файл проекта в конце");
    cmd->add_flag("--check", o->check,
                  "Проверить построенный профиль по правилам: замечания — в stderr "
                  "(«Предупреждение: …») и в состояние (checks); код выхода не меняется");
    cmd->add_option("--rule", o->rules,
                    "Правило проверки ИМЯ=ЗНАЧЕНИЕ на этот запуск (поверх файла проекта; "
                    "с --save-project записывается в него); имена: " +
                        model::ruleNames() +
                        "; значение — число (м, уклон — доля), off, on или default; "
                        "pipe=water или pipe=heating")
        ->allow_extra_args(false);
    o->editorSteps.add(*cmd);
    o->steps.add(*cmd);
    o->ground.add(*cmd);
    cmd->callback([o, cmd, &exitCode] {
        o->depthGiven = cmd->count("--depth") > 0;
        o->pipeGiven = cmd->count("--pipe") > 0;
        checkUsage(*o);
        exitCode = runProfile(*o);
    });
}

}  // namespace cli
