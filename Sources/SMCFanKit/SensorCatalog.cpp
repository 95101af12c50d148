#include "SMCFanKit/SensorCatalog.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

#include "Platform/Foundation/Sysctl.h"

namespace ventrella::fan {
namespace {

using Entry = std::pair<std::string_view, std::string_view>;

// The generation lists name their group at the start of each name.
SensorGroup groupForName(std::string_view name) {
    if (name.starts_with("CPU")) {
        return SensorGroup::cpu;
    }
    if (name.starts_with("GPU")) {
        return SensorGroup::gpu;
    }
    if (name.starts_with("Memory")) {
        return SensorGroup::memory;
    }
    return SensorGroup::system;
}

template <std::size_t N>
std::vector<SensorKey> temperatureList(const std::array<Entry, N>& entries) {
    std::vector<SensorKey> keys;
    keys.reserve(N);
    for (const auto& [key, name] : entries) {
        keys.push_back(SensorKey{std::string(key), std::string(name), groupForName(name),
                                 SensorType::temperature});
    }
    return keys;
}

std::vector<SensorKey> makeCrossPlatform() {
    using G = SensorGroup;
    using T = SensorType;
    return {
        {"TC0D", "CPU diode", G::cpu, T::temperature},
        {"TC0E", "CPU virtual", G::cpu, T::temperature},
        {"TC0F", "CPU filtered", G::cpu, T::temperature},
        {"TC0H", "CPU heatsink", G::cpu, T::temperature},
        {"TC0P", "CPU proximity", G::cpu, T::temperature},
        {"TCAD", "CPU package", G::cpu, T::temperature},
        {"TCGC", "GPU Intel Graphics", G::gpu, T::temperature},
        {"TG0D", "GPU diode", G::gpu, T::temperature},
        {"TG0H", "GPU heatsink", G::gpu, T::temperature},
        {"TG0P", "GPU proximity", G::gpu, T::temperature},
        {"Tm0P", "Mainboard", G::system, T::temperature},
        {"TW0P", "Airport", G::system, T::temperature},
        {"TL0P", "Display", G::system, T::temperature},
        {"Ts0P", "System sensor 1", G::system, T::temperature},
        {"Ts1P", "System sensor 2", G::system, T::temperature},
        {"TN0D", "Northbridge diode", G::system, T::temperature},
        {"TN0H", "Northbridge heatsink", G::system, T::temperature},
        {"TB1T", "Battery", G::system, T::temperature},
        {"VCAC", "CPU IA", G::cpu, T::voltage},
        {"VCSC", "CPU System Agent", G::cpu, T::voltage},
        {"VG0C", "GPU", G::gpu, T::voltage},
        {"VM0R", "Memory", G::memory, T::voltage},
        {"VD0R", "DC In", G::system, T::voltage},
        {"PC0C", "CPU Core", G::cpu, T::power},
        {"PCPC", "CPU Package", G::cpu, T::power},
        {"PCTR", "CPU Total", G::cpu, T::power},
        {"PG0C", "GPU", G::gpu, T::power},
        {"PSTR", "System Total", G::system, T::power},
        {"PPBR", "Battery", G::system, T::power},
        {"PDTR", "DC In", G::system, T::power},
        {"IC0R", "CPU", G::cpu, T::current},
        {"IG0R", "GPU", G::gpu, T::current},
        {"ID0R", "DC In", G::system, T::current},
        {"IBAC", "Battery", G::system, T::current},
    };
}

constexpr std::array<Entry, 18> kM1 = {{
    {"Tp09", "CPU E-core 1"},
    {"Tp0T", "CPU E-core 2"},
    {"Tp01", "CPU P-core 1"},
    {"Tp05", "CPU P-core 2"},
    {"Tp0D", "CPU P-core 3"},
    {"Tp0H", "CPU P-core 4"},
    {"Tp0L", "CPU P-core 5"},
    {"Tp0P", "CPU P-core 6"},
    {"Tp0X", "CPU P-core 7"},
    {"Tp0b", "CPU P-core 8"},
    {"Tg05", "GPU 1"},
    {"Tg0D", "GPU 2"},
    {"Tg0L", "GPU 3"},
    {"Tg0T", "GPU 4"},
    {"Tm02", "Memory 1"},
    {"Tm06", "Memory 2"},
    {"Tm08", "Memory 3"},
    {"Tm09", "Memory 4"},
}};

constexpr std::array<Entry, 14> kM2 = {{
    {"Tp1h", "CPU E-core 1"},
    {"Tp1t", "CPU E-core 2"},
    {"Tp1p", "CPU E-core 3"},
    {"Tp1l", "CPU E-core 4"},
    {"Tp01", "CPU P-core 1"},
    {"Tp05", "CPU P-core 2"},
    {"Tp09", "CPU P-core 3"},
    {"Tp0D", "CPU P-core 4"},
    {"Tp0X", "CPU P-core 5"},
    {"Tp0b", "CPU P-core 6"},
    {"Tp0f", "CPU P-core 7"},
    {"Tp0j", "CPU P-core 8"},
    {"Tg0f", "GPU 1"},
    {"Tg0j", "GPU 2"},
}};

constexpr std::array<Entry, 24> kM3 = {{
    {"Te05", "CPU E-core 1"},  {"Te0L", "CPU E-core 2"},  {"Te0P", "CPU E-core 3"},
    {"Te0S", "CPU E-core 4"},  {"Tf04", "CPU P-core 1"},  {"Tf09", "CPU P-core 2"},
    {"Tf0A", "CPU P-core 3"},  {"Tf0B", "CPU P-core 4"},  {"Tf0D", "CPU P-core 5"},
    {"Tf0E", "CPU P-core 6"},  {"Tf44", "CPU P-core 7"},  {"Tf49", "CPU P-core 8"},
    {"Tf4A", "CPU P-core 9"},  {"Tf4B", "CPU P-core 10"}, {"Tf4D", "CPU P-core 11"},
    {"Tf4E", "CPU P-core 12"}, {"Tf14", "GPU 1"},         {"Tf18", "GPU 2"},
    {"Tf19", "GPU 3"},         {"Tf1A", "GPU 4"},         {"Tf24", "GPU 5"},
    {"Tf28", "GPU 6"},         {"Tf29", "GPU 7"},         {"Tf2A", "GPU 8"},
}};

constexpr std::array<Entry, 23> kM4 = {{
    {"Te05", "CPU E-core 1"}, {"Te0S", "CPU E-core 2"}, {"Te09", "CPU E-core 3"},
    {"Te0H", "CPU E-core 4"}, {"Tp01", "CPU P-core 1"}, {"Tp05", "CPU P-core 2"},
    {"Tp09", "CPU P-core 3"}, {"Tp0D", "CPU P-core 4"}, {"Tp0V", "CPU P-core 5"},
    {"Tp0Y", "CPU P-core 6"}, {"Tp0b", "CPU P-core 7"}, {"Tp0e", "CPU P-core 8"},
    {"Tg1U", "GPU 1"},        {"Tg1k", "GPU 2"},        {"Tg0K", "GPU 3"},
    {"Tg0L", "GPU 4"},        {"Tg0d", "GPU 5"},        {"Tg0e", "GPU 6"},
    {"Tg0j", "GPU 7"},        {"Tg0k", "GPU 8"},        {"Tm0p", "Memory 1"},
    {"Tm1p", "Memory 2"},     {"Tm2p", "Memory 3"},
}};

constexpr std::array<Entry, 26> kM5 = {{
    {"Tp00", "CPU S-core 1"},  {"Tp04", "CPU S-core 2"},  {"Tp08", "CPU S-core 3"},
    {"Tp0C", "CPU S-core 4"},  {"Tp0G", "CPU S-core 5"},  {"Tp0K", "CPU S-core 6"},
    {"Tp0O", "CPU P-core 1"},  {"Tp0R", "CPU P-core 2"},  {"Tp0U", "CPU P-core 3"},
    {"Tp0X", "CPU P-core 4"},  {"Tp0a", "CPU P-core 5"},  {"Tp0d", "CPU P-core 6"},
    {"Tp0g", "CPU P-core 7"},  {"Tp0j", "CPU P-core 8"},  {"Tp0m", "CPU P-core 9"},
    {"Tp0p", "CPU P-core 10"}, {"Tp0u", "CPU P-core 11"}, {"Tp0y", "CPU P-core 12"},
    {"Tg0U", "GPU 1"},         {"Tg0X", "GPU 2"},         {"Tg0d", "GPU 3"},
    {"Tg0g", "GPU 4"},         {"Tg0j", "GPU 5"},         {"Tg1Y", "GPU 6"},
    {"Tg1c", "GPU 7"},         {"Tg1g", "GPU 8"},
}};

// Hardware-model prefixes and the generation list each one selects; the first match wins.
const std::vector<SensorKey>* listForHardwareModel(std::string_view model) {
    using ListGetter = const std::vector<SensorKey>& (*)();
    static constexpr std::array<std::pair<std::string_view, ListGetter>, 8> kRules = {{
        {"Mac17", &SensorCatalog::m5},
        {"Mac16", &SensorCatalog::m4},
        {"Mac15", &SensorCatalog::m3},
        {"Mac14", &SensorCatalog::m3},
        {"Mac13", &SensorCatalog::m2},
        {"Mac12", &SensorCatalog::m1},
        {"MacBookPro18", &SensorCatalog::m1},
        {"MacBookAir10", &SensorCatalog::m1},
    }};
    for (const auto& [prefix, list] : kRules) {
        if (model.starts_with(prefix)) {
            return &list();
        }
    }
    return nullptr;
}

}  // namespace

const std::vector<SensorKey>& SensorCatalog::crossPlatform() {
    static const std::vector<SensorKey> list = makeCrossPlatform();
    return list;
}

const std::vector<SensorKey>& SensorCatalog::m1() {
    static const std::vector<SensorKey> list = temperatureList(kM1);
    return list;
}

const std::vector<SensorKey>& SensorCatalog::m2() {
    static const std::vector<SensorKey> list = temperatureList(kM2);
    return list;
}

const std::vector<SensorKey>& SensorCatalog::m3() {
    static const std::vector<SensorKey> list = temperatureList(kM3);
    return list;
}

const std::vector<SensorKey>& SensorCatalog::m4() {
    static const std::vector<SensorKey> list = temperatureList(kM4);
    return list;
}

const std::vector<SensorKey>& SensorCatalog::m5() {
    static const std::vector<SensorKey> list = temperatureList(kM5);
    return list;
}

std::string SensorCatalog::systemHardwareModel() {
    std::size_t size = 0;
    if (platform::foundation::sysctlByName("hw.model", nullptr, &size) != 0 || size < 1) {
        return {};
    }
    std::string buffer(size, '\0');
    if (platform::foundation::sysctlByName("hw.model", buffer.data(), &size) != 0) {
        return {};
    }
    buffer.resize(std::min(size, buffer.size()));
    if (const auto zero = buffer.find('\0'); zero != std::string::npos) {
        buffer.resize(zero);
    }
    for (const char c : buffer) {
        if (static_cast<unsigned char>(c) > 0x7f) {
            return {};
        }
    }
    return buffer;
}

std::vector<SensorKey> SensorCatalog::keysForCurrentHardware(
    const HardwareModelProvider& hardwareModel) {
    const std::string model = hardwareModel ? hardwareModel() : std::string();
    std::vector<SensorKey> keys;
    if (const std::vector<SensorKey>* list = listForHardwareModel(model)) {
        keys = *list;
    }
    keys.insert(keys.end(), crossPlatform().begin(), crossPlatform().end());
    return keys;
}

}  // namespace ventrella::fan
