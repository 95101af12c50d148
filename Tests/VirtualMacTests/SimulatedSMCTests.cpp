#include "Platform/VirtualMac/SimulatedSMC.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>

#include "Platform/IOKit/IOReturn.h"
#include "Platform/VirtualMac/SMCFirmwareResult.h"
#include "Platform/VirtualMac/SimulatedSpeedCodec.h"

using namespace virtualmac;
using platform::iokit::ClientID;
using platform::iokit::KernReturn;

namespace {

using Raw = std::array<std::uint8_t, SMCCallRecord::size>;

// A client of the device that speaks in hand-built records.
class RecordClient {
  public:
    explicit RecordClient(SimulatedSMC& smc) : smc_(smc) {
        EXPECT_EQ(smc_.openClient(0, client_), platform::iokit::kernSuccess);
    }

    KernReturn exchange(const Raw& input, Raw& output, std::uint32_t selector = 2) {
        std::size_t size = output.size();
        return smc_.callStructMethod(client_, selector, input, output, size);
    }

    SMCCallRecord call(const std::string& key, std::uint8_t command, std::uint32_t dataSize = 0,
                       std::vector<std::uint8_t> bytes = {}, std::uint32_t index = 0) {
        SMCCallRecord request;
        request.key = smcCode(key);
        request.command = command;
        request.dataSize = dataSize;
        request.data32 = index;
        std::copy(bytes.begin(), bytes.end(), request.bytes.begin());
        Raw output{};
        EXPECT_EQ(exchange(request.encode(), output), platform::iokit::kernSuccess);
        return SMCCallRecord::decode(output);
    }

    std::uint8_t write(const std::string& key, std::vector<std::uint8_t> bytes) {
        const auto size = static_cast<std::uint32_t>(call(key, smccommand::readKeyInfo).dataSize);
        return call(key, smccommand::writeBytes, size, std::move(bytes)).result;
    }

    std::vector<std::uint8_t> read(const std::string& key) {
        const auto size = call(key, smccommand::readKeyInfo).dataSize;
        const auto reply = call(key, smccommand::readBytes, size);
        EXPECT_EQ(reply.result, smcresult::success) << key;
        return {reply.bytes.begin(), reply.bytes.begin() + std::min<std::uint32_t>(size, 32)};
    }

    ClientID id() const { return client_; }

  private:
    SimulatedSMC& smc_;
    ClientID client_ = 0;
};

std::vector<std::uint8_t> speedBytes(const std::string& type, double rpm) {
    return encodeSpeed(type, rpm);
}

}  // namespace

TEST(SMCCallRecordTests, DecodesAndEncodesByByteOffsets) {
    Raw raw{};
    raw[0] = 0x6D;  // key "FNum", little-endian
    raw[1] = 0x75;
    raw[2] = 0x4E;
    raw[3] = 0x46;
    raw[28] = 0x01;  // dataSize 1
    raw[32] = 0x20;  // dataType "ui8 "
    raw[33] = 0x38;
    raw[34] = 0x69;
    raw[35] = 0x75;
    raw[36] = 0x80;
    raw[40] = 0x84;
    raw[41] = 0x07;
    raw[42] = 0x09;
    raw[44] = 0x34;  // data32 0x1234
    raw[45] = 0x12;
    raw[48] = 0xAA;
    raw[79] = 0xBB;
    raw[5] = 0x55;  // version byte: not part of the device's view

    const auto record = SMCCallRecord::decode(raw);
    EXPECT_EQ(smcText(record.key), "FNum");
    EXPECT_EQ(record.dataSize, 1u);
    EXPECT_EQ(smcText(record.dataType), "ui8 ");
    EXPECT_EQ(record.dataAttributes, 0x80);
    EXPECT_EQ(record.result, 0x84);
    EXPECT_EQ(record.status, 0x07);
    EXPECT_EQ(record.command, 0x09);
    EXPECT_EQ(record.data32, 0x1234u);
    EXPECT_EQ(record.bytes[0], 0xAA);
    EXPECT_EQ(record.bytes[31], 0xBB);

    auto expected = raw;
    expected[5] = 0;
    EXPECT_EQ(record.encode(), expected);
}

