// Reading DXF, ASCII (R12 to R2018) and binary, into DrawingData with every
// tag kept for a lossless save. Repairs are listed in DrawingData::issues;
// what cannot be repaired throws cad::Error naming the line.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "cad/drawing_data.hpp"

namespace cad {

// How far a reading has come, for a progress bar: called now and then (a few
// hundred times at most, whatever the size) on the thread that reads, with a
// fraction from 0 to 1 that never goes back, the last call with 1. It should
// return at once; to stop the reading it may throw (cad::Cancelled, say),
// and the exception leaves the read function as it is. A program that shows
// the drawing opens it with Drawing(readDxfFile(path, progress), path).
using ReadProgress = std::function<void(double fraction)>;

DrawingData readDxf(std::string_view bytes);
DrawingData readDxfFile(const std::filesystem::path& path, const ReadProgress& progress = {});
// Throws cad::Error, with a message for the user, unless the path names a
// regular file small enough for this machine to read: never blocks on a pipe.
void checkDrawingFile(const std::filesystem::path& path);
// The same, taking over a buffer that holds the whole file (no copy is made).
DrawingData readDxfBuffer(std::string bytes, const ReadProgress& progress = {});

}  // namespace cad
