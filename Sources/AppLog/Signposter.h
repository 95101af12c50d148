#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "AppLog/AppLog.h"

namespace ventrella::applog {

struct SignpostInterval {
    std::string name;
    std::uint64_t id = 0;
};

// Marks the start and end of an interval as debug lines on its channel.
class Signposter {
  public:
    explicit Signposter(AppLog::Channel channel) : channel_(std::move(channel)) {}
    Signposter(const Signposter& other) : channel_(other.channel_), nextID_(other.nextID_.load()) {}

    SignpostInterval beginInterval(std::string_view name);
    void endInterval(const SignpostInterval& interval);

  private:
    AppLog::Channel channel_;
    std::atomic<std::uint64_t> nextID_{1};
};

}  // namespace ventrella::applog
