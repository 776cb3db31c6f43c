#include "cad/file_lock.hpp"

#if defined(__unix__) || defined(__APPLE__)
#define KV_POSIX 1
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>

#include "cad/platform.hpp"
#include "cad/text_util.hpp"

namespace cad {

namespace fs = std::filesystem;

namespace {

// Longest file name most file systems take, in bytes.
constexpr std::size_t kNameMax = 255;

std::string twoDigits(int v) {
    char buf[8];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, r.ptr);
    if (s.size() < 2) s.insert(s.begin(), '0');
    return s;
}

std::string nowText() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
#ifdef KV_POSIX
    ::gmtime_r(&t, &tm);
#else
    tm = *std::gmtime(&t);
#endif
    char year[8];
    auto r = std::to_chars(year, year + sizeof year, tm.tm_year + 1900);
    return std::string(year, r.ptr) + "-" + twoDigits(tm.tm_mon + 1) + "-" + twoDigits(tm.tm_mday) +
           " " + twoDigits(tm.tm_hour) + ":" + twoDigits(tm.tm_min) + " UTC";
}

std::string hostName() {
#ifdef KV_POSIX
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) == 0) return buf;
#endif
    return {};
}

std::string userName() {
#ifdef KV_POSIX
    if (struct passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
#endif
    if (const char* u = std::getenv("USER"); u && *u) return u;
    return {};
}

LockOwner me() {
    LockOwner o;
    o.user = userName();
    o.host = hostName();
#ifdef KV_POSIX
    o.pid = static_cast<long>(::getpid());
#endif
    o.since = nowText();
    return o;
}

std::string ownerText(const LockOwner& o) {
    std::string pid;
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, o.pid);
    pid.assign(buf, r.ptr);
    return "Kernavisto\nuser=" + o.user + "\nhost=" + o.host + "\npid=" + pid +
           "\nsince=" + o.since + "\n";
}

LockOwner parseOwner(const std::string& text) {
    LockOwner o;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + at, end - at);
        auto value = [&](std::string_view key) -> std::optional<std::string> {
            if (line.substr(0, key.size()) != key) return std::nullopt;
            return cleanUtf8(line.substr(key.size()), "?", true, 200);
        };
        if (auto v = value("user=")) o.user = *v;
        if (auto v = value("host=")) o.host = *v;
        if (auto v = value("since=")) o.since = *v;
        if (auto v = value("pid=")) std::from_chars(v->data(), v->data() + v->size(), o.pid);
        at = end + 1;
    }
    return o;
}

// The file whose lock it is: through its links, as saving goes.
fs::path lockedFile(const fs::path& file) {
    std::error_code ec;
    fs::path abs = fs::absolute(file, ec);
    if (ec) abs = file;
    fs::path real = fs::weakly_canonical(abs, ec);
    return ec ? abs.lexically_normal() : real;
}

}  // namespace

std::string describeOwner(const LockOwner& o) {
    std::string s = "пользователь " + (o.user.empty() ? std::string("?") : o.user);
    if (!o.host.empty()) s += " на машине " + o.host;
    if (o.pid > 0) {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, o.pid);
        s += " (процесс " + std::string(buf, r.ptr) + ")";
    }
    if (!o.since.empty()) s += " с " + o.since;
    return s;
}

fs::path lockFilePath(const fs::path& file) {
    const fs::path real = lockedFile(file);
    const std::string name = real.filename().string();
    if (name.size() + 6 <= kNameMax) return real.parent_path() / ("~" + name + ".lock");
    // temporaryPrefix gives ".kvXXXXXXXX." from the name: a short stand-in.
    std::string prefix = temporaryPrefix(real);
    prefix.front() = '~';
    prefix.back() = '.';
    return real.parent_path() / (prefix + "lock");
}

// ---- the locks this program holds ------------------------------------------

