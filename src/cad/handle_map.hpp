// Handle -> entity as one flat open-addressed table. A plan has a million
// entities; a node per entry (std::unordered_map) would be a million
// allocations while a drawing loads and twice the memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "cad/entity.hpp"
#include "cad/platform.hpp"

namespace cad {

class HandleMap {
  public:
    std::size_t size() const { return size_; }

    // Room for n entries without growing.
    void reserve(std::size_t n) {
        std::size_t want = 16;
        while (want < n + n / 2 + 1) want *= 2;  // at most two thirds full
        if (want > slots_.size()) rehash(want);
    }

    const EntityId* find(Handle h) const {
        if (h > kNear) {
            auto it = far_.find(h);
            return it == far_.end() ? nullptr : &it->second;
        }
        if (h == 0 || slots_.empty()) return nullptr;
        for (std::size_t i = home(h);; i = (i + 1) & mask()) {
            if (slots_[i].handle == h) return &slots_[i].id;
            if (slots_[i].handle == 0) return nullptr;
        }
    }
    bool contains(Handle h) const { return find(h) != nullptr; }

    // Adds h -> id unless h is there already; true when added. Handle 0 names
    // nothing and is never kept.
    bool insert(Handle h, EntityId id) {
        if (h == 0) return false;
        if (h > kNear) {
            if (!far_.emplace(h, id).second) return false;
            ++size_;
            return true;
        }
        if ((size_ + 1) * 3 > slots_.size() * 2) rehash(slots_.empty() ? 16 : slots_.size() * 2);
        std::size_t i = home(h);
        std::size_t probes = 0;
        for (; slots_[i].handle != 0; i = (i + 1) & mask()) {
            if (slots_[i].handle == h) return false;
            if (++probes == kLongRun && !scattered_) {
                scattered_ = true;
                rehash(slots_.size());
                return insert(h, id);
            }
        }
        slots_[i] = Slot{static_cast<std::uint32_t>(h), id};
        ++size_;
        return true;
    }
    // Adds or replaces.
    void assign(Handle h, EntityId id) {
        if (insert(h, id) || h == 0) return;
        if (h > kNear) {
            far_[h] = id;
        } else {
            slots_[slotOf(h)].id = id;
        }
    }

    void erase(Handle h) {
        if (!contains(h)) return;
        if (h > kNear) {
            far_.erase(h);
            --size_;
            return;
        }
        std::size_t hole = slotOf(h);
        // Move later members of the run back so that no search stops early.
        for (std::size_t i = (hole + 1) & mask(); slots_[i].handle != 0; i = (i + 1) & mask()) {
            std::size_t want = home(slots_[i].handle);
            // i may fill the hole when its home is not in (hole, i].
            bool between = hole <= i ? (hole < want && want <= i) : (hole < want || want <= i);
            if (!between) {
                slots_[hole] = slots_[i];
                hole = i;
            }
        }
        slots_[hole] = Slot{};
        --size_;
    }

  private:
    // Eight bytes: handles past 32 bits, which files hardly ever use, are
    // kept apart in `far_` (a plan has a million entities and half as many
    // empty slots again).
    struct Slot {
        std::uint32_t handle = 0;  // 0: empty
        EntityId id;
    };

    std::size_t mask() const { return slots_.size() - 1; }
    // Files number their handles in order, so a handle is its own slot: a
    // run of handles is filled and read from memory in sequence. Handles
    // that pile up (spaced by a power of two, say) make long probe runs;
    // the first such run turns the table over to a multiplicative hash.
    std::size_t home(Handle h) const {
        if (scattered_) return static_cast<std::size_t>((h * 0x9E3779B97F4A7C15ull) >> 32) & mask();
        return static_cast<std::size_t>(h) & mask();
    }
    std::size_t slotOf(Handle h) const {
        std::size_t i = home(h);
        while (slots_[i].handle != h) i = (i + 1) & mask();
        return i;
    }
    void rehash(std::size_t count) {  // count: a power of two
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.reserve(count);
        slots_.assign(count, Slot{});
        size_ = far_.size();
        for (const Slot& s : old) {
            if (s.handle != 0) insert(s.handle, s.id);
        }
    }

    static constexpr Handle kNear = 0xFFFFFFFF;
    std::vector<Slot> slots_;
    std::unordered_map<Handle, EntityId> far_;  // handles past 32 bits
    std::size_t size_ = 0;
    bool scattered_ = false;
    static constexpr std::size_t kLongRun = 64;
};

}  // namespace cad
