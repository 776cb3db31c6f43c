// The subcommands of kernavisto-cli; each lives in its own file.
#pragma once

#include <CLI/CLI.hpp>

namespace cli {

void registerInfo(CLI::App& app);       // info FILE [--json]
void registerRoundtrip(CLI::App& app);  // roundtrip IN OUT
void registerProfile(CLI::App& app);    // profile PLAN.dxf -o OUT.dxf ...
void registerEntities(CLI::App& app);   // entities PLAN.dxf [--layer L] [--type T] ...

}  // namespace cli
