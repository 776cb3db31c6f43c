#include "project/project_file.hpp"

#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cad/error.hpp"
#include "cad/platform.hpp"
#include "model/marks.hpp"
#include "model/units.hpp"
#include "model/value_checks.hpp"

namespace project {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

constexpr std::array<const char*, model::kTypeListCount> kTypeKeys = {"route", "connections",
                                                                      "communications", "other"};

// A message about the file's content; the position is a JSON pointer such
// as /pikets/2/points/0, never a piece of the file itself.
[[noreturn]] void bad(const std::string& where, const std::string& what) {
    throw cad::Error("Файл проекта повреждён: " + (where.empty() ? "" : where + ": ") + what);
}

std::string handleOf(const cad::EntityRef& e) {
    if (e.isNull()) return {};
    const cad::DrawingData& d = e.drawing()->data();
    if (e.id().v >= d.entities.size()) return {};
    return cad::formatHandle(d.entities[e.id().v].handle);
}

// JSON has no infinities or NaN; such values (a typed "inf") are kept as text.
Json number(double v) {
    if (std::isfinite(v)) return v;
    if (std::isnan(v)) return "nan";
    return v > 0 ? "inf" : "-inf";
}

const Json& member(const Json& object, const char* key, const std::string& where) {
    auto it = object.find(key);
    if (it == object.end()) bad(where, "нет поля «" + std::string(key) + "»");
    return *it;
}

const Json* optionalMember(const Json& object, const char* key) {
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const Json& objectAt(const Json& j, const std::string& where) {
    if (!j.is_object()) bad(where, "ожидался объект");
    return j;
}

const Json& arrayAt(const Json& j, const std::string& where) {
    if (!j.is_array()) bad(where, "ожидался массив");
    return j;
}

std::string textAt(const Json& j, const std::string& where) {
    if (!j.is_string()) bad(where, "ожидался текст");
    return j.get<std::string>();
}

int intAt(const Json& j, const std::string& where) {
    if (j.is_number_integer()) {
        // A 64-bit value that does not fit an index is as wrong as a fraction.
        if (j.is_number_unsigned()) {
            auto v = j.get<std::uint64_t>();
            if (v <= 1000000000u) return static_cast<int>(v);
        } else {
            auto v = j.get<std::int64_t>();
            if (v >= -1000000000 && v <= 1000000000) return static_cast<int>(v);
        }
    }
    bad(where, "ожидалось целое число");
}

bool boolAt(const Json& j, const std::string& where) {
    if (!j.is_boolean()) bad(where, "ожидалось true или false");
    return j.get<bool>();
}

double valueAt(const Json& j, const std::string& where) {
    if (j.is_number()) return j.get<double>();
    if (j.is_string()) {
        const std::string& s = j.get_ref<const std::string&>();
        if (s == "inf") return HUGE_VAL;
        if (s == "-inf") return -HUGE_VAL;
        if (s == "nan") return std::nan("");
    }
    bad(where, "ожидалось число");
}

std::string handleAt(const Json& j, const std::string& where) {
    std::string text = textAt(j, where);
    cad::Handle h = 0;
    if (text.empty() || text.size() > 16 || !cad::parseHandle(text, h)) {
        bad(where, "ожидалась метка объекта (шестнадцатеричное число)");
    }
    return text;
}

std::string at(const std::string& where, std::size_t index) {
    return where + "/" + std::to_string(index);
}

model::CrossKind kindAt(const Json& j, const std::string& where) {
    if (j.is_string()) {
        if (auto kind = model::crossKindByKey(j.get_ref<const std::string&>())) return *kind;
    }
    bad(where, "вид пересекаемой сети — один из: " + model::crossKindKeyList());
}

// A point's crossed utility: each value within the limits the editor applies,
// with how it was found.
model::Crossed parseCrossed(const Json& j, const std::string& where) {
    objectAt(j, where);
    model::Crossed c;
    auto value = [&](const char* key) -> std::optional<model::CrossedValue> {
        const Json* v = optionalMember(j, key);
        if (!v || v->is_null()) return std::nullopt;
        const std::string valueWhere = where + "/" + key;
        objectAt(*v, valueWhere);
        model::CrossedValue out;
        out.value = valueAt(member(*v, "value", valueWhere), valueWhere + "/value");
        const std::string fromAt = valueWhere + "/from";
        auto from = model::foundByByKey(textAt(member(*v, "from", valueWhere), fromAt));
        if (!from) bad(fromAt, "как найдено — typed, picked или survey");
        out.foundBy = *from;
        return out;
    };
    c.top = value("top");
    c.diameter = value("diameter");
    if (const Json* kind = optionalMember(j, "kind"); kind && !kind->is_null()) {
        c.kind = kindAt(*kind, where + "/kind");
    }
    if (auto problem = model::crossedProblem(c)) {
        bad(where + (problem->value == 0 ? "/top" : "/diameter") + "/value", problem->what);
    }
    return c;
}

Json crossedJson(const model::Crossed& c) {
    Json j = Json::object();
    auto value = [&](const char* key, const std::optional<model::CrossedValue>& v) {
        if (v) j[key] = {{"value", number(v->value)}, {"from", model::foundByKey(v->foundBy)}};
    };
    value("top", c.top);
    value("diameter", c.diameter);
    if (c.kind) j["kind"] = model::info(*c.kind).key;
    return j;
}

// The kind table: rules in their order, a kind for each type list of crossings.
model::CrossKindTable parseCrossKinds(const Json& j, const std::string& where) {
    objectAt(j, where);
    model::CrossKindTable t;
    t.rules.clear();
    const std::string rulesAt = where + "/rules";
    const Json& rules = arrayAt(member(j, "rules", where), rulesAt);
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const std::string ruleAt = at(rulesAt, i);
        objectAt(rules[i], ruleAt);
        model::CrossKindRule rule;
        rule.layerContains =
            textAt(member(rules[i], "layerContains", ruleAt), ruleAt + "/layerContains");
        rule.kind = kindAt(member(rules[i], "kind", ruleAt), ruleAt + "/kind");
        t.rules.push_back(std::move(rule));
    }
    const std::string byTypeAt = where + "/byType";
    const Json& byType = objectAt(member(j, "byType", where), byTypeAt);
    for (std::size_t k = 1; k < model::kTypeListCount; ++k) {
        t.byType[k] = kindAt(member(byType, kTypeKeys[k], byTypeAt), byTypeAt + "/" + kTypeKeys[k]);
    }
    return t;
}

Json crossKindsJson(const model::CrossKindTable& t) {
    Json rules = Json::array();
    for (const model::CrossKindRule& r : t.rules) {
        rules.push_back({{"layerContains", r.layerContains}, {"kind", model::info(r.kind).key}});
    }
    Json byType = Json::object();
    for (std::size_t k = 1; k < model::kTypeListCount; ++k) {
        byType[kTypeKeys[k]] = model::info(t.byType[k]).key;
    }
    return {{"rules", rules}, {"byType", byType}};
}

// A point row holds only what the program itself could have made of it:
// each value within the limits every other door applies (a depth of 1e30 m
// or a casing of "inf" would be drawn as nonsense), and a picket passes each
// place of its route once. Two points at one place stand side by side (a
// crossing added on a point); a place met again further on is a list walked twice.
void checkPoints(const PiketData& p, model::PlanUnits units, const std::string& pointsAt) {
    struct Seen {
        std::size_t last;  // the latest point at the place
        int count;
    };
    std::map<std::pair<double, double>, Seen> places;
    for (std::size_t k = 0; k < p.points.size(); ++k) {
        const model::PointRow& row = p.points[k].values;
        const std::string pointAt = at(pointsAt, k);
        if (auto problem = model::pointRowProblem(row, units)) {
            bad(at(pointAt + "/values", static_cast<std::size_t>(problem->value)), problem->what);
        }
        auto [it, first] = places.try_emplace({row[model::kX], row[model::kY]}, Seen{k, 1});
        if (first) continue;
        Seen& seen = it->second;
        if (seen.last + 1 != k) {
            bad(pointAt, "точка стоит там же, где точка " + std::to_string(seen.last + 1) +
                             ": пикет проходит это место дважды");
        }
        if (++seen.count > 2) bad(pointAt, "в одном месте больше двух точек");
        seen.last = k;
    }
}

PiketData parsePiket(const Json& j, const std::string& where, model::PlanUnits units) {
    objectAt(j, where);
    PiketData p;
    const std::string elementsAt = where + "/elements";
    const Json& elements = arrayAt(member(j, "elements", where), elementsAt);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].is_null()) {
            p.elements.push_back(std::nullopt);
        } else {
            p.elements.push_back(handleAt(elements[i], at(elementsAt, i)));
        }
    }
    if (auto key = j.find("key"); key != j.end() && !key->is_null()) {
        if (!key->is_string() || key->get<std::string>().empty() ||
            key->get<std::string>().size() > 64) {
            bad(where + "/key", "ключ пикета — непустая строка");
        }
        p.key = key->get<std::string>();
    }
    const std::string pointsAt = where + "/points";
    const Json& points = arrayAt(member(j, "points", where), pointsAt);
    for (std::size_t k = 0; k < points.size(); ++k) {
        const std::string pointAt = at(pointsAt, k);
        const Json& point = objectAt(points[k], pointAt);
        PointData d;
        const Json& object = member(point, "object", pointAt);
        if (!object.is_null()) d.object = handleAt(object, pointAt + "/object");
        const std::string valuesAt = pointAt + "/values";
        const Json& values = arrayAt(member(point, "values", pointAt), valuesAt);
        if (values.size() != d.values.size()) {
            bad(valuesAt,
                "в строке точки должно быть " + std::to_string(d.values.size()) + " значений");
        }
        for (std::size_t v = 0; v < d.values.size(); ++v) {
            d.values[v] = valueAt(values[v], at(valuesAt, v));
        }
        if (const Json* crossed = optionalMember(point, "crossed");
            crossed && !crossed->is_null()) {
            d.crossed = parseCrossed(*crossed, pointAt + "/crossed");
        }
        p.points.push_back(std::move(d));
    }
    checkPoints(p, units, pointsAt);
    return p;
}

