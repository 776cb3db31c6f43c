// A locale whose decimal separator is a comma, for tests that check that
// number texts do not follow the process locale. The system's own is used when
// installed; otherwise one is built with localedef into a scratch folder that
// LOCPATH then points to.
#pragma once

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace testutil {

// The name of a comma locale setlocale accepts, or "" when none can be had.
// Leaves the process in the C locale.
inline std::string commaLocale() {
    for (const char* name : {"ru_RU.UTF-8", "ru_RU.utf8", "uk_UA.UTF-8", "de_DE.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            std::setlocale(LC_NUMERIC, "C");
            return name;
        }
    }
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kv_locale_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // -c: warnings about the source do not stop the build of the locale.
    const std::string command =
        "localedef -c -i ru_RU -f UTF-8 '" + (dir / "ru_RU.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == -1) return "";
    ::setenv("LOCPATH", dir.c_str(), 1);
    const bool ok = std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr;
    std::setlocale(LC_NUMERIC, "C");
    return ok ? "ru_RU.UTF-8" : "";
}

}  // namespace testutil
