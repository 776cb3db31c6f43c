// Faulting pages in on another core must never change what the filling
// thread writes, whichever of the two reaches a page first.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "cad/platform.hpp"

namespace cad {
namespace {

TEST(Prefault, BufferKeepsWhatIsWrittenWhileItsPagesFaultIn) {
    const std::size_t n = (48u << 20) / sizeof(std::uint64_t);
    std::unique_ptr<std::uint64_t[]> buf(new std::uint64_t[n]);
    {
        PrefaultPages prefault(buf.get(), n * sizeof(std::uint64_t));
        for (std::size_t i = 0; i < n; ++i) buf[i] = i * 2654435761u;
    }
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(buf[i], i * 2654435761u) << i;
}

TEST(Prefault, HeapBlocksKeepWhatIsWrittenWhileTheHeapGrows) {
    std::vector<std::unique_ptr<std::uint32_t[]>> blocks;
    const std::size_t count = 200000, words = 40;
    {
        PrefaultHeap heap(count * words * sizeof(std::uint32_t));
        for (std::size_t b = 0; b < count; ++b) {
            blocks.emplace_back(new std::uint32_t[words]);
            for (std::size_t w = 0; w < words; ++w)
                blocks.back()[w] = static_cast<std::uint32_t>(b + w);
        }
    }
    for (std::size_t b = 0; b < count; ++b) {
        for (std::size_t w = 0; w < words; ++w) {
            ASSERT_EQ(blocks[b][w], static_cast<std::uint32_t>(b + w)) << b;
        }
    }
}

}  // namespace
}  // namespace cad
