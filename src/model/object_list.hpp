// Every object of the plan when the project was opened. It holds a million
// objects on a big plan and changes only when a project is taken, so the
// undo states share one copy of it with the workspace: a copy of the list is
// a copy of a pointer, and a change copies the objects only while another
// holder still shares them. The objects are all of one drawing and kept by
// their numbers in it (four bytes each rather than a reference's sixteen).
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

#include "cad/drawing.hpp"
#include "cad/error.hpp"

namespace model {

class ObjectList {
  public:
    using Ids = std::vector<cad::EntityId>;

    class Iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = cad::EntityRef;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = cad::EntityRef;

        Iterator() = default;
        Iterator(cad::Drawing* drawing, Ids::const_iterator at) : drawing_(drawing), at_(at) {}
        cad::EntityRef operator*() const { return cad::EntityRef(drawing_, *at_); }
        Iterator& operator++() {
            ++at_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++at_;
            return before;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.at_ == b.at_; }

      private:
        cad::Drawing* drawing_ = nullptr;
        Ids::const_iterator at_;
    };

    ObjectList() = default;
    ObjectList& operator=(const std::vector<cad::EntityRef>& objects) {
        clear();
        auto ids = std::make_shared<Ids>();
        ids->reserve(objects.size());
        for (const cad::EntityRef& e : objects) {
            adopt(e);
            ids->push_back(e.id());
        }
        ids_ = std::move(ids);
        return *this;
    }

    cad::Drawing* drawing() const { return drawing_; }
    const Ids& ids() const {
        static const Ids none;
        return ids_ ? *ids_ : none;
    }
    Iterator begin() const { return Iterator(drawing_, ids().begin()); }
    Iterator end() const { return Iterator(drawing_, ids().end()); }
    std::size_t size() const { return ids().size(); }
    bool empty() const { return ids().empty(); }
    cad::EntityRef operator[](std::size_t i) const { return cad::EntityRef(drawing_, ids()[i]); }
    cad::EntityRef at(std::size_t i) const { return cad::EntityRef(drawing_, ids().at(i)); }
    cad::EntityRef back() const { return cad::EntityRef(drawing_, ids().back()); }

    // The numbers to change, copied first while another holder shares them.
    Ids& edit() {
        if (!ids_) {
            ids_ = std::make_shared<Ids>();
        } else if (ids_.use_count() > 1) {
            ids_ = std::make_shared<Ids>(*ids_);
        }
        return *ids_;
    }
    void clear() {
        ids_.reset();
        drawing_ = nullptr;
    }
    void reserve(std::size_t n) { edit().reserve(n); }
    void push_back(const cad::EntityRef& e) {
        adopt(e);
        edit().push_back(e.id());
    }
    void pop_back() { edit().pop_back(); }

    bool sharesWith(const ObjectList& other) const { return ids_ == other.ids_; }
    friend bool operator==(const ObjectList& a, const ObjectList& b) {
        return a.drawing_ == b.drawing_ && (a.ids_ == b.ids_ || a.ids() == b.ids());
    }

  private:
    void adopt(const cad::EntityRef& e) {
        if (empty() || !drawing_) drawing_ = e.drawing();
        if (e.drawing() != drawing_) {
            throw cad::Error("Список объектов проекта: объект другого чертежа в него не входит");
        }
    }

    cad::Drawing* drawing_ = nullptr;
    std::shared_ptr<Ids> ids_;
};

}  // namespace model
