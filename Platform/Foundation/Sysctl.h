#pragma once

#include <cstddef>
#include <string_view>

namespace platform::foundation {

// The signature of `sysctlByName`, so that callers can take a replacement for tests.
using SysctlByName = int (*)(const char* name, void* buffer, std::size_t* size);

// Reads a system value by name. With a null `buffer`, stores the value's size in
// `*size`. Otherwise copies the value into `buffer`, which holds `*size` bytes,
// and stores the number of bytes copied; a buffer that is too small gives ENOMEM.
// String values include their terminating zero byte. Returns 0, or an errno
// value: ENOENT for an unknown name, EINVAL for a malformed name or a null size.
//
// The simulated machine publishes its values as files under
// "/var/run/virtual-mac/sysctl/" of the platform root.
int sysctlByName(const char* name, void* buffer, std::size_t* size);

// Publishes a string value for `sysctlByName` to find (replacing any earlier
// one). Throws std::invalid_argument for a malformed name and
// std::filesystem::filesystem_error when the value cannot be written.
void publishSysctlValue(std::string_view name, std::string_view text);

}  // namespace platform::foundation
