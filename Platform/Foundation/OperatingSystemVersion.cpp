#include "Platform/Foundation/OperatingSystemVersion.h"

#include <sys/utsname.h>

namespace platform::foundation {

std::string operatingSystemVersionString() {
    utsname name{};
    if (::uname(&name) != 0) {
        return "unknown";
    }
    return std::string(name.sysname) + " " + name.release + " (" + name.version + ")";
}

}  // namespace platform::foundation
