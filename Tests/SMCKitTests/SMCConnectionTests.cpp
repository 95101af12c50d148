#include "SMCKit/SMCConnection.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>

#include "Platform/Foundation/Sysctl.h"
#include "Platform/IOKit/IOReturn.h"
#include "Platform/IOKit/InProcessBackend.h"
#include "Platform/VirtualMac/SMCFirmwareResult.h"
#include "Platform/VirtualMac/SimulatedSMC.h"
#include "SMCKit/FourCharCode.h"
#include "SMCKit/SMCError.h"
#include "Support/ScopedCapturingLogBackend.h"
#include "Support/ScopedSimulatedSMC.h"
#include "Support/TemporaryPlatformRoot.h"

using namespace ventrella::smc;
using ventrella::applog::LogLevel;
using ventrella::testsupport::ScopedCapturingLogBackend;
using ventrella::testsupport::ScopedSimulatedSMC;
using virtualmac::SMCJournalEntry;

namespace {

constexpr std::int32_t generalError = static_cast<std::int32_t>(0xe00002bc);

void expectSMCError(const std::function<void()>& action, const SMCError& expected) {
    try {
        action();
        ADD_FAILURE() << "no error, expected " << expected.description();
    } catch (const SMCError& error) {
        EXPECT_EQ(error, expected) << error.description();
    }
}

// The simulated SMC behind a user client that hands back only the first `replyBytes` of each
// record and reports that count, as a driver with a short reply would.
class ShortReplySMC final : public platform::iokit::UserClientDevice {
  public:
    explicit ShortReplySMC(std::size_t replyBytes) : replyBytes_(replyBytes) {}

    std::string_view serviceClass() const override { return smc_.serviceClass(); }
    platform::iokit::KernReturn openClient(std::uint32_t type,
                                           platform::iokit::ClientID& client) override {
        return smc_.openClient(type, client);
    }
    platform::iokit::KernReturn closeClient(platform::iokit::ClientID client) override {
        return smc_.closeClient(client);
    }
    platform::iokit::KernReturn callStructMethod(platform::iokit::ClientID client,
                                                 std::uint32_t selector,
                                                 std::span<const std::uint8_t> input,
                                                 std::span<std::uint8_t> output,
                                                 std::size_t& outputSize) override {
        std::array<std::uint8_t, 80> full{};
        std::size_t fullSize = full.size();
        const auto code = smc_.callStructMethod(client, selector, input, full, fullSize);
        outputSize = std::min(replyBytes_, fullSize);
        std::copy_n(full.begin(), outputSize, output.begin());
        return code;
    }

  private:
    virtualmac::SimulatedSMC smc_;
    std::size_t replyBytes_;
};

class SMCConnectionTests : public ::testing::Test {
  protected:
    std::vector<std::string> lines() { return capture.texts("SMCConnection"); }

    ScopedCapturingLogBackend capture;
    ScopedSimulatedSMC device;
};

}  // namespace

TEST_F(SMCConnectionTests, OpensLogsAndClosesTheUserClient) {
    {
        SMCConnection connection;
        EXPECT_EQ(device->openClientCount(), 1u);
        utsname name{};
        ASSERT_EQ(uname(&name), 0);
        EXPECT_EQ(lines(), std::vector<std::string>{
                               "smc.connected conn=" + std::to_string(connection.connection()) +
                               " model=" + SMCConnection::hardwareModel() + " os=" + name.release});
        EXPECT_EQ(capture.lines().at(0).level, LogLevel::debug);
        EXPECT_EQ(capture.lines().at(0).subsystem, "io.lowmarsh.fan");
    }
    EXPECT_EQ(device->openClientCount(), 0u);
}

