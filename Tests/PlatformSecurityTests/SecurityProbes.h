#pragma once

#include <filesystem>
#include <string>

// The probe programs built beside the tests, one source signed in different ways.
inline std::filesystem::path probePath(const std::string& name) {
    return std::filesystem::path(PROBE_DIRECTORY) / ("security-probe-" + name);
}