TEST(SimulatedSMCTests, AnswersKeyInfoReadWriteAndIndexCommands) {
    SimulatedSMC smc;
    RecordClient client(smc);

    // Key info from a literal record: "FNum", command 9.
    Raw input{};
    input[0] = 0x6D;
    input[1] = 0x75;
    input[2] = 0x4E;
    input[3] = 0x46;
    input[42] = 9;
    Raw output{};
    ASSERT_EQ(client.exchange(input, output), platform::iokit::kernSuccess);
    EXPECT_EQ(output[28], 1);                     // size
    EXPECT_EQ((Raw::value_type)output[35], 'u');  // type "ui8 " stored LE
    EXPECT_EQ((Raw::value_type)output[32], ' ');
    EXPECT_EQ(output[36], SimulatedSMCKey::readableAttribute);
    EXPECT_EQ(output[40], smcresult::success);

    EXPECT_EQ(client.read("FNum"), std::vector<std::uint8_t>{2});
    EXPECT_EQ(client.read("#KEY"), (std::vector<std::uint8_t>{
                                       0, 0, 0, static_cast<std::uint8_t>(smc.keyNames().size())}));

    smc.defineKey("TEST", "ui16", {0, 0}, true);
    EXPECT_EQ(client.write("TEST", {0x12, 0x34}), smcresult::success);
    EXPECT_EQ(client.read("TEST"), (std::vector<std::uint8_t>{0x12, 0x34}));

    const auto names = smc.keyNames();
    for (std::uint32_t index = 0; index < names.size(); ++index) {
        EXPECT_EQ(smcText(client.call("", smccommand::readIndex, 0, {}, index).key), names[index]);
    }
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(
        client.call("", smccommand::readIndex, 0, {}, static_cast<std::uint32_t>(names.size()))
            .result,
        smcresult::badArgumentError);
}

TEST(SimulatedSMCTests, ReportsFirmwareResultCodes) {
    SimulatedSMC smc;
    RecordClient client(smc);
    smc.defineKey("HIDE", "ui8 ", {1}, true, false);

    EXPECT_EQ(client.call("NOPE", smccommand::readKeyInfo).result, smcresult::notFound);
    EXPECT_EQ(client.call("NOPE", smccommand::readBytes, 1).result, smcresult::notFound);
    EXPECT_EQ(client.call("NOPE", smccommand::writeBytes, 1, {1}).result, smcresult::notFound);
    EXPECT_EQ(client.call("HIDE", smccommand::readBytes, 1).result, smcresult::notReadable);
    EXPECT_EQ(client.call("FNum", smccommand::writeBytes, 1, {3}).result, smcresult::notWritable);
    EXPECT_EQ(client.call("F0Tg", smccommand::writeBytes, 2, {3}).result,
              smcresult::keySizeMismatch);
    EXPECT_EQ(client.call("FNum", 0x77).result, smcresult::badCommand);

    smc.refuseWrites("F0md", smcresult::badArgumentError);
    EXPECT_EQ(client.write("F0md", {1}), smcresult::badArgumentError);
    smc.allowWrites("F0md");
    EXPECT_EQ(client.write("F0md", {1}), smcresult::success);

    smc.injectResult("FNum", 0x42);
    EXPECT_EQ(client.call("FNum", smccommand::readKeyInfo).result, 0x42);
    smc.clearInjectedResult("FNum");
    EXPECT_EQ(client.call("FNum", smccommand::readKeyInfo).result, smcresult::success);
}

