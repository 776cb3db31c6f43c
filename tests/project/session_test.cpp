// The document session without a window: what is unsaved, where saving as
// puts the project file, and that opening another drawing closes the first.
#include "project/session.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "model/workspace.hpp"
#include "project/project_file.hpp"
#include "recording_ui.hpp"

namespace fs = std::filesystem;

namespace {

struct DocumentSession : testing::Test {
    fs::path dir =
        fs::temp_directory_path() /
        ("kv_session_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path plan = dir / "plan.dxf";
    model::HeadlessWorkspace<testutil::RecordingUi> h;
    project::Session session{h.ws, project::Session::Options{.lockFiles = false}};

    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(fs::path(KV_SOURCE_DIR) / "examples/plan.dxf", plan);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

TEST_F(DocumentSession, ChangesAreUnsavedUntilSavedAsWithTheProjectBeside) {
    session.open(plan);
    session.restoreBeside();
    EXPECT_FALSE(session.hasUnsavedChanges());

    // Typed work only: the project differs from the file.
    h.ws.controls.depthText = "2,5";
    EXPECT_TRUE(session.hasUnsavedChanges());

    const fs::path other = dir / "copy.dxf";
    session.saveAs(other);
    EXPECT_FALSE(session.hasUnsavedChanges());
    EXPECT_TRUE(fs::exists(other));
    EXPECT_TRUE(fs::exists(project::projectFilePath(other)));
    EXPECT_FALSE(fs::exists(project::projectFilePath(plan)));
    EXPECT_EQ(h.ws.controls.projectFile, "copy.dxf");

    // A change of the drawing itself.
    h.ws.doc->addLine({0, 0, 0}, {10, 10, 0});
    EXPECT_TRUE(session.hasUnsavedChanges());
    session.save();
    EXPECT_FALSE(session.hasUnsavedChanges());
}

TEST_F(DocumentSession, OpeningAnotherDrawingClosesTheFirstAndRestoresItsOwnProject) {
    session.open(plan);
    h.ws.controls.depthText = "3";
    session.saveProject();
    cad::Drawing* first = h.ws.doc;
    const cad::EntityRef line = first->addLine({0, 0, 0}, {1, 1, 0});

    const fs::path second = dir / "second.dxf";
    fs::copy_file(plan, second);
    session.open(second);
    session.restoreBeside();
    EXPECT_NE(h.ws.doc, first);
    EXPECT_FALSE(first->isOpen());
    // What still refers to the first drawing fails cleanly.
    EXPECT_FALSE(line.exists());
    // The second has no project file: the first's work is not restored into it.
    EXPECT_FALSE(session.hasUnsavedChanges());

    session.open(plan);
    session.restoreBeside();
    EXPECT_EQ(h.ws.controls.depthText, "3");
    EXPECT_FALSE(session.hasUnsavedChanges());
}

}  // namespace
