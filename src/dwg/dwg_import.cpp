#include "dwg/dwg_import.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "cad/drawing.hpp"
#include "cad/error.hpp"
#include "cad/text_util.hpp"

extern char** environ;

namespace dwg {

namespace fs = std::filesystem;

namespace {

constexpr const char* kInstallNode =
    "Для открытия чертежей DWG нужен Node.js, а он не найден. Установите пакеты Debian "
    "nodejs и npm (sudo apt-get install nodejs npm) и выполните scripts/deps.sh";

std::string quotedName(const fs::path& p) {
    return "«" + p.filename().string() + "»";
}

[[noreturn]] void failed(const fs::path& dwgPath, const std::string& why) {
    throw cad::Error("Не удалось открыть чертёж DWG " + quotedName(dwgPath) + ": " + why);
}

// What a child wrote, fit for a message: its last line, printable characters
// and whole UTF-8 only, not too long.
std::string lastLine(const std::string& text) {
    std::size_t end = text.find_last_not_of("\r\n \t");
    if (end == std::string::npos) return {};
    std::size_t begin = text.find_last_of('\n', end);
    begin = begin == std::string::npos ? 0 : begin + 1;
    std::string_view line(text.data() + begin, end + 1 - begin);
    return cad::cleanUtf8(line, "?", true, 300);
}

fs::path converterDir(const Options& o) {
    if (!o.converterDir.empty()) return o.converterDir;
    if (const char* env = std::getenv("KERNAVISTO_DWG_CONVERTER"); env && *env) return env;
    return KV_DWG_CONVERTER_DIR;
}

std::vector<std::string> nodeNames(const Options& o) {
    if (!o.node.empty()) return {o.node};
    if (const char* env = std::getenv("KERNAVISTO_NODE"); env && *env) return {env};
    return {"node", "nodejs"};
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct RunResult {
    bool started = false;  // false: no such program
    int status = 0;
    std::string err;
};

// Runs one program with its standard error into a file; stdin and stdout
// are /dev/null. Stops it after the timeout.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     int timeoutSeconds, const fs::path& dwgPath) {
    char errName[] = "/tmp/kv_dwg_err_XXXXXX";
    int errFd = ::mkstemp(errName);
    if (errFd < 0)
        failed(dwgPath,
               "нельзя создать временный файл (" + std::string(std::strerror(errno)) + ")");
    struct Cleanup {
        int fd;
        const char* name;
        ~Cleanup() {
            ::close(fd);
            ::unlink(name);
        }
    } cleanup{errFd, errName};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    RunResult result;
    if (rc == ENOENT || rc == EACCES || rc == ENOTDIR) return result;
    if (rc != 0) failed(dwgPath, "нельзя запустить " + program + " (" + std::strerror(rc) + ")");
    result.started = true;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) failed(dwgPath, "потерян процесс конвертера");
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            failed(dwgPath, "конвертер не закончил работу за " + std::to_string(timeoutSeconds) +
                                " с и остановлен");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    result.status = status;
    result.err = readAll(errName);
    return result;
}

bool notOlder(const fs::path& a, const fs::path& b) {
    std::error_code e1, e2;
    auto ta = fs::last_write_time(a, e1);
    auto tb = fs::last_write_time(b, e2);
    return !e1 && !e2 && ta >= tb;
}

// PLAN.dxf, PLAN-1.dxf, PLAN-2.dxf, ...
fs::path candidate(const fs::path& dwgPath, int n) {
    fs::path p = dwgPath;
    p.replace_extension();
    if (n > 0) p += "-" + std::to_string(n);
    p += ".dxf";
    return p;
}

bool samePath(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

constexpr int kMaxNames = 1000;

}  // namespace

std::optional<std::string> signature(std::string_view head) {
    if (head.size() < 6 || head.substr(0, 4) != "AC10") return std::nullopt;
    if (!std::isdigit(static_cast<unsigned char>(head[4])) ||
        !std::isdigit(static_cast<unsigned char>(head[5]))) {
        return std::nullopt;
    }
    return std::string(head.substr(0, 6));
}

bool isDwgFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    char head[6] = {};
    if (!in.read(head, sizeof head)) return false;
    return signature(std::string_view(head, sizeof head)).has_value();
}

