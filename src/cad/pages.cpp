#include "cad/pages.hpp"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <system_error>

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
    if (bytes < 2 * kHuge) return;
    HugeSpan span = hugePagesInside(p, bytes);
    if (span.to > span.from) {
        madvise(reinterpret_cast<void*>(span.from), span.to - span.from, MADV_HUGEPAGE);
    }
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