TEST(SMCConnectionOpenTests, FailsWithoutServiceOrWhenOpenIsRefused) {
    expectSMCError([] { SMCConnection connection; }, SMCError::connectionFailed());

    ScopedSimulatedSMC device;
    device->failOpens(platform::iokit::ioReturnNotPrivileged);
    expectSMCError([] { SMCConnection connection; }, SMCError::connectionFailed());
    device->failOpens(platform::iokit::kernSuccess);
    SMCConnection connection;
    EXPECT_EQ(device->openClientCount(), 1u);
}

TEST_F(SMCConnectionTests, ReadsKeysWithKeyInfoThenReadCommand) {
    SMCConnection connection;
    capture.clear();
    device->clearJournal();

    EXPECT_EQ(connection.readKey("FNum"), (SMCKeyValue{{2}, 1}));
    EXPECT_EQ(lines(), (std::vector<std::string>{"smc.keyinfo key=FNum size=1 type=ui8 ",
                                                 "smc.read key=FNum size=1 bytes=[0x02]"}));
    const auto journal = device->journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].command, 9);
    EXPECT_EQ(journal[1].command, 5);
    EXPECT_EQ(journal[1].key, "FNum");
    EXPECT_EQ(journal[1].selector, 2u);

    std::vector<std::uint8_t> forty(40);
    for (std::size_t index = 0; index < forty.size(); ++index) {
        forty[index] = static_cast<std::uint8_t>(index + 1);
    }
    device->defineKey("BIG!", "ch8*", forty);
    device->defineKey("NONE", "ch8*", {});
    capture.clear();
    const auto big = connection.readKey("BIG!");
    EXPECT_EQ(big.size, 40u);
    EXPECT_EQ(big.bytes, std::vector<std::uint8_t>(forty.begin(), forty.begin() + 32));
    EXPECT_EQ(connection.readKey("NONE"), (SMCKeyValue{{}, 0}));
    EXPECT_EQ(lines().at(1), "smc.read key=BIG! size=40 bytes=[0x01 0x02 0x03 0x04]");
    EXPECT_EQ(lines().at(3), "smc.read key=NONE size=0 bytes=[]");
}

TEST_F(SMCConnectionTests, BadKeyLengthMakesNoCall) {
    SMCConnection connection;
    capture.clear();
    device->clearJournal();
    const auto badParameter = SMCError::firmware(SMCResultCode::badParameter);
    expectSMCError([&] { connection.readKey("FNu"); }, badParameter);
    expectSMCError([&] { connection.fetchKeyInfo("FNumb"); }, badParameter);
    expectSMCError([&] { connection.metadata(""); }, badParameter);
    expectSMCError([&] { connection.fourCharCode("abc"); }, badParameter);
    EXPECT_TRUE(device->journal().empty());
    EXPECT_TRUE(lines().empty());

    // A write logs its intent first, then fails the same way without a call.
    expectSMCError([&] { connection.writeKey("F0T", {1}); }, badParameter);
    EXPECT_TRUE(device->journal().empty());
    EXPECT_EQ(lines(), std::vector<std::string>{"smc.write key=F0T bytes=[0x01]"});
}

TEST_F(SMCConnectionTests, KeyInfoFailuresMapToFirmwareErrors) {
    SMCConnection connection;
    capture.clear();
    expectSMCError([&] { connection.readKey("ZZZZ"); },
                   SMCError::firmware(SMCResultCode::notFound));
    EXPECT_EQ(capture.lines().back().text, "smc.keyinfo.result key=ZZZZ result=notFound (0x84)");
    EXPECT_EQ(capture.lines().back().level, LogLevel::debug);

    device->injectResult("FNum", 0x42);
    expectSMCError([&] { connection.readKey("FNum"); }, SMCError::firmware(SMCResultCode::error));
    EXPECT_EQ(capture.lines().back().text, "smc.keyinfo.failed key=FNum result=unknown");
    EXPECT_EQ(capture.lines().back().level, LogLevel::error);
}

