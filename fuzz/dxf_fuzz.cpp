// libFuzzer target: any bytes through the DXF reader and writer. A file is
// either read (repaired where needed) or refused with cad::Error; what the
// writer makes of a read file must read again without a refusal.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cad/dxf/reader.hpp"
#include "cad/dxf/writer.hpp"
#include "cad/error.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string written;
    try {
        cad::DrawingData d = cad::readDxf(bytes);
        written = cad::writeDxf(d);
    } catch (const cad::Error&) {
        return 0;  // refused, with a message: fine
    }
    // Our own output is never refused (an exception here ends the run).
    cad::DrawingData again = cad::readDxf(written);
    (void)again;
    return 0;
}