TEST(SimulatedSMCTests, RefusesMalformedCallsWithKernReturns) {
    SimulatedSMC smc;
    RecordClient client(smc);
    Raw input{};
    Raw output{};
    EXPECT_EQ(client.exchange(input, output, 3), platform::iokit::ioReturnBadArgument);

    std::array<std::uint8_t, 79> shortInput{};
    std::size_t size = output.size();
    EXPECT_EQ(smc.callStructMethod(client.id(), 2, shortInput, output, size),
              platform::iokit::ioReturnBadArgument);
    size = 40;
    EXPECT_EQ(smc.callStructMethod(client.id(), 2, input, output, size),
              platform::iokit::ioReturnBadArgument);

    smc.failCalls(platform::iokit::ioReturnGeneralError, 2, 1);
    EXPECT_EQ(client.exchange(input, output), platform::iokit::kernSuccess);
    EXPECT_EQ(client.exchange(input, output), platform::iokit::ioReturnGeneralError);
    EXPECT_EQ(client.exchange(input, output), platform::iokit::ioReturnGeneralError);
    EXPECT_EQ(client.exchange(input, output), platform::iokit::kernSuccess);

    const auto journal = smc.journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back().kernReturn, platform::iokit::kernSuccess);
    EXPECT_EQ(journal[journal.size() - 2].kernReturn, platform::iokit::ioReturnGeneralError);
}

TEST(SimulatedSMCTests, ServesSeveralClientsOnOneState) {
    SimulatedSMC smc;
    RecordClient first(smc);
    RecordClient second(smc);
    EXPECT_NE(first.id(), second.id());
    EXPECT_EQ(smc.openClientCount(), 2u);

    EXPECT_EQ(first.write("F1md", {1}), smcresult::success);
    EXPECT_EQ(second.read("F1md"), std::vector<std::uint8_t>{1});

    EXPECT_EQ(smc.closeClient(first.id()), platform::iokit::kernSuccess);
    EXPECT_EQ(smc.closeClient(first.id()), platform::iokit::ioReturnNotOpen);
    Raw input{};
    Raw output{};
    EXPECT_EQ(first.exchange(input, output), platform::iokit::ioReturnNotOpen);
    EXPECT_EQ(smc.openClientCount(), 1u);

    const auto journal = smc.journal();
    EXPECT_EQ(journal.back().client, first.id());
    EXPECT_EQ(journal.back().kernReturn, platform::iokit::ioReturnNotOpen);
}

TEST(SimulatedFanTests, ManualTargetSticksAndModeZeroReturnsToFirmware) {
    SimulatedSMC smc;
    RecordClient client(smc);
    EXPECT_DOUBLE_EQ(smc.actualSpeed(0), 2000);

    // In automatic mode a target write does not stick.
    EXPECT_EQ(client.write("F0Tg", speedBytes("flt ", 4000)), smcresult::success);
    EXPECT_DOUBLE_EQ(smc.targetSpeed(0), 2000);

    EXPECT_EQ(client.write("F0md", {1}), smcresult::success);
    EXPECT_EQ(client.write("F0Tg", speedBytes("flt ", 4000)), smcresult::success);
    EXPECT_TRUE(smc.isFanManual(0));
    EXPECT_FALSE(smc.isFanManual(1));
    EXPECT_DOUBLE_EQ(smc.targetSpeed(0), 4000);
    EXPECT_DOUBLE_EQ(smc.actualSpeed(0), 4000);
    EXPECT_DOUBLE_EQ(smc.actualSpeed(1), 2000);

    smc.setAutomaticTarget(0, 2500);
    EXPECT_DOUBLE_EQ(smc.targetSpeed(0), 4000);  // manual fan keeps its target

    EXPECT_EQ(client.write("F0md", {0}), smcresult::success);
    EXPECT_FALSE(smc.isFanManual(0));
    EXPECT_DOUBLE_EQ(smc.targetSpeed(0), 2500);
    EXPECT_DOUBLE_EQ(smc.actualSpeed(0), 2500);
}

