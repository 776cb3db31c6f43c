// Helpers for tests that run the command-line program and read what it wrote.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testutil {

// The argument quoted for /bin/sh.
inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The whole file as bytes; empty when it cannot be read.
inline std::string readText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct CliResult {
    int code;         // the exit code, -1 when the program did not exit
    std::string err;  // what it wrote to stderr
};

// `program profile ARGS...`, its stdout dropped and its stderr kept in errFile.
inline CliResult runProfileCommand(const std::string& program, const std::vector<std::string>& args,
                                   const std::filesystem::path& errFile) {
    std::string cmd = quote(program) + " profile";
    for (const std::string& a : args) cmd += " " + quote(a);
    cmd += " >/dev/null 2>" + quote(errFile.string());
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(errFile)};
}

}  // namespace testutil
