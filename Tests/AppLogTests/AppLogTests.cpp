#include "AppLog/AppLog.h"

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>

#include "AppLog/BuildInfo.h"
#include "AppLog/OSLogHandler.h"
#include "AppLog/Signposter.h"
#include "Support/ScopedCapturingLogBackend.h"

using namespace ventrella::applog;
using ventrella::testsupport::CapturedLogLine;
using ventrella::testsupport::ScopedCapturingLogBackend;

namespace {

struct Described {
    std::string description() const { return "described-value"; }
};

}  // namespace

TEST(AppLogPrivacyTests, RendersPublicPrivateAndHashedValues) {
    EXPECT_EQ(AppLogPrivacy::publicly().render("F0Tg"), "F0Tg");
    EXPECT_EQ(AppLogPrivacy::privately().render("secret"), "<private>");

    const auto hashed = AppLogPrivacy::privately(AppLogPrivacy::Mask::hash);
    // SHA-256 of no bytes starts e3b0c442, of "abc" ba7816bf.
    EXPECT_EQ(hashed.render(""), "<private:e3b0c442>");
    EXPECT_EQ(hashed.render("abc"), "<private:ba7816bf>");
    EXPECT_EQ(hashed.render("abc"), hashed.render("abc"));
    EXPECT_NE(hashed.render("abd"), hashed.render("abc"));
}

