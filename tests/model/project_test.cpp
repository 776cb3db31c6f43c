// Opening a drawing as the project (selection set, object list snapshot,
// marker cross, buttons) and "Новый проект".
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "model/history.hpp"
#include "model/project.hpp"
#include "model/runner.hpp"
#include "recording_ui.hpp"

using namespace model;

namespace {

struct Project : testing::Test, testutil::RecordingWorkspace {
    cad::Drawing& addDrawing() { return app.add(std::make_unique<cad::Drawing>()); }
    int kernavistoSets(cad::Drawing& d) {
        int n = 0;
        for (std::size_t i = 0; i < d.selectionSetCount(); ++i) {
            if (d.selectionSet(i).name() == "Kernavisto") ++n;
        }
        return n;
    }
};

}  // namespace

TEST_F(Project, EarlierKernavistoSetsLeaveExactlyOneHoldingEveryObject) {
    cad::Drawing& d = addDrawing();
    cad::EntityRef a = d.addLine({0, 0, 0}, {1, 0, 0});
    cad::EntityRef b = d.addText("t", {2, 2, 0}, 1.0);
    d.addSelectionSet("Kernavisto").add(a);
    d.addSelectionSet("Другой");
    takeProject(ws, d, "plan.dxf");
    takeProject(ws, d, "plan.dxf");  // opening again leaves one set too
    EXPECT_EQ(kernavistoSets(d), 1);
    EXPECT_EQ(d.selectionSetCount(), 2u);
    for (std::size_t i = 0; i < d.selectionSetCount(); ++i) {
        if (d.selectionSet(i).name() != "Kernavisto") continue;
        // every object of the drawing: the two lines of the first marker cross too
        EXPECT_EQ(d.selectionSet(i).count(), 4u);
        EXPECT_EQ(d.selectionSet(i).item(0), a);
        EXPECT_EQ(d.selectionSet(i).item(1), b);
    }
}

TEST_F(Project, ObjectListIsASnapshotInDrawingOrder) {
    cad::Drawing& d = addDrawing();
    cad::EntityRef a = d.addLine({0, 0, 0}, {1, 0, 0});
    cad::EntityRef b = d.addLine({0, 1, 0}, {1, 1, 0});
    takeProject(ws, d, "plan.dxf");
    ASSERT_EQ(ws.objectList.size(), 2u);  // the marker cross comes after the snapshot
    EXPECT_EQ(ws.objectList[0], a);
    EXPECT_EQ(ws.objectList[1], b);
    d.addLine({5, 5, 0}, {6, 6, 0});
    b.erase();
    EXPECT_EQ(ws.objectList.size(), 2u);
    EXPECT_EQ(ws.objectList[1], b);
    // messages were let run once a selection set looked at and once an object taken
    EXPECT_EQ(std::count(ui.calls.begin(), ui.calls.end(), "events"), 2);
}

TEST_F(Project, EmptyDrawingStillGetsTheMarkerCrossAndTheButtons) {
    cad::Drawing& d = addDrawing();
    ws.controls.takeIntoWorkEnabled = false;  // as "Новый проект" leaves them
    ws.controls.hideSelectedEnabled = false;
    ws.controls.front = PanelId::Pikets;
    takeProject(ws, d, "plan.dxf");
    EXPECT_TRUE(ws.objectList.empty());
    EXPECT_EQ(ws.doc, &d);
    EXPECT_EQ(ws.controls.projectFile, "plan.dxf");
    EXPECT_EQ(ws.controls.front, PanelId::Project);

    struct Mark {
        const cad::EntityRef& line;
        cad::Point3 start, end;
    } marks[] = {{ws.markLine1, {-100, 100, 0}, {100, -100, 0}},
                 {ws.markLine2, {100, 100, 0}, {-100, -100, 0}}};
    for (const Mark& m : marks) {
        ASSERT_FALSE(m.line.isNull());
        EXPECT_EQ(m.line.drawing(), &d);
        EXPECT_EQ(m.line.dxfType(), "LINE");
        EXPECT_EQ(m.line.startPoint(), m.start);
        EXPECT_EQ(m.line.endPoint(), m.end);
        EXPECT_EQ(m.line.lineweight(), 90);
        EXPECT_EQ(m.line.color(), 3);
        EXPECT_EQ(m.line.layer(), d.currentLayer());
    }
    EXPECT_EQ(d.modelSpace().size(), 2u);

    const Controls& c = ws.controls;
    EXPECT_TRUE(c.typesEnabled && c.piketsEnabled && c.initialParamsEnabled);
    EXPECT_TRUE(c.takeIntoWorkEnabled &&
                c.hideSelectedEnabled);  // enabled again after "Новый проект"
    EXPECT_FALSE(c.buildEnabled || c.editorEnabled);

    ASSERT_EQ(view.requests.size(), 2u);
    EXPECT_EQ(view.requests[0].kind, "zoomAll");
    EXPECT_EQ(view.requests[1].kind, "zoomAll");
}

TEST(DisplayFileName, EverythingAfterTheLastSlash) {
    EXPECT_EQ(displayFileName("C:\\a\\b\\plan.dwg"), "plan.dwg");
    EXPECT_EQ(displayFileName("/home/u/планы/plan.dxf"), "plan.dxf");
    EXPECT_EQ(displayFileName("plan.dxf"), "plan.dxf");
}

TEST_F(Project, FileThatCannotBeOpenedStopsTheOpeningWithAMessage) {
    cad::Drawing& d = addDrawing();
    takeProject(ws, d, "plan.dxf");
    EXPECT_FALSE(runOperation(ws, [&] { openProject(ws, "/nonexistent/none.dxf"); }));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(ui.busy);
    EXPECT_EQ(ws.doc, &d);
    EXPECT_EQ(ws.controls.projectFile, "plan.dxf");
}

