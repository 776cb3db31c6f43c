#include "cad/platform.hpp"

#if defined(__unix__) || defined(__APPLE__)
#define KV_POSIX 1
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <malloc.h>
#include <sys/syscall.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <system_error>

#include "cad/error.hpp"

namespace cad {

namespace {

constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
// Below this a buffer is filled faster than a thread starts.
constexpr std::size_t kPrefaultMin = 16u << 20;

// The whole huge pages inside a buffer, so that advice never reaches memory
// outside it; from == to when there are none.
struct HugeSpan {
    std::uintptr_t from = 0;
    std::uintptr_t to = 0;
};
HugeSpan hugePagesInside(const void* p, std::size_t bytes) {
    auto from = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    auto to = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kHuge - 1);
    return to > from ? HugeSpan{from, to} : HugeSpan{};
}

}  // namespace

std::uintmax_t physicalMemory() {
#if defined(KV_POSIX) && defined(_SC_PHYS_PAGES)
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
        return static_cast<std::uintmax_t>(pages) * static_cast<std::uintmax_t>(pageSize);
    }
#endif
    return 0;
}

void releasePages(const void* p, std::size_t bytes) {
#ifdef KV_POSIX
    const std::uintptr_t page = 4096;
    auto from = (reinterpret_cast<std::uintptr_t>(p) + page - 1) & ~(page - 1);
    auto to = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(page - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
#else
    (void)p;
    (void)bytes;
#endif
}

ScratchMemory::ScratchMemory(std::size_t bytes) : bytes_(std::max<std::size_t>(bytes, 1)) {
#ifdef KV_POSIX
    void* p = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw Error(std::string("Не хватает памяти: ") + std::strerror(errno));
    p_ = p;
#ifdef MADV_HUGEPAGE
    HugeSpan span = hugePagesInside(p_, bytes_);
    if (span.to > span.from) {
        madvise(reinterpret_cast<void*>(span.from), span.to - span.from, MADV_HUGEPAGE);
    }
#endif
#else
    p_ = ::operator new(bytes_);
#endif
}

ScratchMemory::~ScratchMemory() {
#ifdef KV_POSIX
    munmap(p_, bytes_);
#else
    ::operator delete(p_);
#endif
}

PrefaultPages::PrefaultPages(void* p, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    if (bytes < kPrefaultMin) return;
    HugeSpan span = hugePagesInside(p, bytes);
    if (span.to <= span.from) return;
        // On a virtual machine every small page costs a trap: large pages where
        // the system gives them on request.
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(span.from), span.to - span.from, MADV_HUGEPAGE);
#endif
    try {
        worker_ = std::thread([this, span] {
            for (std::uintptr_t at = span.from;
                 at < span.to && !stop_.load(std::memory_order_relaxed); at += kHuge) {
                if (madvise(reinterpret_cast<void*>(at), kHuge, MADV_POPULATE_WRITE) != 0) return;
            }
        });
    } catch (const std::system_error&) {
        // No thread to spare: the pages fault in as they are filled.
    }
#else
    (void)p;
    (void)bytes;
#endif
}

PrefaultPages::~PrefaultPages() {
    stop_.store(true, std::memory_order_relaxed);
    if (worker_.joinable()) worker_.join();
}

PrefaultHeap::PrefaultHeap(std::size_t expectedBytes) {
#if defined(MADV_POPULATE_WRITE) && defined(M_TOP_PAD) && defined(SYS_brk)
    if (expectedBytes < kPrefaultMin) return;
    // Steps of a quarter of what is expected, within 4 and 64 MB.
    std::size_t pad = std::clamp<std::size_t>(expectedBytes / 4, 4u << 20, 64u << 20);
    padded_ = mallopt(M_TOP_PAD, static_cast<int>(pad)) == 1;
    if (!padded_) return;
    try {
        worker_ = std::thread([this] {
            const std::uintptr_t page = 4096;
            auto brk = [] { return static_cast<std::uintptr_t>(syscall(SYS_brk, 0)); };
            std::uintptr_t done = (brk() + page - 1) & ~(page - 1);
            while (!stop_.load(std::memory_order_relaxed)) {
                std::uintptr_t top = brk() & ~(page - 1);
                if (top < done) done = top;  // the heap was trimmed
                if (top == done) {
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                    continue;
                }
                std::uintptr_t to = std::min(top, done + kHuge);
                if (madvise(reinterpret_cast<void*>(done), to - done, MADV_POPULATE_WRITE) != 0) {
                    return;
                }
                done = to;
            }
        });
    } catch (const std::system_error&) {
        // No thread to spare: the large steps alone still save system calls.
    }
#else
    (void)expectedBytes;
#endif
}

