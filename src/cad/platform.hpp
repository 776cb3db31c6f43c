// What the engine asks of the operating system beyond plain C++: memory
// advice for the few very large buffers a big drawing needs (the file, its
// tags, the entities), and replacing a file whole. Fresh pages cost a fault
// and zeroing each; the advice spares the loading thread most of that work.
// Everything here is advice or has a portable fallback: where the system
// offers nothing, reading is slower and saving is plain, never wrong.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>

namespace cad {

// Asks for huge pages behind a large buffer that is about to be filled:
// far fewer page faults when a big file is read. Advice only; harmless
// where the system ignores it.
void adviseHugePages(const void* p, std::size_t bytes);

// Gives back to the system the whole pages of [p, p + bytes) that will not
// be touched again (their contents are lost). Advice only.
void releasePages(const void* p, std::size_t bytes);

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

// A file written whole under a temporary name and put in place of the
// target in one rename, so that the target is at no moment missing or half
// written, and a failure at any step leaves every file as it was.
// - A symbolic link is followed: its target is replaced, the link stays.
// - A target that is read-only, or not a regular file, is refused.
// - The new file gets the old one's mode and, where permitted, its owner.
// - The temporary name is short (a name at the file system's limit still
//   saves) and tells which target it belongs to: temporaries a killed save
//   left behind are removed by the next save of the same file.
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
};

// The name the previous version of a saved file is kept under: the
// extension replaced by ".bak", or ".bak" added to a name that already ends
// in ".bak", so that it is never the file itself.
std::filesystem::path backupPath(const std::filesystem::path& target);

}  // namespace cad
