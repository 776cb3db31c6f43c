// "Замечания на листе": a red ring where the pipe passes each point with a
// finding of the checks, and the finding's number beside it. Drawn by the
// profile run among its own entities, so that the next build replaces them.
#include <string>

#include "cad/entity.hpp"
#include "checks/checks.hpp"
#include "model/units.hpp"
#include "profile/steps.hpp"
#include "sheet/sheets.hpp"

namespace profile::detail {

namespace {

constexpr double kRingRadius = 2500.0;  // layout mm: 5 mm on paper at 1:500
constexpr int kRed = 1;                 // colour index

}  // namespace

void drawCheckMarks(model::Workspace& ws, const model::Piket& typed,
                    const std::vector<model::PointRow>& computed) {
    model::Piket checked = typed;
    checked.built = computed;
    const std::vector<checks::Finding> findings =
        checks::check(ws.checkRules, checked, checks::layerKinds(ws, checked), ws.decimalSeparator);
    const double scale = model::sheetScale(ws);
    const double up = sheet::upUnitsPerMetre(ws.sheetOptions) * scale;
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const std::size_t k = static_cast<std::size_t>(findings[i].point - 1);
        if (k >= ws.pointLines.size() || !ws.pointLines[k].exists()) continue;
        // The point's line rises from the datum to the ground; the pipe top
        // lies its depth below the line's upper end.
        const cad::Point3 a = ws.pointLines[k].startPoint();
        const cad::Point3 b = ws.pointLines[k].endPoint();
        const double ground = a.y > b.y ? a.y : b.y;
        const cad::Point3 at{a.x, ground - computed[k][model::kDepth] * up, 0.0};
        cad::Entity ring;
        ring.dxfType = "CIRCLE";
        ring.geom = cad::CircleGeom{at, kRingRadius * scale};
        ring.layer = "Kernavisto";
        ring.color = kRed;
        ws.profileObjects.push_back(ws.sheetDoc->addEntity(std::move(ring)));
        cad::EntityRef number = ws.sheetDoc->addText(
            std::to_string(i + 1), {at.x + kRingRadius * scale, at.y + kRingRadius * scale, 0.0},
            kTextHeight * scale);
        number.setLayer("Kernavisto");
        number.setColor(kRed);
        ws.profileObjects.push_back(number);
    }
}

}  // namespace profile::detail