void parseControls(const Json& j, ProjectData& d) {
    const std::string where = "/controls";
    objectAt(j, where);
    const Json& lists = objectAt(member(j, "typeLists", where), where + "/typeLists");
    const Json& indexes = objectAt(member(j, "typeListIndex", where), where + "/typeListIndex");
    for (std::size_t t = 0; t < model::kTypeListCount; ++t) {
        const std::string listAt = where + "/typeLists/" + kTypeKeys[t];
        const Json& list = arrayAt(member(lists, kTypeKeys[t], listAt), listAt);
        for (std::size_t i = 0; i < list.size(); ++i) {
            d.typeLists[t].push_back(textAt(list[i], at(listAt, i)));
        }
        const std::string indexAt = where + "/typeListIndex/" + kTypeKeys[t];
        int index = intAt(member(indexes, kTypeKeys[t], indexAt), indexAt);
        if (index < -1 || index >= static_cast<int>(d.typeLists[t].size())) {
            bad(indexAt, "выбранный пункт вне списка");
        }
        d.typeListIndex[t] = index;
    }
    d.depthText = textAt(member(j, "depthText", where), where + "/depthText");
    d.pipeText = textAt(member(j, "pipeText", where), where + "/pipeText");
    d.beddingText = textAt(member(j, "beddingText", where), where + "/beddingText");
    d.hideWhilePicking = boolAt(member(j, "hideWhilePicking", where), where + "/hideWhilePicking");
    if (const Json* units = optionalMember(j, "planUnits"); units && !units->is_null()) {
        d.planUnits = textAt(*units, where + "/planUnits");
        if (!model::parsePlanUnits(*d.planUnits)) {
            bad(where + "/planUnits", "единицы плана — mm, cm или m");
        }
    }
}