PrefaultHeap::~PrefaultHeap() {
    stop_.store(true, std::memory_order_relaxed);
    if (worker_.joinable()) worker_.join();
#ifdef M_TOP_PAD
    if (padded_) mallopt(M_TOP_PAD, 128 * 1024);  // the default
#endif
}

}  // namespace cad

// ---- replacing a file whole -------------------------------------------------

namespace cad {

namespace fs = std::filesystem;

fs::path backupPath(const fs::path& target) {
    std::string ext = target.extension().string();
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    fs::path bak = target;
    if (ext == ".bak") {
        bak += ".bak";
    } else {
        bak.replace_extension(".bak");
    }
    return bak;
}

namespace {

std::string systemText(int err) {
    return std::strerror(err);
}

// Follows symbolic links to the file they finally name (which need not
// exist yet); a loop of links is an error.
fs::path followLinks(fs::path p) {
    for (int hops = 0;; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
        if (hops == 40) {
            throw Error("Не удалось сохранить «" + p.string() + "»: ссылки замкнуты в кольцо");
        }
        fs::path next = fs::read_symlink(p, ec);
        if (ec) return p;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
}

constexpr std::size_t kTempSuffix = 6;
constexpr std::string_view kTempChars = "abcdefghijklmnopqrstuvwxyz0123456789";

std::string randomSuffix() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 gen{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    std::string s;
    for (std::size_t i = 0; i < kTempSuffix; ++i) s += kChars[pick(gen)];
    return s;
}

}  // namespace

// The temporaries of one file share a short prefix made from its name, so
// that a name at the file system's limit still has room for them.
std::string temporaryPrefix(const fs::path& forFile) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : forFile.filename().string()) h = (h ^ c) * 16777619u;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s = ".kv";
    for (int shift = 28; shift >= 0; shift -= 4) s += kHex[(h >> shift) & 0xF];
    return s + '.';
}

bool isTemporaryName(std::string_view name) {
    if (name.size() != 12 + kTempSuffix || name.substr(0, 3) != ".kv" || name[11] != '.') {
        return false;
    }
    for (char c : name.substr(3, 8)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    for (char c : name.substr(12)) {
        if (kTempChars.find(c) == std::string_view::npos) return false;
    }
    return true;
}

std::string RegularFile::readAll(std::uintmax_t limit) {
    std::string bytes;
    if (size_ > limit) {
        throw Error("Файл «" + path_.string() + "» слишком велик (" + std::to_string(size_) +
                    " байт)");
    }
    bytes.resize(static_cast<std::size_t>(size_));
    bytes.resize(read(bytes.data(), bytes.size()));
    // A file that grew since it was opened: the rest, within the limit.
    char more[65536];
    for (std::size_t n; (n = read(more, sizeof more)) > 0;) {
        if (bytes.size() + n > limit) {
            throw Error("Файл «" + path_.string() + "» слишком велик");
        }
        bytes.append(more, n);
    }
    return bytes;
}

#ifdef KV_POSIX

namespace {

// Whoever writes a temporary holds a lock on it for as long as it does; a
// temporary nobody holds belongs to a save or conversion that was killed.
// `prefix` empty: every temporary of the folder.
void removeUnheld(const fs::path& dir, const std::string& prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!isTemporaryName(name) || name.compare(0, prefix.size(), prefix)) continue;
        // Never waits: a pipe under such a name is not opened for long.
        int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlink(it->path().c_str());
        }
        ::close(fd);
    }
}

