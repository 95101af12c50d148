#pragma once

#include <string>
#include <string_view>

#include "Platform/Foundation/Sysctl.h"

namespace ventrella::hardware {

// The processor brand text and hardware model as the system reports them.
struct AppleSystemIdentity {
    // "machdep.cpu.brand_string", e.g. "Apple M4 Pro"; empty when unreadable.
    static std::string brandString();
    // "hw.model", e.g. "Mac16,1"; empty when unreadable.
    static std::string hardwareModel();

    // A string value read by name: empty text whenever it cannot be read, never an error.
    static std::string systemValue(
        std::string_view name,
        platform::foundation::SysctlByName sysctl = platform::foundation::sysctlByName);
};

}  // namespace ventrella::hardware
