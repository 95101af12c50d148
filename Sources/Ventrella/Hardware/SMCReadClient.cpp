#include "Ventrella/Hardware/SMCReadClient.h"

#include <map>
#include <utility>

#include "SMCFanKit/SensorCatalog.h"
#include "SMCKit/SMCKeyEnumerating.h"
#include "Ventrella/Core/L10n.h"
#include "Ventrella/Core/VentrellaError.h"
#include "VentrellaHardware/AppleChipGeneration.h"
#include "VentrellaHardware/AppleSiliconHIDTemperatureReader.h"
#include "VentrellaHardware/AppleSystemIdentity.h"
#include "VentrellaHardware/NativeSMCFactory.h"
#include "VentrellaHardware/SMCFanRepository.h"

namespace ventrella::apphardware {

using core::L10n;
using core::SensorSnapshot;
using core::VentrellaError;
using hardware::ProcessorTemperatureGroup;
using shared::FanControlMode;
using shared::FanInfo;

namespace {

// What the brand text says about the processor; only these two have an SMC we know.
struct Platform {
    bool appleSilicon = false;
    bool intel = false;

    bool supported() const { return appleSilicon || intel; }
};

Platform platformOf(const std::string& brand) {
    std::string lower = brand;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return {lower.starts_with("apple "), lower.find("intel") != std::string::npos};
}

bool isPlausibleTemperature(double celsius) {
    // Also false for NaN.
    return celsius >= SMCReadClient::lowestPlausibleCelsius &&
           celsius <= SMCReadClient::highestPlausibleCelsius;
}

// The group of a key found by enumeration that no catalogue names: die temperatures only.
std::optional<ProcessorTemperatureGroup> discoveredGroup(const std::string& key) {
    if (key.size() != 4 || key[0] != 'T') {
        return std::nullopt;
    }
    switch (key[1]) {
        case 'C':
        case 'c':
        case 'e':
        case 'f':
        case 'p':
            return ProcessorTemperatureGroup::cpu;
        case 'G':
        case 'g':
            return ProcessorTemperatureGroup::gpu;
        default:
            return std::nullopt;
    }
}

std::map<std::string, double>& temperaturesOf(SensorSnapshot& snapshot,
                                              ProcessorTemperatureGroup group) {
    return group == ProcessorTemperatureGroup::cpu ? snapshot.cpuTemperatures
                                                   : snapshot.gpuTemperatures;
}

std::size_t temperatureCount(const SensorSnapshot& snapshot) {
    return snapshot.cpuTemperatures.size() + snapshot.gpuTemperatures.size();
}

// Why these fans cannot be controlled, untranslated; none when they can.
std::optional<std::string_view> controlRefusal(const hardware::SMCFanRepository& repository,
                                               const std::vector<FanInfo>& fans) {
    if (fans.empty()) {
        return SMCReadClient::noFanReason;
    }
    for (const FanInfo& fan : fans) {
        // Written so that a NaN limit fails too.
        const bool limitsValid = fan.minimumRPM >= 0 && fan.minimumRPM < fan.maximumRPM;
        if (!limitsValid || fan.mode == FanControlMode::unknown) {
            return SMCReadClient::invalidFanReason;
        }
    }
    try {
        static_cast<void>(repository.validateControlSupport());
    } catch (const std::exception&) {
        // The user is told only that writing targets would be unsafe; the details do not help.
        return SMCReadClient::unsafeTargetFormatReason;
    }
    return std::nullopt;
}

}  // namespace

SMCReadClient::SMCReadClient()
    : SMCReadClient(hardware::NativeSMCFactory::connection,
                    hardware::AppleSystemIdentity::brandString,
                    hardware::AppleSystemIdentity::hardwareModel,
                    hardware::AppleSiliconHIDTemperatureReader::read) {}

SMCReadClient::SMCReadClient(ConnectionFactory connectionFactory, TextProvider brandStringProvider,
                             TextProvider modelProvider,
                             SupplementalTemperatureProvider supplementalTemperatureProvider)
    : connectionFactory_(std::move(connectionFactory)),
      brandStringProvider_(std::move(brandStringProvider)),
      modelProvider_(std::move(modelProvider)),
      supplementalTemperatureProvider_(std::move(supplementalTemperatureProvider)) {}

HardwarePreflight SMCReadClient::preflight() {
    const std::string brand = brandStringProvider_();
    const Platform platform = platformOf(brand);
    const auto generation = hardware::fromBrandString(brand);

    std::optional<hardware::SMCFanRepository> repository;
    std::vector<FanInfo> fans;
    try {
        repository.emplace(connectionFactory_(), std::nullopt);
        fans = repository->readFans(true);
    } catch (const std::exception&) {
        // A machine with another processor need not have an SMC at all: that makes it
        // unsupported, not broken.
        if (platform.supported()) {
            throw;
        }
        repository.reset();
        fans.clear();
    }

    HardwarePreflight result;
    auto& capabilities = result.capabilities;
    capabilities.model = modelProvider_();
    capabilities.fanCount = static_cast<std::int64_t>(fans.size());
    if (!platform.supported()) {
        capabilities.reason = L10n::string(unsupportedHardwareReason);
    } else {
        if (generation) {
            capabilities.chipGeneration = hardware::rawValue(*generation);
        }
        capabilities.canMonitor = true;
        if (const auto& mechanism = repository->controlMechanism()) {
            capabilities.controlMechanism = mechanism->diagnosticName();
        }
        if (const auto refusal = controlRefusal(*repository, fans)) {
            capabilities.reason = L10n::string(*refusal);
        } else {
            capabilities.canControl = true;
        }
    }
    result.fans = std::move(fans);
    return result;
}

SensorSnapshot SMCReadClient::snapshot() {
    const std::string brand = brandStringProvider_();
    const Platform platform = platformOf(brand);
    if (!platform.supported()) {
        throw VentrellaError::unsupportedHardware(std::string(unsupportedHardwareReason));
    }
    const hardware::SMCFanRepository repository(connectionFactory_(), std::nullopt);

    SensorSnapshot snapshot;
    for (const TemperatureCandidate& candidate :
         temperatureCandidates(brand, *repository.reader())) {
        double celsius = 0;
        try {
            celsius = repository.readFloat(candidate.key);
        } catch (const std::exception&) {
            continue;  // a key this Mac lacks or cannot decode is no sensor
        }
        if (isPlausibleTemperature(celsius)) {
            temperaturesOf(snapshot, candidate.group)[candidate.key] = celsius;
        }
    }

    // The HID sensors stand in only where the SMC offers at most one die temperature.
    if (platform.appleSilicon && temperatureCount(snapshot) <= 1) {
        for (const auto& sample : supplementalTemperatureProvider_()) {
            if (isPlausibleTemperature(sample.value)) {
                temperaturesOf(snapshot, sample.group)[sample.key] = sample.value;
            }
        }
    }

    const std::size_t total = temperatureCount(snapshot);
    if (total < minimumTemperatureCount) {
        throw VentrellaError::parseFailed(L10n::format(tooFewTemperaturesFormat, total));
    }
    snapshot.fans = repository.readFans(true);
    return snapshot;
}

std::vector<SMCReadClient::TemperatureCandidate> SMCReadClient::temperatureCandidates(
    const std::string& brand, smc::SMCKeyReading& reader) {
    {
        const std::lock_guard lock(candidateCacheLock_);
        if (cachedCandidateBrand_ == brand && cachedTemperatureCandidates_) {
            return *cachedTemperatureCandidates_;
        }
    }

    const auto generation = hardware::fromBrandString(brand);
    const auto catalog =
        generation ? hardware::sensors(*generation) : fan::SensorCatalog::crossPlatform();
    // Ordered by the keys' bytes, which is the order they are read in.
    std::map<std::string, ProcessorTemperatureGroup> groups;
    for (const fan::SensorKey& sensor : catalog) {
        if (sensor.type != fan::SensorType::temperature) {
            continue;
        }
        if (sensor.group == fan::SensorGroup::cpu) {
            groups.insert_or_assign(sensor.key, ProcessorTemperatureGroup::cpu);
        } else if (sensor.group == fan::SensorGroup::gpu) {
            groups.insert_or_assign(sensor.key, ProcessorTemperatureGroup::gpu);
        }
    }

    // Listing every key is slow: it is done only until it first finds keys for this brand.
    std::size_t enumeratedKeys = 0;
    if (auto* enumerating = dynamic_cast<smc::SMCKeyEnumerating*>(&reader)) {
        const auto keys = enumerating->enumerateKeys();
        enumeratedKeys = keys.size();
        for (const std::string& key : keys) {
            if (const auto group = discoveredGroup(key)) {
                groups.try_emplace(key, *group);  // a catalogue row keeps its group
            }
        }
    }

    std::vector<TemperatureCandidate> candidates;
    candidates.reserve(groups.size());
    for (const auto& [key, group] : groups) {
        candidates.push_back({key, group});
    }
    if (enumeratedKeys > 0) {
        const std::lock_guard lock(candidateCacheLock_);
        cachedCandidateBrand_ = brand;
        cachedTemperatureCandidates_ = candidates;
    }
    return candidates;
}

}  // namespace ventrella::apphardware