// The window's fields the file keeps as they are, one list for writing and
// reading: copy(control, data) for each.
template <typename ControlsT, typename DataT, typename Copy>
void eachControlField(ControlsT& c, DataT& d, Copy copy) {
    copy(c.typeLists, d.typeLists);
    copy(c.typeListIndex, d.typeListIndex);
    copy(c.depthText, d.depthText);
    copy(c.pipeText, d.pipeText);
    copy(c.beddingText, d.beddingText);
    copy(c.hideWhilePicking, d.hideWhilePicking);
}

// The sheet options: scales only as the build offers them, a datum in whole
// metres (its label always ends in ",0").
model::SheetOptions parseSheet(const Json& j, const std::string& where) {
    objectAt(j, where);
    model::SheetOptions o;
    o.split = boolAt(member(j, "split", where), where + "/split");
    o.horizontalScale = valueAt(member(j, "horizontalScale", where), where + "/horizontalScale");
    if (o.horizontalScale != 500 && o.horizontalScale != 1000 && o.horizontalScale != 2000) {
        bad(where + "/horizontalScale", "масштаб по горизонтали — 500, 1000 или 2000");
    }
    o.verticalScale = valueAt(member(j, "verticalScale", where), where + "/verticalScale");
    if (o.verticalScale != 100 && o.verticalScale != 200) {
        bad(where + "/verticalScale", "масштаб по вертикали — 100 или 200");
    }
    o.datumPerSheet = boolAt(member(j, "datumPerSheet", where), where + "/datumPerSheet");
    // Absent in files from before the checks: no marks.
    if (const Json* marks = optionalMember(j, "checkMarks"); marks && !marks->is_null()) {
        o.checkMarks = boolAt(*marks, where + "/checkMarks");
    }
    if (const Json* datum = optionalMember(j, "datum"); datum && !datum->is_null()) {
        const double v = valueAt(*datum, where + "/datum");
        if (!model::kReliefLimit.holds(v) || v != std::floor(v)) {
            bad(where + "/datum", "условный горизонт — целое число метров");
        }
        o.datum = v;
    }
    return o;
}

