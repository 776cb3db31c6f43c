#include "model/primitives.hpp"
#include "model/units.hpp"

#include "cad/number_text.hpp"
#include "cad/text_util.hpp"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <numbers>

namespace model {

namespace {

std::string integerText(long long value) {
    char buf[24];
    return {buf, std::to_chars(buf, buf + sizeof buf, value).ptr};
}

}  // namespace

char systemDecimalSeparator() {
    // The separator of the user's number format: LC_NUMERIC from the environment,
    // read without changing the program's own C locale.
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    std::string keep = saved ? saved : "C";
    char sep = '.';
    if (std::setlocale(LC_NUMERIC, "")) {
        const std::lconv* lc = std::localeconv();
        if (lc && lc->decimal_point &&
            (lc->decimal_point[0] == ',' || lc->decimal_point[0] == '.')) {
            sep = lc->decimal_point[0];
        }
    }
    std::setlocale(LC_NUMERIC, keep.c_str());
    return sep;
}

std::string FixDecimalText(std::string_view text, char decimalSeparator) {
    std::string out(text);
    for (char& c : out) {
        if (c == ',' || c == '.') c = decimalSeparator;
    }
    return out;
}

std::optional<double> parseNumber(std::string_view text, char decimalSeparator) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c == decimalSeparator) {
            s += '.';
        } else if (c == '.' || c == ',') {
            return std::nullopt;  // the other separator is not part of a number here
        } else {
            s += c;
        }
    }
    std::string_view v = s;
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    if (v.empty() || v.front() == '+') return std::nullopt;
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    if (ec != std::errc() || ptr != v.data() + v.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    // from_chars accepts "inf"/"nan" spellings and hex-less forms only; a lone "."
    // or "-" fails above.
    return value;
}

double readNumberField(std::string_view text, char decimalSeparator, std::string_view fieldName) {
    auto v = parseNumber(FixDecimalText(text, decimalSeparator), decimalSeparator);
    if (!v) {
        throw cad::Error("«" + cad::validUtf8(text) + "» не является числом (поле «" +
                         std::string(fieldName) + "»)");
    }
    return *v;
}

double readNumberField(std::string_view text, char decimalSeparator, std::string_view fieldName,
                       ValueLimit limit) {
    double v = readNumberField(text, decimalSeparator, fieldName);
    if (!limit.holds(v)) {
        throw cad::Error(outOfLimitText(cad::validUtf8(text), std::string(fieldName), limit));
    }
    return v;
}

std::string fixedNumber(double value, int decimals, char decimalSeparator) {
    std::string s = cad::fixedText(value, decimals);
    std::replace(s.begin(), s.end(), '.', decimalSeparator);
    return s;
}

std::string formatNumber(double value, char decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0.0) return "0";
    // 15 significant digits, then trailing zeros dropped. The exponent is the
    // one after rounding to those digits, so 999999999999999.9 counts as 1E15.
    char buf[64];
    const auto sci = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    const std::string_view digits(buf, static_cast<std::size_t>(sci.ptr - buf));
    const std::size_t e = digits.find('e');
    std::string_view exponentText = digits.substr(e + 1);
    if (!exponentText.empty() && exponentText.front() == '+') exponentText.remove_prefix(1);
    int exponent = 0;
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);

    auto dropTrailingZeros = [](std::string& s) {
        if (s.find('.') == std::string::npos) return;
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    };
    std::string out;
    if (exponent < -5 || exponent >= 15) {
        out.assign(digits.substr(0, e));
        dropTrailingZeros(out);
        out += 'E';
        out += integerText(exponent);
    } else {
        const int decimals = std::max(0, 14 - exponent);
        const auto fixed =
            std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
        out.assign(buf, fixed.ptr);
        dropTrailingZeros(out);
        if (out == "-0") out = "0";
    }
    for (char& c : out) {
        if (c == '.') c = decimalSeparator;
    }
    return out;
}

double roundHalfEven(double x) {
    return std::nearbyint(x);
}

std::int64_t FourDigitRound(double x) {
    double rx = roundHalfEven(x);
    if (!std::isfinite(rx) || std::fabs(rx) >= 9.2e18) {
        throw cad::Error("Координата вне допустимого диапазона: " + formatNumber(x, '.'));
    }
    auto r = static_cast<std::int64_t>(rx);
    std::string s = integerText(r);
    auto length = static_cast<int>(s.size());
    if (length <= 4) return r;
    double p = std::pow(10.0, length - 4);
    return static_cast<std::int64_t>(roundHalfEven(roundHalfEven(x / p) * p));
}

bool onLayerList(std::string_view layer, const std::vector<std::string>& list) {
    return std::find(list.begin(), list.end(), layer) != list.end();
}

bool onLayerList(const cad::EntityRef& object, const std::vector<std::string>& list) {
    return !object.isNull() && onLayerList(object.layer(), list);
}

namespace {

cad::Drawing& sheetDrawing(Workspace& ws) {
    if (!ws.sheetDoc) throw cad::Error("Нет чертежа для листа профиля: возьмите пикет в работу");
    return *ws.sheetDoc;
}

}  // namespace

cad::EntityRef AddLineEntity(Workspace& ws, double x1, double y1, double x2, double y2) {
    cad::EntityRef line = sheetDrawing(ws).addLine(sheetPoint(ws, x1, y1), sheetPoint(ws, x2, y2));
    line.setLayer("Kernavisto");
    line.setVisible(true);
    return line;
}

cad::EntityRef AddTextEntity(Workspace& ws, const std::string& text, double x, double y,
                             double rotation, double widthFactor, double height) {
    cad::EntityRef t =
        sheetDrawing(ws).addText(text, sheetPoint(ws, x, y), height * sheetScale(ws));
    t.setVisible(true);
    t.setRotation(rotation * 180.0 / std::numbers::pi);
    t.setScaleFactor(widthFactor);
    return t;
}

}  // namespace model
