// One document session: the drawing open as the project and its project file
// beside it. Opening (a DWG converted first), restoring the project file,
// saving and saving as with the project, whether anything is unsaved, and
// closing go through here, for the window and the command line alike.
// Opening another drawing closes the one before and frees its content.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cad/dxf/reader.hpp"
#include "cad/file_lock.hpp"
#include "model/workspace.hpp"

namespace project {

// What reading a drawing needs, taken before the reading starts: the
// reading itself may run on another thread and touches no workspace.
struct OpenRequest {
    std::filesystem::path path;
    bool lock = true;                // mark the drawing as open here (cad::FileLock::session)
    bool readOnly = false;           // opened without the mark: another program has it
    std::filesystem::path heldLock;  // the lock file this session holds now
    cad::ReadProgress progress;
    std::function<bool()> stopRequested;  // the DWG converter stops when true
    // Told as soon as a DWG is converted, before the DXF is read.
    std::function<void(const std::string&)> converted;
};

// What the reading gave.
struct Loaded {
    std::unique_ptr<cad::Drawing> drawing;
    std::filesystem::path dxf;  // what was read: a DWG's converted twin
    std::string notice;         // about the DWG's conversion, for the user once
    cad::FileLock lock;         // the drawing marked as open here
    bool sameLock = false;      // the drawing open now again: its mark stays
    std::string lockedBy;       // another has it open: nothing was read
};

// Reads the drawing of the request; cad::Error when it cannot. When another
// program holds the drawing, says so in lockedBy and reads nothing.
Loaded readDrawing(const OpenRequest& request);

class Session {
  public:
    struct Options {
        bool lockFiles = true;  // the window marks its drawing as open; a batch run does not
    };
    explicit Session(model::Workspace& ws) : Session(ws, Options{}) {}
    // A batch run: no lock files.
    static Options batch() { return Options{.lockFiles = false}; }
    Session(model::Workspace& ws, Options options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A request for opening `path` from this session (its held lock known).
    OpenRequest request(const std::filesystem::path& path, bool readOnly) const;
    // The drawing read becomes the project (inside an operation): the one
    // before is closed and its content freed, its mark given up.
    // `added` sees the drawing before it becomes the project (the window's
    // view shows it from then on).
    void take(Loaded loaded, bool readOnly, const std::function<void(cad::Drawing&)>& added = {});
    // Both, for the batch run; `converted` is told of a DWG's conversion.
    // cad::Error when the drawing cannot be opened.
    void open(const std::filesystem::path& path,
              const std::function<void(const std::string&)>& converted = {});

    // The project file beside the drawing put back; the lines for the user
    // (empty when all went well or there is none). What it restores is the
    // saved state: nothing is unsaved afterwards.
    std::vector<std::string> restoreBeside();
    // A project file named by the user put back (the batch run's --project);
    // the lines for the user. cad::Error when it cannot be read.
    std::vector<std::string> restore(const std::filesystem::path& projectFile);

    // The drawing and the project file beside it. cad::Error when either
    // cannot be written; a drawing written stays saved.
    void save();
    // Under a new name, marked as open here first; the project file beside it.
    void saveAs(const std::filesystem::path& path);
    // The project file beside the drawing only.
    void saveProject();
    // The drawing written under another name, the open one staying the
    // project (the batch run's output): no mark, no project file beside it.
    void writeDrawingTo(const std::filesystem::path& file);
    // The project written to a file named by the user (the batch run's
    // --save-project).
    void writeProjectTo(const std::filesystem::path& file);

    // Whether the drawing or the work typed for it differs from the files.
    bool hasUnsavedChanges() const;
    // After an action that may have changed the drawing.
    void noteDrawingChange();
    // A step undone or redone: the drawing differs from the file.
    void markUnsaved() { drawingChanged_ = ws_.doc != nullptr; }
    // The work as it stands counts as saved (a new project start).
    void markSaved();

    bool isOpen() const { return ws_.doc != nullptr; }
    bool readOnly() const { return readOnly_; }
    // The mark of the open drawing goes (the program ends).
    void close();

  private:
    std::string projectState() const;
    void markDrawingSaved() { drawingChanged_ = false; }

    model::Workspace& ws_;
    Options options_;
    cad::FileLock lock_;
    bool readOnly_ = false;
    bool drawingChanged_ = false;
    std::string savedProject_;
    cad::Drawing* watched_ = nullptr;
    // The drawing's update handler reaches the session through this, which
    // the session empties when it goes before the drawing.
    std::shared_ptr<Session*> self_;
};

}  // namespace project
