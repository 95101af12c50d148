#include "Platform/Foundation/EnvironmentLookup.h"

#include <cstdlib>

namespace platform::foundation {

std::optional<std::string> processEnvironmentValue(std::string_view name) {
    const std::string terminated(name);
    if (const char* value = std::getenv(terminated.c_str())) {
        return std::string(value);
    }
    return std::nullopt;
}

}  // namespace platform::foundation