// The choice of "Отметки по съёмке": distances in metres, none negative.
model::SurveyChoice parseSurvey(const Json& j, const std::string& where) {
    objectAt(j, where);
    model::SurveyChoice o;
    const std::string layersAt = where + "/layers";
    const Json& layers = arrayAt(member(j, "layers", where), layersAt);
    for (std::size_t i = 0; i < layers.size(); ++i) {
        o.layers.push_back(textAt(layers[i], at(layersAt, i)));
    }
    auto metres = [&](const char* key) {
        const std::string keyAt = where + "/" + key;
        const double v = valueAt(member(j, key, where), keyAt);
        if (!model::kSurveyDistanceLimit.holds(v)) {
            bad(keyAt, "расстояние — число метров от 0 до 100 000");
        }
        return v;
    };
    o.stepMetres = metres("step");
    o.maxEdgeMetres = metres("maxEdge");
    o.nearMetres = metres("near");
    o.replace = boolAt(member(j, "replace", where), where + "/replace");
    return o;
}

// The check rules: the pipe's kind and each rule not at its default, as a
// number within the rule's range or "off".
model::CheckRules parseChecks(const Json& j, const std::string& where) {
    objectAt(j, where);
    model::CheckRules r;
    const std::string pipe = textAt(member(j, "pipe", where), where + "/pipe");
    const std::optional<model::PipeKind> kind = model::pipeKindByKey(pipe);
    if (!kind) bad(where + "/pipe", "вид трубопровода — water или heating");
    r.pipe = *kind;
    const std::string rulesAt = where + "/rules";
    const Json& rules = objectAt(member(j, "rules", where), rulesAt);
    for (const auto& [key, value] : rules.items()) {
        const std::optional<model::Rule> rule = model::ruleByKey(key);
        const std::string keyAt = rulesAt + "/" + (rule ? key : std::string("…"));
        if (!rule) bad(keyAt, "неизвестное правило; правила: " + model::ruleNames());
        if (value.is_string() && value.get<std::string>() == "off") {
            r[*rule].state = model::RuleSetting::State::Off;
            continue;
        }
        if (!value.is_number()) bad(keyAt, "ожидалось число или \"off\"");
        const double v = value.get<double>();
        try {
            model::checkRuleValue(*rule, v);
        } catch (const cad::Error& e) {
            bad(keyAt, e.what());
        }
        r[*rule] = {model::RuleSetting::State::Set, v};
    }
    return r;
}

