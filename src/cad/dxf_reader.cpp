#include "cad/dxf_reader.hpp"

#include "cad/error.hpp"

namespace cad {

DrawingData readDxf(std::string_view) {
    throw Error("Чтение DXF ещё не готово");
}
DrawingData readDxfFile(const std::filesystem::path&) {
    throw Error("Чтение DXF ещё не готово");
}

}  // namespace cad
