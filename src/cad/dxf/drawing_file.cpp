// The file side of Drawing and Application: opening, creating and saving
// drawings as DXF. It lives with the DXF code so that the engine's core,
// which the DXF code builds on, does not depend on it in turn.
#include "cad/application.hpp"
#include "cad/drawing.hpp"
#include "cad/dxf/reader.hpp"
#include "cad/dxf/writer.hpp"
#include "cad/error.hpp"

namespace cad {

std::unique_ptr<Drawing> Drawing::open(const std::filesystem::path& path) {
    DrawingData data = readDxfFile(path);  // refuses an empty path before absolute() would throw
    return std::make_unique<Drawing>(std::move(data), std::filesystem::absolute(path));
}

std::unique_ptr<Drawing> Drawing::create(std::string_view version) {
    return std::make_unique<Drawing>(makeEmptyDrawing(version));
}

void Drawing::save() {
    requireOpen();
    if (path_.empty()) throw Error("Чертежу не задано имя файла: используйте «Сохранить как»");
    writeDxfFile(*data_, path_);
    modified_ = false;
}

void Drawing::saveAs(const std::filesystem::path& path) {
    requireOpen();
    writeDxfFile(*data_, path);
    path_ = std::filesystem::absolute(path);
    modified_ = false;
}

Drawing& Application::open(const std::filesystem::path& path) {
    return add(Drawing::open(path));
}

}  // namespace cad
