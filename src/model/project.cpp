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

    Controls& c = ws.controls;
    c.piketsEnabled = true;
    c.initialParamsEnabled = true;
    c.typesEnabled = true;
    // "Новый проект" disables these two; a newly opened project needs them again.
    c.takeIntoWorkEnabled = true;
    c.hideSelectedEnabled = true;
    c.front = PanelId::Project;

    ws.markLine1 = addMarkLine(doc, {-100.0, 100.0, 0.0}, {100.0, -100.0, 0.0});
    ws.markLine2 = addMarkLine(doc, {100.0, 100.0, 0.0}, {-100.0, -100.0, 0.0});
}

void newProject(Workspace& ws) {
    ws.piketCount = 0;
    ws.pikets.assign(1, Piket{});
    // The rows named pickets of the emptied table; none may lead outside it.
    ws.controls.piketRows.clear();
    ws.controls.brokenPikets.clear();
    ws.controls.selectedRow = -1;

    Controls& c = ws.controls;
    c.piketsEnabled = false;
    c.buildEnabled = false;
    c.editorEnabled = false;
    c.takeIntoWorkEnabled = false;
    c.initialParamsEnabled = false;
    c.hideSelectedEnabled = false;
}

}  // namespace model
