#include "VentrellaHardware/SMCFanRepository.h"

#include <stdexcept>

#include "SMCFanKit/SMCFanKey.h"
#include "SMCKit/SMCKeyMetadataReading.h"
#include "VentrellaHardware/SMCReadValidationError.h"
#include "VentrellaHardware/SMCValueDecoder.h"
#include "VentrellaHardware/SMCValueEncoder.h"
#include "VentrellaShared/VentrellaProtocol.h"

namespace ventrella::hardware {

using fan::SMCFanKey;
using shared::FanControlMode;
using shared::FanInfo;

namespace {

constexpr int maximumFanCount = 8;
constexpr int maskBits = 16;

}  // namespace

SMCFanRepository::SMCFanRepository(std::shared_ptr<smc::SMCKeyReading> reader,
                                   std::optional<std::string> modeKeyFormat)
    : reader_(std::move(reader)) {
    if (!reader_) {
        throw std::invalid_argument("SMCFanRepository needs a reader");
    }
    controlMechanism_ = modeKeyFormat ? SMCFanControlMechanism::perFanMode(*modeKeyFormat)
                                      : detectControlMechanism(*reader_);
}

std::string SMCFanRepository::modeKeyFormat() const {
    if (controlMechanism_ && controlMechanism_->isPerFanMode()) {
        return controlMechanism_->payload();
    }
    return std::string(SMCFanKey::modeLower);
}

std::optional<SMCFanControlMechanism> SMCFanRepository::detectControlMechanism(
    smc::SMCKeyReading& reader) {
    // Missing keys only narrow the choice here, so every read error is ignored.
    for (const auto format : {SMCFanKey::modeLower, SMCFanKey::modeUpper}) {
        try {
            const auto value = reader.readKey(SMCFanKey::key(format, 0));
            if (value.size != 0 && !value.bytes.empty()) {
                return SMCFanControlMechanism::perFanMode(std::string(format));
            }
        } catch (const std::exception&) {
        }
    }
    try {
        const auto value = reader.readKey(std::string(legacyManualMaskKey));
        if (value.size == 2 && value.bytes.size() >= 2) {
            return SMCFanControlMechanism::legacyForcedMask(std::string(legacyManualMaskKey));
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

int SMCFanRepository::fanCount(bool allowEmpty) const {
    const std::string key(SMCFanKey::count);
    const auto value = reader_->readKey(key);
    if (value.size == 0 || value.bytes.empty()) {
        throw SMCReadValidationError::emptyValue(key);
    }
    const int count = value.bytes[0];
    if (count > maximumFanCount) {
        throw SMCReadValidationError::invalidFanCount(count);
    }
    if (count == 0 && !allowEmpty) {
        throw SMCReadValidationError::noFans();
    }
    return count;
}

std::optional<std::uint16_t> SMCFanRepository::legacyMaskIfAny() const {
    if (controlMechanism_ && controlMechanism_->isLegacyForcedMask()) {
        return readManualMask(controlMechanism_->payload());
    }
    return std::nullopt;
}

std::vector<FanInfo> SMCFanRepository::readFans(bool allowEmpty) const {
    const int count = fanCount(allowEmpty);
    return readFans(count, legacyMaskIfAny());
}

std::vector<FanInfo> SMCFanRepository::readFans(int count,
                                                std::optional<std::uint16_t> mask) const {
    std::vector<FanInfo> fans;
    fans.reserve(static_cast<std::size_t>(count));
    for (int id = 0; id < count; ++id) {
        FanInfo fan;
        fan.id = id;
        fan.actualRPM = readRPM(SMCFanKey::key(SMCFanKey::actual, id));
        fan.minimumRPM = readRPM(SMCFanKey::key(SMCFanKey::minimum, id));
        fan.maximumRPM = readRPM(SMCFanKey::key(SMCFanKey::maximum, id));
        fan.targetRPM = readRPM(SMCFanKey::key(SMCFanKey::target, id));
        fan.mode = readMode(id, mask);
        fans.push_back(fan);
    }
    return fans;
}

std::vector<FanInfo> SMCFanRepository::validateControlSupport() const {
    const int count = fanCount(false);
    auto fans = readFans(count, legacyMaskIfAny());
    if (!controlMechanism_) {
        throw SMCReadValidationError::noControlMechanism();
    }
    std::vector<int> ids;
    for (int id = 0; id < count; ++id) {
        ids.push_back(id);
    }
    validateModeRepresentation(*controlMechanism_, ids);
    for (const int id : ids) {
        validateTargetRoundTrip(id);
    }
    return fans;
}

double SMCFanRepository::readFloat(const std::string& key) const {
    const auto value = reader_->readKey(key);
    return SMCValueDecoder::floatValue(key, value.bytes, value.size, dataType(key));
}

double SMCFanRepository::readRPM(const std::string& key) const {
    const auto value = reader_->readKey(key);
    const double rpm = SMCValueDecoder::floatValue(key, value.bytes, value.size, dataType(key));
    if (rpm < 0 || rpm > shared::VentrellaProtocol::maximumPlausibleRPM) {
        throw SMCReadValidationError::valueOutsidePlausibleRange(key, rpm);
    }
    return rpm;
}

FanControlMode SMCFanRepository::readMode(int fanID,
                                          std::optional<std::uint16_t> legacyMask) const {
    if (!controlMechanism_) {
        return FanControlMode::unknown;
    }
    if (controlMechanism_->isLegacyForcedMask()) {
        if (!legacyMask || fanID < 0 || fanID >= maskBits) {
            throw SMCReadValidationError::invalidManualMask(std::string(legacyManualMaskKey));
        }
        return (*legacyMask >> fanID & 1U) != 0 ? FanControlMode::manual
                                                : FanControlMode::automatic;
    }
    const auto key = SMCFanKey::key(controlMechanism_->payload(), fanID);
    const auto value = reader_->readKey(key);
    if (value.size == 0 || value.bytes.empty()) {
        throw SMCReadValidationError::emptyValue(key);
    }
    switch (value.bytes[0]) {
        case 0:
        case 3:
            return FanControlMode::automatic;
        case 1:
            return FanControlMode::manual;
        default:
            throw SMCReadValidationError::invalidMode(key, value.bytes[0]);
    }
}

std::uint16_t SMCFanRepository::readManualMask(const std::string& key) const {
    const auto value = reader_->readKey(key);
    if (value.size != 2 || value.bytes.size() < 2) {
        throw SMCReadValidationError::invalidManualMask(key);
    }
    return static_cast<std::uint16_t>(value.bytes[0] << 8 | value.bytes[1]);
}

void SMCFanRepository::validateModeRepresentation(const SMCFanControlMechanism& mechanism,
                                                  const std::vector<int>& fanIDs) const {
    if (mechanism.isPerFanMode()) {
        for (const int id : fanIDs) {
            const auto key = SMCFanKey::key(mechanism.payload(), id);
            const auto value = reader_->readKey(key);
            if (value.size != 1 || value.bytes.empty()) {
                throw SMCReadValidationError::invalidSize(
                    key, value.size, static_cast<std::int64_t>(value.bytes.size()));
            }
            if (const auto info = metadata(key);
                info && (info->size != 1 || info->dataType != "ui8 ")) {
                throw SMCReadValidationError::unsupportedDataType(key, info->dataType);
            }
        }
        return;
    }
    const auto& key = mechanism.payload();
    const auto value = reader_->readKey(key);
    if (value.size != 2 || value.bytes.size() < 2) {
        throw SMCReadValidationError::invalidManualMask(key);
    }
    if (const auto info = metadata(key); info && (info->size != 2 || info->dataType != "ui16")) {
        throw SMCReadValidationError::unsupportedDataType(key, info->dataType);
    }
}

void SMCFanRepository::validateTargetRoundTrip(int fanID) const {
    const auto key = SMCFanKey::key(SMCFanKey::target, fanID);
    const auto value = reader_->readKey(key);
    const auto info = metadata(key);
    if (info && info->size != value.size) {
        throw SMCReadValidationError::invalidSize(key, value.size,
                                                  static_cast<std::int64_t>(value.bytes.size()));
    }
    const std::optional<std::string> type =
        info ? std::optional<std::string>(info->dataType) : std::nullopt;
    // A target that cannot be decoded and encoded again with its own shape cannot be written.
    const double decoded = SMCValueDecoder::floatValue(key, value.bytes, value.size, type);
    static_cast<void>(SMCValueEncoder::floatValue(decoded, key, value.size, type));
}

std::optional<smc::SMCKeyMetadata> SMCFanRepository::metadata(const std::string& key) const {
    auto* metadataReader = dynamic_cast<smc::SMCKeyMetadataReading*>(reader_.get());
    if (metadataReader == nullptr) {
        return std::nullopt;
    }
    return metadataReader->metadata(key);
}

std::optional<std::string> SMCFanRepository::dataType(const std::string& key) const {
    if (auto info = metadata(key)) {
        return std::move(info->dataType);
    }
    return std::nullopt;
}

}  // namespace ventrella::hardware
