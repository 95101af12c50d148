#pragma once

#include <cstdint>

namespace platform::security {

// Result of every code-signing call: 0 is success, anything else a failure.
using OSStatus = std::int32_t;

inline constexpr OSStatus statusSuccess = 0;
inline constexpr OSStatus statusInvalidParameter = -50;
// The object refers to no code (an empty handle).
inline constexpr OSStatus statusInvalidObject = -67001;
// No process, or the process ended or was replaced while it was examined.
inline constexpr OSStatus statusNoSuchCode = -67002;
// The file or bundle executable cannot be opened.
inline constexpr OSStatus statusStaticCodeNotFound = -67003;
// The code carries no signature.
inline constexpr OSStatus statusUnsigned = -67004;
// The signature is damaged or does not match the image.
inline constexpr OSStatus statusSignatureInvalid = -67005;
// A hardened process runs under a tracer or with an injected loader setting.
inline constexpr OSStatus statusGuestRefused = -67006;
// Reading the code failed for a reason of the system.
inline constexpr OSStatus statusIOError = -67007;

}  // namespace platform::security
