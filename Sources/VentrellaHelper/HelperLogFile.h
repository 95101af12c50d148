#pragma once

#include <cstddef>
#include <memory>

#include "AppLog/LogBackend.h"

namespace ventrella::helper {

// Where the helper's log lines go: its own and those of the layers below it. A file of bounded
// size stands in for the unified log (HelperPaths::logFile() under the platform root, at most
// 1 MiB and one older file), so that nothing but its outcome reaches the terminal of
// "--restore-automatic". When the file cannot be opened the lines go to the system log.
class HelperLogFile {
  public:
    static constexpr std::size_t maximumBytes = 1024 * 1024;

    HelperLogFile() = delete;

    static std::shared_ptr<applog::LogBackend> backend();
};

}  // namespace ventrella::helper
