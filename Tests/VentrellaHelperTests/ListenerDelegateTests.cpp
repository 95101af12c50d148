#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>

#include "ControllerFixture.h"
#include "Platform/XPC/Connection.h"
#include "Platform/XPC/Listener.h"
#include "Support/Eventually.h"
#include "Support/FileContents.h"
#include "Support/ScopedCapturingLogBackend.h"
#include "Support/TemporaryPlatformRoot.h"
#include "VentrellaHelper/HelperCommandLine.h"
#include "VentrellaHelper/HelperDaemon.h"
#include "VentrellaHelper/HelperService.h"
#include "VentrellaHelper/ListenerDelegate.h"
#include "VentrellaShared/HelperContractJSON.h"

namespace ventrella::helper::testing {
namespace {

using namespace std::chrono_literals;
using security::ClientAuthorizationFailure;
using security::ClientCodeEvidence;
using ::testing::HasSubstr;

const std::string expectedHash(40, 'c');

// A listener with the helper's delegate in a private root; the test process is the client and
// its "signature" is whatever evidence the test sets.
struct ListenerFixture {
    testsupport::TemporaryPlatformRoot root;
    testsupport::ScopedCapturingLogBackend capture;
    ControllerFixture controllers;
    std::shared_ptr<SMCController> controller = controllers.make(false);
    std::atomic<bool> genuine{true};
    // What the live check of every request answers.
    std::atomic<bool> stillLive{true};
    std::shared_ptr<security::ClientAuthorizationAuditLog> auditLog =
        std::make_shared<security::ClientAuthorizationAuditLog>(root.path() / "helper-auth.jsonl",
                                                                32768, ::geteuid());
    platform::xpc::Listener listener{"com.quillmoor.Ventrella.helper"};

    ListenerFixture() {
        security::ClientCodeAuthorizer authorizer(
            "com.quillmoor.Ventrella", 0x12000,
            [this](std::int32_t) {
                using R = security::Result<ClientCodeEvidence, ClientAuthorizationFailure>;
                return R::success(ClientCodeEvidence{"com.quillmoor.Ventrella",
                                                     genuine ? expectedHash : std::string(40, 'd'),
                                                     0x12000, false});
            },
            [] {
                return security::Result<std::string, ClientAuthorizationFailure>::success(
                    expectedHash + "\n");
            });
        listener.setDelegate(std::make_shared<ListenerDelegate>(
            controller, std::move(authorizer), auditLog, helperLog(),
            [this](std::int32_t) { return [this] { return stillLive.load(); }; }));
        listener.resume();
    }

    // Sends one request on a new connection; the reply text, or "error:" and the XPC error.
    std::string request(const std::string& selector, std::vector<std::int64_t> arguments = {}) {
        auto connection = connect();
        auto text = send(*connection, selector, std::move(arguments));
        connection->invalidate();
        return text;
    }

    static std::shared_ptr<platform::xpc::Connection> connect() {
        auto connection =
            platform::xpc::Connection::connectToService("com.quillmoor.Ventrella.helper");
        connection->setRemoteObjectInterface(helperProtocolInterface());
        connection->resume();
        return connection;
    }

    static std::string send(platform::xpc::Connection& connection, const std::string& selector,
                            std::vector<std::int64_t> arguments = {}) {
        auto outcome = std::make_shared<std::promise<std::string>>();
        auto proxy = connection.remoteObjectProxyWithErrorHandler(
            [outcome](const platform::xpc::XPCError& error) {
                try {
                    outcome->set_value(std::string("error:") + error.what());
                } catch (const std::future_error&) {
                }
            });
        proxy.send(selector, std::move(arguments), [outcome](platform::xpc::ReplyData data) {
            try {
                outcome->set_value(std::string(data.begin(), data.end()));
            } catch (const std::future_error&) {
            }
        });
        auto future = outcome->get_future();
        if (future.wait_for(ventrella::testsupport::eventDeadline) != std::future_status::ready) {
            return "timeout";
        }
        return future.get();
    }
};

using testsupport::readFile;

TEST(ListenerDelegateTest, AcceptedClientReachesTheControllerThroughEverySelector) {
    ListenerFixture fixture;
    EXPECT_THAT(fixture.request("statusWithReply:"),
                HasSubstr(R"({"protocolVersion":4,"payload":{"state":"automatic")"));
    const auto applied = fixture.request("applyCoolingWithPercentage:withReply:", {60});
    EXPECT_THAT(applied, HasSubstr(R"("state":"manual")"));
    EXPECT_THAT(applied, HasSubstr(R"("appliedPercentage":60)"));
    EXPECT_THAT(fixture.request("restoreAutomaticWithReply:"), HasSubstr(R"("state":"automatic")"));
    // The takeover waits its 1.5 s on the virtual clock.
    EXPECT_THAT(fixture.request("prepareTakeoverWithReply:"), HasSubstr(R"("state":"automatic")"));
    EXPECT_TRUE(fixture.capture.lines().empty());
    EXPECT_FALSE(std::filesystem::exists(fixture.root.path() / "helper-auth.jsonl"));
}

TEST(ListenerDelegateTest, RefusedClientIsAuditedLoggedAndNeverAnswered) {
    ListenerFixture fixture;
    fixture.genuine = false;
    EXPECT_THAT(fixture.request("applyCoolingWithPercentage:withReply:", {60}),
                HasSubstr("error:"));
    ControllerFixture::drain(*fixture.controller);
    EXPECT_TRUE(fixture.controllers.log->entries().empty()) << "the controller was reached";

    EXPECT_THAT(readFile(fixture.root.path() / "helper-auth.jsonl"),
                ::testing::MatchesRegex(
                    "[{]\"reason\":\"cdHashMismatch\",\"timestamp\":\"[-0-9T:]+Z\"[}]\n"));
    const auto lines = fixture.capture.lines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].subsystem, "com.quillmoor.Ventrella.helper");
    EXPECT_EQ(lines[0].category, "ClientAuthorization");
    EXPECT_EQ(lines[0].level, applog::LogLevel::error);
    EXPECT_EQ(lines[0].text,
              "client.rejected reason=cdHashMismatch pid=" + std::to_string(::getpid()));

