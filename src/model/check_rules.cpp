#include "model/check_rules.hpp"

#include <cmath>

#include "cad/error.hpp"
#include "cad/text_util.hpp"
#include "model/primitives.hpp"

namespace model {

std::optional<Rule> ruleByKey(std::string_view key) {
    for (const RuleInfo& r : kRules) {
        if (r.key == key) return r.rule;
    }
    return std::nullopt;
}

std::optional<double> ruleValue(const CheckRules& rules, Rule rule) {
    const RuleSetting& s = rules[rule];
    switch (s.state) {
        case RuleSetting::State::Off:
            return std::nullopt;
        case RuleSetting::State::Set:
            return s.value;
        case RuleSetting::State::Default:
            break;
    }
    const RuleDefault& d = rules.pipe == PipeKind::Water ? info(rule).water : info(rule).heating;
    if (!d.on) return std::nullopt;
    return d.value;
}

std::string_view pipeKindKey(PipeKind kind) {
    return kind == PipeKind::Water ? "water" : "heating";
}

std::optional<PipeKind> pipeKindByKey(std::string_view key) {
    if (key == "water") return PipeKind::Water;
    if (key == "heating") return PipeKind::Heating;
    return std::nullopt;
}

std::string ruleNames() {
    std::string names;
    for (const RuleInfo& r : kRules) {
        names += r.key;
        names += ", ";
    }
    return names + "pipe";
}

void checkRuleValue(Rule rule, double value) {
    const RuleInfo& r = info(rule);
    if (value >= r.min && value <= r.max) return;  // false for NaN
    throw cad::Error("Правило «" + std::string(r.key) + "» (" + std::string(r.name) +
                     "): допустимы числа от " + formatNumber(r.min, ',') + " до " +
                     formatNumber(r.max, ','));
}

RuleSetting parseRuleSetting(Rule rule, std::string_view text, PipeKind pipe) {
    const std::string t(cad::trim(text));
    if (t == "off") return {RuleSetting::State::Off, 0.0};
    if (t == "default") return {};
    if (t == "on") {
        const RuleInfo& r = info(rule);
        return {RuleSetting::State::Set, pipe == PipeKind::Water ? r.water.value : r.heating.value};
    }
    std::optional<double> v = parseNumber(t, t.find(',') != std::string::npos ? ',' : '.');
    if (!v) {
        throw cad::Error("Правило «" + std::string(info(rule).key) + "»: «" + cad::validUtf8(t) +
                         "» — не число; допустимы число, off, on и default");
    }
    checkRuleValue(rule, *v);
    return {RuleSetting::State::Set, *v};
}

void applyRule(CheckRules& rules, std::string_view assignment) {
    const std::size_t eq = assignment.find('=');
    const std::string name(cad::trim(assignment.substr(0, eq)));
    if (eq == std::string_view::npos) {
        throw cad::Error("«" + cad::validUtf8(name) + "»: правило задаётся как ИМЯ=ЗНАЧЕНИЕ");
    }
    const std::string_view value = assignment.substr(eq + 1);
    if (name == "pipe") {
        const std::optional<PipeKind> kind = pipeKindByKey(cad::trim(value));
        if (!kind) throw cad::Error("Правило «pipe»: допустимы water и heating");
        rules.pipe = *kind;
        return;
    }
    const std::optional<Rule> rule = ruleByKey(name);
    if (!rule) {
        throw cad::Error("Нет правила «" + cad::validUtf8(name) + "»; правила: " + ruleNames());
    }
    rules[*rule] = parseRuleSetting(*rule, value, rules.pipe);
}

}  // namespace model
