#include "AppLog/OSLogHandler.h"

namespace ventrella::applog {

OSLogHandler::OSLogHandler(std::string subsystem) : subsystem_(std::move(subsystem)) {
    set_level(spdlog::level::trace);
}

OSLogHandler::Metadata OSLogHandler::metadata() {
    std::lock_guard lock(mutex_);
    return metadata_;
}

void OSLogHandler::setMetadata(Metadata metadata) {
    std::lock_guard lock(mutex_);
    metadata_ = std::move(metadata);
}

std::optional<std::string> OSLogHandler::metadataValue(const std::string& key) {
    std::lock_guard lock(mutex_);
    const auto found = metadata_.find(key);
    if (found == metadata_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void OSLogHandler::setMetadataValue(const std::string& key, std::optional<std::string> value) {
    std::lock_guard lock(mutex_);
    if (value) {
        metadata_[key] = std::move(*value);
    } else {
        metadata_.erase(key);
    }
}

LogLevel OSLogHandler::mapLevel(spdlog::level::level_enum level) {
    switch (level) {
        case spdlog::level::trace:
        case spdlog::level::debug:
            return LogLevel::debug;
        case spdlog::level::info:
            return LogLevel::info;
        case spdlog::level::warn:
        case spdlog::level::err:
            return LogLevel::error;
        default:
            return LogLevel::fault;
    }
}

std::string OSLogHandler::describe(const Metadata& metadata) {
    if (metadata.empty()) {
        return {};
    }
    std::string text = "[";
    bool first = true;
    for (const auto& [key, value] : metadata) {
        if (!first) {
            text += ", ";
        }
        first = false;
        text += "\"" + key + "\": " + value;
    }
    return text + "]";
}

void OSLogHandler::sink_it_(const spdlog::details::log_msg& message) {
    // Called with mutex_ held by base_sink.
    std::string text(message.payload.data(), message.payload.size());
    if (!metadata_.empty()) {
        text += " meta=" + describe(metadata_);
    }
    const auto backend = currentLogBackend();
    const auto level = mapLevel(message.level);
    if (backend && backend->isEnabled(level)) {
        backend->write(subsystem_,
                       std::string_view(message.logger_name.data(), message.logger_name.size()),
                       level, text);
    }
}

}  // namespace ventrella::applog