Json checksJson(const model::CheckRules& r) {
    Json rules = Json::object();
    for (const model::RuleInfo& info : model::kRules) {
        const model::RuleSetting& s = r[info.rule];
        if (s.state == model::RuleSetting::State::Off) rules[std::string(info.key)] = "off";
        if (s.state == model::RuleSetting::State::Set) rules[std::string(info.key)] = s.value;
    }
    return {{"pipe", std::string(model::pipeKindKey(r.pipe))}, {"rules", rules}};
}

}  // namespace

fs::path projectFilePath(const fs::path& drawing) {
    fs::path p = drawing;
    p.replace_extension();
    p += ".kernavisto.json";
    return p;
}

ProjectData capture(const model::Workspace& ws) {
    ProjectData d;
    const model::Controls& c = ws.controls;
    eachControlField(c, d, [](const auto& control, auto& data) { data = control; });
    d.planUnits = model::planUnitsKey(c.planUnits);
    d.sheet = ws.sheetOptions;
    d.survey = ws.surveyChoice;
    d.crossKinds = ws.crossKinds;
    d.checks = ws.checkRules;
    for (const model::Piket& p : ws.pikets) {
        PiketData pd;
        for (const cad::EntityRef& e : p.elements) {
            std::string h = handleOf(e);
            pd.elements.push_back(h.empty() ? std::nullopt : std::optional<std::string>(h));
        }
        for (std::size_t k = 0; k < p.points.size(); ++k) {
            PointData point;
            if (k < p.pointObjects.size() && !p.pointObjects[k].isNull()) {
                point.object = handleOf(p.pointObjects[k]);
            }
            point.values = model::rowOf(p.points[k]);
            point.crossed = model::crossedAt(p, k);
            pd.points.push_back(std::move(point));
        }
        if (!p.key.empty()) pd.key = p.key;
        d.pikets.push_back(std::move(pd));
    }
    d.workPiket = ws.workPiket;
    d.workPoint = ws.workPoint;
    for (const model::PiketRow& row : c.piketRows) d.rows.push_back({row.caption, row.stateIndex});
    d.selectedRow = c.selectedRow;
    return d;
}