TEST(SimulatedFanTests, ActualSpeedFollowsOnlyWhenUpdatedIfNotInstant) {
    SimulatedSMCConfiguration configuration;
    configuration.actualFollowsTargetInstantly = false;
    configuration.speedType = "fpe2";
    SimulatedSMC smc(configuration);
    RecordClient client(smc);
    EXPECT_EQ(client.read("F0Tg"), speedBytes("fpe2", 2000));
    EXPECT_EQ(client.read("F0Tg"), (std::vector<std::uint8_t>{0x1F, 0x40}));

    EXPECT_EQ(client.write("F0md", {1}), smcresult::success);
    EXPECT_EQ(client.write("F0Tg", speedBytes("fpe2", 3000)), smcresult::success);
    EXPECT_DOUBLE_EQ(smc.actualSpeed(0), 2000);
    smc.updateActualSpeeds();
    EXPECT_DOUBLE_EQ(smc.actualSpeed(0), 3000);
}

TEST(SimulatedFanTests, ForceTestGatesModeWritesAndResetsEveryFan) {
    SimulatedSMCConfiguration configuration;
    configuration.modeKeys = SimulatedSMCConfiguration::ModeKeys::upperCase;
    configuration.hasForceTest = true;
    configuration.forceTestGatesModeWrites = true;
    SimulatedSMC smc(configuration);
    RecordClient client(smc);
    EXPECT_EQ(smc.modeKey(1), "F1Md");
    EXPECT_EQ(client.call("F0md", smccommand::readKeyInfo).result, smcresult::notFound);

    EXPECT_EQ(client.write("F0Md", {1}), smcresult::notWritable);
    EXPECT_FALSE(smc.isFanManual(0));
    // Handing a fan back to the firmware needs no unlock.
    EXPECT_EQ(client.write("F0Md", {0}), smcresult::success);
    EXPECT_FALSE(smc.isFanManual(0));
    EXPECT_EQ(client.write("Ftst", {1}), smcresult::success);
    EXPECT_EQ(client.write("F0Md", {1}), smcresult::success);
    EXPECT_EQ(client.write("F1Md", {1}), smcresult::success);
    EXPECT_EQ(client.write("F1Tg", speedBytes("flt ", 5000)), smcresult::success);
    EXPECT_TRUE(smc.isFanManual(0));

    EXPECT_EQ(client.write("Ftst", {0}), smcresult::success);
    EXPECT_FALSE(smc.isFanManual(0));
    EXPECT_FALSE(smc.isFanManual(1));
    EXPECT_EQ(client.read("F1Md"), std::vector<std::uint8_t>{0});
    EXPECT_DOUBLE_EQ(smc.targetSpeed(1), 2000);
    EXPECT_DOUBLE_EQ(smc.actualSpeed(1), 2000);
}

TEST(SimulatedFanTests, LegacyMaskSwitchesFansByBit) {
    SimulatedSMCConfiguration configuration;
    configuration.modeKeys = SimulatedSMCConfiguration::ModeKeys::legacyMask;
    SimulatedSMC smc(configuration);
    RecordClient client(smc);
    EXPECT_EQ(client.call("F0md", smccommand::readKeyInfo).result, smcresult::notFound);
    EXPECT_EQ(smcText(client.call("FS! ", smccommand::readKeyInfo).dataType), "ui16");

    EXPECT_EQ(client.write("FS! ", {0x00, 0x02}), smcresult::success);
    EXPECT_FALSE(smc.isFanManual(0));
    EXPECT_TRUE(smc.isFanManual(1));
    EXPECT_EQ(client.write("F1Tg", speedBytes("flt ", 4200)), smcresult::success);
    EXPECT_DOUBLE_EQ(smc.actualSpeed(1), 4200);

    EXPECT_EQ(client.write("FS! ", {0x00, 0x00}), smcresult::success);
    EXPECT_FALSE(smc.isFanManual(1));
    EXPECT_DOUBLE_EQ(smc.targetSpeed(1), 2000);
}

