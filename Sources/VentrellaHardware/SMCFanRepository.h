#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SMCKit/SMCKeyMetadata.h"
#include "SMCKit/SMCKeyReading.h"
#include "VentrellaHardware/SMCFanControlMechanism.h"
#include "VentrellaShared/FanInfo.h"

namespace ventrella::hardware {

// The read side of fan control: counts the fans, reads their speeds and modes, and checks that
// the keys needed for control exist with the expected shapes before anything is written.
// Metadata is used whenever the reader also offers SMCKeyMetadataReading. The mechanism is
// decided once, at construction; nothing is cached between reads. Errors are
// SMCReadValidationError or the reader's own, passed through. Not thread-safe beyond its
// reader.
class SMCFanRepository {
  public:
    static constexpr std::string_view legacyManualMaskKey = "FS! ";

    // With a format the mechanism is perFanMode(format) without probing; without one it is
    // detected from the keys the Mac has.
    SMCFanRepository(std::shared_ptr<smc::SMCKeyReading> reader,
                     std::optional<std::string> modeKeyFormat);

    const std::shared_ptr<smc::SMCKeyReading>& reader() const { return reader_; }
    const std::optional<SMCFanControlMechanism>& controlMechanism() const {
        return controlMechanism_;
    }
    // The per-fan format, "F%dmd" for any other mechanism.
    std::string modeKeyFormat() const;

    int fanCount(bool allowEmpty) const;
    std::vector<shared::FanInfo> readFans(bool allowEmpty) const;
    // The fans, after every control check has passed.
    std::vector<shared::FanInfo> validateControlSupport() const;
    // Any key decoded by its data type, without a range check.
    double readFloat(const std::string& key) const;

  private:
    static std::optional<SMCFanControlMechanism> detectControlMechanism(smc::SMCKeyReading& reader);
    double readRPM(const std::string& key) const;
    shared::FanControlMode readMode(int fanID, std::optional<std::uint16_t> legacyMask) const;
    std::uint16_t readManualMask(const std::string& key) const;
    void validateModeRepresentation(const SMCFanControlMechanism& mechanism,
                                    const std::vector<int>& fanIDs) const;
    void validateTargetRoundTrip(int fanID) const;
    std::optional<smc::SMCKeyMetadata> metadata(const std::string& key) const;
    std::optional<std::string> dataType(const std::string& key) const;
    std::optional<std::uint16_t> legacyMaskIfAny() const;
    std::vector<shared::FanInfo> readFans(int count, std::optional<std::uint16_t> mask) const;

    std::shared_ptr<smc::SMCKeyReading> reader_;
    std::optional<SMCFanControlMechanism> controlMechanism_;
};

}  // namespace ventrella::hardware
