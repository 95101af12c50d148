#pragma once

#include <memory>
#include <string>

#include "AppLog/LogBackend.h"

namespace spdlog {
class logger;
}

namespace ventrella::applog {

// Production backend: one spdlog logger writing "subsystem[category] text" lines, either to
// standard error or to the system log (syslog).
class SpdlogLogBackend final : public LogBackend {
  public:
    static std::shared_ptr<SpdlogLogBackend> standardError(LogLevel minimum = LogLevel::info);
    static std::shared_ptr<SpdlogLogBackend> systemLog(const std::string& ident,
                                                       LogLevel minimum = LogLevel::info);

    SpdlogLogBackend(std::shared_ptr<spdlog::logger> logger, LogLevel minimum);

    bool isEnabled(LogLevel level) const override;
    void write(std::string_view subsystem, std::string_view category, LogLevel level,
               std::string_view text) override;

  private:
    std::shared_ptr<spdlog::logger> logger_;
    LogLevel minimum_;
};

}  // namespace ventrella::applog