TEST(AppLogMessageTests, InterpolatesValuesByTheirOrdinaryDescription) {
    const std::uint8_t byte = 2;
    const std::uint32_t size = 40;
    const auto message = AppLogMessage()
                         << "ev a=" << pub(-12) << " b=" << pub(byte) << " c=" << pub(size)
                         << " d=" << pub(0.5) << " e=" << pub(2.0) << " f=" << pub(100001.0)
                         << " g=" << pub(true) << " h=" << pub(1.5f) << " i=" << pub(Described{})
                         << " j=" << pub("text") << " k=" << pub(std::string("str"));
    EXPECT_EQ(message.rendered(),
              "ev a=-12 b=2 c=40 d=0.5 e=2.0 f=100001.0 g=true h=1.5 i=described-value j=text "
              "k=str");

    EXPECT_EQ(appLogDescription(1234567.0), "1234567.0");
    EXPECT_EQ(appLogDescription(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(appLogDescription(std::nan("")), "nan");
    EXPECT_EQ(AppLogMessage("literal only").rendered(), "literal only");
}

TEST(AppLogMessageTests, AppliesEachValuesOwnPrivacy) {
    const auto message = AppLogMessage() << "client pid=" << pub(42) << " path=" << priv("/x")
                                         << " id=" << privHash("");
    EXPECT_EQ(message.rendered(), "client pid=42 path=<private> id=<private:e3b0c442>");
}

TEST(AppLogChannelTests, WritesEachLevelUnderTheDefaultSubsystem) {
    ScopedCapturingLogBackend capture;
    const auto channel = AppLog::make("SMCConnection");
    channel.debug("a");
    channel.info("b");
    channel.notice("c");
    channel.error("d");
    channel.fault("e");

    const std::string subsystem = "io.lowmarsh.fan";
    const std::vector<CapturedLogLine> expected{
        {subsystem, "SMCConnection", LogLevel::debug, "a"},
        {subsystem, "SMCConnection", LogLevel::info, "b"},
        {subsystem, "SMCConnection", LogLevel::notice, "c"},
        {subsystem, "SMCConnection", LogLevel::error, "d"},
        {subsystem, "SMCConnection", LogLevel::fault, "e"},
    };
    EXPECT_EQ(capture.lines(), expected);
}

TEST(AppLogChannelTests, GuardRestoresThePreviousBackend) {
    ScopedCapturingLogBackend outer;
    {
        ScopedCapturingLogBackend inner;
        AppLog::make("FanControl").debug("inner");
        EXPECT_EQ(inner.texts("FanControl"), std::vector<std::string>{"inner"});
    }
    AppLog::make("FanControl").debug("outer");
    EXPECT_EQ(outer.texts("FanControl"), std::vector<std::string>{"outer"});
}

// Bootstrap changes process-wide state, so each case runs in a child process.
class AppLogBootstrapTests : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

namespace {

[[noreturn]] void finish(bool ok, const std::string& what) {
    if (!ok) {
        std::cerr << "FAILED: " << what << std::endl;
    }
    std::_Exit(ok ? 0 : 1);
}

}  // namespace

TEST_F(AppLogBootstrapTests, FirstBootstrapInstallsHandlerAndLogsProcessStart) {
    EXPECT_EXIT(
        {
            ScopedCapturingLogBackend capture;
            const auto before = AppLog::make("Early");
            BuildInfo::setVersion("1.2");
            BuildInfo::setCommit("abc123");
            AppLog::bootstrap("com.example.first");
            const auto lines = capture.lines();
            bool ok = lines.size() == 1 && lines[0].subsystem == "com.example.first" &&
                      lines[0].category == "AppLog" && lines[0].level == LogLevel::notice &&
                      lines[0].text.rfind(
                          "process.started subsystem=com.example.first version=1.2 "
                          "commit=abc123 buildHash=",
                          0) == 0 &&
                      lines[0].text.size() == std::string(
                                                  "process.started subsystem=com.example."
                                                  "first version=1.2 commit=abc123 "
                                                  "buildHash=")
                                                      .size() +
                                                  12;
            capture.clear();
            before.debug("old");
            AppLog::make("Late").debug("new");
            const auto after = capture.lines();
            ok = ok && after.size() == 2 && after[0].subsystem == "io.lowmarsh.fan" &&
                 after[1].subsystem == "com.example.first";
            finish(ok, "first bootstrap");
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(AppLogBootstrapTests, SecondBootstrapStoresSubsystemButKeepsTheHandler) {
    EXPECT_EXIT(
        {
            ScopedCapturingLogBackend capture;
            AppLog::bootstrap("com.example.first");
            const auto installed = spdlog::default_logger();
            AppLog::bootstrap("com.example.second");
            bool ok = spdlog::default_logger() == installed &&
                      AppLog::currentSubsystem() == "com.example.second";
            capture.clear();
            spdlog::warn("from spdlog");
            const auto lines = capture.lines();
            // The handler keeps the subsystem it was made with.
            ok = ok && lines.size() == 1 && lines[0].subsystem == "com.example.first" &&
                 lines[0].category == "default" && lines[0].level == LogLevel::error &&
                 lines[0].text == "from spdlog";
            finish(ok, "second bootstrap");
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(OSLogHandlerTests, MapsLevelsAndAppendsMetadata) {
    ScopedCapturingLogBackend capture;
    auto handler = std::make_shared<OSLogHandler>("sub");
    spdlog::logger logger("Category", handler);
    logger.set_level(spdlog::level::trace);
    EXPECT_EQ(handler->logLevel(), spdlog::level::trace);

    logger.trace("t");
    logger.info("i");
    logger.critical("c");
    handler->setMetadataValue("b", "2");
    handler->setMetadataValue("a", "one");
    logger.warn("w");
    handler->setMetadataValue("a", std::nullopt);
    EXPECT_EQ(handler->metadataValue("b"), std::optional<std::string>("2"));
    EXPECT_EQ(handler->metadataValue("a"), std::nullopt);

    const std::vector<CapturedLogLine> expected{
        {"sub", "Category", LogLevel::debug, "t"},
        {"sub", "Category", LogLevel::info, "i"},
        {"sub", "Category", LogLevel::fault, "c"},
        {"sub", "Category", LogLevel::error, "w meta=[\"a\": one, \"b\": 2]"},
    };
    EXPECT_EQ(capture.lines(), expected);

    handler->setLogLevel(spdlog::level::err);
    logger.info("dropped");
    EXPECT_EQ(capture.lines().size(), expected.size());
}

TEST(BuildInfoTests, HashesTheExecutableOrReportsUnknown) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("applog-buildhash-" +
                       std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".bin");
    {
        std::ofstream file(path, std::ios::binary);
        file << "abc";
    }
    EXPECT_EQ(BuildInfo::buildHash(path), "ba7816bf8f01");
    std::filesystem::remove(path);
    EXPECT_EQ(BuildInfo::buildHash(path), "unknown");
    EXPECT_EQ(BuildInfo::buildHash(""), "unknown");
    EXPECT_EQ(BuildInfo::buildHash().size(), 12u);
}

TEST(SignposterTests, MarksIntervalsWithMatchingIdentifiers) {
    ScopedCapturingLogBackend capture;
    auto signposter = AppLog::signposter("Perf");
    const auto first = signposter.beginInterval("read");
    const auto second = signposter.beginInterval("write");
    signposter.endInterval(first);
    EXPECT_NE(first.id, second.id);
    EXPECT_EQ(capture.texts("Perf"), (std::vector<std::string>{"signpost.begin name=read id=1",
                                                               "signpost.begin name=write id=2",
                                                               "signpost.end name=read id=1"}));
}
