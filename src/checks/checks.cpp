#include "checks/checks.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "model/primitives.hpp"

namespace checks {

namespace {

// A value meets its rule when it falls short by no more than this, m. The
// elevations come as sums of typed decimals (0.2 m typed is 0.19999... after
// the arithmetic), and the pipe at a ground point is interpolated along a
// straight line while the ground bends: a real survey gives depths a few
// hundredths of a millimetre short of the typed ones. Heights are surveyed
// and set out to the millimetre; half of one is no shortfall.
constexpr double kSlack = 0.0005;
// A slope is the same straight line through the ground points of a stretch:
// only the arithmetic's last bits are forgiven there, or a short stretch
// would pass well under its slope.
constexpr double kSlopeSlack = 1e-7;

// The new pipe at one point of a build, in metres. The depth is to the top of
// the outermost shell (the casing where there is one), its bottom one outer
// diameter lower, as the sheet's rows show them.
struct PipeAt {
    double along;  // chainage, m
    double depth;  // of the top below the ground
    double top, bottom;
};
PipeAt pipeAt(const model::PointRow& row) {
    const double outer = std::max(row[model::kPipe], row[model::kCasing]) / 1000.0;
    const double top = row[model::kRelief] - row[model::kDepth];
    return {row[model::kChainage] / 1000.0, row[model::kDepth], top, top - outer};
}

// "до водопровода": the crossed utility after "до".
constexpr std::array<const char*, model::kCrossKindCount> kToKind = {
    "водопровода",     "канализации",  "теплосети", "газопровода",
    "силового кабеля", "кабеля связи", "канала",    "пересекаемой сети"};

model::Rule clearanceRule(model::CrossKind kind) {
    switch (kind) {
        case model::CrossKind::PowerCable:
            return model::Rule::PowerCable;
        case model::CrossKind::CommCable:
            return model::Rule::CommCable;
        case model::CrossKind::Channel:
            return model::Rule::Channel;
        default:
            return model::Rule::Clearance;
    }
}

// Drops the arithmetic's last bits (0.15999999999999 -> 0.16) from what the
// dump shows.
double tidy(double v) {
    return model::roundHalfEven(v * 1e6) / 1e6;
}

class Texts {
  public:
    explicit Texts(char separator) : separator_(separator) {}
    // A number with `decimals` digits; more where the shortfall would
    // otherwise not show (2,2996 against 2,3000, not 2,30 against 2,30).
    std::string pair(double actual, double required, int decimals,
                     std::string& requiredText) const {
        std::string a = number(actual, decimals);
        requiredText = number(required, decimals);
        for (int more = decimals + 1; a == requiredText && more <= decimals + 4; ++more) {
            a = number(actual, more);
            requiredText = number(required, more);
        }
        return a;
    }
    std::string number(double v, int decimals) const {
        std::string s = model::fixedNumber(v, decimals, separator_);
        if (s == "-" + model::fixedNumber(0.0, decimals, separator_)) s.erase(0, 1);
        return s;
    }

