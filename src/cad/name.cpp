#include "cad/name.hpp"

#include <mutex>
#include <ostream>
#include <unordered_set>

namespace cad {

namespace {

struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

struct Pool {
    std::mutex mutex;
    // Nodes never move: pointers to the strings stay valid for good.
    std::unordered_set<std::string, Hash, std::equal_to<>> names;
};

Pool& pool() {
    static Pool* p = new Pool();  // never destroyed: names may outlive static destructors
    return *p;
}

const std::string* intern(std::string_view s) {
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    auto it = p.names.find(s);
    if (it == p.names.end()) it = p.names.emplace(s).first;
    return &*it;
}

}  // namespace

Name::Name() {
    static const std::string* empty = intern({});
    p_ = empty;
}

Name::Name(std::string_view s) : p_(intern(s)) {}

std::ostream& operator<<(std::ostream& os, const Name& n) {
    return os << n.str();
}

}  // namespace cad
