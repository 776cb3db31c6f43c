// Opening DWG drawings. The program reads DXF only; a DWG is converted once
// into a DXF beside it by an external converter (tools/dwg/dwg2dxf.mjs: Node.js
// running LibreDWG compiled to WebAssembly) in a process of its own, and the
// DXF is what the program opens, edits and saves. The DWG is never written.
//
// Which DXF: for PLAN.dwg it is PLAN.dxf. When PLAN.dxf exists already and is
// not older than the DWG, it is taken as the drawing converted (and maybe
// worked on) in an earlier session and opened as it is, with nothing
// converted. When it exists but is older than the DWG (the DWG has changed
// since), the DWG is converted into the first free name PLAN-1.dxf,
// PLAN-2.dxf, ...; nothing is ever overwritten. The notice says which file
// was opened, for the user to be told once.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dwg {

// The DWG version ("AC1015") when the bytes start with a DWG signature.
std::optional<std::string> signature(std::string_view head);
// Reads the first bytes of a file; false when it cannot be read or is no DWG.
bool isDwgFile(const std::filesystem::path& path);

struct Options {
    // Folder of dwg2dxf.mjs and its node_modules; empty: $KERNAVISTO_DWG_CONVERTER,
    // else the converter of the source tree the program was built from.
    std::filesystem::path converterDir;
    // The Node.js program; empty: $KERNAVISTO_NODE, else "node", then "nodejs", on PATH.
    std::string node;
    // A conversion running longer than this is stopped (a fault, not a wait).
    int timeoutSeconds = 300;
    // Asked while the converter runs; true stops it (the window is closing)
    // and the conversion fails, leaving nothing behind.
    std::function<bool()> stopRequested;
};

struct Opened {
    std::filesystem::path dxf;  // the DXF to open
    bool converted = false;     // the converter ran now
    std::string notice;         // for the user, once; empty when path was no DWG
};

// Converts a DWG as described above and returns the DXF to open.
// cad::Error when it cannot, with a message naming the DWG and why: the
// converter's own reason, a missing Node.js (what to install), a converter
// that is not installed (scripts/deps.sh), a folder that cannot be written,
// or a DXF the program cannot read. Nothing is left behind on failure, nor
// when the program is told to stop (SIGTERM, Ctrl+C) during the conversion:
// the converter is killed with its temporary file. The converter is given
// the files as descriptors, so that any name the system accepts converts.
Opened convertToDxf(const std::filesystem::path& dwgPath, const Options& options = {});

// For every place a drawing is opened ("Открыть проект", kernavisto-cli):
// a DWG (recognised by its signature, whatever its extension) goes through
// convertToDxf; any other file is returned as it is, with no notice.
Opened openable(const std::filesystem::path& path, const Options& options = {});

}  // namespace dwg
