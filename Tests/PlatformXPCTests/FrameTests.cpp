#include "Platform/XPC/Frame.h"
#include "Platform/XPC/FrameAssembler.h"
#include "Platform/XPC/ReplyBlock.h"
#include "Platform/XPC/ServiceSocketPath.h"
#include "Platform/XPC/XPCError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace platform::xpc;

std::span<const std::uint8_t> bodyOf(const std::vector<std::uint8_t>& frame) {
    return std::span<const std::uint8_t>(frame).subspan(kFrameHeaderSize);
}

std::size_t lengthOf(const std::vector<std::uint8_t>& frame) {
    return decodeFrameLength(std::span<const std::uint8_t, kFrameHeaderSize>(frame.data(), 4));
}

void expectMalformed(std::vector<std::uint8_t> body) {
    try {
        decodeFrameBody(body);
        ADD_FAILURE() << "accepted a malformed body";
    } catch (const XPCError& error) {
        EXPECT_EQ(error, XPCError(XPCError::Code::malformedMessage));
    }
}

TEST(FrameTests, RequestsAndRepliesRoundTrip) {
    const RequestMessage request{0x0102030405060708ULL,
                                 "applyCoolingWithPercentage:withReply:",
                                 {55, -1, std::numeric_limits<std::int64_t>::min()}};
    const auto frame = encodeFrame(request);
    EXPECT_EQ(lengthOf(frame), frame.size() - kFrameHeaderSize);
    EXPECT_EQ(std::get<RequestMessage>(decodeFrameBody(bodyOf(frame))), request);

    const ReplyMessage reply{7, {'{', '}', 0, 0xff}};
    const auto replyFrame = encodeFrame(reply);
    EXPECT_EQ(lengthOf(replyFrame), replyFrame.size() - kFrameHeaderSize);
    EXPECT_EQ(std::get<ReplyMessage>(decodeFrameBody(bodyOf(replyFrame))), reply);

    const ReplyMessage empty{9, {}};
    EXPECT_EQ(std::get<ReplyMessage>(decodeFrameBody(bodyOf(encodeFrame(empty)))), empty);

    const auto acceptance = encodeFrame(AcceptanceMessage{});
    EXPECT_EQ(acceptance, (std::vector<std::uint8_t>{0, 0, 0, 1, 3}));
    EXPECT_TRUE(std::holds_alternative<AcceptanceMessage>(decodeFrameBody(bodyOf(acceptance))));
}

TEST(FrameAssemblerTests, FramesComeBackWhateverTheRecordBoundaries) {
    const RequestMessage request{1, "echo:withReply:", {42}};
    const ReplyMessage reply{2, ReplyData(3 * kMaximumRecordSize + 17, 0x5a)};
    std::vector<std::uint8_t> stream = encodeFrame(request);
    const auto replyFrame = encodeFrame(reply);
    stream.insert(stream.end(), replyFrame.begin(), replyFrame.end());
    const auto acceptanceFrame = encodeFrame(AcceptanceMessage{});
    stream.insert(stream.end(), acceptanceFrame.begin(), acceptanceFrame.end());

    for (const std::size_t recordSize : {std::size_t{1}, std::size_t{3}, std::size_t{4},
                                         std::size_t{7}, kMaximumRecordSize, stream.size()}) {
        FrameAssembler assembler;
        std::vector<Message> messages;
        for (std::size_t offset = 0; offset < stream.size(); offset += recordSize) {
            const auto part =
                std::span(stream).subspan(offset, std::min(recordSize, stream.size() - offset));
            for (auto& message : assembler.append(part)) {
                messages.push_back(std::move(message));
            }
            // Never more held than the part of one frame that has arrived.
            EXPECT_LE(assembler.bufferedBytes(), replyFrame.size()) << recordSize;
        }
        ASSERT_EQ(messages.size(), 3u) << recordSize;
        EXPECT_EQ(std::get<RequestMessage>(messages[0]), request);
        EXPECT_EQ(std::get<ReplyMessage>(messages[1]), reply);
        EXPECT_TRUE(std::holds_alternative<AcceptanceMessage>(messages[2]));
        EXPECT_FALSE(assembler.holdsPartialFrame());
    }
}

TEST(FrameAssemblerTests, HeldBytesFollowWhatArrivedNotWhatTheHeaderClaims) {
    FrameAssembler assembler;
    // A header claiming the largest body, then ten bytes of it.
    std::vector<std::uint8_t> start{0x00, 0x10, 0x00, 0x00};
    start.resize(start.size() + 10, 0x02);
    EXPECT_TRUE(assembler.append(start).empty());
    EXPECT_TRUE(assembler.holdsPartialFrame());
    EXPECT_EQ(assembler.bufferedBytes(), 14u);

    FrameAssembler oversized;
    EXPECT_THROW(oversized.append(std::vector<std::uint8_t>{0x00, 0x10, 0x00, 0x01}), XPCError);
    FrameAssembler badBody;
    EXPECT_THROW(badBody.append(std::vector<std::uint8_t>{0, 0, 0, 2, 3, 0}), XPCError);
}

