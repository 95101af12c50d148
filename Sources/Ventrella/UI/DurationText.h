#pragma once

#include <cstdint>
#include <string>

namespace ventrella::ui {

// A duration as the settings page writes it, in the interface language: "45 sec" up to 59
// seconds, then whole minutes and the seconds left over ("1 min", "1 min 30 sec").
class DurationText {
  public:
    DurationText() = delete;

    static std::string text(std::int64_t seconds);
};

}  // namespace ventrella::ui
