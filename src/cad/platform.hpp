// What the engine asks of the operating system beyond plain C++: memory
// advice for the few very large buffers a big drawing needs (the file, its
// tags, the entities), files opened without waiting, temporaries that no
// killed program leaves behind for long, and replacing a file whole. Fresh
// pages cost a fault and zeroing each; the advice spares the loading thread
// most of that work.
// Everything here is advice or has a portable fallback: where the system
// offers nothing, reading is slower and saving is plain, never wrong.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "cad/file_lock.hpp"

namespace cad {

// Bytes of memory of this machine, 0 when the system does not say.
std::uintmax_t physicalMemory();

// Gives back to the system the whole pages of [p, p + bytes) that will not
// be touched again (their contents are lost). Advice only.
void releasePages(const void* p, std::size_t bytes);

// Memory of its own for a large buffer that lives a short while, straight
// from the system: freeing it through malloc would raise malloc's threshold
// for taking memory from the system, and the drawing read afterwards would
// keep more memory. Contents undefined; cad::Error when there is none.
class ScratchMemory {
  public:
    explicit ScratchMemory(std::size_t bytes);
    ScratchMemory(const ScratchMemory&) = delete;
    ScratchMemory& operator=(const ScratchMemory&) = delete;
    ~ScratchMemory();
    void* data() const { return p_; }

  private:
    void* p_ = nullptr;
    std::size_t bytes_ = 0;
};

// Faults in the pages of a large buffer on another core, front to back,
// while this thread fills it from the front. Advice only: where the system
// cannot do it, nothing happens. The worker is stopped and joined when the
// object goes, which must be before the buffer goes.
class PrefaultPages {
  public:
    PrefaultPages() = default;
    PrefaultPages(void* p, std::size_t bytes);
    PrefaultPages(const PrefaultPages&) = delete;
    PrefaultPages& operator=(const PrefaultPages&) = delete;
    ~PrefaultPages();

  private:
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

// While a big drawing is read, millions of small values (polyline vertices,
// texts) are carved from the top of the malloc heap, each new page of it a
// fault on the reading thread. This grows the heap in large steps and has
// another core fault in each new stretch as soon as it is there. Only the
// reading thread should create one, for the time of the reading.
class PrefaultHeap {
  public:
    explicit PrefaultHeap(std::size_t expectedBytes);
    PrefaultHeap(const PrefaultHeap&) = delete;
    PrefaultHeap& operator=(const PrefaultHeap&) = delete;
    ~PrefaultHeap();

  private:
    std::atomic<bool> stop_{false};
    bool padded_ = false;
    std::thread worker_;
};

// A regular file opened for reading, checked before a byte is read: the
// open itself never waits (a pipe nobody writes to would block it), and a
// folder, pipe, device or socket is refused with cad::Error saying which.
// The check is made on the opened file, so a name changed in between cannot
// slip another kind of file past it.
class RegularFile {
  public:
    explicit RegularFile(const std::filesystem::path& path);
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    std::uintmax_t size() const { return size_; }
    int fd() const { return fd_; }  // -1 where the system has no descriptors
    // Reads up to `n` bytes from where the last read ended; fewer only at the
    // end of the file. cad::Error when the system fails to read.
    std::size_t read(char* to, std::size_t n);
    // Reads up to `n` bytes from `offset`, leaving the position of read()
    // alone, so that two threads may read two parts at once; fewer only at
    // the end of the file. cad::Error when the system fails to read. At once
    // from two threads only where the system has descriptors (fd() >= 0).
    std::size_t readAt(char* to, std::size_t n, std::uintmax_t offset) const;
    // The rest of the file; cad::Error when it is larger than `limit`.
    std::string readAll(std::uintmax_t limit);