TEST(SimulatedFanTests, RefusesMoreFansThanItsKeysCanName) {
    using ModeKeys = SimulatedSMCConfiguration::ModeKeys;
    const struct {
        ModeKeys modeKeys;
        std::size_t fans;
        bool accepted;
    } cases[] = {
        // Fan keys carry one digit: "F0Ac" to "F9Ac".
        {ModeKeys::legacyMask, 10, true},
        {ModeKeys::legacyMask, 11, false},
        // One past the 16 bits of the manual mask.
        {ModeKeys::legacyMask, 17, false},
        {ModeKeys::lowerCase, 10, true},
        {ModeKeys::upperCase, 11, false},
        {ModeKeys::none, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fans);
        SimulatedSMCConfiguration configuration;
        configuration.modeKeys = c.modeKeys;
        configuration.fans.resize(c.fans);
        if (!c.accepted) {
            EXPECT_THROW(SimulatedSMC{configuration}, std::invalid_argument);
            continue;
        }
        SimulatedSMC smc(configuration);
        RecordClient client(smc);
        EXPECT_EQ(client.read("FNum"),
                  std::vector<std::uint8_t>{static_cast<std::uint8_t>(c.fans)});
        if (c.fans == 0) {
            continue;
        }
        // The last fan has keys of its own, distinct from every other fan's.
        const std::string last = "F" + std::to_string(c.fans - 1);
        EXPECT_DOUBLE_EQ(decodeSpeed("flt ", client.read(last + "Mn")), 1200);
        EXPECT_DOUBLE_EQ(decodeSpeed("flt ", client.read(last + "Mx")), 5800);
        if (c.modeKeys == ModeKeys::legacyMask) {
            const auto bit = static_cast<std::uint16_t>(1u << (c.fans - 1));
            EXPECT_EQ(client.write("FS! ", {static_cast<std::uint8_t>(bit >> 8),
                                            static_cast<std::uint8_t>(bit & 0xff)}),
                      smcresult::success);
            EXPECT_TRUE(smc.isFanManual(c.fans - 1));
            EXPECT_FALSE(smc.isFanManual(0));
        }
    }
}

TEST(SimulatedFanTests, AnomalyKnobsChangeWhatClientsRead) {
    SimulatedSMC smc;
    RecordClient client(smc);
    smc.setFanCountByte(9);
    EXPECT_EQ(client.read("FNum"), std::vector<std::uint8_t>{9});
    smc.setModeByte(0, 2);
    EXPECT_EQ(client.read("F0md"), std::vector<std::uint8_t>{2});
    smc.setSpeedValue("F0Ac", 100001);
    EXPECT_EQ(client.read("F0Ac"), speedBytes("flt ", 100001));
    smc.setSpeedValue("F1Tg", std::numeric_limits<double>::infinity());
    EXPECT_EQ(client.read("F1Tg"), (std::vector<std::uint8_t>{0x00, 0x00, 0x80, 0x7F}));
    smc.setKeyType("F1Mn", "ui16", {0x04, 0xB0});
    EXPECT_EQ(smcText(client.call("F1Mn", smccommand::readKeyInfo).dataType), "ui16");
    EXPECT_EQ(client.read("F1Mn"), (std::vector<std::uint8_t>{0x04, 0xB0}));
}

