#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::foundation {

// The text with every ill-formed UTF-8 sequence (each maximal invalid part) replaced by U+FFFD.
std::string repairedUTF8(std::string_view bytes);

bool isValidUTF8(std::string_view bytes);

// The first `maximumScalars` Unicode scalars of valid UTF-8 text; never splits a sequence.
std::string_view prefixScalars(std::string_view text, std::size_t maximumScalars);

}  // namespace platform::foundation
