#include "model/project.hpp"

#include "model/marks.hpp"

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
    // Opening another drawing closes the one before, and its memory goes
    // with it; what still refers to it fails cleanly.
    for (cad::Drawing* before : {ws.sheetDoc, ws.doc}) {
        if (!before || before == &doc || !before->isOpen()) continue;
        if (before == ws.sheetDoc && ws.selectionConnection != 0) {
            before->disconnectSelectionChanged(ws.selectionConnection);
            ws.selectionConnection = 0;
        }
        before->close();
    }
    if (ws.sheetDoc != &doc) ws.sheetDoc = nullptr;
    ws.doc = &doc;
    ws.controls.front = PanelId::Project;
    ws.controls.projectFile = fileName;

    dropProjectSelectionSets(ws, doc);
    ws.app.zoomAll();
    cad::SelectionSet& selSet = doc.addSelectionSet(kProjectSelectionSet);
    selSet.select(5);

    // A drawing saved with the marker cross gets it back, not a second one;
    // the cross is no object of the plan.
    std::vector<cad::EntityRef> marker;
    ws.objectList.clear();
    ws.objectList.reserve(selSet.count());
    for (std::size_t i = 0; i < selSet.count(); ++i) {
        ws.ui.processEvents();
        const cad::EntityRef e = selSet.item(i);
        const cad::EntityMark* mark = doc.mark(e.id());
        if (mark && mark->kind == kMarkerMark) {
            marker.push_back(e);
            continue;
        }
        ws.objectList.push_back(e);
    }
    ws.app.zoomAll();

    // "Новый проект" disables "Взять в работу" and "Скрыть выбранное" too; a
    // newly opened project needs them again.
    enableProjectButtons(ws.controls, true);
    ws.controls.typesEnabled = true;
    ws.controls.front = PanelId::Project;

    const cad::Point3 ends[2][2] = {{{-100.0, 100.0, 0.0}, {100.0, -100.0, 0.0}},
                                    {{100.0, 100.0, 0.0}, {-100.0, -100.0, 0.0}}};
    if (marker.size() == 2 && marker[0].dxfType() == "LINE" && marker[1].dxfType() == "LINE") {
        for (int k = 0; k < 2; ++k) {
            marker[k].setStartPoint(ends[k][0]);
            marker[k].setEndPoint(ends[k][1]);
        }
        ws.markLine1 = marker[0];
        ws.markLine2 = marker[1];
        return;
    }
    const std::size_t from = doc.data().modelSpace.size();
    ws.markLine1 = addMarkLine(doc, ends[0][0], ends[0][1]);
    ws.markLine2 = addMarkLine(doc, ends[1][0], ends[1][1]);
    markEntities(doc, from, kMarkerMark, "");
}

void newProject(Workspace& ws) {
    ws.pikets.clear();
    // The rows named pickets of the emptied table; none may lead outside it.
    ws.controls.piketRows.clear();
    ws.controls.brokenPikets.clear();
    ws.controls.selectedRow = -1;

    enableProjectButtons(ws.controls, false);
    ws.controls.buildEnabled = false;
    ws.controls.editorEnabled = false;
}

}  // namespace model
