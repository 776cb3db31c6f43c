// The profile run as a whole: its checks, the layers, the values computed
// into the picket in work and the order of the drawing steps.
#include "profile/build.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "cad/check.hpp"
#include "model/marks.hpp"
#include "model/primitives.hpp"
#include "model/route_path.hpp"
#include "model/units.hpp"
#include "model/value_checks.hpp"
#include "profile/steps.hpp"
#include "sheet/sheet.hpp"
#include "sheet/sheets.hpp"

namespace profile {

std::string TableNumberText(double value, char decimalSeparator) {
    std::string s = model::formatNumber(value, decimalSeparator);
    if (s.size() >= 3 && s[s.size() - 2] == ',') s += '0';
    return s;
}

namespace detail {

std::string Run::number(double v) const {
    return model::formatNumber(v, ws.decimalSeparator);
}

std::string Run::tableNumber(double v) const {
    return TableNumberText(v, ws.decimalSeparator);
}

std::string Run::datumNumber(double v) const {
    return number(v) + ws.decimalSeparator + '0';
}

cad::EntityRef Run::line(double x1, double y1, double x2, double y2) {
    drawn.push_back({std::min(x1, x2), std::max(x1, x2), std::min(y1, y2), std::max(y1, y2)});
    cad::EntityRef e = model::AddLineEntity(ws, x1, y1 + offsetY, x2, y2 + offsetY);
    ws.profileObjects.push_back(e);
    return e;
}

cad::EntityRef Run::text(const std::string& s, double x, double yy, double rotation,
                         double height) {
    // The box of the text as the table estimates it, turned about its
    // insertion point.
    const double length = textLength(s, height);
    const double c = std::cos(rotation), sn = std::sin(rotation);
    const double xs[4] = {0.0, length * c, length * c - height * sn, -height * sn};
    const double ys[4] = {0.0, length * sn, length * sn + height * c, height * c};
    drawn.push_back({x + *std::min_element(xs, xs + 4), x + *std::max_element(xs, xs + 4),
                     yy + *std::min_element(ys, ys + 4), yy + *std::max_element(ys, ys + 4)});
    cad::EntityRef e = model::AddTextEntity(ws, s, x, yy + offsetY, rotation, kWidthFactor, height);
    ws.profileObjects.push_back(e);
    return e;
}

std::string Run::note(const std::vector<std::string>& values, const std::vector<int>& points,
                      double x, int number) {
    std::vector<int> numbers;
    for (int i : points) {
        const int k = real ? (*real)[static_cast<std::size_t>(i)] : i;
        if (k >= 0) numbers.push_back(k);
    }
    if (number == 0) number = static_cast<int>(notes.size()) + 1;
    const std::string reference = std::to_string(number) + ")";
    std::string text =
        numbers.empty() ? reference : reference + " Точки " + pointNumbers(numbers) + ":";
    for (std::size_t k = 0; k < values.size(); ++k) {
        text += " " + values[k] + (k + 1 < values.size() ? ";" : "");
    }
    if (notes.size() < static_cast<std::size_t>(number))
        notes.resize(static_cast<std::size_t>(number));
    notes[static_cast<std::size_t>(number - 1)] = {std::move(text), x};
    return reference;
}

double textLength(const std::string& s, double height) {
    std::size_t n = 0;
    for (unsigned char ch : s) n += (ch & 0xC0) != 0x80;
    return 0.8 * kWidthFactor * height * static_cast<double>(n);
}

Rows rowsOf(model::Workspace& ws, const model::Piket& piket) {
    Rows rows;
    rows.pointObjects = piket.pointObjects;
    const std::vector<double> chainages =
        model::chainages(piket, model::millimetresPerUnit(ws.controls.planUnits));
    rows.points.reserve(piket.points.size());
    for (std::size_t k = 0; k < piket.points.size(); ++k) {
        const model::PiketPoint& p = piket.points[k];
        model::PointRow row = model::rowOf(p);
        row[model::kChainage] = chainages[k];
        rows.points.push_back(row);
        rows.crossed.push_back(p.crossed);
        rows.reliefKnown.push_back(p.relief.isTyped());
        rows.depthKnown.push_back(p.depth.has_value());
    }
    ws.piketLength = chainages.empty() ? 0.0 : chainages.back();
    return rows;
}

void interpolateMissing(Rows& rows, int value) {
    auto& pts = rows.points;
    std::vector<bool>& known = rows.known(value);
    const auto v = static_cast<std::size_t>(value);
    std::size_t last = 0;
    for (std::size_t b = 1; b < pts.size(); ++b) {
        if (!known[b]) continue;
        const double vLast = pts[last][v];
        const double chLast = pts[last][model::kChainage];
        const double span = pts[b][model::kChainage] - chLast;
        for (std::size_t k = last + 1; k < b; ++k) {
            // Known values at one chainage leave nothing to spread over: the
            // points between stand where the earlier one stands and take its value.
            pts[k][v] =
                span == 0.0
                    ? vLast
                    : (pts[b][v] - vLast) * (pts[k][model::kChainage] - chLast) / span + vLast;
            known[k] = true;
        }
        last = b;
    }
}

void pipeAtGroundPoints(Rows& rows) {
    auto& pts = rows.points;
    auto isGround = [&pts](std::size_t k) {
        return pts[k][model::kPointKind] == model::kGroundPoint;
    };
    std::size_t last = pts.size();  // the last point of the route before, none yet
    for (std::size_t b = 0; b < pts.size(); ++b) {
        if (isGround(b) || !rows.depthKnown[b]) continue;
        if (last < b) {
            const double topLast = pts[last][model::kRelief] - pts[last][model::kDepth];
            const double topB = pts[b][model::kRelief] - pts[b][model::kDepth];
            const double chLast = pts[last][model::kChainage];
            const double span = pts[b][model::kChainage] - chLast;
            for (std::size_t k = last + 1; k < b; ++k) {
                if (!isGround(k) || rows.depthKnown[k]) continue;
                const double top =
                    span == 0.0
                        ? topLast
                        : topLast + (topB - topLast) * (pts[k][model::kChainage] - chLast) / span;
                pts[k][model::kDepth] = pts[k][model::kRelief] - top;
                rows.depthKnown[k] = true;
            }
        }
        last = b;
    }
}

std::optional<double> datumLevel(const Rows& rows) {
    double lowest = 1000000.0;
    bool any = false;
    // Every height is known by now (typed or interpolated).
    for (const model::PointRow& p : rows.points) {
        any = true;
        if (p[model::kRelief] < lowest) lowest = p[model::kRelief];
    }
    if (!any) return std::nullopt;
    return std::trunc(lowest - 5.0);
}

namespace {

bool anyKnownRelief(const model::Piket& piket) {
    for (const model::PiketPoint& p : piket.points) {
        if (p.relief.isTyped()) return true;
    }
    return false;
}

// The points (0-based) whose ground height (or depth) has no use: a point
// never visited in the editor ("as the previous point", relief only), or
// "automatic" without a known value on both sides to interpolate from.
std::vector<int> unusablePoints(const model::Piket& piket, bool depth) {
    auto known = [depth](const model::PiketPoint& p) {
        return depth ? p.depth.has_value() : p.relief.isTyped();
    };
    auto asPrevious = [depth](const model::PiketPoint& p) {
        return !depth && p.relief.rule == model::Relief::Rule::AsPrevious;
    };
    const int n = piket.pointCount();
    int firstKnown = n, lastKnown = -1;
    for (int i = 0; i < n; ++i) {
        if (!known(piket.points[static_cast<std::size_t>(i)])) continue;
        firstKnown = std::min(firstKnown, i);
        lastKnown = i;
    }
    std::vector<int> out;
    for (int i = 0; i < n; ++i) {
        const model::PiketPoint& p = piket.points[static_cast<std::size_t>(i)];
        if (asPrevious(p)) {
            out.push_back(i);
        } else if (!known(p) && (n <= 2 || i < firstKnown || i > lastKnown)) {
            out.push_back(i);
        }
    }
    return out;
}

}  // namespace

std::string pointNumbers(const std::vector<int>& points) {
    std::string out;
    for (std::size_t k = 0; k < points.size();) {
        std::size_t run = k;
        while (run + 1 < points.size() && points[run + 1] == points[run] + 1) ++run;
        if (!out.empty()) out += ", ";
        out += std::to_string(points[k] + 1);
        if (run > k) out += (run == k + 1 ? ", " : "–") + std::to_string(points[run] + 1);
        k = run + 1;
    }
    return out;
}

namespace {

std::string missingValues(const std::vector<int>& points, const char* what, const char* todo) {
    std::string where = points.size() == 1 ? " в точке " : " в точках ";
    return std::string("Нет ") + what + where + pointNumbers(points) + ": " + todo;
}

// The refusal of a run that could only draw garbage; nullopt when it may go on.
std::optional<std::string> refusal(model::Workspace& ws) {
    model::Piket* piket = ws.piketInWork();
    if (!piket || !ws.sheetDoc) {
        return "Нет пикета в работе: сначала возьмите пикет в работу.";
    }
    if (piket->pointCount() < 2) {
        return "В пикете в работе меньше двух точек: профиль построить нельзя.";
    }
    const model::SheetOptions& o = ws.sheetOptions;
    if (o.horizontalScale != 500.0 && o.horizontalScale != 1000.0 && o.horizontalScale != 2000.0) {
        return "Горизонтальный масштаб листа может быть только 1:500, 1:1000 или 1:2000.";
    }
    if (o.verticalScale != 100.0 && o.verticalScale != 200.0) {
        return "Вертикальный масштаб листа может быть только 1:100 или 1:200.";
    }
    // Points the doors let in lie where lengths still hold; one that came in
    // some other way is refused here, before the rows are drawn.
    const model::PlanUnits units = ws.controls.planUnits;
    for (const model::PiketPoint& p : piket->points) {
        if (!model::plausiblePlace(p.x, p.y, units)) {
            return "Точка пикета лежит дальше 100 000 км от начала координат: профиль построить "
                   "нельзя.";
        }
    }
    // The picket row has a label for every 100 m: a route of a million
    // kilometres would fill the memory with them.
    if (model::chainages(*piket, model::millimetresPerUnit(units)).back() >
        model::kLongestPiketMm) {
        return "Пикет длиннее 1000 км: профиль построить нельзя. Проверьте единицы плана и "
               "точки пикета.";
    }
    if (!anyKnownRelief(*piket)) {
        return "Ни у одной точки пикета нет отметки земли: задайте хотя бы одну отметку "
               "в параметрах пересечений.";
    }
    if (o.datum && !(model::kReliefLimit.holds(*o.datum) && *o.datum == std::trunc(*o.datum))) {
        return "Условный горизонт задаётся целым числом метров.";
    }
    // A height never given would be drawn as ground at -2 m or -1 m and pull
    // the datum down with it.
    struct Needed {
        bool depth;
        const char* what;
        const char* todo;
    };
    const Needed needed[] = {
        {false, "отметки земли",
         "откройте параметры пересечений, пройдите эти точки и задайте отметку земли (или "
         "«Авто» для точки между двумя точками с отметками), затем постройте профиль снова."},
        {true, "глубины верха трубопровода",
         "задайте глубину в этих точках (автоматическая глубина берётся только между двумя "
         "точками с известной глубиной), затем постройте профиль снова."},
    };
    for (const Needed& n : needed) {
        std::vector<int> points = unusablePoints(*piket, n.depth);
        if (!points.empty()) return missingValues(points, n.what, n.todo);
    }
    return std::nullopt;
}

// A long picket adds some thirty entities a point: room for them is made once
// instead of the entity table being moved again and again as it grows. A table
// of a hundred megabytes is filled page by page, and on a virtual machine every
// small page costs a trap: ask for large pages where the system offers them.
void reserveEntities(cad::Drawing& doc, int points) {
    constexpr std::size_t kPerPoint = 32;
    const std::size_t more = kPerPoint * static_cast<std::size_t>(points) + 64;
    cad::DrawingData& data = doc.mutableData();
    if (data.entities.capacity() < data.entities.size() + more) {
        data.entities.reserve(data.entities.size() + more);
#ifdef __linux__
        const auto begin = reinterpret_cast<std::uintptr_t>(data.entities.data());
        const std::uintptr_t end = begin + data.entities.capacity() * sizeof(cad::Entity);
        const std::uintptr_t page = 4096;
        const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
        if (end > first + page) {
            madvise(reinterpret_cast<void*>(first), (end - first) & ~(page - 1), MADV_HUGEPAGE);
        }
#endif
    }
    data.modelSpace.reserve(data.modelSpace.size() + more);
    data.entityByHandle.reserve(data.entityByHandle.size() + more);
}

// A sheet's own datum: 5 m under its lowest ground, as the picket's is, but
// raised, when its highest ground would stand above the profile area, as far
// as the lowest ground or pipe allows (they stay on or above the datum line).
double fittingDatum(const Rows& part, double up, double fallback) {
    const std::optional<double> datum = datumLevel(part);
    if (!datum) return fallback;
    double lowest = 0.0, highest = 0.0;
    bool any = false;
    for (const model::PointRow& p : part.points) {
        const double g = p[model::kRelief];
        const double low = std::min(g, g - p[model::kDepth]);  // the pipe top counts too
        lowest = any ? std::min(lowest, low) : low;
        highest = any ? std::max(highest, g) : g;
        any = true;
    }
    const double room = profileRoom(up);
    double d = *datum;
    if (highest - d > room) d = std::min(std::ceil(highest - room), std::floor(lowest));
    return d;
}

// The datum a sheet starts from: the user's, the sheet's own or the picket's.
void startDatum(Run& run, const model::SheetOptions& o) {
    run.datumByHand = o.datum.has_value();
    run.datum = run.ws.horizonLevel;
    if (!o.datum && o.datumPerSheet) run.datum = fittingDatum(run.piket, run.up, run.datum);
}

// The steps that draw one sheet, in the order of the run.
void drawSheet(Run& run) {
    run.steps = datumSteps(run);
    run.datum = run.steps.front().datum;
    drawDatumLabel(run);
    drawElevationRows(run);
    drawProfileLines(run);
    run.ws.profileBuilt = true;
    drawPlanMarks(run);
    drawDistanceRow(run);
    drawSlopeRow(run);
    drawPiketRow(run);
    drawBendAngles(run);
    drawCrossedUtilities(run);
    drawNotes(run);
}

// The points of one sheet's part of the picket, from chainage `start` to
// `end`; where a sheet ends between two points, a point of the sheet's end is
// put there with the values the line between them has.
struct SheetPart {
    Rows piket;
    std::vector<int> real;  // index into the picket, -1 for a sheet's end
};

SheetPart partOf(const Rows& p, double start, double end) {
    SheetPart part;
    auto add = [&part, &p](const model::PointRow& row, const cad::EntityRef& object, int real) {
        part.piket.points.push_back(row);
        part.piket.pointObjects.push_back(object);
        part.real.push_back(real);
        // The crossed utility of a picket's point goes with it onto its sheet.
        part.piket.crossed.push_back(real >= 0 ? p.crossed[static_cast<std::size_t>(real)]
                                               : model::Crossed{});
    };
    auto cut = [&](std::size_t i, double at) {
        const model::PointRow& a = p.points[i];
        const model::PointRow& b = p.points[i + 1];
        const double t = (at - a[model::kChainage]) / (b[model::kChainage] - a[model::kChainage]);
        model::PointRow row = a;
        for (int v : {model::kX, model::kY, model::kRelief, model::kDepth}) {
            row[static_cast<std::size_t>(v)] += (b[static_cast<std::size_t>(v)] - a[v]) * t;
        }
        row[model::kChainage] = at;
        row[model::kPointKind] = model::kSheetBreak;
        row[model::kSurveyed] = 0.0;
        add(row, cad::EntityRef{}, -1);
    };
    const std::size_t n = p.points.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double ch = p.points[i][model::kChainage];
        if (ch >= start && ch <= end) add(p.points[i], p.pointObjects[i], static_cast<int>(i));
        if (i + 1 < n) {
            const double next = p.points[i + 1][model::kChainage];
            if (ch < start && next > start) cut(i, start);
            if (ch < end && next > end && ch >= start) cut(i, end);
            if (ch < start && next > end) cut(i, end);
        }
    }
    return part;
}

void addLayers(model::Workspace& ws) {
    cad::Drawing& doc = *ws.sheetDoc;
    for (const auto& list : ws.controls.typeLists) {
        for (const std::string& name : list) {
            if (!name.empty()) doc.addLayer(name);
        }
    }
    doc.addLayer("Vline-Kernavisto");
}

}  // namespace
}  // namespace detail