// A new file `dir`/PREFIX + six random characters, created and locked; the
// descriptor, or -1 with errno.
int createHeld(const fs::path& dir, const std::string& prefix, fs::path& made) {
    for (int attempt = 0;; ++attempt) {
        fs::path temp = dir / (prefix + randomSuffix());
        // The kernel applies the umask to a new file's 0666.
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST && attempt < 100) continue;
            return -1;
        }
        ::flock(fd, LOCK_EX | LOCK_NB);
        // Another program's cleanup may have taken it between open and lock.
        struct stat own {};
        if (::fstat(fd, &own) == 0 && own.st_nlink == 0 && attempt < 100) {
            ::close(fd);
            continue;
        }
        made = temp;
        return fd;
    }
}

}  // namespace

void removeAbandonedTemporaries(const fs::path& dir) {
    removeUnheld(dir.empty() ? fs::path(".") : dir, {});
}

HeldTemporary::HeldTemporary(const fs::path& dir, const fs::path& forFile) {
    fd_ = createHeld(dir.empty() ? fs::path(".") : dir, temporaryPrefix(forFile), path_);
    if (fd_ < 0) throw Error(systemText(errno));
}

HeldTemporary::~HeldTemporary() {
    if (!path_.empty()) ::unlink(path_.c_str());
    release();
}

void HeldTemporary::release() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
}

RegularFile::RegularFile(const fs::path& path) : path_(path) {
    const std::string name = "«" + path.string() + "»";
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT) throw Error("Файл " + name + " не найден");
        throw Error("Не удалось открыть файл " + name + ": " + systemText(err));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw Error("Не удалось открыть файл " + name + ": " + systemText(err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode)) throw Error(name + " — папка, а не файл");
        throw Error(name + " — не обычный файл (канал, устройство или сокет)");
    }
    // A regular file never blocks; reads are plain from here on.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    size_ = static_cast<std::uintmax_t>(st.st_size);
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) ::close(fd_);
}

namespace {

// Up to n bytes by system reads, `step(done)` each reading on from `done`;
// fewer only at the end of the file.
template <class Step>
std::size_t readFully(const fs::path& path, std::size_t n, Step step) {
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = step(done);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw Error("Не удалось прочитать файл «" + path.string() + "»: " + systemText(errno));
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

}  // namespace

std::size_t RegularFile::read(char* to, std::size_t n) {
    return readFully(path_, n, [&](std::size_t done) { return ::read(fd_, to + done, n - done); });
}

std::size_t RegularFile::readAt(char* to, std::size_t n, std::uintmax_t offset) const {
    return readFully(path_, n, [&](std::size_t done) {
        return ::pread(fd_, to + done, n - done, static_cast<off_t>(offset + done));
    });
}

// ---- what a stop signal must not leave behind ------------------------------

namespace {

struct StopSlot {
    std::atomic<int> state{0};  // 0 free, 1 being filled or emptied, 2 armed
    std::atomic<long> group{0};
    char file[4096] = {};
};
StopSlot g_stopSlots[16];
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

extern "C" void onStopSignal(int sig) {
    const int saved = errno;
    for (StopSlot& s : g_stopSlots) {
        if (s.state.load() != 2) continue;
        if (long g = s.group.load(); g > 0) ::kill(static_cast<pid_t>(-g), SIGKILL);
        if (s.file[0]) ::unlink(s.file);
    }
    // Ends the program as the signal would have, once the handler returns.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    errno = saved;
}

void installStopHandlers() {
    static const bool installed = [] {
        for (int sig : kStopSignals) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
            struct sigaction sa {};
            sa.sa_handler = onStopSignal;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = SA_RESTART;
            ::sigaction(sig, &sa, nullptr);
        }
        return true;
    }();
    (void)installed;
}

}  // namespace

