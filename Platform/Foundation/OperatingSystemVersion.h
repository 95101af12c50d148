#pragma once

#include <string>

namespace platform::foundation {

// The running system's version in one line for people to read, as a report states it:
// "Linux 6.1.0-18-amd64 (#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1)". "unknown" when the kernel
// does not say.
std::string operatingSystemVersionString();

}  // namespace platform::foundation
