// The flat handle table against std::unordered_map under the same random
// work: runs of consecutive handles (as files number them), handles that
// share low bits, and erasures in the middle of probe runs.
#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

#include "cad/handle_map.hpp"

namespace cad {
namespace {

void expectSame(const HandleMap& m, const std::unordered_map<Handle, EntityId>& ref,
                Handle maxProbe) {
    ASSERT_EQ(m.size(), ref.size());
    for (Handle h = 0; h <= maxProbe; ++h) {
        auto it = ref.find(h);
        const EntityId* got = m.find(h);
        if (it == ref.end()) {
            ASSERT_EQ(got, nullptr) << "handle " << h;
        } else {
            ASSERT_NE(got, nullptr) << "handle " << h;
            ASSERT_EQ(got->v, it->second.v) << "handle " << h;
        }
    }
}

TEST(HandleMap, AgreesWithUnorderedMapUnderRandomWork) {
    // The last stride puts most handles past 32 bits, with low halves that
    // meet those of handles below it.
    for (Handle stride : {Handle{1}, Handle{1} << 12, Handle{3}, (Handle{1} << 31) + 1}) {
        std::mt19937_64 rnd(42 + stride);
        HandleMap m;
        std::unordered_map<Handle, EntityId> ref;
        const Handle range = 3000;
        for (int step = 0; step < 40000; ++step) {
            Handle h = (rnd() % range) * stride;
            EntityId id{static_cast<std::uint32_t>(rnd() % 1000)};
            switch (rnd() % 4) {
                case 0:
                case 1: {
                    bool added = m.insert(h, id);
                    bool refAdded = h != 0 && ref.emplace(h, id).second;
                    ASSERT_EQ(added, refAdded);
                    break;
                }
                case 2:
                    m.assign(h, id);
                    if (h != 0) ref[h] = id;
                    break;
                default:
                    m.erase(h);
                    ref.erase(h);
                    break;
            }
        }
        for (Handle h = 0; h < range; ++h) {
            auto it = ref.find(h * stride);
            const EntityId* got = m.find(h * stride);
            ASSERT_EQ(got != nullptr, it != ref.end()) << "handle " << h * stride;
            if (got) {
                ASSERT_EQ(got->v, it->second.v);
            }
        }
        EXPECT_EQ(m.size(), ref.size());
    }
}

TEST(HandleMap, KeepsEntriesThroughGrowthAndReserve) {
    HandleMap m;
    std::unordered_map<Handle, EntityId> ref;
    m.reserve(10);
    for (Handle h = 1; h <= 5000; ++h) {
        m.insert(h, EntityId{static_cast<std::uint32_t>(h * 7)});
        ref.emplace(h, EntityId{static_cast<std::uint32_t>(h * 7)});
        if (h == 2500) m.reserve(100000);
    }
    expectSame(m, ref, 5100);
    // Handle 0 names nothing.
    EXPECT_FALSE(m.insert(0, EntityId{1}));
    EXPECT_FALSE(m.contains(0));
    // Erasing every other handle keeps the rest findable.
    for (Handle h = 1; h <= 5000; h += 2) {
        m.erase(h);
        ref.erase(h);
    }
    expectSame(m, ref, 5100);
}

}  // namespace
}  // namespace cad
