// An array of plain records for the scene's large tables. It grows through
// realloc: a large block is a mapping of its own (glibc: from 32 MB at the
// latest), which the system moves and lengthens by remapping pages, never by
// copying them, so a table that grows to hundreds of megabytes never holds
// two copies of itself (a std::vector would, for a moment at each doubling),
// and the part of a step not yet written takes no memory. Elsewhere it is
// no worse than a vector.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace render {

template <class T>
class FlatArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "records moved byte by byte");

  public:
    FlatArray() = default;
    FlatArray(const FlatArray&) = delete;
    FlatArray& operator=(const FlatArray&) = delete;
    FlatArray(FlatArray&& o) noexcept : p_(o.p_), size_(o.size_), cap_(o.cap_) {
        o.p_ = nullptr;
        o.size_ = o.cap_ = 0;
    }
    FlatArray& operator=(FlatArray&& o) noexcept {
        if (this != &o) {
            std::free(p_);
            p_ = o.p_;
            size_ = o.size_;
            cap_ = o.cap_;
            o.p_ = nullptr;
            o.size_ = o.cap_ = 0;
        }
        return *this;
    }
    ~FlatArray() { std::free(p_); }

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return cap_; }
    bool empty() const { return size_ == 0; }
    T* data() { return p_; }
    const T* data() const { return p_; }
    T& operator[](std::size_t i) { return p_[i]; }
    const T& operator[](std::size_t i) const { return p_[i]; }
    const T& at(std::size_t i) const {
        if (i >= size_) throw std::out_of_range("FlatArray::at");
        return p_[i];
    }
    T& back() { return p_[size_ - 1]; }
    T* begin() { return p_; }
    T* end() { return p_ + size_; }
    const T* begin() const { return p_; }
    const T* end() const { return p_ + size_; }

    // v is copied before the array may move, so it may be one of its own records.
    void push_back(const T& v) {
        if (size_ == cap_) {
            const T copy = v;
            grow(size_ + 1);
            p_[size_++] = copy;
            return;
        }
        p_[size_++] = v;
    }
    void resize(std::size_t n, const T& v = T{}) {
        if (n > cap_) grow(n);
        for (std::size_t i = size_; i < n; ++i) p_[i] = v;
        size_ = n;
    }
    void assign(std::size_t n, const T& v) {
        size_ = 0;
        resize(n, v);
    }
    void clear() { size_ = 0; }
    // Gives back the room beyond the records.
    void shrinkToFit() {
        if (size_ == cap_) return;
        if (size_ == 0) {
            std::free(p_);
            p_ = nullptr;
            cap_ = 0;
            return;
        }
        if (T* q = static_cast<T*>(std::realloc(p_, size_ * sizeof(T)))) {
            p_ = q;
            cap_ = size_;
        }
    }

  private:
    void grow(std::size_t least) {
        // The room a step adds and nothing writes takes no memory.
        std::size_t cap = cap_ * 2;
        if (cap < least) cap = least;
        if (cap < 16) cap = 16;
        if (cap > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        T* q = static_cast<T*>(std::realloc(p_, cap * sizeof(T)));
        if (!q) throw std::bad_alloc();
        p_ = q;
        cap_ = cap;
    }

    T* p_ = nullptr;
    std::size_t size_ = 0;
    std::size_t cap_ = 0;
};

}  // namespace render