void rebuildLive(model::Workspace& ws) {
    if (detail::refusal(ws)) return;
    build(ws);
}

void build(model::Workspace& ws) {
    using namespace detail;
    // The runner shows the busy indicator; let it be painted before the work.
    ws.ui.processEvents();
    if (std::optional<std::string> why = refusal(ws)) {
        ws.ui.message(*why);
        return;
    }
    model::Piket& typed = *ws.piketInWork();
    // Taking a picket into work gave it its sheet; every point has its object
    // (a null one for a point the editor added).
    KV_ASSERT(ws.sheetDoc != nullptr);
    KV_ASSERT(typed.pointObjects.size() == typed.points.size());
    // What the user typed stays as typed: the run computes on rows of it.
    Rows piket = rowsOf(ws, typed);

    if (!ws.profileBuilt) addLayers(ws);
    // The pipe line goes on "Трасса"; a plan without that layer gets it.
    ws.sheetDoc->addLayer("Трасса");

    // The profile drawn before goes, but for what was changed by hand.
    const model::Removal removed =
        typed.key.empty() ? model::Removal{}
                          : model::eraseMarked(*ws.sheetDoc, model::kProfileMark, typed.key);
    const std::size_t firstDrawn = ws.sheetDoc->data().modelSpace.size();

    ws.profileObjects.clear();
    ws.profileObjects.reserve(32 * static_cast<std::size_t>(piket.pointCount()));
    reserveEntities(*ws.sheetDoc, piket.pointCount());
    if (piket.pointCount() > 2) {
        interpolateMissing(piket, model::kRelief);
        pipeAtGroundPoints(piket);
        interpolateMissing(piket, model::kDepth);
    }
    ws.horizonLevel = ws.sheetOptions.datum ? *ws.sheetOptions.datum : *datumLevel(piket);

    const model::SheetOptions& o = ws.sheetOptions;
    const std::vector<sheet::SheetSpan> spans = sheet::sheetSpans(ws.piketLength, o);
    ws.sheetCount = static_cast<int>(spans.size());
    if (spans.size() == 1) {
        Run run{ws, piket};
        run.along = sheet::alongFactor(o);
        run.up = sheet::upUnitsPerMetre(o);
        startDatum(run, o);
        drawSheet(run);
    } else {
        std::vector<cad::EntityRef> pointLines(piket.points.size());
        for (std::size_t s = 0; s < spans.size(); ++s) {
            const sheet::SheetSpan& span = spans[s];
            const double along = sheet::alongFactor(o);
            if (s > 0) {
                sheet::drawBlankSheet(ws, span.offsetY);
                sheet::drawSheetGrid(ws, (span.end - span.start) * along, span.offsetY);
            }
            SheetPart part = partOf(piket, span.start, span.end);
            Run run{ws, part.piket};
            run.real = &part.real;
            run.start = span.start;
            run.along = along;
            run.up = sheet::upUnitsPerMetre(o);
            run.offsetY = span.offsetY;
            startDatum(run, o);
            run.continues = s > 0;
            drawSheet(run);
            for (std::size_t k = 0; k < part.real.size(); ++k) {
                if (part.real[k] >= 0) {
                    pointLines[static_cast<std::size_t>(part.real[k])] = ws.pointLines[k];
                }
            }
        }
        ws.pointLines = std::move(pointLines);
    }
    if (o.checkMarks) drawCheckMarks(ws, typed, piket.points);
    if (!typed.key.empty()) {
        model::markEntities(*ws.sheetDoc, firstDrawn, model::kProfileMark, typed.key);
    }
    typed.built = std::move(piket.points);
    if (removed.kept > 0) {
        ws.ui.notice(
            "Объектов прежнего профиля, изменённых вручную: " + std::to_string(removed.kept) +
            ". Они оставлены в чертеже; удалите их сами, если они не нужны.");
    }
    ws.ui.focusMainWindow();
}

}  // namespace profile
