#include "SMCFanKit/SensorCatalog.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "Platform/Foundation/Sysctl.h"
#include "Support/TemporaryPlatformRoot.h"

namespace {

using ventrella::fan::SensorCatalog;
using ventrella::fan::SensorGroup;
using ventrella::fan::SensorKey;
using ventrella::fan::SensorType;

std::vector<std::string> keysOf(const std::vector<SensorKey>& list) {
    std::vector<std::string> keys;
    for (const SensorKey& entry : list) {
        keys.push_back(entry.key);
    }
    return keys;
}

TEST(SensorCatalog, ListsHaveTheirCountsAndBoundaryEntries) {
    struct Expectation {
        const std::vector<SensorKey>& list;
        std::size_t count;
        std::string first;
        std::string last;
    };
    const std::vector<Expectation> expectations = {
        {SensorCatalog::crossPlatform(), 34, "TC0D", "IBAC"},
        {SensorCatalog::m1(), 18, "Tp09", "Tm09"},
        {SensorCatalog::m2(), 14, "Tp1h", "Tg0j"},
        {SensorCatalog::m3(), 24, "Te05", "Tf2A"},
        {SensorCatalog::m4(), 23, "Te05", "Tm2p"},
        {SensorCatalog::m5(), 26, "Tp00", "Tg1g"},
    };
    for (const Expectation& e : expectations) {
        ASSERT_EQ(e.list.size(), e.count) << e.first;
        EXPECT_EQ(e.list.front().key, e.first);
        EXPECT_EQ(e.list.back().key, e.last);
        // Keys are four characters and unique within a list.
        const std::vector<std::string> keys = keysOf(e.list);
        EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size()) << e.first;
        for (const std::string& key : keys) {
            EXPECT_EQ(key.size(), 4u) << key;
        }
    }
}

TEST(SensorCatalog, CrossPlatformEntriesCarryTheirGroupAndType) {
    const auto& list = SensorCatalog::crossPlatform();
    EXPECT_EQ(list[6],
              (SensorKey{"TCGC", "GPU Intel Graphics", SensorGroup::gpu, SensorType::temperature}));
    EXPECT_EQ(list[10],
              (SensorKey{"Tm0P", "Mainboard", SensorGroup::system, SensorType::temperature}));
    EXPECT_EQ(list[21], (SensorKey{"VM0R", "Memory", SensorGroup::memory, SensorType::voltage}));
    EXPECT_EQ(list[25], (SensorKey{"PCTR", "CPU Total", SensorGroup::cpu, SensorType::power}));
    EXPECT_EQ(list[31], (SensorKey{"IG0R", "GPU", SensorGroup::gpu, SensorType::current}));

    int temperatures = 0, voltages = 0, powers = 0, currents = 0;
    for (const SensorKey& entry : list) {
        temperatures += entry.type == SensorType::temperature;
        voltages += entry.type == SensorType::voltage;
        powers += entry.type == SensorType::power;
        currents += entry.type == SensorType::current;
    }
    EXPECT_EQ(temperatures, 18);
    EXPECT_EQ(voltages, 5);
    EXPECT_EQ(powers, 7);
    EXPECT_EQ(currents, 4);
    EXPECT_EQ(rawValue(SensorGroup::memory), "Memory");
    EXPECT_EQ(rawValue(SensorType::current), "Current");
}

TEST(SensorCatalog, GenerationListsAreTemperaturesGroupedByName) {
    for (const auto* list : {&SensorCatalog::m1(), &SensorCatalog::m2(), &SensorCatalog::m3(),
                             &SensorCatalog::m4(), &SensorCatalog::m5()}) {
        for (const SensorKey& entry : *list) {
            EXPECT_EQ(entry.type, SensorType::temperature) << entry.key;
            if (entry.name.starts_with("CPU")) {
                EXPECT_EQ(entry.group, SensorGroup::cpu) << entry.key;
            } else if (entry.name.starts_with("GPU")) {
                EXPECT_EQ(entry.group, SensorGroup::gpu) << entry.key;
            } else {
                EXPECT_TRUE(entry.name.starts_with("Memory")) << entry.key;
                EXPECT_EQ(entry.group, SensorGroup::memory) << entry.key;
            }
        }
    }
    EXPECT_EQ(SensorCatalog::m3()[15],
              (SensorKey{"Tf4E", "CPU P-core 12", SensorGroup::cpu, SensorType::temperature}));
    EXPECT_EQ(SensorCatalog::m5()[6],
              (SensorKey{"Tp0O", "CPU P-core 1", SensorGroup::cpu, SensorType::temperature}));
    EXPECT_EQ(SensorCatalog::m4()[20].key, "Tm0p");  // case matters: not the mainboard's Tm0P
}

TEST(SensorCatalog, HardwareModelPrefixChoosesTheList) {
    const auto chosen = [](std::string model) {
        return SensorCatalog::keysForCurrentHardware([model] { return model; });
    };
    const auto withCrossPlatform = [](const std::vector<SensorKey>& list) {
        std::vector<SensorKey> keys = list;
        keys.insert(keys.end(), SensorCatalog::crossPlatform().begin(),
                    SensorCatalog::crossPlatform().end());
        return keys;
    };
    EXPECT_EQ(chosen("Mac17,2"), withCrossPlatform(SensorCatalog::m5()));
    EXPECT_EQ(chosen("Mac16,1"), withCrossPlatform(SensorCatalog::m4()));
    EXPECT_EQ(chosen("Mac15,3"), withCrossPlatform(SensorCatalog::m3()));
    EXPECT_EQ(chosen("Mac14,7"), withCrossPlatform(SensorCatalog::m3()));
    EXPECT_EQ(chosen("Mac13,1"), withCrossPlatform(SensorCatalog::m2()));
    EXPECT_EQ(chosen("Mac12,1"), withCrossPlatform(SensorCatalog::m1()));
    EXPECT_EQ(chosen("MacBookPro18,3"), withCrossPlatform(SensorCatalog::m1()));
    EXPECT_EQ(chosen("MacBookAir10,1"), withCrossPlatform(SensorCatalog::m1()));
    EXPECT_EQ(chosen("iMac21,1"), SensorCatalog::crossPlatform());
    EXPECT_EQ(chosen(""), SensorCatalog::crossPlatform());
    EXPECT_EQ(chosen("mac15,3"), SensorCatalog::crossPlatform());
}

TEST(SensorCatalog, DefaultProviderReadsTheSystemHardwareModel) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    EXPECT_EQ(SensorCatalog::systemHardwareModel(), "");
    EXPECT_EQ(SensorCatalog::keysForCurrentHardware(), SensorCatalog::crossPlatform());

    platform::foundation::publishSysctlValue("hw.model", "Mac16,5");
    EXPECT_EQ(SensorCatalog::systemHardwareModel(), "Mac16,5");
    EXPECT_EQ(SensorCatalog::keysForCurrentHardware().size(), 23u + 34u);

    // Only the bytes before the first zero byte count; non-ASCII text matches nothing.
    platform::foundation::publishSysctlValue("hw.model", std::string("Mac15,3\0junk", 12));
    EXPECT_EQ(SensorCatalog::systemHardwareModel(), "Mac15,3");
    platform::foundation::publishSysctlValue("hw.model", "Mac15\xc3\xa9");
    EXPECT_EQ(SensorCatalog::systemHardwareModel(), "");
}

}  // namespace
