#include "model/project.hpp"

namespace model {

std::string displayFileName(std::string_view path) {
    std::size_t slash = path.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

namespace {

void dropProjectSelectionSets(Workspace& ws, cad::Drawing& doc) {
    for (std::size_t n = doc.selectionSetCount(); n-- > 0;) {
        ws.ui.processEvents();
        if (doc.selectionSet(n).name() == kProjectSelectionSet) doc.deleteSelectionSet(n);
    }
}

cad::EntityRef addMarkLine(cad::Drawing& doc, cad::Point3 start, cad::Point3 end) {
    cad::EntityRef line = doc.addLine(start, end);
    line.setLineweight(90);
    line.setColor(3);
    return line;
}

// The buttons that need an open project: "Пикеты", "Первоначальные
// параметры", "Взять в работу", "Скрыть выбранное".
void enableProjectButtons(Controls& c, bool enabled) {
    c.piketsEnabled = enabled;
    c.initialParamsEnabled = enabled;
    c.takeIntoWorkEnabled = enabled;
    c.hideSelectedEnabled = enabled;
}

}  // namespace

void openProject(Workspace& ws, const std::filesystem::path& path) {
    ws.ui.processEvents();
    cad::Drawing& doc = ws.app.open(path);
    takeProject(ws, doc, displayFileName(path.string()));
}

void takeProject(Workspace& ws, cad::Drawing& doc, const std::string& fileName) {
    ws.doc = &doc;
    ws.controls.front = PanelId::Project;
    ws.controls.projectFile = fileName;

    dropProjectSelectionSets(ws, doc);
    ws.app.zoomAll();
    cad::SelectionSet& selSet = doc.addSelectionSet(kProjectSelectionSet);
    selSet.select(5);

    ws.objectList.clear();
    ws.objectList.reserve(selSet.count());
    for (std::size_t i = 0; i < selSet.count(); ++i) {
        ws.ui.processEvents();
        ws.objectList.push_back(selSet.item(i));
    }
    ws.app.zoomAll();

    // "Новый проект" disables "Взять в работу" and "Скрыть выбранное" too; a
    // newly opened project needs them again.
    enableProjectButtons(ws.controls, true);
    ws.controls.typesEnabled = true;
    ws.controls.front = PanelId::Project;

    ws.markLine1 = addMarkLine(doc, {-100.0, 100.0, 0.0}, {100.0, -100.0, 0.0});
    ws.markLine2 = addMarkLine(doc, {100.0, 100.0, 0.0}, {-100.0, -100.0, 0.0});
}

void newProject(Workspace& ws) {
    ws.pikets.clear();
    // The rows named pickets of the emptied table; none may lead outside it.
    ws.controls.piketRows.clear();
    ws.controls.selectedRow = -1;

    enableProjectButtons(ws.controls, false);
    ws.controls.buildEnabled = false;
    ws.controls.editorEnabled = false;
}

}  // namespace model
