#include "cad/dxf_writer.hpp"

#include "cad/error.hpp"

namespace cad {

std::string writeDxf(const DrawingData&) {
    throw Error("Запись DXF ещё не готова");
}
void writeDxfFile(const DrawingData&, const std::filesystem::path&) {
    throw Error("Запись DXF ещё не готова");
}

}  // namespace cad
