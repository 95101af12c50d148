#pragma once

#include <string>
#include <string_view>

#include "AppLog/AppLogMessage.h"
#include "AppLog/LogBackend.h"

namespace ventrella::applog {

class Signposter;

// The facade through which the hardware layers write one-line events to the system log.
class AppLog {
  public:
    static constexpr std::string_view defaultSubsystem = "io.lowmarsh.fan";

    // One log destination: a subsystem and a category. Cheap to copy, usable from any thread.
    class Channel {
      public:
        Channel(std::string subsystem, std::string category)
            : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

        void debug(const AppLogMessage& message) const { log(LogLevel::debug, message); }
        void info(const AppLogMessage& message) const { log(LogLevel::info, message); }
        void notice(const AppLogMessage& message) const { log(LogLevel::notice, message); }
        void error(const AppLogMessage& message) const { log(LogLevel::error, message); }
        void fault(const AppLogMessage& message) const { log(LogLevel::fault, message); }
        void log(LogLevel level, const AppLogMessage& message) const;

        const std::string& subsystem() const { return subsystem_; }
        const std::string& category() const { return category_; }

      private:
        std::string subsystem_;
        std::string category_;
    };

    // A channel of the current subsystem; it keeps that subsystem even if a later bootstrap
    // changes the current one.
    static Channel make(std::string_view category);

    static std::string currentSubsystem();

    // Stores the subsystem (on every call) and, on the first call only, installs spdlog's
    // default logger over an OSLogHandler so that spdlog users reach the same log; then
    // writes a "process.started" notice on category "AppLog".
    static void bootstrap(std::string_view subsystem);

    static Signposter signposter(std::string_view category);
};

}  // namespace ventrella::applog