TEST(SimulatedSMCTests, KeepsOneConsistentStateUnderConcurrentClients) {
    SimulatedSMC smc;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&smc, &failures, thread] {
            RecordClient client(smc);
            const std::string key = "F" + std::to_string(thread % 2) + "md";
            for (int round = 0; round < 200; ++round) {
                if (client.write(key, {static_cast<std::uint8_t>(round % 2)}) !=
                    smcresult::success) {
                    ++failures;
                }
                const auto count = client.read("FNum");
                if (count != std::vector<std::uint8_t>{2}) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(smc.openClientCount(), 4u);
    // Each round is key info + write + key info + read.
    EXPECT_EQ(smc.journal().size(), 4u * 200u * 4u);
}

TEST(SimulatedFanFaultTests, FanThatDropsManualModeReportsSuccessButStaysAutomatic) {
    SimulatedSMC smc;
    RecordClient client(smc);
    smc.setFanDropsManualMode(1, true);
    EXPECT_THROW(smc.setFanDropsManualMode(2, true), std::out_of_range);

    EXPECT_EQ(client.write("F0md", {1}), smcresult::success);
    EXPECT_EQ(client.write("F1md", {1}), smcresult::success);
    EXPECT_EQ(client.write("F1Tg", speedBytes("flt ", 5000)), smcresult::success);
    EXPECT_TRUE(smc.isFanManual(0));
    EXPECT_FALSE(smc.isFanManual(1));
    EXPECT_EQ(client.read("F1md"), std::vector<std::uint8_t>{0});
    EXPECT_DOUBLE_EQ(smc.targetSpeed(1), 2000);

    smc.setFanDropsManualMode(1, false);
    EXPECT_EQ(client.write("F1md", {1}), smcresult::success);
    EXPECT_TRUE(smc.isFanManual(1));
}

TEST(SimulatedFanFaultTests, StickyMaskAndStuckForceTestKeepFansManual) {
    {
        SimulatedSMCConfiguration configuration;
        configuration.modeKeys = SimulatedSMCConfiguration::ModeKeys::legacyMask;
        SimulatedSMC smc(configuration);
        RecordClient client(smc);
        smc.setMaskIgnoresClearing(true);
        EXPECT_EQ(client.write("FS! ", {0x00, 0x01}), smcresult::success);
        EXPECT_EQ(client.write("FS! ", {0x00, 0x02}), smcresult::success);
        // Setting bits still works; clearing them does not.
        EXPECT_EQ(client.read("FS! "), (std::vector<std::uint8_t>{0x00, 0x03}));
        EXPECT_EQ(client.write("FS! ", {0x00, 0x00}), smcresult::success);
        EXPECT_TRUE(smc.isFanManual(0));
        EXPECT_TRUE(smc.isFanManual(1));
        smc.setMaskIgnoresClearing(false);
        EXPECT_EQ(client.write("FS! ", {0x00, 0x00}), smcresult::success);
        EXPECT_FALSE(smc.isFanManual(0));
    }
    {
        SimulatedSMCConfiguration configuration;
        configuration.hasForceTest = true;
        configuration.forceTestGatesModeWrites = true;
        SimulatedSMC smc(configuration);
        RecordClient client(smc);
        smc.setForceTestStuck(true);
        EXPECT_EQ(client.read("Ftst"), std::vector<std::uint8_t>{1});
        EXPECT_EQ(client.write("F0md", {1}), smcresult::success);
        EXPECT_EQ(client.write("Ftst", {0}), smcresult::success);
        EXPECT_EQ(client.read("Ftst"), std::vector<std::uint8_t>{1});
        // Locking was never applied, so the fan was not handed back.
        EXPECT_TRUE(smc.isFanManual(0));
        smc.setForceTestStuck(false);
        EXPECT_EQ(client.write("Ftst", {0}), smcresult::success);
        EXPECT_FALSE(smc.isFanManual(0));
    }
}

TEST(SimulatedSMCTests, JournalLimitKeepsTheMostRecentCalls) {
    SimulatedSMC smc;
    RecordClient client(smc);
    smc.setJournalLimit(3);
    for (std::uint32_t index = 0; index < 20; ++index) {
        client.call("#KEY", smccommand::readIndex, 0, {}, index);
        const auto journal = smc.journal();
        ASSERT_GE(journal.size(), std::min<std::size_t>(index + 1, 3));
        ASSERT_LE(journal.size(), 6u);
        EXPECT_EQ(journal.back().index, index);
    }
}
