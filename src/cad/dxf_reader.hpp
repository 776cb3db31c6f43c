// Reading DXF, ASCII (R12 to R2018) and binary, into DrawingData with every
// tag kept for a lossless save. Repairs are listed in DrawingData::issues;
// what cannot be repaired throws cad::Error naming the line.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "cad/drawing_data.hpp"

namespace cad {

DrawingData readDxf(std::string_view bytes);
DrawingData readDxfFile(const std::filesystem::path& path);
// Throws cad::Error, with a message for the user, unless the path names a
// regular file small enough for this machine to read: never blocks on a pipe.
void checkDrawingFile(const std::filesystem::path& path);
// The same, taking over a buffer that holds the whole file (no copy is made).
DrawingData readDxfBuffer(std::string bytes);

}  // namespace cad
