#include "project/session.hpp"

#include "cad/error.hpp"
#include "dwg/dwg_import.hpp"
#include "model/project.hpp"
#include "project/project_file.hpp"

namespace project {

namespace fs = std::filesystem;

Loaded readDrawing(const OpenRequest& request) {
    Loaded loaded;
    dwg::Options options;
    options.stopRequested = request.stopRequested;
    dwg::Opened openable = dwg::openable(request.path, options);
    if (!openable.notice.empty() && request.converted) request.converted(openable.notice);
    // Marked as open here before it is read: a drawing someone has open is
    // said at once, not after minutes of reading.
    if (request.lock && !request.readOnly) {
        if (!request.heldLock.empty() && cad::lockFilePath(openable.dxf) == request.heldLock) {
            loaded.sameLock = true;
        } else {
            try {
                loaded.lock = cad::FileLock::session(openable.dxf);
            } catch (const cad::FileLocked& e) {
                loaded.lockedBy = e.what();
                loaded.dxf = openable.dxf;
                return loaded;
            }
        }
    }
    loaded.drawing = std::make_unique<cad::Drawing>(
        cad::readDxfFile(openable.dxf, request.progress), fs::absolute(openable.dxf));
    loaded.dxf = openable.dxf;
    loaded.notice = std::move(openable.notice);
    return loaded;
}

Session::Session(model::Workspace& ws, Options options)
    : ws_(ws), options_(options), self_(std::make_shared<Session*>(this)) {
    markSaved();
}

Session::~Session() {
    *self_ = nullptr;
}

OpenRequest Session::request(const fs::path& path, bool readOnly) const {
    OpenRequest r;
    r.path = path;
    r.lock = options_.lockFiles;
    r.readOnly = readOnly;
    if (ws_.doc && lock_.held() && !readOnly_) r.heldLock = cad::lockFilePath(ws_.doc->path());
    return r;
}

void Session::take(Loaded loaded, bool readOnly, const std::function<void(cad::Drawing&)>& added) {
    if (!loaded.drawing) throw cad::Error("Чертёж не прочитан");
    cad::Drawing& doc = ws_.app.add(std::move(loaded.drawing));
    if (added) added(doc);
    // The drawing before is closed here, its content freed.
    model::takeProject(ws_, doc, model::displayFileName(loaded.dxf.string()));
    watched_ = &doc;
    // Everything the program or the user changes after the opening is work
    // that closing must not lose.
    doc.onUpdate([self = self_](cad::Drawing& changed, cad::EntityId) {
        Session* s = *self;
        if (s && &changed == s->watched_) s->drawingChanged_ = true;
    });
    // The previous drawing's mark goes with it.
    if (!loaded.sameLock) lock_ = std::move(loaded.lock);
    readOnly_ = readOnly;
    drawingChanged_ = false;
}

void Session::open(const fs::path& path, const std::function<void(const std::string&)>& converted) {
    ws_.ui.processEvents();
    OpenRequest r = request(path, false);
    r.converted = converted;
    Loaded loaded = readDrawing(r);
    if (!loaded.lockedBy.empty()) throw cad::Error(loaded.lockedBy);
    take(std::move(loaded), false);
}

std::vector<std::string> Session::restoreBeside() {
    std::vector<std::string> notes;
    if (ws_.doc) notes = project::restoreBeside(ws_, ws_.doc->path());
    markSaved();
    return notes;
}

std::vector<std::string> Session::restore(const fs::path& projectFile) {
    std::vector<std::string> lines = describe(load(ws_, projectFile));
    markSaved();
    return lines;
}

void Session::writeDrawingTo(const fs::path& file) {
    if (!ws_.doc) return;
    ws_.doc->saveAs(file);
}

void Session::writeProjectTo(const fs::path& file) {
    if (!ws_.doc) return;
    project::save(ws_, file);
}

void Session::save() {
    if (!ws_.doc) return;
    if (readOnly_) {
        throw cad::Error(
            "Чертёж открыт только для чтения: его открыла другая программа. Сохраните "
            "чертёж под другим именем («Сохранить как»)");
    }
    ws_.doc->save();
    markDrawingSaved();
    saveBeside(ws_, ws_.doc->path());
    markSaved();
}

void Session::saveAs(const fs::path& file) {
    if (!ws_.doc) return;
    // The new name is marked as open here before it is written; one that
    // another program has open is refused with who has it.
    const bool same =
        !readOnly_ && lock_.held() && cad::lockFilePath(file) == cad::lockFilePath(ws_.doc->path());
    cad::FileLock lock;
    if (!same && options_.lockFiles) lock = cad::FileLock::session(file);
    ws_.doc->saveAs(file);
    markDrawingSaved();
    if (!same) {
        lock_ = std::move(lock);
        readOnly_ = false;
    }
    ws_.controls.projectFile = model::displayFileName(file.string());
    saveBeside(ws_, file);
    markSaved();
}

void Session::saveProject() {
    if (!ws_.doc) return;
    if (ws_.doc->path().empty()) {
        throw cad::Error(
            "Чертежу не задано имя файла: сохраните его («Сохранить как»), и "
            "проект запишется рядом с ним");
    }
    if (readOnly_) {
        throw cad::Error(
            "Чертёж открыт только для чтения: его открыла другая программа. Сохраните "
            "чертёж под другим именем («Сохранить как»), и проект запишется рядом с ним");
    }
    saveBeside(ws_, ws_.doc->path());
    markSaved();
}

std::string Session::projectState() const {
    if (!ws_.doc) return {};
    return toJson(capture(ws_));
}

bool Session::hasUnsavedChanges() const {
    if (!ws_.doc) return false;
    return drawingChanged_ || projectState() != savedProject_;
}

void Session::noteDrawingChange() {
    if (ws_.doc && ws_.doc->modified()) drawingChanged_ = true;
}

void Session::markSaved() {
    savedProject_ = projectState();
}

void Session::close() {
    watched_ = nullptr;
    lock_ = cad::FileLock();
    readOnly_ = false;
    drawingChanged_ = false;
}

}  // namespace project