namespace {

struct Held {
    int fd = -1;  // -1: a folder that takes no lock file
    int sessions = 0;
    int saves = 0;
    // Told to stop (SIGTERM), the program takes its lock file with it.
    std::shared_ptr<StopGuard> stop;
};

std::mutex g_heldMutex;
std::map<std::string, Held> g_held;

[[noreturn]] void refuse(const std::string& what, const LockOwner& owner) {
    throw FileLocked(what + describeOwner(owner), owner);
}

#ifdef KV_POSIX

std::string readFd(int fd) {
    std::string text;
    char buf[1024];
    for (off_t at = 0; text.size() < 4096;) {
        ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
    return text;
}

bool writeFd(int fd, const std::string& text) {
    if (::ftruncate(fd, 0) != 0) return false;
    for (std::size_t done = 0; done < text.size();) {
        ssize_t w = ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<std::size_t>(w);
    }
    return true;
}

bool stillNamed(int fd, const fs::path& path) {
    struct stat a {
    }, b{};
    return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_nlink > 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Takes the lock file at `path`: its descriptor, locked and saying who we
// are, or -1 where the folder takes no file. FileLocked when a running
// program holds it; `note` says whose stale lock was taken over.
int acquire(const fs::path& path, const std::string& refusal, std::string& note) {
    const fs::path dir = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    for (int attempt = 0; attempt < 50; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            struct stat st {};
            if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                ::close(fd);
                throw Error("«" + validUtf8(path.string()) +
                            "» — не файл блокировки: уберите его, чтобы открыть чертёж");
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                LockOwner owner = parseOwner(readFd(fd));
                ::close(fd);
                refuse(refusal, owner);
            }
            if (!stillNamed(fd, path)) {  // its holder removed it meanwhile
                ::close(fd);
                continue;
            }
            LockOwner old = parseOwner(readFd(fd));
            const std::string host = hostName();
            if (!old.host.empty() && old.host != host) {
                // A program on another machine may hold a lock this one
                // cannot see: only that machine can tell that it is gone.
                ::close(fd);
                refuse(refusal, old);
            }
            if (!writeFd(fd, ownerText(me()))) {
                ::close(fd);
                return -1;
            }
            note = "Блокировка чертежа снята: его держал " + describeOwner(old) +
                   ", но та программа уже не работает";
            return fd;
        }
        if (errno != ENOENT) {
            if (errno == ELOOP || errno == EISDIR || errno == ENXIO) {
                throw Error("«" + validUtf8(path.string()) +
                            "» — не файл блокировки: уберите его, чтобы открыть чертёж");
            }
            return -1;  // not readable or no such folder: nothing to mark
        }
        // A new lock file appears whole and already locked: written under a
        // temporary name, then linked to its own.
        std::unique_ptr<HeldTemporary> temp;
        try {
            temp = std::make_unique<HeldTemporary>(dir, path);
        } catch (const Error&) {
            return -1;  // a folder that takes no files
        }
        if (!writeFd(temp->fd(), ownerText(me()))) return -1;
        int own = ::dup(temp->fd());
        if (own < 0) return -1;
        if (::link(temp->path().c_str(), path.c_str()) == 0) return own;  // temp goes with `temp`
        const int err = errno;
        ::close(own);
        if (err == EEXIST) continue;
        // No hard links here: the lock file made in place, not quite atomically.
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        writeFd(fd, ownerText(me()));
        return fd;
    }
    return -1;
}

void releaseFile(const std::string& path, int fd) {
    if (fd < 0) return;
    // Only our own file goes: the name may be another's by now.
    if (stillNamed(fd, path)) ::unlink(path.c_str());
    ::close(fd);
}

#else

int acquire(const fs::path&, const std::string&, std::string&) {
    return -1;
}
void releaseFile(const std::string&, int) {}

#endif

}  // namespace

struct FileLock::State {
    std::string key;
    bool session = false;
};

FileLock FileLock::session(const fs::path& file) {
    const fs::path path = lockFilePath(file);
    const std::string name = validUtf8(lockedFile(file).filename().string());
    std::lock_guard<std::mutex> guard(g_heldMutex);
    FileLock lock;
    auto it = g_held.find(path.string());
    if (it != g_held.end() && it->second.sessions > 0) {
        refuse("Чертёж «" + name + "» уже открыт в этой программе: ", me());
    }
    if (it == g_held.end()) {
        Held h;
        h.fd = acquire(path, "Чертёж «" + name + "» уже открыт: ", lock.note_);
        if (h.fd >= 0) h.stop = std::make_shared<StopGuard>(path);
        it = g_held.emplace(path.string(), h).first;
    }
    ++it->second.sessions;
    lock.state_ = std::make_unique<State>(State{path.string(), true});
    return lock;
}

FileLock FileLock::save(const fs::path& file) {
    const fs::path path = lockFilePath(file);
    std::lock_guard<std::mutex> guard(g_heldMutex);
    FileLock lock;
    auto it = g_held.find(path.string());
    if (it != g_held.end() && it->second.saves > 0) {
        refuse("его сейчас сохраняет эта же программа: ", me());
    }
    if (it == g_held.end()) {
        Held h;
        std::string stale;  // a save takes over a stale lock without a word
        h.fd = acquire(path, "его сейчас держит открытым или сохраняет другая программа: ", stale);
        if (h.fd >= 0) h.stop = std::make_shared<StopGuard>(path);
        it = g_held.emplace(path.string(), h).first;
    }
    ++it->second.saves;
    lock.state_ = std::make_unique<State>(State{path.string(), false});
    return lock;
}

FileLock::FileLock() noexcept = default;
FileLock::FileLock(FileLock&& other) noexcept = default;

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        FileLock gone(std::move(*this));
        state_ = std::move(other.state_);
        note_ = std::move(other.note_);
    }
    return *this;
}

FileLock::~FileLock() {
    if (!state_) return;
    std::lock_guard<std::mutex> guard(g_heldMutex);
    auto it = g_held.find(state_->key);
    if (it == g_held.end()) return;
    (state_->session ? it->second.sessions : it->second.saves) -= 1;
    if (it->second.sessions == 0 && it->second.saves == 0) {
        it->second.stop.reset();
        releaseFile(it->first, it->second.fd);
        g_held.erase(it);
    }
}

}  // namespace cad
