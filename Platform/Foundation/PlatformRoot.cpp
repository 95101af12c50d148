#include "Platform/Foundation/PlatformRoot.h"

#include <cstdlib>

namespace platform::foundation {

std::filesystem::path platformRoot() {
    const char* value = std::getenv("VIRTUAL_MAC_ROOT");
    if (value == nullptr || *value == '\0') {
        return "/";
    }
    return std::filesystem::path(value);
}

std::filesystem::path resolveMacPath(std::string_view macPath) {
    std::filesystem::path relative(macPath);
    relative = relative.relative_path();
    return platformRoot() / relative;
}

}  // namespace platform::foundation
