#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace virtualmac {

// The device's own conversion of fan speeds: "flt " little-endian float, "fpe2" unsigned
// 16-bit big-endian in quarters. Out-of-range "fpe2" values saturate.
std::vector<std::uint8_t> encodeSpeed(const std::string& dataType, double rpm);
double decodeSpeed(const std::string& dataType, const std::vector<std::uint8_t>& bytes);

}  // namespace virtualmac
