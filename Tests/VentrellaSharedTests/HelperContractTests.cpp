#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "VentrellaShared/HelperContractJSON.h"
#include "VentrellaShared/ReplyBlock.h"

namespace ventrella::shared {
namespace {

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string text(const Bytes& data) {
    return std::string(data.begin(), data.end());
}

FanInfo fan(std::int64_t id, FanControlMode mode) {
    return FanInfo{id, 1500.5, 1200, 6000, 1500, mode};
}

constexpr std::string_view fanJSON =
    R"({"id":0,"actualRPM":1500.5,"minimumRPM":1200,"maximumRPM":6000,"targetRPM":1500,"mode":"manual"})";

std::string resultReplyWith(std::string_view fanText) {
    return R"({"protocolVersion":4,"payload":{"state":"manual","fans":[)" + std::string(fanText) +
           "]}}";
}

TEST(HelperContractJSON, EncodesRepliesWithExactBytes) {
    auto payload = HelperReply<FanControlResult>::withPayload(
        FanControlResult{HelperControlState::manual, {fan(0, FanControlMode::manual)}, 60});
    EXPECT_EQ(text(encodeHelperReply(payload)),
              R"({"protocolVersion":4,"payload":{"state":"manual","fans":[{"id":0,)"
              R"("actualRPM":1500.5,"minimumRPM":1200.0,"maximumRPM":6000.0,"targetRPM":1500.0,)"
              R"("mode":"manual"}],"appliedPercentage":60}})");

    auto error = HelperReply<HelperStatus>::withErrorMessage("Fan 1 has invalid RPM limits.");
    EXPECT_EQ(text(encodeHelperReply(error)),
              R"({"protocolVersion":4,"errorMessage":"Fan 1 has invalid RPM limits."})");
    EXPECT_EQ(error.protocolVersion(), VentrellaProtocol::version);
    EXPECT_FALSE(error.payload());
}

TEST(HelperContractJSON, LeavesOutAbsentOptionals) {
    auto result = toJSON(FanControlResult{HelperControlState::automatic, {}, std::nullopt});
    EXPECT_EQ(result.dump(), R"({"state":"automatic","fans":[]})");

    auto status = toJSON(HelperStatus{HelperControlState::automatic, {}, std::nullopt});
    EXPECT_EQ(status.dump(), R"({"state":"automatic","fans":[]})");

    HardwareCapabilities capabilities{
        "Mac15,3", std::nullopt, 1, true, false, std::nullopt, "No fan-control mechanism"};
    EXPECT_EQ(encodeHardwareCapabilities(capabilities),
              R"({"model":"Mac15,3","fanCount":1,"canMonitor":true,"canControl":false,)"
              R"("reason":"No fan-control mechanism"})");
    EXPECT_EQ(decodeHardwareCapabilities(encodeHardwareCapabilities(capabilities)), capabilities);
}

TEST(HelperContractJSON, RoundTripsEveryReplyShape) {
    auto status = HelperReply<HelperStatus>::withPayload(
        HelperStatus{HelperControlState::manual,
                     {fan(0, FanControlMode::automatic), fan(1, FanControlMode::unknown)},
                     75});
    EXPECT_EQ(decodeHelperStatusReply(encodeHelperReply(status)), status);

    auto result = HelperReply<FanControlResult>::withPayload(
        FanControlResult{HelperControlState::fault, {}, std::nullopt});
    EXPECT_EQ(decodeFanControlResultReply(encodeHelperReply(result)), result);

    auto error = HelperReply<FanControlResult>::withErrorMessage("Zu heiß · 90 °C — stop");
    EXPECT_EQ(decodeFanControlResultReply(encodeHelperReply(error)), error);
}

TEST(HelperContractJSON, NullAndAbsentBothDecodeAsAbsent) {
    auto reply = decodeFanControlResultReply(
        bytes(R"({"protocolVersion":4,"payload":null,"errorMessage":null,"extra":[1,2]})"));
    EXPECT_FALSE(reply.payload());
    EXPECT_FALSE(reply.errorMessage());

    auto status = decodeHelperStatusReply(bytes(
        R"({"protocolVersion":4,"payload":{"state":"fault","fans":[],"activePercentage":null}})"));
    ASSERT_TRUE(status.payload());
    EXPECT_EQ(status.payload()->state, HelperControlState::fault);
    EXPECT_FALSE(status.payload()->activePercentage);
}

TEST(HelperContractJSON, KeepsTheVersionThePeerSent) {
    auto reply = decodeHelperStatusReply(bytes(R"({"protocolVersion":3,"errorMessage":"old"})"));
    EXPECT_EQ(reply.protocolVersion(), 3);
    EXPECT_EQ(reply.errorMessage(), "old");
}

TEST(HelperContractJSON, DecodesUnknownModeAsNotAutomatic) {
    std::string unknownFan = fanJSON.data();
    unknownFan.replace(unknownFan.find("manual"), 6, "unknown");
    auto reply = decodeFanControlResultReply(bytes(resultReplyWith(unknownFan)));
    ASSERT_TRUE(reply.payload());
    EXPECT_EQ(reply.payload()->fans.at(0).mode, FanControlMode::unknown);
    EXPECT_FALSE(reply.payload()->fans.at(0).isAutomatic());
}

TEST(HelperContractJSON, RefusesTheWholeReplyForOneBadValue) {
    auto replaced = [](std::string_view from, std::string_view to) {
        std::string changed(fanJSON);
        changed.replace(changed.find(from), from.size(), to);
        return resultReplyWith(changed);
    };
    const std::vector<std::string> broken = {
        replaced(R"("id":0)", R"("id":0.5)"),                  // fraction for an integer
        replaced(R"("id":0)", R"("id":1.0)"),                  // integer written as a double
        replaced(R"("id":0)", R"("id":"0")"),                  // string for an integer
        replaced(R"("id":0)", R"("id":9223372036854775808)"),  // beyond 64 bits
        replaced(R"("targetRPM":1500)", R"("targetRPM":"1500")"),
        replaced(R"("mode":"manual")", R"("mode":"Manual")"),  // unknown enumeration string
        replaced(R"(,"mode":"manual")", ""),                   // missing key
        replaced(R"("id":0,)", ""),
        replaced(R"("id":0)", R"("id":null)"),  // null for a required value
        R"({"protocolVersion":4,"payload":{"state":"paused","fans":[]}})",
        R"({"protocolVersion":4,"payload":{"state":"manual","fans":{}}})",
        R"({"protocolVersion":4,"payload":{"fans":[]}})",
        R"({"protocolVersion":"4"})",
        R"({"payload":{"state":"manual","fans":[]}})",
        R"({"protocolVersion":4,"errorMessage":7})",
        R"({"protocolVersion":4,"payload":{"state":"manual","fans":[],"appliedPercentage":60.5}})",
        R"([4])",
        R"({"protocolVersion":4)",
    };
    for (const auto& json : broken) {
        EXPECT_THROW(decodeFanControlResultReply(bytes(json)), HelperContractDecodingError) << json;
    }
    // The mangled fan text itself is otherwise valid, and an integer is a valid Double.
    EXPECT_NO_THROW(decodeFanControlResultReply(bytes(resultReplyWith(fanJSON))));
    EXPECT_THROW(decodeHardwareCapabilities(
                     R"({"model":"Mac15,3","fanCount":1,"canMonitor":1,"canControl":false})"),
                 HelperContractDecodingError);
}

TEST(HelperContractJSON, RefusesToEncodeNonFiniteSpeeds) {
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
        FanInfo broken = fan(0, FanControlMode::manual);
        broken.actualRPM = bad;
        auto reply = HelperReply<HelperStatus>::withPayload(
            HelperStatus{HelperControlState::manual, {broken}, std::nullopt});
        EXPECT_THROW(encodeHelperReply(reply), HelperContractEncodingError);
    }
    auto badText = HelperReply<HelperStatus>::withErrorMessage("\xff\xfe");
    EXPECT_THROW(encodeHelperReply(badText), HelperContractEncodingError);
}

TEST(ReplyBlock, DeliversExactlyOnceAcrossThreads) {
    std::atomic<int> calls{0};
    std::vector<std::uint8_t> received;
    ReplyBlock block([&](std::vector<std::uint8_t> reply) {
        ++calls;
        received = std::move(reply);
    });
    EXPECT_FALSE(block.hasReplied());

    std::vector<std::thread> threads;
    for (std::uint8_t value = 1; value <= 8; ++value) {
        threads.emplace_back([&block, value] { block({value}); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(calls.load(), 1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(block.hasReplied());

    ReplyBlock moved = std::move(block);
    moved({42});
    EXPECT_EQ(calls.load(), 1);
}

}  // namespace
}  // namespace ventrella::shared
