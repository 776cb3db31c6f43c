// The picket panel's actions: a picket by its end points, a picket by
// sequential selection of its elements, and deleting a row of the picket list.
// A failed or cancelled action leaves no picket and no row behind, shows the
// hidden objects again and hides the busy indicator.
#include <cmath>

#include "cad/check.hpp"
#include "model/marks.hpp"
#include "model/runner.hpp"
#include "pickets/detail.hpp"
#include "pickets/pickets.hpp"

namespace pickets {

namespace detail {

RouteOnlyView::RouteOnlyView(model::Workspace& ws) : ws_(ws) {
    model::hideForPicking(ws_);
}

RouteOnlyView::~RouteOnlyView() {
    showAll();
}

void RouteOnlyView::showAll() {
    model::showAfterPicking(ws_);
}

namespace {

// Ends meet when X and Y round to the same whole numbers.
bool meet(cad::Point3 a, cad::Point3 b) {
    return std::nearbyint(a.x) == std::nearbyint(b.x) && std::nearbyint(a.y) == std::nearbyint(b.y);
}

void takePlace(cad::Point3& p, cad::Point3 from) {
    p.x = from.x;
    p.y = from.y;
}

}  // namespace

Ends sequenceEnds(const std::vector<cad::EntityRef>& el) {
    std::size_t n = el.size();
    KV_ASSERT(!el.empty());
    Ends ends{el[0].startPoint(), el[0].endPoint()};
    if (n > 1) {
        if (meet(ends.start, el[1].startPoint())) takePlace(ends.start, ends.end);
        if (meet(ends.start, el[1].endPoint())) takePlace(ends.start, ends.end);
        ends.end = el[n - 1].startPoint();
        cad::Point3 last = el[n - 1].endPoint();
        if (meet(ends.end, el[n - 2].startPoint())) takePlace(ends.end, last);
        if (meet(ends.end, el[n - 2].endPoint())) takePlace(ends.end, last);
    }
    return ends;
}

void appendPiket(model::Workspace& ws, model::Piket piket) {
    piket.key = model::piketKey(piket);
    ws.pikets.push_back(std::move(piket));
    ws.controls.piketRows.push_back(
        {"Пикет " + std::to_string(ws.piketCount()), ws.piketCount() - 1});
}

}  // namespace detail

namespace {

// Whether the object can be an element of a picket: it has a start and an end point.
bool hasEnds(const cad::EntityRef& object) {
    try {
        object.startPoint();
        object.endPoint();
        return true;
    } catch (const cad::Error&) {
        return false;
    }
}

}  // namespace

std::vector<cad::EntityRef> routeElements(const model::Workspace& ws) {
    const std::vector<std::string>& layers = ws.controls.typeList(model::TypeList::Route);
    std::vector<cad::EntityRef> routeList;
    if (layers.empty()) return routeList;
    for (const cad::EntityRef& object : ws.objectList) {
        // Route layers also hold labels, well blocks and marks: only what
        // has two ends can be a stretch of the route.
        if (detail::onLayerList(object.layer(), layers) && hasEnds(object))
            routeList.push_back(object);
    }
    return routeList;
}

std::optional<RouteEnd> routeEndNear(const std::vector<cad::EntityRef>& routeList, cad::Point3 p,
                                     double tolerance) {
    std::optional<RouteEnd> best;
    double bestDistance = tolerance;
    for (const cad::EntityRef& element : routeList) {
        for (cad::Point3 end : {element.startPoint(), element.endPoint()}) {
            const double d = cad::planeDistance(end, p);
            if (d <= bestDistance) {
                bestDistance = d;
                best = RouteEnd{{end.x, end.y, 0.0}, element};
            }
        }
    }
    return best;
}

void addByEndPoints(model::Workspace& ws) {
    detail::readInitialValues(ws);  // a bad field stops the action before anything changes

    detail::Busy busy(ws.ui);
    ws.ui.processEvents();
    const model::Controls& c = ws.controls;
    const std::vector<cad::EntityRef> routeList = routeElements(ws);
    detail::RouteOnlyView view(ws);

    busy.hide();
    cad::Point3 start, end;
    bool answered = true;
    // A point typed, or picked without snap, just off an end of the route
    // takes that end.
    auto onRoute = [&ws, &routeList](cad::Point3 p) {
        if (auto near = routeEndNear(routeList, p, ws.endSnapTolerance)) return near->point;
        return p;
    };
    const std::vector<std::string>& routeLayers = c.typeList(model::TypeList::Route);
    try {
        ws.ui.focusDrawing();
        start = onRoute(ws.prompter.getEndPoint(kPromptStart, routeLayers));
        ws.ui.focusDrawing();
        end = onRoute(ws.prompter.getEndPoint(kPromptEnd, routeLayers));
    } catch (const cad::Cancelled&) {
        answered = false;
    }
    busy.show();

    std::optional<detail::RouteChain> chain;
    if (answered) {
        chain = detail::findRouteChain(routeList, start, end, detail::touchReach(c.planUnits));
    }
    if (!chain) {
        view.showAll();
        busy.hide();
        ws.ui.message(kStartNotFound);
        return;
    }
    detail::reverseInDrawing(chain->reversed);

    model::Piket piket;
    piket.elements = std::move(chain->elements);
    BuildPiketPoints(ws, piket, start, end, 1.0);
    detail::appendPiket(ws, std::move(piket));

    view.showAll();
    busy.hide();
}

void addBySequence(model::Workspace& ws) {
    detail::InitialValues values = detail::readInitialValues(ws);

    detail::Busy busy(ws.ui);
    ws.ui.processEvents();
    detail::RouteOnlyView view(ws);
    busy.hide();

    model::Piket piket;
    // The elements taken so far stay marked while the selection goes on,
    // and no longer once it ends, however it ends.
    struct Marks {
        cad::Prompter& prompter;
        ~Marks() { prompter.markPicked({}); }
    } marks{ws.prompter};
    ws.ui.focusDrawing();
    for (;;) {
        cad::PickedEntity picked;
        try {
            picked = ws.prompter.getEntity(sequencePrompt(piket.elementCount()));
        } catch (const cad::Cancelled&) {
            break;
        }
        if (!hasEnds(picked.entity)) {
            ws.prompter.note(kNotAnElement);
            continue;
        }
        piket.elements.push_back(picked.entity);
        ws.prompter.markPicked(piket.elements);
    }
    ws.prompter.markPicked({});
    busy.show();
    ws.ui.processEvents();

    if (!piket.elements.empty()) {
        auto [start, end] = detail::sequenceEnds(piket.elements);
        BuildPiketPoints(ws, piket, start, end, values.depth);
        detail::appendPiket(ws, std::move(piket));
    }

    view.showAll();
    ws.ui.focusMainWindow();
    busy.hide();
}

void deleteSelectedRow(model::Workspace& ws) {
    model::Controls& c = ws.controls;
    if (c.selectedRow < 0 || c.selectedRow >= static_cast<int>(c.piketRows.size())) return;
    c.piketRows.erase(c.piketRows.begin() + c.selectedRow);
    c.selectedRow = -1;
}

}  // namespace pickets
