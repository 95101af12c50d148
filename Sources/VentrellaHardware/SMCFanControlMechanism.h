#pragma once

#include <string>

namespace ventrella::hardware {

// How manual mode is switched on this Mac: a mode key per fan, made from a key format
// ("F%dmd" or "F%dMd"), or one 16-bit mask key whose bit n set means fan n is manual.
class SMCFanControlMechanism {
  public:
    enum class Case { perFanMode, legacyForcedMask };

    static SMCFanControlMechanism perFanMode(std::string format) {
        return SMCFanControlMechanism(Case::perFanMode, std::move(format));
    }
    static SMCFanControlMechanism legacyForcedMask(std::string key) {
        return SMCFanControlMechanism(Case::legacyForcedMask, std::move(key));
    }

    Case kind() const { return kind_; }
    bool isPerFanMode() const { return kind_ == Case::perFanMode; }
    bool isLegacyForcedMask() const { return kind_ == Case::legacyForcedMask; }
    // The mode key format of perFanMode, the mask key of legacyForcedMask.
    const std::string& payload() const { return payload_; }

    // "per-fan:F%dmd" or "legacy-mask:FS! " (the key keeps its trailing blank).
    std::string diagnosticName() const;

    bool operator==(const SMCFanControlMechanism&) const = default;

  private:
    SMCFanControlMechanism(Case kind, std::string payload)
        : kind_(kind), payload_(std::move(payload)) {}

    Case kind_;
    std::string payload_;
};

}  // namespace ventrella::hardware
