// Placeholder until the empty-drawing templates land.
#include "cad/dxf_writer.hpp"
#include "cad/error.hpp"

namespace cad {

DrawingData makeEmptyDrawing(std::string_view) {
    throw Error("Новые чертежи ещё не готовы");
}

}  // namespace cad
