#include "dwg/dwg_import.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
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
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "cad/drawing.hpp"
#include "cad/error.hpp"
#include "cad/platform.hpp"
#include "cad/text_util.hpp"

extern char** environ;

namespace dwg {

namespace fs = std::filesystem;

namespace {

constexpr const char* kInstallNode =
    "Для открытия чертежей DWG нужен Node.js, а он не найден. Установите пакеты Debian "
    "nodejs и npm (sudo apt-get install nodejs npm) и выполните scripts/deps.sh";

std::string quotedName(const fs::path& p) {
    return "«" + cad::validUtf8(p.filename().string()) + "»";
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

struct RunResult {
    bool started = false;  // false: no such program
    int status = 0;
    std::string err;
};

[[noreturn]] void stopped(const fs::path& dwgPath) {
    failed(dwgPath, "преобразование прервано");
}

// Runs the converter with its standard error into a pipe; stdin and stdout
// are /dev/null, `inFd` and `outFd` become its descriptors 3 and 4. It is the
// leader of a process group of its own, which is killed whole when the
// timeout passes, when `stopRequested` says so, and when this program is
// told to stop (StopGuard) — nothing of it runs on as an orphan.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args, int inFd,
                     int outFd, const Options& options, cad::StopGuard& guard,
                     const fs::path& dwgPath) {
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        failed(dwgPath, "нельзя запустить конвертер (" + std::string(std::strerror(errno)) + ")");
    }
    struct ClosePipe {
        int* fds;
        ~ClosePipe() {
            if (fds[0] >= 0) ::close(fds[0]);
            if (fds[1] >= 0) ::close(fds[1]);
        }
    } closePipe{errPipe};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_adddup2(&actions, inFd, 3);
    posix_spawn_file_actions_adddup2(&actions, outFd, 4);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    // A stop signal between the start and the guard knowing the child would
    // leave it behind: such signals wait until the guard knows.
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaddset(&stops, sig);
    ::pthread_sigmask(SIG_BLOCK, &stops, &before);
    const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    if (rc == 0) guard.setChildGroup(pid);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    RunResult result;
    if (rc == ENOENT || rc == EACCES || rc == ENOTDIR) return result;
    if (rc != 0) failed(dwgPath, "нельзя запустить " + program + " (" + std::strerror(rc) + ")");
    result.started = true;
    ::close(errPipe[1]);
    errPipe[1] = -1;

    struct Reap {
        pid_t pid;
        cad::StopGuard& guard;
        bool done = false;
        // Whatever ends the wait, the child's group goes with it.
        // The group is killed while its leader is not yet reaped, so that its
        // number cannot belong to another group by then.
        ~Reap() {
            if (done) return;
            ::kill(-pid, SIGKILL);
            guard.setChildGroup(0);
            int st = 0;
            while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
            }
        }
    } reap{pid, guard};

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    int status = 0;
    bool errOpen = true;
    for (;;) {
        // Its messages are read as they come, so that it never waits on a full pipe.
        if (errOpen) {
            struct pollfd p {
                errPipe[0], POLLIN, 0
            };
            if (::poll(&p, 1, 20) > 0) {
                char buf[4096];
                ssize_t n = ::read(errPipe[0], buf, sizeof buf);
                if (n > 0 && result.err.size() < (1u << 20)) result.err.append(buf, n);
                if (n == 0) errOpen = false;
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // Its end is seen without reaping it: the guard forgets the group first.
        siginfo_t info{};
        const int waited =
            ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
        if (waited == 0 && info.si_pid == pid) break;
        if (waited != 0 && errno != EINTR) failed(dwgPath, "потерян процесс конвертера");
        if (options.stopRequested && options.stopRequested()) stopped(dwgPath);
        if (std::chrono::steady_clock::now() > deadline) {
            failed(dwgPath, "конвертер не закончил работу за " +
                                std::to_string(options.timeoutSeconds) + " с и остановлен");
        }
    }
    reap.done = true;
    guard.setChildGroup(0);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    for (char buf[4096]; errOpen;) {
        struct pollfd p {
            errPipe[0], POLLIN, 0
        };
        if (::poll(&p, 1, 100) <= 0) break;
        ssize_t n = ::read(errPipe[0], buf, sizeof buf);
        if (n <= 0) break;
        if (result.err.size() < (1u << 20)) result.err.append(buf, n);
    }
    result.status = status;
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
    char head[6] = {};
    try {
        // Never waits on a pipe: a name that is no regular file is no DWG.
        cad::RegularFile in(path);
        if (in.read(head, sizeof head) != sizeof head) return false;
    } catch (const cad::Error&) {
        return false;
    }
    return signature(std::string_view(head, sizeof head)).has_value();
}

Opened convertToDxf(const fs::path& dwgPath, const Options& options) {
    std::error_code ec;
    // Opened here, and given to the converter open: the reason it cannot be
    // read is the system's own, and the converter never needs its name.
    std::unique_ptr<cad::RegularFile> input;
    try {
        input = std::make_unique<cad::RegularFile>(dwgPath);
    } catch (const cad::Error& e) {
        failed(dwgPath, cad::validUtf8(e.what()));
    }
    char head[6] = {};
    if (input->read(head, sizeof head) != sizeof head ||
        !signature(std::string_view(head, sizeof head))) {
        failed(dwgPath, "это не чертёж DWG (нет подписи AC10xx в начале файла)");
    }
    ::lseek(input->fd(), 0, SEEK_SET);

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

    // The converter reads the DWG and writes the DXF through descriptors
    // this program opened (the names may be bytes it cannot decode); the DXF
    // is a temporary file beside the DWG, held by this program while the
    // converter writes it, and becomes the DXF only once it has been read.
    fs::path folder = dwgPath.parent_path();
    if (folder.empty()) folder = ".";
    std::unique_ptr<cad::HeldTemporary> held;
    try {
        held = std::make_unique<cad::HeldTemporary>(folder, dwgPath);
    } catch (const cad::Error& e) {
        failed(dwgPath, "нельзя записать DXF в папку чертежа (" + std::string(e.what()) +
                            "); скопируйте DWG в папку, доступную для записи");
    }
    // The converter opens it anew through its descriptor, which takes the
    // owner's write permission whatever the umask.
    ::fchmod(held->fd(), 0600);
    const fs::path tmp = held->path();
    // Removed when this program is told to stop, and its converter killed.
    cad::StopGuard guard(tmp);

    RunResult run;
    std::string tried;
    for (const std::string& node : nodeNames(options)) {
        run = runProgram(node, {script.string(), "/dev/fd/3", "/dev/fd/4"}, input->fd(), held->fd(),
                         options, guard, dwgPath);
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
    if (options.stopRequested && options.stopRequested()) stopped(dwgPath);
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
            held->release();
        }
        // The temporary was private; a drawing gets the usual permissions.
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