TEST(FrameTests, LengthMustBeWithinTheCap) {
    auto header = [](std::uint32_t length) {
        return std::array<std::uint8_t, 4>{
            static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
            static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    };
    EXPECT_EQ(decodeFrameLength(header(kMaximumFrameBodySize)), kMaximumFrameBodySize);
    EXPECT_THROW(decodeFrameLength(header(kMaximumFrameBodySize + 1)), XPCError);
    EXPECT_THROW(decodeFrameLength(header(0)), XPCError);
    EXPECT_THROW(decodeFrameLength(header(0xffffffffu)), XPCError);

    EXPECT_NO_THROW(encodeFrame(ReplyMessage{1, ReplyData(kMaximumReplyDataSize)}));
    EXPECT_THROW(encodeFrame(ReplyMessage{1, ReplyData(kMaximumReplyDataSize + 1)}), XPCError);
}

TEST(FrameTests, MalformedBodiesAreRejected) {
    const auto valid = encodeFrame(RequestMessage{1, "statusWithReply:", {3}});
    const std::vector<std::uint8_t> body(valid.begin() + kFrameHeaderSize, valid.end());

    auto truncated = body;
    truncated.pop_back();
    expectMalformed(truncated);

    auto trailing = body;
    trailing.push_back(0);
    expectMalformed(trailing);

    auto unknownKind = body;
    unknownKind[0] = 0x07;
    expectMalformed(unknownKind);

    auto blankInSelector = body;
    blankInSelector[10] = ' ';
    expectMalformed(blankInSelector);

    auto emptySelector = std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0};
    expectMalformed(emptySelector);

    // 17 arguments, all present.
    std::vector<std::uint8_t> tooMany{1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 'x', 17};
    tooMany.resize(tooMany.size() + 17 * 8);
    expectMalformed(tooMany);

    expectMalformed({});
    expectMalformed({2, 0, 0});  // reply without a whole call id
    expectMalformed({3, 0});     // acceptance carries nothing

    EXPECT_THROW(encodeFrame(RequestMessage{1, "", {}}), XPCError);
    EXPECT_THROW(encodeFrame(RequestMessage{1, "x", std::vector<std::int64_t>(17)}), XPCError);
}

TEST(ServiceSocketPathTests, NamesStayInsideTheSocketDirectory) {
    ::setenv("VIRTUAL_MAC_ROOT", "/tmp/vm-root", 1);
    EXPECT_EQ(serviceSocketPath("com.quillmoor.Ventrella.helper"),
              "/tmp/vm-root/var/run/xpc/com.quillmoor.Ventrella.helper.sock");
    for (const char* name : {"", "../etc/passwd", "a/b", ".hidden", "with space", "nul\n"}) {
        try {
            serviceSocketPath(name);
            ADD_FAILURE() << "accepted " << name;
        } catch (const XPCError& error) {
            EXPECT_EQ(error.code(), XPCError::Code::invalidServiceName) << name;
        }
    }
    ::setenv("VIRTUAL_MAC_ROOT", ("/tmp/" + std::string(80, 'r')).c_str(), 1);
    try {
        serviceSocketPath("com.quillmoor.Ventrella.helper");
        ADD_FAILURE() << "accepted a path over the socket address limit";
    } catch (const XPCError& error) {
        EXPECT_EQ(error.code(), XPCError::Code::socketPathTooLong);
        EXPECT_STREQ(error.what(), "The service's socket path is too long.");
    }
    ::unsetenv("VIRTUAL_MAC_ROOT");
}

TEST(ReplyBlockTests, OnlyTheFirstOfConcurrentCallsDelivers) {
    std::atomic<int> deliveries{0};
    std::atomic<int> deliveredValue{-1};
    ReplyBlock reply([&](ReplyData data) {
        ++deliveries;
        deliveredValue = data.at(0);
    });
    EXPECT_FALSE(reply.wasCalled());
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([copy = reply, i] { copy(ReplyData{static_cast<std::uint8_t>(i)}); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    reply(ReplyData{99});
    EXPECT_EQ(deliveries.load(), 1);
    EXPECT_LT(deliveredValue.load(), 8);
    EXPECT_TRUE(reply.wasCalled());
}

}  // namespace
