#pragma once

#include <functional>
#include <string_view>

namespace kelvark {

// The hash of a string-keyed table that finds a key from a string_view
// without building a string for it (with std::equal_to<>).
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>()(name); }
};

} // namespace kelvark
