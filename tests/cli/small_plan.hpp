// The small plan the command-line tests of the editor's steps run on: a route
// of one line crossed by a water main, with a height text beside it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cad/dxf_test_util.hpp"

namespace smallplan {

// Route (0,0)-(10000,0) on "Трасса - Kernavisto" (handle 20), a water main
// crossing it at x = 6000 (21) and the text "151.5" (22).
inline dxftest::Tags entities() {
    return {{0, "LINE"},   {5, "20"},     {8, "Трасса - Kernavisto"},
            {10, "0"},     {20, "0"},     {30, "0"},
            {11, "10000"}, {21, "0"},     {31, "0"},
            {0, "LINE"},   {5, "21"},     {8, "Водопровод - Kernavisto"},
            {10, "6000"},  {20, "-1000"}, {30, "0"},
            {11, "6000"},  {21, "1000"},  {31, "0"},
            {0, "TEXT"},   {5, "22"},     {8, "0"},
            {10, "100"},   {20, "100"},   {30, "0"},
            {40, "2.5"},   {1, "151.5"}};
}

// The plan, with the entities and blocks given added, written as an R12
// drawing to `path`.
inline std::filesystem::path write(const std::filesystem::path& path,
                                   const dxftest::Tags& more = {},
                                   const dxftest::Tags& blocks = {}) {
    std::ofstream(path, std::ios::binary)
        << dxftest::r12(dxftest::concat({entities(), more}),
                        {"Трасса - Kernavisto", "Водопровод - Kernavisto"}, blocks);
    return path;
}

// `profile` arguments that take the route into work on the plan and save the
// result to `out` and the state to `dump`.
inline std::vector<std::string> profileArgs(const std::filesystem::path& plan,
                                            const std::filesystem::path& out,
                                            const std::filesystem::path& dump) {
    return {plan.string(), "-o",          out.string(), "--from", "0,0",        "--to",
            "10000,0",     "--separator", ",",          "--dump", dump.string()};
}

}  // namespace smallplan
