#pragma once

#include <filesystem>
#include <optional>

#include "Platform/Security/Code.h"

namespace ventrella::security::RunningCodeLocator {

// The path of the running program's signed code, or nothing when it cannot be resolved.
std::optional<std::filesystem::path> currentURL();
std::optional<std::filesystem::path> currentURL(
    const platform::security::CodeSigningServices& services);

}  // namespace ventrella::security::RunningCodeLocator
