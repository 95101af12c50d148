#pragma once

#include <spdlog/sinks/base_sink.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "AppLog/LogBackend.h"

namespace ventrella::applog {

// spdlog sink that forwards every spdlog event to the facade's backend: the subsystem fixed at
// creation, the spdlog logger's name as category, and the handler's metadata as a " meta="
// suffix. Its own level (the sink level) starts at trace.
class OSLogHandler final : public spdlog::sinks::base_sink<std::mutex> {
  public:
    using Metadata = std::map<std::string, std::string>;

    explicit OSLogHandler(std::string subsystem);

    const std::string& subsystem() const { return subsystem_; }

    Metadata metadata();
    void setMetadata(Metadata metadata);
    std::optional<std::string> metadataValue(const std::string& key);
    void setMetadataValue(const std::string& key, std::optional<std::string> value);

    spdlog::level::level_enum logLevel() const { return level(); }
    void setLogLevel(spdlog::level::level_enum level) { set_level(level); }

    static LogLevel mapLevel(spdlog::level::level_enum level);
    // ["key": value, ...] in key order; empty text for no metadata.
    static std::string describe(const Metadata& metadata);

  protected:
    void sink_it_(const spdlog::details::log_msg& message) override;
    void flush_() override {}

  private:
    std::string subsystem_;
    Metadata metadata_;
};

}  // namespace ventrella::applog