TEST_F(SMCConnectionTests, FailedReadThrowsInsteadOfReturningZeroBytes) {
    SMCConnection connection;
    device->defineKey("SECR", "ui8 ", {7}, false, false);
    capture.clear();
    expectSMCError([&] { connection.readKey("SECR"); },
                   SMCError::firmware(SMCResultCode::notReadable));
    EXPECT_EQ(capture.lines().back().text, "smc.read.failed key=SECR firmware=notReadable (0x85)");
    EXPECT_EQ(capture.lines().back().level, LogLevel::error);
}

TEST_F(SMCConnectionTests, IOKitFailureThrowsAndLogsSignedHex) {
    SMCConnection connection;
    capture.clear();
    device->failCalls(generalError, 1);
    expectSMCError([&] { connection.readKey("FNum"); }, SMCError::ioKit(generalError));
    EXPECT_EQ(lines(), std::vector<std::string>{"smc.iokit.error result=-1ffffd44"});
    EXPECT_EQ(SMCError::ioKit(generalError).description(), "IOKit error: 0xe00002bc");
    // The connection stays usable.
    EXPECT_EQ(connection.readKey("FNum").bytes, std::vector<std::uint8_t>{2});
}

TEST(SMCConnectionShortReplyTests, ARecordShorterThan80BytesIsAnIOKitErrorNotASuccess) {
    ScopedCapturingLogBackend capture;
    const SMCError underrun = SMCError::ioKit(platform::iokit::ioReturnUnderrun);
    // 40 bytes stop just before the result byte, which would otherwise read as success.
    for (const std::size_t replyBytes : {0U, 40U, 79U}) {
        SCOPED_TRACE(replyBytes);
        platform::iokit::ScopedInProcessDevice installed(
            std::make_shared<ShortReplySMC>(replyBytes));
        SMCConnection connection;
        capture.clear();
        expectSMCError([&] { connection.readKey("FNum"); }, underrun);
        expectSMCError([&] { connection.writeKey("F0Tg", {1, 2, 3, 4}); }, underrun);
        expectSMCError([&] { connection.callSMC(SMCParamStruct{}); }, underrun);
        EXPECT_EQ(capture.texts("SMCConnection").front(), "smc.iokit.error result=-1ffffd18");
    }
    platform::iokit::ScopedInProcessDevice installed(std::make_shared<ShortReplySMC>(80));
    SMCConnection connection;
    EXPECT_EQ(connection.readKey("FNum").bytes, std::vector<std::uint8_t>{2});
}

TEST_F(SMCConnectionTests, CallSMCReturnsTheRecordWithoutJudgingTheResult) {
    SMCConnection connection;
    SMCParamStruct input{};
    input.key = fourCharCode("ZZZZ");
    input.data8 = 9;
    const auto output = connection.callSMC(input);
    EXPECT_EQ(output.result, 0x84);
}

TEST_F(SMCConnectionTests, WritesPadOrCutTheBytesAndReportFailures) {
    SMCConnection connection;
    device->defineKey("WR04", "ui32", {9, 9, 9, 9}, true);
    device->defineKey("WR32", "ch8*", std::vector<std::uint8_t>(32), true);
    capture.clear();
    device->clearJournal();

    connection.writeKey("WR04", {0xAB, 0xCD});
    EXPECT_EQ(device->journal().back().bytes, (std::vector<std::uint8_t>{0xAB, 0xCD, 0, 0}));
    EXPECT_EQ(device->key("WR04")->bytes, (std::vector<std::uint8_t>{0xAB, 0xCD, 0, 0}));
    EXPECT_EQ(lines(), (std::vector<std::string>{"smc.write key=WR04 bytes=[0xab 0xcd]",
                                                 "smc.keyinfo key=WR04 size=4 type=ui32",
                                                 "smc.write.succeeded key=WR04"}));

    std::vector<std::uint8_t> forty(40, 0x11);
    forty[31] = 0x22;
    forty[32] = 0x33;
    connection.writeKey("WR32", forty);
    EXPECT_EQ(device->journal().back().bytes,
              std::vector<std::uint8_t>(forty.begin(), forty.begin() + 32));

    capture.clear();
    device->refuseWrites("WR04", virtualmac::smcresult::notWritable);
    expectSMCError([&] { connection.writeKey("WR04", {1}); },
                   SMCError::firmware(SMCResultCode::notWritable));
    EXPECT_EQ(lines().back(), "smc.write.failed key=WR04 firmware=notWritable (0x86)");
    EXPECT_EQ(capture.lines().back().level, LogLevel::error);

    device->refuseWrites("WR04", 0x42);
    expectSMCError([&] { connection.writeKey("WR04", {1}); },
                   SMCError::firmware(SMCResultCode::error));
    EXPECT_EQ(lines().back(), "smc.write.failed key=WR04 result=unknown");
}

