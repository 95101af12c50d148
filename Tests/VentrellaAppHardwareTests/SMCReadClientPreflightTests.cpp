#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "FakeMac.h"
#include "SMCKit/SMCError.h"
#include "Support/ScopedLocalization.h"
#include "Ventrella/Core/VentrellaError.h"
#include "VentrellaHardware/SMCReadValidationError.h"

namespace ventrella::apphardware {
namespace {

using fixtures::FakeMac;
using fixtures::fltBytes;
using shared::HardwareCapabilities;

const std::string amdBrand = "AMD Ryzen 7 7840U w/ Radeon 780M Graphics";
const std::string unsupported = "This Mac does not expose a supported SMC hardware interface.";
const std::string noFan = "No controllable fan was found on this device.";
const std::string invalidFan = "Valid fan limits or mode could not be read.";
const std::string unsafeFormat = "The SMC fan target format is not supported safely.";

struct PreflightCase {
    std::string name;
    std::string brand;
    std::function<void(FakeMac&)> machine;
    HardwareCapabilities expected;  // the model is always "Mac15,6"
};

HardwareCapabilities capabilities(std::optional<std::int64_t> generation, std::int64_t fans,
                                  bool canMonitor, bool canControl,
                                  std::optional<std::string> mechanism,
                                  std::optional<std::string> reason) {
    return {"Mac15,6",        generation, fans, canMonitor, canControl, std::move(mechanism),
            std::move(reason)};
}

// Each decision in order: the first that applies wins.
TEST(SMCReadClientPreflight, DecidesWhatTheMacCanDoAndWhyNot) {
    const auto twoFans = [](FakeMac& mac) { mac.setFans({{}, {1300, 6200}}); };
    const std::vector<PreflightCase> cases = {
        {"another processor with a working SMC", amdBrand, twoFans,
         capabilities(std::nullopt, 2, false, false, std::nullopt, unsupported)},
        {"another processor and no SMC", amdBrand,
         [](FakeMac& mac) {
             mac.openError = std::make_exception_ptr(smc::SMCError::connectionFailed());
         },
         capabilities(std::nullopt, 0, false, false, std::nullopt, unsupported)},
        {"another processor whose fans cannot be read", amdBrand,
         [](FakeMac& mac) { mac.smc->set("FNum", "ui8 ", {9}); },
         capabilities(std::nullopt, 0, false, false, std::nullopt, unsupported)},
        {"no fans", "Apple M3 Pro", [](FakeMac& mac) { mac.setFans({}); },
         capabilities(3, 0, true, false, std::nullopt, noFan)},
        {"a fan with minimum = maximum = 0", "Apple M2",
         [](FakeMac& mac) {
             mac.setFans({{0, 0}});
         },
         capabilities(2, 1, true, false, "per-fan:F%dmd", invalidFan)},
        {"a minimum above the maximum", "Apple M4 Pro",
         [](FakeMac& mac) {
             mac.setFans({{}, {6000, 5000}});
         },
         capabilities(4, 2, true, false, "per-fan:F%dmd", invalidFan)},
        // No mode keys also fails the control check, which comes later.
        {"fans whose mode is unknown", "Apple M1 Max",
         [](FakeMac& mac) {
             mac.setFans({{}, {}}, "");
         },
         capabilities(1, 2, true, false, std::nullopt, invalidFan)},
        {"a mode key of the wrong size", "Apple M3 Pro",
         [](FakeMac& mac) {
             mac.setFans({{}});
             mac.smc->set("F0md", "", {0, 0});
         },
         capabilities(3, 1, true, false, "per-fan:F%dmd", unsafeFormat)},
        {"Apple silicon with upper-case mode keys", "Apple M4 Max",
         [](FakeMac& mac) {
             mac.setFans({{}, {}}, "F%dMd");
         },
         capabilities(4, 2, true, true, "per-fan:F%dMd", std::nullopt)},
        {"an unknown Apple generation", "Apple M9 Ultra", twoFans,
         capabilities(std::nullopt, 2, true, true, "per-fan:F%dmd", std::nullopt)},
        {"Intel with the legacy mask", "Intel(R) Core(TM) i9-9880H CPU @ 2.30GHz",
         [](FakeMac& mac) {
             mac.setFans({{}, {}}, "");
             mac.smc->set("FS! ", "ui16", {0, 2});
         },
         capabilities(std::nullopt, 2, true, true, "legacy-mask:FS! ", std::nullopt)},
    };
    for (const PreflightCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakeMac mac;
        mac.brand = testCase.brand;
        testCase.machine(mac);
        auto client = mac.client();
        const HardwarePreflight preflight = client.preflight();
        EXPECT_EQ(preflight.capabilities, testCase.expected);
        EXPECT_EQ(static_cast<std::int64_t>(preflight.fans.size()),
                  preflight.capabilities.fanCount);
        EXPECT_EQ(mac.hidReads, 0);
    }
}

TEST(SMCReadClientPreflight, OnASupportedProcessorReaderAndFanErrorsAreThrownUnchanged) {
    {
        FakeMac mac;
        mac.openError = std::make_exception_ptr(smc::SMCError::connectionFailed());
        auto client = mac.client();
        try {
            client.preflight();
            ADD_FAILURE() << "a preflight without an SMC";
        } catch (const smc::SMCError& error) {
            EXPECT_EQ(error, smc::SMCError::connectionFailed());
        }
    }
    {
        FakeMac mac;
        mac.brand = "Intel(R) Core(TM) i7-8559U";
        mac.smc->set("FNum", "ui8 ", {9});
        auto client = mac.client();
        try {
            client.preflight();
            ADD_FAILURE() << "a preflight with unreadable fans";
        } catch (const hardware::SMCReadValidationError& error) {
            EXPECT_EQ(error, hardware::SMCReadValidationError::invalidFanCount(9));
        }
    }
}

TEST(SMCReadClientPreflight, ReasonsAndMessagesAreShownInTheInterfaceLanguage) {
    const testsupport::ScopedLocalization german(VENTRELLA_APP_BUNDLE_DIR,
                                                 core::AppLanguage::german);
    const std::vector<std::pair<std::function<void(FakeMac&)>, std::string>> reasons = {
        {[](FakeMac& mac) { mac.brand = amdBrand; },
         "Dieser Mac bietet keine unterstützte SMC-Hardwareschnittstelle."},
        {[](FakeMac& mac) { mac.setFans({}); },
         "Auf diesem Gerät wurde kein steuerbarer Lüfter gefunden."},
        {[](FakeMac& mac) {
             mac.setFans({{0, 0}});
         },
         "Gültige Lüftergrenzen oder der Lüftermodus konnten nicht gelesen werden."},
        {[](FakeMac& mac) {
             mac.setFans({{}});
             mac.smc->set("F0md", "", {0, 0});
         },
         "Das Format der SMC-Lüfterzielwerte wird nicht sicher unterstützt."},
    };
    for (const auto& [machine, reason] : reasons) {
        FakeMac mac;
        machine(mac);
        auto client = mac.client();
        EXPECT_EQ(client.preflight().capabilities.reason, reason);
    }

    FakeMac mac;
    mac.setTemperature("Te05", 40.0F);
    auto client = mac.client();
    try {
        client.snapshot();
        ADD_FAILURE() << "a snapshot with one temperature";
    } catch (const core::VentrellaError& error) {
        EXPECT_EQ(error.errorDescription(),
                  "Nur 1 gültige CPU/GPU-Temperatursensoren wurden gefunden.");
    }
    // The unsupported snapshot carries the English text and shows it translated.
    mac.brand = amdBrand;
    try {
        client.snapshot();
        ADD_FAILURE() << "a snapshot on another processor";
    } catch (const core::VentrellaError& error) {
        EXPECT_EQ(error.text(), unsupported);
        EXPECT_EQ(error.errorDescription(),
                  "Dieser Mac bietet keine unterstützte SMC-Hardwareschnittstelle.");
    }
}

}  // namespace
}  // namespace ventrella::apphardware