std::string toJson(const ProjectData& d) {
    Json j;
    j["format"] = kFormatName;
    j["version"] = kFormatVersion;
    Json controls;
    Json lists = Json::object(), indexes = Json::object();
    for (std::size_t t = 0; t < model::kTypeListCount; ++t) {
        lists[kTypeKeys[t]] = d.typeLists[t];
        indexes[kTypeKeys[t]] = d.typeListIndex[t];
    }
    controls["typeLists"] = lists;
    controls["typeListIndex"] = indexes;
    controls["depthText"] = d.depthText;
    controls["pipeText"] = d.pipeText;
    controls["beddingText"] = d.beddingText;
    controls["hideWhilePicking"] = d.hideWhilePicking;
    controls["planUnits"] = d.planUnits ? Json(*d.planUnits) : Json(nullptr);
    j["controls"] = controls;
    if (d.sheet) {
        const model::SheetOptions& o = *d.sheet;
        j["sheet"] = {{"split", o.split},
                      {"horizontalScale", o.horizontalScale},
                      {"verticalScale", o.verticalScale},
                      {"datumPerSheet", o.datumPerSheet},
                      {"datum", o.datum ? Json(*o.datum) : Json(nullptr)},
                      {"checkMarks", o.checkMarks}};
    }
    if (d.survey) {
        const model::SurveyChoice& o = *d.survey;
        j["survey"] = {{"layers", o.layers},
                       {"step", number(o.stepMetres)},
                       {"maxEdge", number(o.maxEdgeMetres)},
                       {"near", number(o.nearMetres)},
                       {"replace", o.replace}};
    }
    if (d.crossKinds) j["crossKinds"] = crossKindsJson(*d.crossKinds);
    if (d.checks) j["checks"] = checksJson(*d.checks);
    Json pikets = Json::array();
    for (const PiketData& p : d.pikets) {
        Json points = Json::array();
        for (const PointData& point : p.points) {
            Json values = Json::array();
            for (double v : point.values) values.push_back(number(v));
            Json jp = {{"object", point.object ? Json(*point.object) : Json(nullptr)},
                       {"values", values}};
            if (!point.crossed.empty()) jp["crossed"] = crossedJson(point.crossed);
            points.push_back(std::move(jp));
        }
        Json elements = Json::array();
        for (const auto& e : p.elements) elements.push_back(e ? Json(*e) : Json(nullptr));
        Json piket = {{"elements", elements}, {"points", points}};
        if (p.key) piket["key"] = *p.key;
        pikets.push_back(std::move(piket));
    }
    j["pikets"] = pikets;
    j["workPiket"] = d.workPiket;
    j["workPoint"] = d.workPoint;
    Json rows = Json::array();
    for (const RowData& r : d.rows) {
        rows.push_back({{"caption", r.caption}, {"stateIndex", r.stateIndex}});
    }
    j["rows"] = rows;
    j["selectedRow"] = d.selectedRow;
    return j.dump(2) + "\n";
}

