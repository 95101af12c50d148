#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace ventrella::smc {

// The 80-byte call record exchanged with the AppleSMC user client. A driver wire format: every
// offset below is fixed, multi-byte fields are in the host's (little-endian) order and every
// padding byte is zero. A value-initialised record is all zero bytes.
struct SMCParamStruct {
    struct Version {
        std::uint8_t major = 0;
        std::uint8_t minor = 0;
        std::uint8_t build = 0;
        std::uint8_t reserved = 0;
        std::uint16_t release = 0;
    };

    struct PLimitData {
        std::uint16_t version = 0;
        std::uint16_t length = 0;
        std::uint32_t cpuPLimit = 0;
        std::uint32_t gpuPLimit = 0;
        std::uint32_t memPLimit = 0;
    };

    // Packed so that the record's `padding` field follows at offset 38, as the driver expects
    // (a naturally aligned 12-byte KeyInfo would push every later field by two bytes).
    struct __attribute__((packed)) KeyInfo {
        std::uint32_t dataSize = 0;
        std::uint32_t dataType = 0;
        std::uint8_t dataAttributes = 0;
    };

    std::uint32_t key = 0;
    Version vers;
    std::array<std::uint8_t, 2> versPadding{};
    PLimitData pLimitData;
    KeyInfo keyInfo;
    std::uint8_t keyInfoPadding = 0;
    std::uint16_t padding = 0;
    std::uint8_t result = 0;
    std::uint8_t status = 0;
    std::uint8_t data8 = 0;
    std::uint8_t data8Padding = 0;
    std::uint32_t data32 = 0;
    std::array<std::uint8_t, 32> bytes{};
};

static_assert(std::endian::native == std::endian::little,
              "the call record is exchanged in little-endian order");
static_assert(std::is_standard_layout_v<SMCParamStruct>);
static_assert(std::is_trivially_copyable_v<SMCParamStruct>);
static_assert(sizeof(SMCParamStruct) == 80);
static_assert(sizeof(SMCParamStruct::Version) == 6);
static_assert(sizeof(SMCParamStruct::PLimitData) == 16);
static_assert(sizeof(SMCParamStruct::KeyInfo) == 9);
static_assert(offsetof(SMCParamStruct, key) == 0);
static_assert(offsetof(SMCParamStruct, vers) == 4);
static_assert(offsetof(SMCParamStruct, vers) + offsetof(SMCParamStruct::Version, major) == 4);
static_assert(offsetof(SMCParamStruct, vers) + offsetof(SMCParamStruct::Version, minor) == 5);
static_assert(offsetof(SMCParamStruct, vers) + offsetof(SMCParamStruct::Version, build) == 6);
static_assert(offsetof(SMCParamStruct, vers) + offsetof(SMCParamStruct::Version, reserved) == 7);
static_assert(offsetof(SMCParamStruct, vers) + offsetof(SMCParamStruct::Version, release) == 8);
static_assert(offsetof(SMCParamStruct, versPadding) == 10);
static_assert(offsetof(SMCParamStruct, pLimitData) == 12);
static_assert(offsetof(SMCParamStruct, pLimitData) +
                  offsetof(SMCParamStruct::PLimitData, version) ==
              12);
static_assert(offsetof(SMCParamStruct, pLimitData) + offsetof(SMCParamStruct::PLimitData, length) ==
              14);
static_assert(offsetof(SMCParamStruct, pLimitData) +
                  offsetof(SMCParamStruct::PLimitData, cpuPLimit) ==
              16);
static_assert(offsetof(SMCParamStruct, pLimitData) +
                  offsetof(SMCParamStruct::PLimitData, gpuPLimit) ==
              20);
static_assert(offsetof(SMCParamStruct, pLimitData) +
                  offsetof(SMCParamStruct::PLimitData, memPLimit) ==
              24);
static_assert(offsetof(SMCParamStruct, keyInfo) == 28);
static_assert(offsetof(SMCParamStruct, keyInfo) + offsetof(SMCParamStruct::KeyInfo, dataSize) ==
              28);
static_assert(offsetof(SMCParamStruct, keyInfo) + offsetof(SMCParamStruct::KeyInfo, dataType) ==
              32);
static_assert(offsetof(SMCParamStruct, keyInfo) +
                  offsetof(SMCParamStruct::KeyInfo, dataAttributes) ==
              36);
static_assert(offsetof(SMCParamStruct, keyInfoPadding) == 37);
static_assert(offsetof(SMCParamStruct, padding) == 38);
static_assert(offsetof(SMCParamStruct, result) == 40);
static_assert(offsetof(SMCParamStruct, status) == 41);
static_assert(offsetof(SMCParamStruct, data8) == 42);
static_assert(offsetof(SMCParamStruct, data8Padding) == 43);
static_assert(offsetof(SMCParamStruct, data32) == 44);
static_assert(offsetof(SMCParamStruct, bytes) == 48);

}  // namespace ventrella::smc