Opened convertToDxf(const fs::path& dwgPath, const Options& options) {
    std::error_code ec;
    if (!fs::is_regular_file(dwgPath, ec)) failed(dwgPath, "файл не найден");
    if (!isDwgFile(dwgPath))
        failed(dwgPath, "это не чертёж DWG (нет подписи AC10xx в начале файла)");

    // A DXF converted in an earlier session (and maybe worked on since) is
    // the drawing, as long as the DWG has not changed after it.
    fs::path newest;
    for (int n = 0; n < kMaxNames; ++n) {
        fs::path p = candidate(dwgPath, n);
        if (!fs::exists(p, ec)) continue;
        if (samePath(p, dwgPath) || isDwgFile(p)) continue;
        if (newest.empty() || notOlder(p, newest)) newest = p;
    }
    if (!newest.empty() && notOlder(newest, dwgPath)) {
        return {newest, false,
                "Открыт " + quotedName(newest) + ", преобразованный ранее из " +
                    quotedName(dwgPath) +
                    "; чтобы преобразовать DWG заново, переименуйте или удалите этот DXF"};
    }

    const fs::path dir = converterDir(options);
    const fs::path script = dir / "dwg2dxf.mjs";
    const fs::path wasm =
        dir / "node_modules" / "@mlightcad" / "libredwg-web" / "wasm" / "libredwg-web.js";
    if (!fs::exists(script, ec) || !fs::exists(wasm, ec)) {
        failed(dwgPath, "конвертер DWG не установлен (нет " +
                            (fs::exists(script, ec) ? wasm : script).string() +
                            "); выполните scripts/deps.sh");
    }

    // The converter writes a temporary file beside the DWG; it becomes the
    // DXF only when the program has read it.
    fs::path folder = dwgPath.parent_path();
    if (folder.empty()) folder = ".";
    std::string pattern = (folder / ("." + dwgPath.stem().string() + ".dxf.XXXXXX")).string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        failed(dwgPath, "нельзя записать DXF в папку чертежа (" +
                            std::string(std::strerror(errno)) +
                            "); скопируйте DWG в папку, доступную для записи");
    }
    ::close(fd);
    const fs::path tmp = pattern;
    struct RemoveTmp {
        fs::path p;
        ~RemoveTmp() {
            std::error_code e;
            fs::remove(p, e);
        }
    } removeTmp{tmp};

    RunResult run;
    std::string tried;
    for (const std::string& node : nodeNames(options)) {
        run = runProgram(node, {script.string(), dwgPath.string(), tmp.string()},
                         options.timeoutSeconds, dwgPath);
        if (run.started) break;
        tried += (tried.empty() ? "" : ", ") + node;
    }
    if (!run.started) throw cad::Error(std::string(kInstallNode) + " (искали: " + tried + ")");
    if (WIFSIGNALED(run.status)) {
        failed(dwgPath, "конвертер аварийно завершился (сигнал " +
                            std::to_string(WTERMSIG(run.status)) + ")");
    }
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        std::string why = lastLine(run.err);
        failed(dwgPath, why.empty() ? "конвертер завершился с кодом " +
                                          std::to_string(WEXITSTATUS(run.status))
                                    : why);
    }
    try {
        (void)cad::Drawing::open(tmp);
    } catch (const cad::Error& e) {
        failed(dwgPath,
               std::string("конвертер выдал DXF, который программа не читает (") + e.what() + ")");
    }

    // A hard link never replaces a file that appeared meanwhile.
    for (int n = 0; n < kMaxNames; ++n) {
        fs::path target = candidate(dwgPath, n);
        if (samePath(target, dwgPath) || fs::exists(target, ec)) continue;
        fs::create_hard_link(tmp, target, ec);
        if (ec == std::errc::file_exists) continue;
        if (ec) {
            // No hard links on this file system: a rename, after one more look.
            ec.clear();
            if (fs::exists(target, ec)) continue;
            fs::rename(tmp, target, ec);
            if (ec)
                failed(dwgPath,
                       "нельзя записать " + quotedName(target) + " (" + ec.message() + ")");
        }
        // mkstemp made it private; a drawing gets the usual permissions.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(target.c_str(), 0666 & ~mask);
        return {target, true,
                "Чертёж DWG " + quotedName(dwgPath) + " преобразован в " + quotedName(target) +
                    "; программа открывает и сохраняет его, файл DWG не меняется"};
    }
    failed(dwgPath, "все имена для DXF рядом с ним заняты");
}

Opened openable(const fs::path& path, const Options& options) {
    if (!isDwgFile(path)) return {path, false, {}};
    return convertToDxf(path, options);
}

}  // namespace dwg