ProjectData parse(std::string_view text) {
    Json j;
    try {
        j = Json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        // The library's own text quotes the bytes it stopped at; say only where.
        if (e.byte >= text.size()) {
            throw cad::Error("Файл проекта обрезан или повреждён: текст кончается раньше времени");
        }
        throw cad::Error("Файл проекта повреждён: не JSON (ошибка в байте " +
                         std::to_string(e.byte) + ")");
    } catch (const nlohmann::json::exception&) {
        throw cad::Error("Файл проекта повреждён: не JSON");
    }
    if (!j.is_object()) bad("", "это не файл проекта Kernavisto");
    const Json* format = optionalMember(j, "format");
    if (!format || !format->is_string() || format->get<std::string>() != kFormatName) {
        bad("", "это не файл проекта Kernavisto");
    }
    ProjectData d;
    d.version = intAt(member(j, "version", ""), "/version");
    if (d.version > kFormatVersion) {
        throw cad::Error("Файл проекта записан более новой версией программы (формат " +
                         std::to_string(d.version) + ", эта версия читает формат до " +
                         std::to_string(kFormatVersion) + "). Обновите программу.");
    }
    if (d.version < 1) bad("/version", "неизвестная версия формата");
    parseControls(member(j, "controls", ""), d);
    if (const Json* sheet = optionalMember(j, "sheet"); sheet && !sheet->is_null()) {
        d.sheet = parseSheet(*sheet, "/sheet");
    }
    if (const Json* survey = optionalMember(j, "survey"); survey && !survey->is_null()) {
        d.survey = parseSurvey(*survey, "/survey");
    }
    if (const Json* kinds = optionalMember(j, "crossKinds"); kinds && !kinds->is_null()) {
        d.crossKinds = parseCrossKinds(*kinds, "/crossKinds");
    }
    if (const Json* checks = optionalMember(j, "checks"); checks && !checks->is_null()) {
        d.checks = parseChecks(*checks, "/checks");
    }

    // Files written before plans had units were all in millimetres.
    const model::PlanUnits units =
        d.planUnits ? *model::parsePlanUnits(*d.planUnits) : model::PlanUnits::Millimetres;
    const Json& pikets = arrayAt(member(j, "pikets", ""), "/pikets");
    for (std::size_t i = 0; i < pikets.size(); ++i) {
        d.pikets.push_back(parsePiket(pikets[i], at("/pikets", i), units));
    }
    const int tableSize = static_cast<int>(d.pikets.size());
    d.workPiket = intAt(member(j, "workPiket", ""), "/workPiket");
    if (d.workPiket < -1 || d.workPiket >= tableSize) bad("/workPiket", "нет такого пикета");
    d.workPoint = intAt(member(j, "workPoint", ""), "/workPoint");
    if (d.workPoint < 0) bad("/workPoint", "номер точки меньше нуля");

    const Json& rows = arrayAt(member(j, "rows", ""), "/rows");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string rowAt = at("/rows", i);
        const Json& row = objectAt(rows[i], rowAt);
        RowData r;
        r.caption = textAt(member(row, "caption", rowAt), rowAt + "/caption");
        r.stateIndex = intAt(member(row, "stateIndex", rowAt), rowAt + "/stateIndex");
        d.rows.push_back(std::move(r));
    }
    d.selectedRow = intAt(member(j, "selectedRow", ""), "/selectedRow");
    return d;
}

RestoreReport restore(model::Workspace& ws, const ProjectData& d) {
    if (!ws.doc || !ws.doc->isOpen()) throw cad::Error("Нет открытого чертежа проекта");
    cad::Drawing& doc = *ws.doc;
    RestoreReport report;

    std::vector<model::Piket> pikets;
    std::vector<std::string> brokenWhy(d.pikets.size());
    for (std::size_t i = 0; i < d.pikets.size(); ++i) {
        const PiketData& pd = d.pikets[i];
        model::Piket p;
        std::string& why = brokenWhy[i];
        auto lookUp = [&](const std::string& handle, const std::string& role) {
            cad::EntityRef e = doc.entityByHandle(handle);
            if (e.isNull() && why.empty())
                why = "в чертеже нет объекта " + handle + " (" + role + ")";
            return e;
        };
        for (std::size_t k = 0; k < pd.elements.size(); ++k) {
            const std::string role = "элемент " + std::to_string(k + 1);
            if (pd.elements[k]) {
                p.elements.push_back(lookUp(*pd.elements[k], role));
            } else {
                p.elements.push_back({});
                if (why.empty()) why = role + " утерян ещё до записи файла";
            }
        }
        for (std::size_t k = 0; k < pd.points.size(); ++k) {
            const PointData& point = pd.points[k];
            p.pointObjects.push_back(
                point.object ? lookUp(*point.object, "объект точки " + std::to_string(k + 1))
                             : cad::EntityRef{});
            p.points.push_back(model::pointOf(point.values));
            model::setCrossed(p, k, point.crossed);
        }
        // A file of version 1 has no key: the one the picket got when it was defined.
        if (pd.key) {
            p.key = *pd.key;
        } else if (d.version < 2) {
            p.key = model::piketKey(p);
        }
        if (!why.empty()) {
            std::string caption = "Пикет " + std::to_string(i + 1);
            for (const RowData& r : d.rows) {
                if (r.stateIndex == static_cast<int>(i)) {
                    caption = r.caption;
                    break;
                }
            }
            report.broken.push_back({static_cast<int>(i), caption, why});
        }
        pikets.push_back(std::move(p));
    }

    // A row must never lead outside the table; one that would is left out.
    std::vector<model::PiketRow> rows;
    int selectedRow = d.selectedRow;
    for (std::size_t i = 0; i < d.rows.size(); ++i) {
        const RowData& r = d.rows[i];
        if (r.stateIndex < 0 || r.stateIndex >= static_cast<int>(pikets.size())) {
            report.notes.push_back("Строка «" + r.caption + "» не ведёт к пикету и убрана");
            if (selectedRow == static_cast<int>(i)) selectedRow = -1;
            if (selectedRow > static_cast<int>(i)) --selectedRow;
            continue;
        }
        rows.push_back({r.caption, r.stateIndex});
    }
    if (selectedRow < -1 || selectedRow >= static_cast<int>(rows.size())) selectedRow = -1;

    int workPoint = d.workPoint;
    if (d.workPiket >= 0) {
        const int count =
            static_cast<int>(pikets[static_cast<std::size_t>(d.workPiket)].points.size());
        if (workPoint >= count && count > 0) {
            report.notes.push_back("Номер точки в работе вне пикета; взята первая точка");
            workPoint = 0;
        }
    }

    model::Controls& c = ws.controls;
    eachControlField(c, d, [](auto& control, const auto& data) { control = data; });
    // Files written before plans had units were all in millimetres.
    c.planUnits =
        d.planUnits ? *model::parsePlanUnits(*d.planUnits) : model::PlanUnits::Millimetres;
    ws.sheetOptions = d.sheet.value_or(model::SheetOptions{});
    ws.surveyChoice = d.survey;
    ws.crossKinds = d.crossKinds.value_or(model::CrossKindTable{});
    ws.checkRules = d.checks.value_or(model::CheckRules{});
    c.piketRows = std::move(rows);
    c.brokenPikets.clear();
    for (const BrokenPiket& b : report.broken) c.brokenPikets[b.index] = b.reason;
    c.selectedRow = selectedRow;
    ws.pikets = std::move(pikets);
    ws.workPiket = d.workPiket;
    ws.workPoint = workPoint;
    return report;
}

