// Every object of the plan when the project was opened. It holds a million
// references on a big plan and changes only when a project is taken, so the
// undo states share one copy of it with the workspace: a copy of the list is
// a copy of a pointer, and a change copies the objects only while another
// holder still shares them.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "cad/drawing.hpp"

namespace model {

class ObjectList {
  public:
    using Items = std::vector<cad::EntityRef>;

    ObjectList() = default;
    ObjectList& operator=(Items items) {
        items_ = std::make_shared<Items>(std::move(items));
        return *this;
    }

    const Items& items() const {
        static const Items none;
        return items_ ? *items_ : none;
    }
    Items::const_iterator begin() const { return items().begin(); }
    Items::const_iterator end() const { return items().end(); }
    std::size_t size() const { return items().size(); }
    bool empty() const { return items().empty(); }
    const cad::EntityRef& operator[](std::size_t i) const { return items()[i]; }
    const cad::EntityRef& at(std::size_t i) const { return items().at(i); }
    const cad::EntityRef& back() const { return items().back(); }

    // The objects to change, copied first while another holder shares them.
    Items& edit() {
        if (!items_) {
            items_ = std::make_shared<Items>();
        } else if (items_.use_count() > 1) {
            items_ = std::make_shared<Items>(*items_);
        }
        return *items_;
    }
    void clear() { items_.reset(); }
    void reserve(std::size_t n) { edit().reserve(n); }
    void push_back(const cad::EntityRef& e) { edit().push_back(e); }
    void pop_back() { edit().pop_back(); }

    bool sharesWith(const ObjectList& other) const { return items_ == other.items_; }
    friend bool operator==(const ObjectList& a, const ObjectList& b) {
        return a.items_ == b.items_ || a.items() == b.items();
    }

  private:
    std::shared_ptr<Items> items_;
};

}  // namespace model