TEST_F(Project, NewProjectEmptiesTableAndRowsAndDisablesButtons) {
    cad::Drawing& d = addDrawing();
    d.addLine({0, 0, 0}, {1, 0, 0});
    takeProject(ws, d, "plan.dxf");
    ws.pikets.resize(3);
    ws.pikets[0].points.push_back({});
    ws.workPiket = 2;
    ws.controls.piketRows = {{"Пикет 1", 0}, {"Пикет 3", 2}};
    ws.controls.selectedRow = 1;
    ws.controls.buildEnabled = ws.controls.editorEnabled = true;
    std::vector<std::string> routes = ws.controls.typeList(model::TypeList::Route);
    routes.push_back("x");
    ws.controls.typeList(model::TypeList::Route) = routes;

    newProject(ws);

    EXPECT_EQ(ws.piketCount(), 0);
    EXPECT_EQ(ws.piketInWork(), nullptr);  // the picket in work went with the table
    EXPECT_TRUE(ws.controls.piketRows.empty());
    EXPECT_EQ(ws.controls.selectedRow, -1);
    const Controls& c = ws.controls;
    EXPECT_FALSE(c.piketsEnabled || c.buildEnabled || c.editorEnabled || c.takeIntoWorkEnabled ||
                 c.initialParamsEnabled || c.hideSelectedEnabled);
    EXPECT_TRUE(c.typesEnabled);
    // Everything else stays.
    EXPECT_EQ(ws.doc, &d);
    EXPECT_TRUE(d.isOpen());
    EXPECT_EQ(ws.objectList.size(), 1u);
    EXPECT_EQ(ws.workPiket, 2);
    EXPECT_EQ(ws.controls.typeList(model::TypeList::Route), routes);
    EXPECT_EQ(ws.controls.projectFile, "plan.dxf");
}

TEST_F(Project, OpensAPlanFileThroughTheApplication) {
    const std::string plan = std::string(KV_SOURCE_DIR) + "/examples/plan.dxf";
    // The sample plan is committed (tools/make_sample_plan makes it): missing, it is a fault.
    ASSERT_TRUE(std::filesystem::exists(plan)) << plan;
    ASSERT_TRUE(runOperation(ws, [&] { openProject(ws, plan); }))
        << testing::PrintToString(ui.messages);
    ASSERT_NE(ws.doc, nullptr);
    EXPECT_TRUE(app.isActive(*ws.doc));
    EXPECT_EQ(ws.controls.projectFile, "plan.dxf");
    auto all = ws.doc->modelSpace();
    ASSERT_EQ(all.size(), ws.objectList.size() + 2);  // and the marker cross
    EXPECT_TRUE(std::equal(ws.objectList.begin(), ws.objectList.end(), all.begin()));
    EXPECT_EQ(all[all.size() - 2], ws.markLine1);
    EXPECT_EQ(kernavistoSets(*ws.doc), 1);
    EXPECT_FALSE(ui.busy);
}

// Opening another drawing keeps the pickets but closes the drawing before
// and frees it: what still refers to it fails cleanly instead of keeping it
// in memory.
TEST_F(Project, OpeningAnotherDrawingKeepsThePicketsAndClosesTheDrawingBefore) {
    cad::Drawing& first = addDrawing();
    for (int i = 0; i < 100; ++i) first.addLine({0, double(i), 0}, {1, double(i), 0});
    takeProject(ws, first, "first.dxf");
    ws.pikets.resize(1);
    ws.controls.piketRows.push_back({"Пикет 1", 0});
    const cad::EntityRef old = ws.objectList.at(0);
    cad::Drawing& second = addDrawing();
    takeProject(ws, second, "second.dxf");
    EXPECT_FALSE(first.isOpen());
    EXPECT_FALSE(old.exists());
    EXPECT_THROW(old.layer(), cad::Error);
    EXPECT_EQ(ws.doc, &second);
    EXPECT_TRUE(ws.objectList.empty());
    EXPECT_EQ(second.modelSpace().size(), 2u);  // its own marker cross, one
    EXPECT_EQ(ws.piketCount(), 1);
    EXPECT_EQ(ws.controls.piketRows.size(), 1u);
    EXPECT_EQ(ws.controls.projectFile, "second.dxf");
}

// The undo steps share one copy of the object list (a million objects on a
// big plan) while it stays the same, and a list that did change is kept and
// put back as it was.
TEST_F(Project, StepStatesShareTheObjectListUntilItChanges) {
    cad::Drawing& d = addDrawing();
    cad::EntityRef a = d.addLine({0, 0, 0}, {1, 0, 0});
    cad::EntityRef b = d.addLine({0, 1, 0}, {1, 1, 0});
    takeProject(ws, d, "plan.dxf");
    const WorkState first = captureState(ws);
    const WorkState same = captureState(ws);
    EXPECT_TRUE(same.objectList.sharesWith(first.objectList));
    EXPECT_TRUE(same.objectList.sharesWith(ws.objectList));
    ws.objectList.pop_back();
    const WorkState shorter = captureState(ws);
    EXPECT_FALSE(shorter.objectList.sharesWith(same.objectList));
    ASSERT_EQ(shorter.objectList.size(), 1u);
    ASSERT_EQ(first.objectList.size(), 2u);  // the states before keep the list they had
    EXPECT_FALSE(shorter == same);
    restoreState(ws, first);
    ASSERT_EQ(ws.objectList.size(), 2u);
    EXPECT_EQ(ws.objectList[1], b);
    restoreState(ws, shorter);
    ASSERT_EQ(ws.objectList.size(), 1u);
    EXPECT_EQ(ws.objectList[0], a);
}