void save(const model::Workspace& ws, const fs::path& path) {
    // Written beside, flushed and put in place in one step: a crash leaves
    // the old project file or the new one, never half of one.
    cad::FileReplacement file(path);
    file.write(toJson(capture(ws)));
    file.commit(false);
}

// Far above any project a route makes; a larger file is no project file.
constexpr std::uintmax_t kMaxProjectBytes = std::uintmax_t(256) << 20;

RestoreReport load(model::Workspace& ws, const fs::path& path) {
    std::string text;
    try {
        // Checked before it is read: a pipe under the name would block.
        text = cad::RegularFile(path).readAll(kMaxProjectBytes);
    } catch (const cad::Error& e) {
        throw cad::Error("Файл проекта не прочитан: " + cad::validUtf8(e.what()));
    }
    try {
        return restore(ws, parse(text));
    } catch (const cad::Error& e) {
        throw cad::Error(path.string() + ": " + e.what());
    }
}

std::vector<std::string> describe(const RestoreReport& report) {
    std::vector<std::string> lines;
    for (const BrokenPiket& b : report.broken) {
        lines.push_back(b.caption + " не восстановлен: " + b.reason);
    }
    for (const std::string& n : report.notes) lines.push_back(n);
    return lines;
}

std::vector<std::string> restoreBeside(model::Workspace& ws, const fs::path& drawing) {
    const fs::path path = projectFilePath(drawing);
    std::error_code ec;
    if (!fs::exists(path, ec)) return {};
    try {
        return describe(load(ws, path));
    } catch (const cad::Error& e) {
        return {std::string(e.what()) + ". Чертёж открыт без сохранённых пикетов."};
    }
}

void saveBeside(const model::Workspace& ws, const fs::path& drawing) {
    save(ws, projectFilePath(drawing));
}

}  // namespace project
