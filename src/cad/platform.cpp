#include "cad/platform.hpp"

#if defined(__unix__) || defined(__APPLE__)
#define KV_POSIX 1
#include <fcntl.h>
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

void adviseHugePages(const void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    if (bytes < 2 * kHuge) return;
    HugeSpan span = hugePagesInside(p, bytes);
    if (span.to > span.from) {
        madvise(reinterpret_cast<void*>(span.from), span.to - span.from, MADV_HUGEPAGE);
    }
#else
    (void)p;
    (void)bytes;
#endif
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

PrefaultPages::PrefaultPages(void* p, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    if (bytes < kPrefaultMin) return;
    HugeSpan span = hugePagesInside(p, bytes);
    if (span.to <= span.from) return;
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

// The temporaries of one target share a short prefix made from its name:
// ".kv" and eight hex digits, then a dot and six random characters.
std::string tempPrefix(const fs::path& target) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : target.filename().string()) h = (h ^ c) * 16777619u;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s = ".kv";
    for (int shift = 28; shift >= 0; shift -= 4) s += kHex[(h >> shift) & 0xF];
    return s + '.';
}
constexpr std::size_t kTempSuffix = 6;

std::string randomSuffix() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 gen{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    std::string s;
    for (std::size_t i = 0; i < kTempSuffix; ++i) s += kChars[pick(gen)];
    return s;
}

}  // namespace

#ifdef KV_POSIX

namespace {

// A save holds a lock on its temporary file for as long as it writes it; a
// temporary nobody holds belongs to a save that was killed.
void removeAbandonedTemporaries(const fs::path& dir, const std::string& prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kTempSuffix || name.compare(0, prefix.size(), prefix)) {
            continue;
        }
        int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(it->path().c_str());
        ::close(fd);
    }
}

}  // namespace

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

    fs::path dir = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    const std::string prefix = tempPrefix(target_);
    removeAbandonedTemporaries(dir, prefix);
    for (int attempt = 0;; ++attempt) {
        fs::path temp = dir / (prefix + randomSuffix());
        // The kernel applies the umask to a new file's 0666.
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST && attempt < 100) continue;
            fail("нельзя создать временный файл в папке (" + systemText(errno) + ")");
        }
        fd_ = fd;
        temp_ = temp;
        ::flock(fd_, LOCK_EX | LOCK_NB);
        // Another save's cleanup may have taken it between open and lock.
        struct stat own {};
        if (::fstat(fd_, &own) == 0 && own.st_nlink == 0 && attempt < 100) {
            ::close(fd_);
            fd_ = -1;
            continue;
        }
        break;
    }
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
    if (keepBackup && existed_) {
        for (int attempt = 0; heldOld.empty(); ++attempt) {
            fs::path name = dir / (tempPrefix(target_) + randomSuffix());
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
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        int err = errno;
        if (!heldOld.empty()) ::unlink(heldOld.c_str());
        fail("нельзя заменить файл (" + systemText(err) + ")");
    }
    temp_.clear();
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
    temp_ = dir / (tempPrefix(target_) + randomSuffix());
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
