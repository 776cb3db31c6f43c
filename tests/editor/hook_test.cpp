// The editor follows the selection of point lines once a picket is taken into
// work, through the workspace's selection hook; a failure inside the handler
// becomes a message instead of escaping the drawing's event.
#include <gtest/gtest.h>

#include <memory>

#include "cad/application.hpp"
#include "cad/prompter.hpp"
#include "editor/editor.hpp"
#include "model/project.hpp"
#include "model/runner.hpp"
#include "recording_ui.hpp"
#include "sheet/sheet.hpp"

namespace {

class SelectionHook : public testing::Test, public testutil::RecordingWorkspace {
  protected:
    SelectionHook() {
        drawing = &app.add(std::make_unique<cad::Drawing>());
        model::takeProject(ws, *drawing, "plan.dxf");
        ws.selectionHandler = editor::onSelectionChanged;
        model::Piket piket;
        for (double x : {0.0, 100.0, 200.0}) {
            model::PointRow row{};
            row[model::kX] = x;
            row[model::kRelief] = 10.0 + x / 100.0;
            piket.points.push_back(model::pointOf(row));
            piket.pointObjects.emplace_back();
        }
        ws.pikets.push_back(piket);
        ws.controls.piketRows.push_back({"Пикет 1", 0});
        ws.controls.selectedRow = 0;
        EXPECT_TRUE(model::runOperation(ws, [this] { sheet::takeIntoWork(ws); }));
        for (int k = 0; k < 3; ++k) {
            cad::EntityRef line =
                drawing->addLine({55000.0 + 100 * k, 82500, 0}, {55000.0 + 100 * k, 90000, 0});
            line.setLayer("Vline-Kernavisto");
            ws.pointLines.push_back(line);
        }
    }

    cad::Drawing* drawing = nullptr;
};

TEST_F(SelectionHook, SelectingAPointLineInTheSheetMovesTheEditor) {
    drawing->setPickFirst({ws.pointLines[2]});
    EXPECT_EQ(ws.workPoint, 2);
    EXPECT_EQ(ws.controls.pointNumberText, "3");
    EXPECT_EQ(ws.controls.reliefText, "12");
    EXPECT_EQ(ws.markLine1.startPoint().x, 200.0 - 300.0);
    EXPECT_FALSE(ui.busy);
}

TEST_F(SelectionHook, AnErasedMarkerEndsTheReactionWithAMessage) {
    ws.markLine1.erase();
    EXPECT_NO_THROW(drawing->setPickFirst({ws.pointLines[1]}));
    EXPECT_EQ(ws.workPoint, 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(ui.busy);
}

}  // namespace
