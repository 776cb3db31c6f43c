#include "model/runner.hpp"

#include <exception>

#include "model/primitives.hpp"

namespace model {

namespace {

// Keeps the running flag and the busy indicator right however the action ends.
class RunningGuard {
  public:
    explicit RunningGuard(Workspace& ws) : ws_(ws) {
        ws_.operationRunning = true;
        ws_.ui.setBusy(true);
    }
    ~RunningGuard() {
        ws_.operationRunning = false;
        ws_.ui.setBusy(false);
    }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;

  private:
    Workspace& ws_;
};

}  // namespace

bool runOperation(Workspace& ws, const std::function<void()>& operation) {
    if (ws.operationRunning) return false;
    RunningGuard guard(ws);
    bool completed = false;
    try {
        operation();
        completed = true;
    } catch (const cad::Cancelled&) {
        // Esc at a prompt: the action simply ends.
    } catch (const cad::Error& e) {
        ws.ui.message(e.what());
    } catch (const std::bad_alloc&) {
        ws.ui.message("Недостаточно памяти для выполнения операции");
    } catch (const std::exception& e) {
        ws.ui.message(std::string("Ошибка: ") + e.what());
    }
    if (!completed && ws.objectsHiddenForPicking) {
        try {
            showAfterPicking(ws);
        } catch (const std::exception& e) {
            ws.ui.message(e.what());
        }
    }
    return completed;
}

bool hideForPicking(Workspace& ws) {
    const std::vector<std::string>& route = ws.controls.typeList(model::TypeList::Route);
    if (!ws.controls.hideWhilePicking || route.empty()) return false;
    ws.objectsHiddenForPicking = true;
    for (cad::EntityRef object : ws.objectList) {
        if (!object.exists()) continue;  // erased since the project was opened
        if (!onLayerList(object.layer(), route)) {
            object.setVisible(false);
        }
    }
    return true;
}

void showAfterPicking(Workspace& ws) {
    if (!ws.objectsHiddenForPicking) return;
    for (cad::EntityRef object : ws.objectList) {
        if (object.exists()) object.setVisible(true);
    }
    ws.objectsHiddenForPicking = false;
}

}  // namespace model
