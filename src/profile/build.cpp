// The profile run as a whole: its checks, the layers, the values computed
// into the picket in work and the order of the drawing steps.
#include "profile/build.hpp"

#include <cmath>
#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "model/primitives.hpp"
#include "profile/steps.hpp"

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

cad::EntityRef Run::line(double x1, double y1, double x2, double y2) {
    cad::EntityRef e = model::AddLineEntity(ws, x1, y1, x2, y2);
    ws.profileObjects.push_back(e);
    return e;
}

cad::EntityRef Run::text(const std::string& s, double x, double yy, double rotation,
                         double height) {
    cad::EntityRef e = model::AddTextEntity(ws, s, x, yy, rotation, kWidthFactor, height);
    ws.profileObjects.push_back(e);
    return e;
}

bool onLayerList(const cad::EntityRef& object, const std::vector<std::string>& names) {
    if (object.isNull()) return false;
    for (const std::string& name : names) {
        if (object.layer() == name) return true;
    }
    return false;
}

void computeChainages(model::Workspace& ws, model::Piket& piket) {
    ws.piketLength = 0.0;
    for (std::size_t i = 0; i < piket.points.size(); ++i) {
        if (i > 0) {
            double dx = piket.points[i][model::kX] - piket.points[i - 1][model::kX];
            double dy = piket.points[i][model::kY] - piket.points[i - 1][model::kY];
            ws.piketLength += std::sqrt(dx * dx + dy * dy);
        }
        piket.points[i][model::kChainage] = ws.piketLength;
    }
}

void interpolateMissing(model::Piket& piket, int value) {
    auto& pts = piket.points;
    const auto v = static_cast<std::size_t>(value);
    std::size_t last = 0;
    for (std::size_t b = 1; b < pts.size(); ++b) {
        if (pts[b][v] == model::kAuto) continue;
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
        }
        last = b;
    }
}

void pipeAtGroundPoints(model::Piket& piket) {
    auto& pts = piket.points;
    auto isGround = [&pts](std::size_t k) {
        return pts[k][model::kPointKind] == model::kGroundPoint;
    };
    std::size_t last = pts.size();  // the last point of the route before, none yet
    for (std::size_t b = 0; b < pts.size(); ++b) {
        if (isGround(b) || pts[b][model::kDepth] == model::kAuto) continue;
        if (last < b) {
            const double topLast = pts[last][model::kRelief] - pts[last][model::kDepth];
            const double topB = pts[b][model::kRelief] - pts[b][model::kDepth];
            const double chLast = pts[last][model::kChainage];
            const double span = pts[b][model::kChainage] - chLast;
            for (std::size_t k = last + 1; k < b; ++k) {
                if (!isGround(k) || pts[k][model::kDepth] != model::kAuto) continue;
                const double top =
                    span == 0.0
                        ? topLast
                        : topLast + (topB - topLast) * (pts[k][model::kChainage] - chLast) / span;
                pts[k][model::kDepth] = pts[k][model::kRelief] - top;
            }
        }
        last = b;
    }
}

std::optional<double> datumLevel(const model::Piket& piket) {
    double lowest = 1000000.0;
    bool any = false;
    for (const model::PointRow& p : piket.points) {
        if (p[model::kRelief] == model::kAuto) continue;
        any = true;
        if (p[model::kRelief] < lowest) lowest = p[model::kRelief];
    }
    if (!any) return std::nullopt;
    return std::trunc(lowest - 5.0);
}

namespace {

bool anyKnownRelief(const model::Piket& piket) {
    for (const model::PointRow& p : piket.points) {
        if (p[model::kRelief] != model::kAuto) return true;
    }
    return false;
}

// The refusal of a run that could only draw garbage; nullptr when it may go on.
const char* refusal(model::Workspace& ws) {
    model::Piket* piket = ws.piketInWork();
    if (!piket || !ws.sheetDoc) return "Нет пикета в работе: сначала возьмите пикет в работу.";
    if (piket->pointCount() < 2) {
        return "В пикете в работе меньше двух точек: профиль построить нельзя.";
    }
    if (!anyKnownRelief(*piket)) {
        return "Ни у одной точки пикета нет отметки земли: задайте хотя бы одну отметку "
               "в параметрах пересечений.";
    }
    return nullptr;
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

void build(model::Workspace& ws) {
    using namespace detail;
    // The runner shows the busy indicator; let it be painted before the work.
    ws.ui.processEvents();
    if (const char* why = refusal(ws)) {
        ws.ui.message(why);
        return;
    }
    model::Piket& piket = *ws.piketInWork();

    if (ws.profileBuilt == 0) addLayers(ws);
    // The pipe line goes on "Трасса"; a plan without that layer gets it.
    ws.sheetDoc->addLayer("Трасса");

    ws.profileObjects.clear();
    ws.profileObjects.reserve(32 * static_cast<std::size_t>(piket.pointCount()));
    reserveEntities(*ws.sheetDoc, piket.pointCount());
    computeChainages(ws, piket);
    if (piket.pointCount() > 2) {
        interpolateMissing(piket, model::kRelief);
        pipeAtGroundPoints(piket);
        interpolateMissing(piket, model::kDepth);
    }
    ws.horizonLevel = *datumLevel(piket);

    Run run{ws, piket};
    drawDatumLabel(run);
    drawElevationRows(run);
    drawProfileLines(run);
    ws.profileBuilt = 1;
    drawPlanMarks(run);
    drawDistanceRow(run);
    drawSlopeRow(run);
    drawPiketRow(run);
    drawBendAngles(run);
    ws.ui.focusMainWindow();
}

}  // namespace profile
