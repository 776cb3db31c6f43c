// The rules the profile is checked against (clearances to crossed utilities,
// cover, depth below frost, slope), as the project keeps them: each rule is
// left at the default for the new pipe's kind, switched off, or set to a
// value. The checks themselves are in src/checks.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace model {

// What the new pipe carries; the defaults of some rules depend on it.
enum class PipeKind { Water, Heating };

enum class Rule {
    Clearance,       // clear vertical distance to a crossed pipe, m
    SewerBelow,      // a water main lies above a crossed sewer by at least, m
    PowerCable,      // clear vertical distance to a crossed power cable, m
    CommCable,       // ... to a crossed communication cable, m
    Channel,         // ... to a crossed channel or duct bank, m
    Cover,           // least depth of the pipe top, m
    CoverMax,        // greatest depth of the pipe top, m
    Frost,           // frost penetration depth the bottom must lie below, m
    FrostAllowance,  // how far below the frost depth the bottom lies, m
    Slope,           // least slope of the pipe between two points
};
inline constexpr std::size_t kRuleCount = 10;

struct RuleDefault {
    bool on;
    double value;  // also the value a rule switched on without one takes
};
struct RuleInfo {
    Rule rule;
    std::string_view key;   // in the command line and the project file
    std::string_view name;  // in messages
    double min, max;        // the values the rule may take
    RuleDefault water, heating;
};
inline constexpr std::array<RuleInfo, kRuleCount> kRules{{
    {Rule::Clearance, "clearance", "расстояние до трубопровода", 0, 10, {true, 0.2}, {true, 0.2}},
    {Rule::SewerBelow, "sewer", "водопровод выше канализации", 0, 10, {true, 0.4}, {false, 0.4}},
    {Rule::PowerCable, "power", "расстояние до силового кабеля", 0, 10, {true, 0.5}, {true, 0.5}},
    {Rule::CommCable, "telecom", "расстояние до кабеля связи", 0, 10, {true, 0.5}, {true, 0.5}},
    {Rule::Channel, "channel", "расстояние до канала", 0, 10, {true, 0.2}, {true, 0.2}},
    {Rule::Cover, "cover", "наименьшая глубина верха трубы", 0, 100, {true, 0.5}, {true, 0.7}},
    {Rule::CoverMax,
     "coverMax",
     "наибольшая глубина верха трубы",
     0,
     100,
     {false, 3.0},
     {false, 3.0}},
    {Rule::Frost, "frost", "глубина промерзания", 0, 10, {false, 0.0}, {false, 0.0}},
    {Rule::FrostAllowance,
     "frostAllowance",
     "запас ниже промерзания",
     0,
     10,
     {true, 0.5},
     {true, 0.5}},
    {Rule::Slope, "slope", "наименьший уклон", 0, 1, {false, 0.001}, {true, 0.002}},
}};
inline const RuleInfo& info(Rule r) {
    return kRules[static_cast<std::size_t>(r)];
}
std::optional<Rule> ruleByKey(std::string_view key);

struct RuleSetting {
    enum class State { Default, Off, Set };
    State state = State::Default;
    double value = 0.0;  // when Set
    friend bool operator==(const RuleSetting&, const RuleSetting&) = default;
};

struct CheckRules {
    PipeKind pipe = PipeKind::Water;
    std::array<RuleSetting, kRuleCount> settings{};
    RuleSetting& operator[](Rule r) { return settings[static_cast<std::size_t>(r)]; }
    const RuleSetting& operator[](Rule r) const { return settings[static_cast<std::size_t>(r)]; }
    friend bool operator==(const CheckRules&, const CheckRules&) = default;
};

// The value a rule has in force; none when it is off.
std::optional<double> ruleValue(const CheckRules& rules, Rule rule);

// "water" / "heating".
std::string_view pipeKindKey(PipeKind kind);
std::optional<PipeKind> pipeKindByKey(std::string_view key);

// The value of one rule from its text: a number ('.' or ','), "off", "on"
// (the rule's default value for the pipe's kind) or "default". cad::Error in Russian otherwise,
// and for a number outside the rule's range.
RuleSetting parseRuleSetting(Rule rule, std::string_view text, PipeKind pipe);
// cad::Error when the value lies outside the rule's range (or is no number).
void checkRuleValue(Rule rule, double value);

// One assignment as the command line gives it: "NAME=V", V a number ('.' or
// ','), "off", "on" (the rule's default value) or "default"; "pipe=water" or
// "pipe=heating" sets the new pipe's kind. cad::Error in Russian naming the
// accepted names and values otherwise.
void applyRule(CheckRules& rules, std::string_view assignment);

// "clearance, sewer, ..., pipe": the accepted names, for help and messages.
std::string ruleNames();

}  // namespace model
