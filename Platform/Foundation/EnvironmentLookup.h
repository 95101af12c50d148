#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform::foundation {

// Reads one environment variable; absent when it is not set. Callers take one so that a test can
// hand in an environment of its own.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The running process's environment.
std::optional<std::string> processEnvironmentValue(std::string_view name);

}  // namespace platform::foundation
