#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "FakeMac.h"
#include "SMCKit/SMCError.h"
#include "Ventrella/Core/VentrellaError.h"
#include "VentrellaHardware/SMCReadValidationError.h"

namespace ventrella::apphardware {
namespace {

using core::SensorSnapshot;
using core::VentrellaError;
using fixtures::FakeMac;
using fixtures::fltBytes;
using hardware::ProcessorTemperatureGroup;
using hardware::ProcessorTemperatureSample;
using Temperatures = std::map<std::string, double>;

const std::string intelBrand = "Intel(R) Core(TM) i9-9880H CPU @ 2.30GHz";

// The error a snapshot throws, or none when it succeeds.
std::optional<VentrellaError> snapshotError(SMCReadClient& client) {
    try {
        client.snapshot();
    } catch (const VentrellaError& error) {
        return error;
    }
    return std::nullopt;
}

TEST(SMCReadClientSnapshot, KeepsReadingsFrom20To110DegreesAndSkipsKeysItCannotRead) {
    FakeMac mac;
    mac.brand = intelBrand;
    mac.setFans({{1200, 6000}, {1300, 6200}});
    mac.setTemperature("TC0D", 20.0F);
    mac.setTemperature("TC0E", 110.0F);
    mac.setTemperature("TC0F", 19.9F);
    mac.setTemperature("TC0H", 110.1F);
    mac.setTemperature("TCGC", -40.0F);
    mac.setTemperature("TG0D", 55.5F);
    mac.setTemperature("TG0H", std::numeric_limits<float>::quiet_NaN());
    mac.smc->set("TCAD", "", {1, 2, 3});  // no type of that size
    mac.setTemperature("TC0P", 60.0F);
    mac.smc->failRead("TC0P", std::make_exception_ptr(smc::SMCError::timeout()));
    // Catalogue rows that are not die temperatures are never read.
    mac.setTemperature("Tm0P", 40.0F);
    mac.setTemperature("TB1T", 40.0F);
    mac.smc->set("VCAC", "flt ", fltBytes(1.1F));

    auto client = mac.client();
    const SensorSnapshot snapshot = client.snapshot();

    EXPECT_EQ(snapshot.cpuTemperatures, (Temperatures{{"TC0D", 20.0}, {"TC0E", 110.0}}));
    EXPECT_EQ(snapshot.gpuTemperatures, (Temperatures{{"TG0D", 55.5}}));
    ASSERT_EQ(snapshot.fans.size(), 2U);
    EXPECT_EQ(snapshot.fans[1].maximumRPM, 6200);
    EXPECT_EQ(mac.readsOf("TC0P"), 1U);
    for (const char* key : {"Tm0P", "TB1T", "VCAC"}) {
        EXPECT_EQ(mac.readsOf(key), 0U) << key;
    }
    EXPECT_EQ(mac.opens, 1);
}

struct SupplementCase {
    std::string name;
    std::string brand;
    std::map<std::string, float> smcTemperatures;
    std::vector<ProcessorTemperatureSample> hidSamples;
    int hidReads;
    Temperatures cpu;
    Temperatures gpu;
    std::string error;  // empty for a snapshot
};

TEST(SMCReadClientSnapshot, HIDSensorsFillInOnlyOnAppleSiliconWithAtMostOneSMCTemperature) {
    const std::vector<ProcessorTemperatureSample> hid = {
        {"HID:pACC MTR Temp Sensor0", 50.0, ProcessorTemperatureGroup::cpu},
        {"HID:GPU MTR Temp Sensor1", 48.0, ProcessorTemperatureGroup::gpu},
        {"HID:eACC MTR Temp Sensor0", 19.9, ProcessorTemperatureGroup::cpu},
        {"HID:SOC MTR Temp Sensor0", 110.1, ProcessorTemperatureGroup::cpu},
        // The same key as an SMC reading: the HID value replaces it.
        {"Te05", 61.0, ProcessorTemperatureGroup::cpu},
    };
    const std::string onlyOne = "Only 1 valid CPU/GPU temperature sensors were found.";
    const std::vector<SupplementCase> cases = {
        {"one SMC temperature: merged",
         "Apple M3 Pro",
         {{"Te05", 45.0F}},
         hid,
         1,
         {{"Te05", 61.0}, {"HID:pACC MTR Temp Sensor0", 50.0}},
         {{"HID:GPU MTR Temp Sensor1", 48.0}},
         ""},
        {"upper-case brand, no SMC temperature: merged",
         "APPLE M2",
         {},
         {hid[0], hid[1]},
         1,
         {{"HID:pACC MTR Temp Sensor0", 50.0}},
         {{"HID:GPU MTR Temp Sensor1", 48.0}},
         ""},
        {"two SMC temperatures: never read",
         "Apple M3 Pro",
         {{"Te05", 45.0F}, {"Tf14", 47.0F}},
         hid,
         0,
         {{"Te05", 45.0}},
         {{"Tf14", 47.0}},
         ""},
        {"too few even with them", "Apple M3 Pro", {}, {hid[0], hid[2]}, 1, {}, {}, onlyOne},
        {"none at all",
         "Apple M1",
         {},
         {},
         1,
         {},
         {},
         "Only 0 valid CPU/GPU temperature sensors were found."},
    };
    for (const SupplementCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakeMac mac;
        mac.brand = testCase.brand;
        mac.setFans({{}});
        for (const auto& [key, celsius] : testCase.smcTemperatures) {
            mac.setTemperature(key, celsius);
        }
        mac.hidSamples = testCase.hidSamples;
        auto client = mac.client();
        if (testCase.error.empty()) {
            const auto snapshot = client.snapshot();
            EXPECT_EQ(snapshot.cpuTemperatures, testCase.cpu);
            EXPECT_EQ(snapshot.gpuTemperatures, testCase.gpu);
            EXPECT_EQ(snapshot.fans.size(), 1U);
        } else {
            EXPECT_EQ(snapshotError(client), VentrellaError::parseFailed(testCase.error));
            // Fans are read only once there are temperatures to go with them.
            EXPECT_EQ(mac.readsOf("FNum"), 0U);
        }
        EXPECT_EQ(mac.hidReads, testCase.hidReads);
    }

    // An Intel brand, in any letter case, never asks the HID sensors.
    for (const std::string& brand :
         {intelBrand, std::string("GenuineIntel"), std::string("INTEL XEON W-3245"),
          std::string("Apple-branded iNtEl")}) {
        SCOPED_TRACE(brand);
        FakeMac mac;
        mac.brand = brand;
        mac.setTemperature("TC0D", 50.0F);
        mac.hidSamples = hid;
        auto client = mac.client();
        EXPECT_EQ(snapshotError(client), VentrellaError::parseFailed(onlyOne));
        EXPECT_EQ(mac.hidReads, 0);
    }
}

TEST(SMCReadClientSnapshot, EnumeratedDieTemperatureKeysJoinTheCatalogueKeys) {
    FakeMac mac;  // Apple M3 Pro
    mac.setFans({{}});
    // Listed keys, and what becomes of them.
    const std::map<std::string, std::optional<ProcessorTemperatureGroup>> listed = {
        {"TC0X", ProcessorTemperatureGroup::cpu},
        {"Tc1a", ProcessorTemperatureGroup::cpu},
        {"Te99", ProcessorTemperatureGroup::cpu},
        {"Tf77", ProcessorTemperatureGroup::cpu},
        {"Tp3Z", ProcessorTemperatureGroup::cpu},
        {"TG5A", ProcessorTemperatureGroup::gpu},
        {"Tg9Q", ProcessorTemperatureGroup::gpu},
        // A catalogue key keeps the catalogue's group although "Tf" reads as CPU.
        {"Tf14", ProcessorTemperatureGroup::gpu},
        {"TA0P", std::nullopt},
        {"TC0PX", std::nullopt},
        {"tC0P", std::nullopt},
        {"TC0", std::nullopt},
        {"Tx00", std::nullopt},
        {"PSTR", std::nullopt},
    };
    for (const auto& [key, group] : listed) {
        mac.setTemperature(key, 50.0F);
        mac.smc->enumeratedKeys.push_back(key);
    }
    mac.smc->enumeratedKeys.push_back("Tp98");  // listed, but the read fails

    auto client = mac.client();
    const auto snapshot = client.snapshot();

    for (const auto& [key, group] : listed) {
        SCOPED_TRACE(key);
        EXPECT_EQ(snapshot.cpuTemperatures.contains(key), group == ProcessorTemperatureGroup::cpu);
        EXPECT_EQ(snapshot.gpuTemperatures.contains(key), group == ProcessorTemperatureGroup::gpu);
    }
    EXPECT_EQ(mac.readsOf("Tp98"), 1U);
    EXPECT_EQ(mac.readsOf("TA0P"), 0U);

    // Candidates are read in the byte order of their keys (upper case before lower case).
    std::vector<std::string> temperatureReads;
    for (const auto& key : mac.smc->reads) {
        if (key.starts_with("T")) {
            temperatureReads.push_back(key);
        }
    }
    EXPECT_TRUE(std::is_sorted(temperatureReads.begin(), temperatureReads.end()));
    EXPECT_THAT(temperatureReads, ::testing::Contains("TG5A"));
    EXPECT_LT(std::find(temperatureReads.begin(), temperatureReads.end(), "TG5A"),
              std::find(temperatureReads.begin(), temperatureReads.end(), "Tc1a"));
}

TEST(SMCReadClientSnapshot, KeysAreListedAgainOnlyUntilAListingFindsSome) {
    FakeMac mac;
    mac.setFans({{}});
    mac.setTemperature("Te05", 40.0F);
    mac.setTemperature("Tf14", 42.0F);  // a GPU of the catalogue
    mac.setTemperature("Tp3Z", 41.0F);  // found only by listing
    auto client = mac.client();

    // An empty listing is tried again at the next snapshot.
    EXPECT_EQ(client.snapshot().cpuTemperatures, (Temperatures{{"Te05", 40.0}}));
    EXPECT_EQ(mac.smc->enumerations, 1);
    mac.smc->enumeratedKeys = {"Te05", "Tp3Z"};
    EXPECT_EQ(client.snapshot().cpuTemperatures, (Temperatures{{"Te05", 40.0}, {"Tp3Z", 41.0}}));
    EXPECT_EQ(mac.smc->enumerations, 2);

    // Once keys were found, the kept list serves, listed keys included.
    mac.smc->enumeratedKeys.clear();
    EXPECT_EQ(client.snapshot().cpuTemperatures, (Temperatures{{"Te05", 40.0}, {"Tp3Z", 41.0}}));
    EXPECT_EQ(mac.smc->enumerations, 2);

    // Another brand lists again.
    mac.brand = "Apple M3 Max";
    EXPECT_EQ(client.snapshot().cpuTemperatures, (Temperatures{{"Te05", 40.0}}));
    EXPECT_EQ(mac.smc->enumerations, 3);

    // A reader that cannot list keys reads the catalogue alone, and nothing is kept.
    FakeMac plain;
    plain.readersEnumerate = false;
    plain.setFans({{}});
    plain.setTemperature("Te05", 40.0F);
    plain.setTemperature("Tf14", 42.0F);
    plain.setTemperature("Tp3Z", 41.0F);
    auto plainClient = plain.client();
    for (int round = 0; round < 2; ++round) {
        const auto snapshot = plainClient.snapshot();
        EXPECT_EQ(snapshot.cpuTemperatures, (Temperatures{{"Te05", 40.0}}));
        EXPECT_EQ(snapshot.gpuTemperatures, (Temperatures{{"Tf14", 42.0}}));
    }
    EXPECT_EQ(plain.smc->enumerations, 0);
}

TEST(SMCReadClientSnapshot, RefusesUnsupportedProcessorsAndPassesReaderErrorsOn) {
    {
        FakeMac mac;
        mac.brand = "AMD Ryzen 7 7840U w/ Radeon 780M Graphics";
        mac.setFans({{}});
        mac.setTemperature("TC0D", 50.0F);
        mac.setTemperature("TG0D", 50.0F);
        auto client = mac.client();
        EXPECT_EQ(snapshotError(client),
                  VentrellaError::unsupportedHardware(
                      "This Mac does not expose a supported SMC hardware interface."));
        EXPECT_EQ(mac.opens, 0);
    }
    {
        FakeMac mac;
        mac.openError = std::make_exception_ptr(smc::SMCError::connectionFailed());
        auto client = mac.client();
        try {
            client.snapshot();
            ADD_FAILURE() << "a snapshot without an SMC";
        } catch (const smc::SMCError& error) {
            EXPECT_EQ(error, smc::SMCError::connectionFailed());
        }
    }
    {
        // With enough temperatures, unreadable fans fail the snapshot.
        FakeMac mac;
        mac.setTemperature("Te05", 40.0F);
        mac.setTemperature("Tf14", 42.0F);
        mac.smc->set("FNum", "ui8 ", {9});
        auto client = mac.client();
        EXPECT_THROW(client.snapshot(), hardware::SMCReadValidationError);
    }
}

// A real fault here would deadlock or race; the sanitizers watch this test.
TEST(SMCReadClientSnapshot, SnapshotsRunConcurrentlyAndTheCacheIsNotHeldWhileListing) {
    // Each open gives a reader of its own, as the real SMC does.
    auto makeReader = [] {
        auto reader = std::make_shared<fakes::FakeSMCEnumeratingReader>();
        reader->set("FNum", "ui8 ", {0});
        reader->set("Te05", "flt ", fltBytes(40.0F));
        reader->set("Tp3Z", "flt ", fltBytes(41.0F));
        reader->enumeratedKeys = {"Te05", "Tp3Z"};
        return reader;
    };
    std::atomic<int> opens = 0;
    std::shared_ptr<SMCReadClient> client;
    std::future<SensorSnapshot> nested;
    client = std::make_shared<SMCReadClient>(
        [&]() -> std::shared_ptr<smc::SMCKeyReading> {
            auto reader = makeReader();
            if (opens++ == 0) {
                // While the first snapshot lists keys, another one runs to its end.
                reader->onEnumerate = [&] {
                    nested = std::async(std::launch::async, [&] { return client->snapshot(); });
                    EXPECT_EQ(nested.wait_for(std::chrono::seconds(10)), std::future_status::ready);
                };
            }
            return reader;
        },
        [] { return std::string("Apple M4 Pro"); }, [] { return std::string("Mac16,8"); },
        [] { return std::vector<ProcessorTemperatureSample>{}; });

    const Temperatures expected = {{"Te05", 40.0}, {"Tp3Z", 41.0}};
    EXPECT_EQ(client->snapshot().cpuTemperatures, expected);
    ASSERT_TRUE(nested.valid());
    EXPECT_EQ(nested.get().cpuTemperatures, expected);

    std::vector<std::future<SensorSnapshot>> snapshots;
    for (int thread = 0; thread < 8; ++thread) {
        snapshots.push_back(std::async(std::launch::async, [&] { return client->snapshot(); }));
    }
    for (auto& snapshot : snapshots) {
        EXPECT_EQ(snapshot.get().cpuTemperatures, expected);
    }
}

}  // namespace
}  // namespace ventrella::apphardware
