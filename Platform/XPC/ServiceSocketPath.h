#pragma once

#include <filesystem>
#include <string_view>

namespace platform::xpc {

// Where the listener of a Mach service name accepts connections:
// "/var/run/xpc/<name>.sock" under the platform root. Throws XPCError
// `invalidServiceName` for a name that is empty, longer than 200 bytes, starts
// with '.', or holds anything but letters, digits, '.', '-' and '_' (so it can
// never leave the directory), and `socketPathTooLong` when the resolved path does
// not fit a Unix socket address (107 bytes).
std::filesystem::path serviceSocketPath(std::string_view serviceName);

}  // namespace platform::xpc
