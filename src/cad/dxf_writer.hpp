// Writing DrawingData back as DXF: the original tags as read, rewritten only
// where the program changed something, with what it created appended under
// fresh handles. Saving to a file replaces it whole (see FileReplacement in
// platform.hpp) and keeps the old file under backupPath().
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "cad/drawing_data.hpp"

namespace cad {

std::string writeDxf(const DrawingData& data);
void writeDxfFile(const DrawingData& data, const std::filesystem::path& path);

// A new, empty drawing of the given $ACADVER ("AC1009", "AC1015", "AC1032", ...).
DrawingData makeEmptyDrawing(std::string_view version);

}  // namespace cad