StopGuard::StopGuard(const fs::path& file) {
    installStopHandlers();
    const std::string name = file.empty() ? std::string() : fs::absolute(file).string();
    if (name.size() >= sizeof(StopSlot::file)) return;
    for (int i = 0; i < static_cast<int>(std::size(g_stopSlots)); ++i) {
        int expected = 0;
        if (!g_stopSlots[i].state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(g_stopSlots[i].file, name.c_str(), name.size() + 1);
        g_stopSlots[i].group.store(0);
        g_stopSlots[i].state.store(2);
        slot_ = i;
        return;
    }
}

void StopGuard::setChildGroup(long pgid) noexcept {
    if (slot_ >= 0) g_stopSlots[slot_].group.store(pgid);
}

StopGuard::~StopGuard() {
    if (slot_ < 0) return;
    g_stopSlots[slot_].state.store(1);
    g_stopSlots[slot_].file[0] = 0;
    g_stopSlots[slot_].group.store(0);
    g_stopSlots[slot_].state.store(0);
}

FileReplacement::FileReplacement(const fs::path& given) : given_(given) {
    target_ = followLinks(given);
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) fail("это не обычный файл");
        // Write permission bits decide, not only access(): the owner (or
        // the administrator) could replace a file marked read-only.
        if ((st.st_mode & 0222) == 0 || ::access(target_.c_str(), W_OK) != 0) {
            throw Error("Файл «" + given_.string() +
                        "» защищён от записи: чертёж в него не сохранён. Сохраните чертёж под "
                        "другим именем или снимите с файла запрет записи");
        }
        existed_ = true;
    } else if (errno != ENOENT) {
        fail(systemText(errno));
    }
    try {
        lock_ = FileLock::save(target_);
    } catch (const FileLocked& e) {
        throw FileLocked("Не удалось сохранить «" + given_.string() + "»: " + e.what(), e.owner());
    }

    fs::path dir = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    const std::string prefix = temporaryPrefix(target_);
    removeUnheld(dir, prefix);
    fd_ = createHeld(dir, prefix, temp_);
    if (fd_ < 0) fail("нельзя создать временный файл в папке (" + systemText(errno) + ")");
    stop_ = std::make_unique<StopGuard>(temp_);
    if (existed_) {
        // The owner first: changing it clears the set-id bits.
        if (::fchown(fd_, st.st_uid, st.st_gid) != 0 &&
            ::fchown(fd_, static_cast<uid_t>(-1), st.st_gid) != 0) {
            // Not permitted: the file stays the saving user's.
        }
        ::fchmod(fd_, st.st_mode & 07777);
    }
}

FileReplacement::~FileReplacement() {
    discard();
}

void FileReplacement::discard() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

void FileReplacement::fail(const std::string& why) {
    discard();
    throw Error("Не удалось сохранить «" + given_.string() + "»: " + why);
}

void FileReplacement::write(std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t w = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            fail("ошибка записи (" + systemText(errno) + ")");
        }
        done += static_cast<std::size_t>(w);
    }
}

void FileReplacement::commit(bool keepBackup) {
    if (::fsync(fd_) != 0) fail("ошибка записи на диск (" + systemText(errno) + ")");
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail("ошибка записи (" + systemText(errno) + ")");

    // The old file gets its backup name only once the new one is in place:
    // first a second name for it under a temporary name, then the rename
    // of the new file over the target, then the rename of that second name
    // over the backup. Whichever step fails, no file has changed.
    fs::path dir = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    fs::path heldOld;
    int heldOldFd = -1;  // locked, so that no cleanup takes it meanwhile
    if (keepBackup && existed_) {
        for (int attempt = 0; heldOld.empty(); ++attempt) {
            fs::path name = dir / (temporaryPrefix(target_) + randomSuffix());
            if (::link(target_.c_str(), name.c_str()) == 0) {
                heldOld = name;
            } else if (errno != EEXIST || attempt == 100) {
                // No hard links here: a copy does as well.
                std::error_code ec;
                if (fs::copy_file(target_, name, ec)) {
                    heldOld = name;
                } else if (ec != std::errc::file_exists || attempt == 100) {
                    fail("нельзя сохранить прежний файл как «" +
                         backupPath(target_).filename().string() + "»");
                }
            }
        }
        heldOldFd = ::open(heldOld.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (heldOldFd >= 0) ::flock(heldOldFd, LOCK_EX | LOCK_NB);
    }
    struct Unlock {
        int& fd;
        ~Unlock() {
            if (fd >= 0) ::close(fd);
        }
    } unlockOld{heldOldFd};
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        int err = errno;
        if (!heldOld.empty()) ::unlink(heldOld.c_str());
        fail("нельзя заменить файл (" + systemText(err) + ")");
    }
    temp_.clear();
    stop_.reset();
    if (!heldOld.empty() && ::rename(heldOld.c_str(), backupPath(target_).c_str()) != 0) {
        // The drawing is saved; only the older copy could not be kept.
        ::unlink(heldOld.c_str());
    }
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

#else  // no POSIX: plain standard library, without the finer points

void removeAbandonedTemporaries(const fs::path&) {}

HeldTemporary::HeldTemporary(const fs::path& dir, const fs::path& forFile) {
    path_ = (dir.empty() ? fs::path(".") : dir) / (temporaryPrefix(forFile) + randomSuffix());
    std::FILE* f = std::fopen(path_.string().c_str(), "wb");
    if (!f) throw Error("нельзя создать временный файл");
    std::fclose(f);
}

HeldTemporary::~HeldTemporary() {
    std::error_code ec;
    if (!path_.empty()) fs::remove(path_, ec);
}

void HeldTemporary::release() noexcept {
    path_.clear();
}

RegularFile::RegularFile(const fs::path& path) : path_(path) {
    const std::string name = "«" + path.string() + "»";
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found) throw Error("Файл " + name + " не найден");
    if (fs::is_directory(st)) throw Error(name + " — папка, а не файл");
    if (!fs::is_regular_file(st))
        throw Error(name + " — не обычный файл (канал, устройство или сокет)");
    file_ = std::fopen(path.string().c_str(), "rb");
    if (!file_) throw Error("Не удалось открыть файл " + name);
    size_ = fs::file_size(path, ec);
}

