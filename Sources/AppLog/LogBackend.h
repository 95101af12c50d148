#pragma once

#include <memory>
#include <string_view>

namespace ventrella::applog {

// The unified log's message types, lowest first.
enum class LogLevel { debug, info, notice, error, fault };

std::string_view logLevelName(LogLevel level);

// Where the facade's lines end up: the system log in production, a capture in tests.
class LogBackend {
  public:
    virtual ~LogBackend() = default;
    virtual bool isEnabled(LogLevel level) const = 0;
    virtual void write(std::string_view subsystem, std::string_view category, LogLevel level,
                       std::string_view text) = 0;
};

// The process-wide backend slot. A logging facade is process-wide by nature, so this slot is
// the one piece of shared mutable state; it is guarded by a mutex. Until something is
// installed, lines go to the production spdlog backend on standard error.
std::shared_ptr<LogBackend> currentLogBackend();

// Installs `backend` (nullptr restores the production default) and returns the previous one.
std::shared_ptr<LogBackend> installLogBackend(std::shared_ptr<LogBackend> backend);

}  // namespace ventrella::applog
