#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "AppLog/LogBackend.h"

namespace spdlog {
class logger;
}

namespace ventrella::applog {

// Production backend: one spdlog logger writing "subsystem[category] text" lines, to standard
// error, to the system log (syslog) or to a log file of bounded size.
class SpdlogLogBackend final : public LogBackend {
  public:
    static std::shared_ptr<SpdlogLogBackend> standardError(LogLevel minimum = LogLevel::info);
    static std::shared_ptr<SpdlogLogBackend> systemLog(const std::string& ident,
                                                       LogLevel minimum = LogLevel::info);
    // Appends to `path` (its folder is created) until it would pass `maximumBytes`; then the
    // file becomes "<stem>.1<extension>", replacing the older one, and a new file begins. So
    // the log never takes more than twice `maximumBytes`. Every line is written at once, with
    // the time and the process id. Throws std::runtime_error when the file cannot be opened; a
    // later write that fails is dropped without a word (nothing else may print it).
    static std::shared_ptr<SpdlogLogBackend> boundedFile(const std::string& path,
                                                         std::size_t maximumBytes,
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
