// The subcommands of kernavisto-cli; each lives in its own file.
#pragma once

#include <CLI/CLI.hpp>

namespace cli {

// Each command, once parsed, runs and leaves its exit code in `exitCode`.
void registerInfo(CLI::App& app, int& exitCode);       // info FILE [--json]
void registerRoundtrip(CLI::App& app, int& exitCode);  // roundtrip IN OUT
void registerProfile(CLI::App& app, int& exitCode);    // profile PLAN.dxf -o OUT.dxf ...
void registerEntities(CLI::App& app);  // entities PLAN.dxf [--layer L] [--type T] ...

}  // namespace cli
