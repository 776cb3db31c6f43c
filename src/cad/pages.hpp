// Memory advice for the few very large buffers a big drawing needs (the
// file, its tags, the entities). Fresh pages cost a fault and zeroing each;
// these spare the loading thread most of that work.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

namespace cad {

// Asks for huge pages behind a large buffer that is about to be filled:
// far fewer page faults when a big file is read. Advice only; harmless
// where the system ignores it.
void adviseHugePages(const void* p, std::size_t bytes);

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

}  // namespace cad
