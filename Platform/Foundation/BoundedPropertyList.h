#pragma once

#include <plist/plist.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform::foundation {

struct PropertyListDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};

// An owned libplist node (a whole document or a detached value).
using PropertyListPtr = std::unique_ptr<std::remove_pointer_t<plist_t>, PropertyListDeleter>;

// The largest property list document parsed. The XML parser recurses once per nesting level,
// so the size bounds the depth it can be driven to.
inline constexpr std::size_t kMaximumPropertyListBytes = 64 * 1024;

// Parses an XML or binary property list that may come from anyone. Empty when the bytes are
// not one, are larger than kMaximumPropertyListBytes, or form a binary list whose objects
// refer to each other in a cycle, nest deeper than 128 levels or, shared objects counted once
// per reference, expand to more than 65536 values (a few hundred bytes can otherwise describe
// billions).
PropertyListPtr parseBoundedPropertyList(std::string_view bytes);

// The binary form of the property list. Throws std::runtime_error when libplist cannot
// write it.
std::string binaryPropertyList(plist_t root);

}  // namespace platform::foundation