TEST_F(SMCConnectionTests, MetadataDecodesTypeAsUTF8WhileTheLogShowsQuestionMarks) {
    SMCConnection connection;
    EXPECT_EQ(connection.metadata("F0Tg"), (SMCKeyMetadata{4, "flt ", 0xC0}));

    device->setKeyType("ODD!",
                       std::string("A\xFF"
                                   "B\xE9",
                                   4),
                       {1, 2});
    capture.clear();
    EXPECT_EQ(connection.metadata("ODD!"), (SMCKeyMetadata{2,
                                                           "A\xEF\xBF\xBD"
                                                           "B\xEF\xBF\xBD",
                                                           0x80}));
    EXPECT_EQ(lines(), std::vector<std::string>{"smc.keyinfo key=ODD! size=2 type=????"});

    SMCKeyReading& reader = connection;
    EXPECT_NE(dynamic_cast<SMCKeyMetadataReading*>(&reader), nullptr);
}

TEST_F(SMCConnectionTests, EnumeratesEveryKeyByIndex) {
    SMCConnection connection;
    capture.clear();
    const auto names = connection.enumerateKeys();
    EXPECT_EQ(names, device->keyNames());
    EXPECT_EQ(lines().front(), "smc.keyinfo key=#KEY size=4 type=ui32");
    EXPECT_EQ(lines().at(2), "smc.enumerate.start total=" + std::to_string(names.size()));
    EXPECT_EQ(lines().back(), "smc.enumerate.done count=" + std::to_string(names.size()));
}

TEST_F(SMCConnectionTests, EnumerationSkipsFailedIndicesAndSurvivesMissingCount) {
    SMCConnection connection;
    auto expected = device->keyNames();
    // "#KEY" takes two calls (key info, read); the third is index 0.
    device->failCalls(generalError, 1, 2);
    capture.clear();
    const auto names = connection.enumerateKeys();
    expected.erase(expected.begin());
    EXPECT_EQ(names, expected);
    EXPECT_EQ(lines().at(3), "smc.iokit.error result=-1ffffd44");

    device->removeKey("#KEY");
    capture.clear();
    EXPECT_TRUE(connection.enumerateKeys().empty());
    EXPECT_EQ(lines().back(), "smc.enumerate.failed reason=count-read-failed");
    EXPECT_EQ(capture.lines().back().level, LogLevel::error);
}

TEST_F(SMCConnectionTests, EnumerationReadsAtMost65536Indices) {
    SMCConnection connection;
    device->setRawBytes("#KEY", {0xFF, 0xFF, 0xFF, 0xFF});
    device->clearJournal();
    capture.clear();
    const auto names = connection.enumerateKeys();
    EXPECT_EQ(names.size(), 65536u);
    EXPECT_EQ(device->journal().size(), 2u + 65536u);
    EXPECT_EQ(lines().at(2), "smc.enumerate.start total=4294967295");
}

TEST(SMCConnectionHardwareModelTests, ReadsThePublishedModelAndIsEmptyWithoutOne) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    EXPECT_EQ(SMCConnection::hardwareModel(), "");
    platform::foundation::publishSysctlValue("hw.model", "Mac15,6");
    EXPECT_EQ(SMCConnection::hardwareModel(), "Mac15,6");
}