  private:
    std::filesystem::path path_;
    std::uintmax_t size_ = 0;
    int fd_ = -1;                // POSIX systems
    std::FILE* file_ = nullptr;  // elsewhere
};

// The names of the program's temporary files in a folder: ".kv", eight hex
// digits made from the name of the file they are for, a dot and six random
// characters. Whoever writes one holds a lock on it (see HeldTemporary).
std::string temporaryPrefix(const std::filesystem::path& forFile);
bool isTemporaryName(std::string_view fileName);

// A new temporary file in `dir`, named for `forFile` and locked for as long
// as the object lives, so that no cleanup takes it from under its writer;
// removed with the object unless kept(). cad::Error (the system's reason)
// when it cannot be made.
class HeldTemporary {
  public:
    HeldTemporary(const std::filesystem::path& dir, const std::filesystem::path& forFile);
    HeldTemporary(const HeldTemporary&) = delete;
    HeldTemporary& operator=(const HeldTemporary&) = delete;
    ~HeldTemporary();

    const std::filesystem::path& path() const { return path_; }
    int fd() const { return fd_; }
    // The file is no longer the object's to remove (it was renamed or linked
    // into place); the lock goes with the descriptor.
    void release() noexcept;

  private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// Removes the temporary files in `dir` that nobody holds: what a save or a
// conversion left when it was killed. Files held by a running save, in this
// program or another, stay. Quietly does nothing where it may not.
void removeAbandonedTemporaries(const std::filesystem::path& dir);

// What must not outlive the program when it is told to stop (SIGTERM,
// SIGINT, SIGHUP, SIGQUIT, where the program has not chosen otherwise): a
// file to remove and a child process group to kill. While a guard lives, the
// signal removes the file and kills the group before the program ends as the
// signal says. At most 16 guards at once; past that a guard does nothing.
class StopGuard {
  public:
    explicit StopGuard(const std::filesystem::path& file = {});
    StopGuard(const StopGuard&) = delete;
    StopGuard& operator=(const StopGuard&) = delete;
    ~StopGuard();

    // The process group to kill (a child started as the leader of its own).
    void setChildGroup(long pgid) noexcept;

  private:
    int slot_ = -1;
};

// A file written whole under a temporary name and put in place of the
// target in one rename, so that the target is at no moment missing or half
// written, and a failure at any step leaves every file as it was.
// - A symbolic link is followed: its target is replaced, the link stays.
// - A target that is read-only, or not a regular file, is refused.
// - The new file gets the old one's mode and, where permitted, its owner.
// - The temporary name is short (a name at the file system's limit still
//   saves) and tells which target it belongs to: temporaries a killed save
//   left behind are removed by the next save of the same file, and by the
//   next reading of a drawing in that folder.
// - The target is locked for the time of the save (FileLock::save): a second
//   save of it meanwhile, or a save of a drawing another program has open,
//   is refused (FileLocked), never silently lost.
// Failures throw cad::Error naming the file and the reason, in Russian.
class FileReplacement {
  public:
    explicit FileReplacement(const std::filesystem::path& target);
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();  // an uncommitted temporary file is removed

    void write(std::string_view bytes);
    // Puts the new file in place; when `keepBackup` and the target existed,
    // the old file stays under backupPath(target()).
    void commit(bool keepBackup);

    // The file that is replaced: the path given, or what its links name.
    const std::filesystem::path& target() const { return target_; }

  private:
    [[noreturn]] void fail(const std::string& why);
    void discard() noexcept;

    std::filesystem::path given_;
    std::filesystem::path target_;
    std::filesystem::path temp_;
    int fd_ = -1;                // POSIX systems
    std::FILE* file_ = nullptr;  // elsewhere
    bool existed_ = false;
    FileLock lock_;
    std::unique_ptr<StopGuard> stop_;  // the temporary goes if the program is stopped
};

// The name the previous version of a saved file is kept under: the
// extension replaced by ".bak", or ".bak" added to a name that already ends
// in ".bak", so that it is never the file itself.
std::filesystem::path backupPath(const std::filesystem::path& target);

}  // namespace cad
