// Names that millions of entities share: layer names and entity types. Each
// distinct text is kept once for the whole program and a Name points to it,
// so an entity carries eight bytes instead of a string of its own and
// reading a drawing allocates nothing per entity for them.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace cad {

class Name {
  public:
    Name();                                                    // the empty name
    Name(std::string_view s);                                  // NOLINT: any text is a name
    Name(const std::string& s) : Name(std::string_view(s)) {}  // NOLINT
    Name(const char* s) : Name(std::string_view(s)) {}         // NOLINT

    const std::string& str() const { return *p_; }
    operator const std::string&() const { return *p_; }  // NOLINT
    operator std::string_view() const { return *p_; }    // NOLINT
    const char* c_str() const { return p_->c_str(); }
    std::size_t size() const { return p_->size(); }
    bool empty() const { return p_->empty(); }

    friend bool operator==(const Name& a, std::string_view b) { return *a.p_ == b; }
    friend std::string operator+(const Name& a, std::string_view b) {
        return *a.p_ + std::string(b);
    }
    friend std::string operator+(std::string a, const Name& b) { return a += *b.p_; }
    friend std::ostream& operator<<(std::ostream& os, const Name& n);

  private:
    const std::string* p_;
};

}  // namespace cad
