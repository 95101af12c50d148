#pragma once

#include <cstdint>

namespace ventrella::security::ClientCodeSignaturePolicy {

inline constexpr std::uint32_t runtime = 0x10000;
inline constexpr std::uint32_t libraryValidation = 0x2000;
inline constexpr std::uint32_t hardenedRuntime = runtime | libraryValidation;

}  // namespace ventrella::security::ClientCodeSignaturePolicy