    // The same client, now genuine, is served on a new connection.
    fixture.genuine = true;
    EXPECT_THAT(fixture.request("statusWithReply:"), HasSubstr(R"("protocolVersion":4)"));
}

TEST(ListenerDelegateTest, ClientIsCutOffOnceItsProcessFailsTheLiveCheck) {
    ListenerFixture fixture;
    auto connection = ListenerFixture::connect();
    EXPECT_THAT(ListenerFixture::send(*connection, "statusWithReply:"),
                HasSubstr(R"("protocolVersion":4)"));
    // Traced, say, after it was accepted: its next request never reaches the controller.
    fixture.stillLive = false;
    EXPECT_THAT(ListenerFixture::send(*connection, "applyCoolingWithPercentage:withReply:", {60}),
                HasSubstr("error:"));
    connection->invalidate();
    ControllerFixture::drain(*fixture.controller);
    const auto entries = fixture.controllers.log->entries();
    EXPECT_TRUE(std::none_of(entries.begin(), entries.end(), [](const std::string& entry) {
        return entry.rfind("hardware.enableManualMode", 0) == 0;
    })) << "the fans were taken";
    EXPECT_FALSE(fixture.controllers.marker->marked);
}

TEST(HelperDaemonTest, ServesUntilTheRunLoopEndsOrEndsAfterTheRecoveryWhenItCannotResume) {
    for (const bool socketPathTaken : {false, true}) {
        SCOPED_TRACE(socketPathTaken ? "cannot resume" : "serving");
        testsupport::TemporaryPlatformRoot root;
        testsupport::ScopedCapturingLogBackend capture;
        ControllerFixture controllers;
        controllers.marker->marked = true;  // left by a helper that crashed
        auto controller = controllers.make(true);
        auto auditLog = std::make_shared<security::ClientAuthorizationAuditLog>(
            root.path() / "helper-auth.jsonl", 32768, ::geteuid());
        security::ClientCodeAuthorizer authorizer(
            "com.quillmoor.Ventrella", 0x12000,
            [](std::int32_t) {
                return security::Result<ClientCodeEvidence, ClientAuthorizationFailure>::success(
                    ClientCodeEvidence{"com.quillmoor.Ventrella", expectedHash, 0x12000, false});
            },
            [] {
                return security::Result<std::string, ClientAuthorizationFailure>::success(
                    expectedHash);
            });
        auto delegate = std::make_shared<ListenerDelegate>(
            controller, std::move(authorizer), auditLog, helperLog(),
            [](std::int32_t) { return [] { return true; }; });
        platform::xpc::Listener listener("com.quillmoor.Ventrella.helper");
        if (socketPathTaken) {
            std::filesystem::create_directories(listener.socketPath().parent_path());
            std::ofstream(listener.socketPath()) << "not a socket";
        }
        std::string served;
        const int status = serveOn(listener, delegate, *controller, helperLog(), [&] {
            auto connection = ListenerFixture::connect();
            served = ListenerFixture::send(*connection, "statusWithReply:");
            connection->invalidate();
        });
        if (socketPathTaken) {
            EXPECT_EQ(status, 1);
            EXPECT_EQ(served, "");
            // The recovery restore queued at start-up ran to its end before the answer.
            EXPECT_FALSE(controllers.marker->marked);
            const auto lines = capture.lines();
            ASSERT_EQ(lines.size(), 1U);
            EXPECT_EQ(lines[0].level, applog::LogLevel::fault);
            EXPECT_EQ(lines[0].text,
                      "listener.resume_failed message=The listener could not be set up.");
        } else {
            EXPECT_EQ(status, 0);
            EXPECT_THAT(served, HasSubstr(R"("protocolVersion":4)"));
            EXPECT_TRUE(capture.lines().empty());
        }
    }
}

TEST(HelperServiceTest, PercentageReachesTheEngineUnnarrowed) {
    ControllerFixture fixture;
    auto controller = fixture.make(false);
    HelperService service(controller);
    std::promise<std::string> reply;
    service.invoke("applyCoolingWithPercentage:withReply:", {(std::int64_t{1} << 32) + 60},
                   platform::xpc::ReplyBlock([&](platform::xpc::ReplyData data) {
                       reply.set_value(std::string(data.begin(), data.end()));
                   }));
    auto future = reply.get_future();
    ASSERT_EQ(future.wait_for(ventrella::testsupport::eventDeadline), std::future_status::ready);
    EXPECT_EQ(
        future.get(),
        R"({"protocolVersion":4,"errorMessage":"Fan percentage must be between 40 and 100."})");
}

}  // namespace
}  // namespace ventrella::helper::testing