  private:
    char separator_;
};

std::string pointText(std::size_t k) {
    return "Точка " + std::to_string(k + 1) + ": ";
}

void checkClearance(const model::CheckRules& rules, const model::Crossed& crossed,
                    model::CrossKind kind, const PipeAt& p, std::size_t k, const Texts& t,
                    std::vector<Finding>& out) {
    const double crossedTop = crossed.top->value;
    const double crossedBottom =
        crossedTop - (crossed.diameter ? crossed.diameter->value : 0.0) / 1000.0;
    std::string req;
    if (kind == model::CrossKind::Sewer && rules.pipe == model::PipeKind::Water) {
        if (auto above = model::ruleValue(rules, model::Rule::SewerBelow)) {
            // Potable water lies above the sewer, by the rule's distance in the clear.
            const double actual = p.bottom - crossedTop;
            if (actual >= *above - kSlack) return;
            const std::string a = t.pair(std::abs(actual), *above, 2, req);
            const std::string where = actual >= 0
                                          ? "труба выше канализации на " + a + " м в свету"
                                          : "низ трубы ниже верха канализации на " + a + " м";
            out.push_back({static_cast<int>(k + 1), "clearance", *above, tidy(actual),
                           pointText(k) + where + ", нужно выше не менее чем на " + req + " м"});
            return;
        }
    }
    const std::optional<double> required = model::ruleValue(rules, clearanceRule(kind));
    if (!required) return;
    const bool below = crossedTop + crossedBottom < p.top + p.bottom;
    const double gap = below ? p.bottom - crossedTop : crossedBottom - p.top;
    if (gap >= *required - kSlack) return;
    const char* to = kToKind[static_cast<std::size_t>(kind)];
    const std::string a = t.pair(std::abs(gap), *required, 2, req);
    const std::string what =
        gap >= 0 ? std::string("до ") + to + " " + a + " м по вертикали"
                 : std::string("труба заходит на сечение ") + to + " на " + a + " м";
    out.push_back({static_cast<int>(k + 1), "clearance", *required, tidy(gap),
                   pointText(k) + what + ", нужно не менее " + req + " м"});
}

void checkCover(const model::CheckRules& rules, const PipeAt& p, std::size_t k, const Texts& t,
                std::vector<Finding>& out) {
    std::string req;
    if (auto least = model::ruleValue(rules, model::Rule::Cover);
        least && p.depth < *least - kSlack) {
        const std::string a = t.pair(p.depth, *least, 2, req);
        out.push_back(
            {static_cast<int>(k + 1), "cover", *least, tidy(p.depth),
             pointText(k) + "глубина верха трубы " + a + " м, нужно не менее " + req + " м"});
    }
    if (auto most = model::ruleValue(rules, model::Rule::CoverMax);
        most && p.depth > *most + kSlack) {
        const std::string a = t.pair(p.depth, *most, 2, req);
        out.push_back(
            {static_cast<int>(k + 1), "cover", *most, tidy(p.depth),
             pointText(k) + "глубина верха трубы " + a + " м, нужно не более " + req + " м"});
    }
}

void checkDepth(const model::CheckRules& rules, const PipeAt& p, const model::PointRow& row,
                std::size_t k, const Texts& t, std::vector<Finding>& out) {
    const std::optional<double> frost = model::ruleValue(rules, model::Rule::Frost);
    if (!frost) return;
    const double allowance = model::ruleValue(rules, model::Rule::FrostAllowance).value_or(0.0);
    const double required = *frost + allowance;
    const double bottom = row[model::kRelief] - p.bottom;
    if (bottom >= required - kSlack) return;
    std::string req;
    const std::string a = t.pair(bottom, required, 2, req);
    out.push_back({static_cast<int>(k + 1), "depth", tidy(required), tidy(bottom),
                   pointText(k) + "низ трубы на глубине " + a + " м, нужно не менее " + req +
                       " м (промерзание " + t.number(*frost, 2) + " м и ещё " +
                       t.number(allowance, 2) + " м)"});
}

void checkSlope(double least, const PipeAt& a, const PipeAt& b, std::size_t k, const Texts& t,
                std::vector<Finding>& out) {
    const double run = b.along - a.along;
    if (!(run > 0.0)) return;  // two points at one place: no stretch to drain
    const double rise = std::abs(b.top - a.top);
    if (rise >= least * run - kSlopeSlack) return;
    const double slope = rise / run;
    std::string req;
    const std::string s = t.pair(slope, least, 4, req);
    out.push_back({static_cast<int>(k + 1), "slope", least, model::roundHalfEven(slope * 1e9) / 1e9,
                   "Точки " + std::to_string(k + 1) + "–" + std::to_string(k + 2) +
                       ": уклон трубы " + s + ", нужно не менее " + req});
}

}  // namespace

std::vector<std::optional<model::CrossKind>> layerKinds(const model::Workspace& ws,
                                                        const model::Piket& piket) {
    std::vector<std::optional<model::CrossKind>> kinds(piket.pointObjects.size());
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const cad::EntityRef& object = piket.pointObjects[k];
        if (object.isNull() || !object.exists()) continue;
        kinds[k] = model::kindOfLayer(ws.crossKinds, ws.controls, object.layer());
    }
    return kinds;
}

std::vector<Finding> check(const model::CheckRules& rules, const model::Piket& piket,
                           const std::vector<std::optional<model::CrossKind>>& layerKinds,
                           char decimalSeparator) {
    std::vector<Finding> out;
    const std::vector<model::PointRow>& built = piket.built;
    if (built.size() != piket.points.size()) return out;  // not built since the points changed
    const Texts t(decimalSeparator);
    const std::optional<double> slope = model::ruleValue(rules, model::Rule::Slope);
    for (std::size_t k = 0; k < built.size(); ++k) {
        const PipeAt p = pipeAt(built[k]);
        const model::Crossed& crossed = model::crossedAt(piket, k);
        if (crossed.top) {
            const model::CrossKind kind =
                crossed.kind ? *crossed.kind
                             : (k < layerKinds.size() ? layerKinds[k] : std::nullopt)
                                   .value_or(model::CrossKind::Other);
            checkClearance(rules, crossed, kind, p, k, t, out);
        }
        checkCover(rules, p, k, t, out);
        checkDepth(rules, p, built[k], k, t, out);
        if (slope && k + 1 < built.size()) checkSlope(*slope, p, pipeAt(built[k + 1]), k, t, out);
    }
    return out;
}

std::vector<Finding> checkPiketInWork(const model::Workspace& ws) {
    if (ws.workPiket < 0 || ws.workPiket >= ws.piketCount()) return {};
    const model::Piket& piket = ws.pikets[static_cast<std::size_t>(ws.workPiket)];
    return check(ws.checkRules, piket, layerKinds(ws, piket), ws.decimalSeparator);
}

}  // namespace checks