RegularFile::~RegularFile() {
    if (file_) std::fclose(file_);
}

std::size_t RegularFile::read(char* to, std::size_t n) {
    std::size_t done = std::fread(to, 1, n, file_);
    if (done < n && std::ferror(file_)) {
        throw Error("Не удалось прочитать файл «" + path_.string() + "»");
    }
    return done;
}

// Here a read from a place moves the file's position: one thread at a time.
std::size_t RegularFile::readAt(char* to, std::size_t n, std::uintmax_t offset) const {
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
        throw Error("Не удалось прочитать файл «" + path_.string() + "»");
    }
    std::size_t done = std::fread(to, 1, n, file_);
    if (done < n && std::ferror(file_)) {
        throw Error("Не удалось прочитать файл «" + path_.string() + "»");
    }
    return done;
}

StopGuard::StopGuard(const fs::path&) {}
void StopGuard::setChildGroup(long) noexcept {}
StopGuard::~StopGuard() {}

FileReplacement::FileReplacement(const fs::path& given) : given_(given) {
    target_ = followLinks(given);
    std::error_code ec;
    existed_ = fs::exists(target_, ec);
    if (existed_ && !fs::is_regular_file(target_, ec)) fail("это не обычный файл");
    if (existed_ &&
        (fs::status(target_, ec).permissions() & fs::perms::owner_write) == fs::perms::none) {
        throw Error("Файл «" + given_.string() +
                    "» защищён от записи: чертёж в него не сохранён. Сохраните чертёж под "
                    "другим именем или снимите с файла запрет записи");
    }
    fs::path dir = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    temp_ = dir / (temporaryPrefix(target_) + randomSuffix());
    file_ = std::fopen(temp_.string().c_str(), "wb");
    if (!file_) {
        temp_.clear();
        fail("нельзя создать временный файл в папке");
    }
}

FileReplacement::~FileReplacement() {
    discard();
}

void FileReplacement::discard() noexcept {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    std::error_code ec;
    if (!temp_.empty()) fs::remove(temp_, ec);
    temp_.clear();
}

void FileReplacement::fail(const std::string& why) {
    discard();
    throw Error("Не удалось сохранить «" + given_.string() + "»: " + why);
}

void FileReplacement::write(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) fail("ошибка записи");
}

void FileReplacement::commit(bool keepBackup) {
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) fail("ошибка записи");
    std::error_code ec;
    if (keepBackup && existed_) {
        fs::copy_file(target_, backupPath(target_), fs::copy_options::overwrite_existing, ec);
        if (ec) fail("нельзя сохранить прежний файл как .bak");
    }
    fs::rename(temp_, target_, ec);
    if (ec) fail("нельзя заменить файл (" + ec.message() + ")");
    temp_.clear();
}

#endif

}  // namespace cad
