// Helpers shared by the tests: running a program and reading what it wrote,
// scratch folders that parallel test runs never share, and checking that a
// message is text a user can read.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
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

// The exit code in a status from system() or pclose(), -1 when the program did
// not exit (killed by a signal, or the shell could not start).
inline int exitCode(int status) {
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A folder of this test program's own (named after its process), for files
// that outlive a single test: `scratch("plan.dxf")` names a file in it.
class ProcessScratch {
  public:
    explicit ProcessScratch(const std::string& prefix)
        : dir_(std::filesystem::temp_directory_path() /
               (prefix + "_" + std::to_string(::getpid()))) {}

    // The folder, created when first asked for.
    const std::filesystem::path& dir() const {
        std::filesystem::create_directories(dir_);
        return dir_;
    }
    std::filesystem::path operator()(const std::string& name) const { return dir() / name; }

  private:
    std::filesystem::path dir_;
};

// A folder for one test, named after the process and the running test so that
// neither parallel runs nor other tests see its files: empty at the start and
// removed with the object.
class ScratchDir {
  public:
    const std::filesystem::path path;

    explicit ScratchDir(const std::string& prefix) : path(folderFor(prefix)) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    operator const std::filesystem::path&() const { return path; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path / name; }

  private:
    static std::filesystem::path folderFor(const std::string& prefix) {
        std::string name = prefix + "_" + std::to_string(::getpid());
        if (const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info()) {
            name += std::string("_") + test->test_suite_name() + "_" + test->name();
        }
        for (char& c : name) {
            if (c == '/') c = '_';  // parameterised tests are named "Suite/Test/0"
        }
        return std::filesystem::temp_directory_path() / name;
    }
};

struct CliResult {
    int code;         // the exit code, -1 when the program did not exit
    std::string out;  // what it wrote to stdout
    std::string err;  // what it wrote to stderr
};

// `program WORDS...`, its stdout and stderr kept in `dir` (stdout.txt and
// stderr.txt) and returned.
inline CliResult runProgram(const std::string& program, const std::vector<std::string>& words,
                            const std::filesystem::path& dir) {
    const std::filesystem::path out = dir / "stdout.txt", err = dir / "stderr.txt";
    std::string cmd = quote(program);
    for (const std::string& w : words) cmd += " " + quote(w);
    cmd += " >" + quote(out.string()) + " 2>" + quote(err.string());
    const int code = exitCode(std::system(cmd.c_str()));
    return {code, readText(out), readText(err)};
}

// `program profile ARGS...`, as runProgram.
inline CliResult runProfileCommand(const std::string& program, const std::vector<std::string>& args,
                                   const std::filesystem::path& dir) {
    std::vector<std::string> words{"profile"};
    words.insert(words.end(), args.begin(), args.end());
    return runProgram(program, words, dir);
}

struct ShellResult {
    int code;         // the exit code, -1 when the command did not exit
    std::string out;  // what it wrote to stdout and stderr, as they came
};

// A shell command line, run with its stderr joined to its stdout.
inline ShellResult shell(const std::string& command) {
    ShellResult r{-1, ""};
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
    r.code = exitCode(::pclose(pipe));
    return r;
}

// What the exception of type E that `act` throws says; a failure saying
// `unexpected` (and "") when it throws none. Other exceptions pass through.
template <class E, class Act>
std::string messageOf(Act&& act, const std::string& unexpected) {
    try {
        act();
    } catch (const E& e) {
        return e.what();
    }
    ADD_FAILURE() << unexpected;
    return {};
}

// Whether the text is well-formed UTF-8 (checked here independently of the
// program's own repair of text on its way to a message).
inline bool isUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        }
        i += n;
    }
    return true;
}

}  // namespace testutil
