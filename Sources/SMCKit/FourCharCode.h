#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ventrella::smc {

// A four-byte key or type text as a number, first byte most significant ("FNum" is
// 0x464E756D). Any other length throws SMCError::firmware(badParameter).
std::uint32_t fourCharCode(std::string_view text);

// The code's four bytes, most significant first, read as ASCII; "????" when any is not ASCII.
std::string fourCharASCII(std::uint32_t code);
// The four bytes decoded as UTF-8, each invalid byte replaced by U+FFFD.
std::string fourCharUTF8(std::uint32_t code);
// Each byte taken as the Unicode scalar of its value, written as UTF-8.
std::string fourCharScalars(std::uint32_t code);

}  // namespace ventrella::smc
