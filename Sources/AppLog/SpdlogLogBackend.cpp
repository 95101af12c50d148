#include "AppLog/SpdlogLogBackend.h"

#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/sinks/syslog_sink.h>
#include <spdlog/spdlog.h>

#include <syslog.h>

#include <stdexcept>

namespace ventrella::applog {

namespace {

spdlog::level::level_enum spdlogLevel(LogLevel level) {
    switch (level) {
        case LogLevel::debug:
            return spdlog::level::debug;
        case LogLevel::info:
        case LogLevel::notice:
            return spdlog::level::info;
        case LogLevel::error:
            return spdlog::level::err;
        case LogLevel::fault:
            return spdlog::level::critical;
    }
    return spdlog::level::info;
}

}  // namespace

std::shared_ptr<SpdlogLogBackend> SpdlogLogBackend::standardError(LogLevel minimum) {
    // Not registered with spdlog: the facade's lines must never pass through a logger that
    // bootstrap may replace.
    auto sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
    auto logger = std::make_shared<spdlog::logger>("ventrella", std::move(sink));
    logger->set_pattern("%Y-%m-%d %H:%M:%S.%e [%l] %v");
    return std::make_shared<SpdlogLogBackend>(std::move(logger), minimum);
}

std::shared_ptr<SpdlogLogBackend> SpdlogLogBackend::systemLog(const std::string& ident,
                                                              LogLevel minimum) {
    auto sink = std::make_shared<spdlog::sinks::syslog_sink_mt>(ident, LOG_PID, LOG_USER, true);
    auto logger = std::make_shared<spdlog::logger>("ventrella", std::move(sink));
    logger->set_pattern("%v");
    return std::make_shared<SpdlogLogBackend>(std::move(logger), minimum);
}

std::shared_ptr<SpdlogLogBackend> SpdlogLogBackend::boundedFile(const std::string& path,
                                                                std::size_t maximumBytes,
                                                                LogLevel minimum) {
    std::shared_ptr<spdlog::sinks::rotating_file_sink_mt> sink;
    try {
        sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(path, maximumBytes, 1);
    } catch (const spdlog::spdlog_ex& error) {
        throw std::runtime_error(error.what());
    }
    auto logger = std::make_shared<spdlog::logger>("ventrella", std::move(sink));
    logger->set_pattern("%Y-%m-%d %H:%M:%S.%e [%P] [%l] %v");
    logger->flush_on(spdlog::level::trace);
    logger->set_error_handler([](const std::string&) {});
    return std::make_shared<SpdlogLogBackend>(std::move(logger), minimum);
}

SpdlogLogBackend::SpdlogLogBackend(std::shared_ptr<spdlog::logger> logger, LogLevel minimum)
    : logger_(std::move(logger)), minimum_(minimum) {
    logger_->set_level(spdlog::level::trace);
}

bool SpdlogLogBackend::isEnabled(LogLevel level) const {
    return level >= minimum_;
}

void SpdlogLogBackend::write(std::string_view subsystem, std::string_view category, LogLevel level,
                             std::string_view text) {
    if (!isEnabled(level)) {
        return;
    }
    logger_->log(spdlogLevel(level), "{}[{}] {}", subsystem, category, text);
}

}  // namespace ventrella::applog
