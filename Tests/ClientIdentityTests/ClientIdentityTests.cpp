// Real processes that try to be served under the identity of the genuine client: a process that
// connects and then execs the genuine image, one that writes first and execs after, and a child
// that speaks on a socket the genuine client shares with it. The listener authorizes with the
// real code-signing checks; each attack is refused while the genuine client is served.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Security/Code.h"
#include "Platform/Security/CodeSignature.h"
#include "Platform/XPC/Connection.h"
#include "Platform/XPC/Listener.h"
#include "Support/Eventually.h"
#include "Support/ProbeProcess.h"
#include "Support/TemporaryPlatformRoot.h"
#include "VentrellaSecurity/ClientCodeAuthorizer.h"
#include "VentrellaSecurity/ClientCodeSignaturePolicy.h"
#include "VentrellaSecurity/LiveClientCodeInspector.h"

namespace {

namespace ps = platform::security;
namespace vs = ventrella::security;
namespace xpc = platform::xpc;
using namespace std::chrono_literals;
using ventrella::testsupport::ProbeProcess;

const std::string kService = "com.quillmoor.Ventrella.identity";

std::filesystem::path probe(const std::string& kind) {
    return std::filesystem::path(PROBE_DIRECTORY) / ("identity-probe-" + kind);
}

std::string cdHashOf(const std::filesystem::path& path) {
    ps::StaticCode code;
    ps::Value information;
    if (ps::createStaticCodeWithPath(path, 0, code) != ps::statusSuccess ||
        ps::copySigningInformation(code, 0, information) != ps::statusSuccess ||
        information.dictionary() == nullptr || !information.dictionary()->contains(ps::infoUnique))
        return {};
    return ps::lowercaseHex(*information.dictionary()->at(ps::infoUnique).data());
}

// Everything the listener side saw, from any thread.
class Record {
  public:
    void add(const std::string& event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        changed_.notify_all();
    }
    bool waitFor(const std::string& event) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, ventrella::testsupport::eventDeadline, [&] {
            return std::find(events_.begin(), events_.end(), event) != events_.end();
        });
    }
    std::vector<std::string> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    bool contains(const std::string& event) {
        const auto all = events();
        return std::find(all.begin(), all.end(), event) != all.end();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
};

class EchoService : public xpc::ExportedObject {
  public:
    explicit EchoService(std::shared_ptr<Record> record) : record_(std::move(record)) {}
    void invoke(const std::string&, const std::vector<std::int64_t>& arguments,
                xpc::ReplyBlock reply) override {
        const std::string value = std::to_string(arguments.at(0));
        record_->add("served " + value);
        reply(xpc::ReplyData(value.begin(), value.end()));
    }

  private:
    std::shared_ptr<Record> record_;
};

// Authorizes as the helper does; can hold its first decision until the test lets it go.
class GenuineOnlyDelegate : public xpc::ListenerDelegate {
  public:
    GenuineOnlyDelegate(std::string expectedHash, std::shared_ptr<Record> record)
        : authorizer_("com.quillmoor.Ventrella", vs::ClientCodeSignaturePolicy::hardenedRuntime,
                      [expectedHash] {
                          return vs::Result<std::string, vs::ClientAuthorizationFailure>::success(
                              expectedHash);
                      }),
          record_(std::move(record)) {}

    bool shouldAcceptNewConnection(xpc::Connection& connection) override {
        int number = 0;
        {
            std::unique_lock lock(mutex_);
            number = ++decisions_;
            if (number == 1 && holdFirst) {
                record_->add("connection 1 held");
                released_.wait_for(lock, ventrella::testsupport::eventDeadline,
                                   [&] { return release_; });
            }
        }
        const auto pid = connection.processIdentifier();
        const auto result = authorizer_.authorize(pid);
        const std::string name = "connection " + std::to_string(number);
        if (!result.isSuccess()) {
            record_->add(name + " refused " + std::string(vs::rawValue(result.error())));
            return false;
        }
        record_->add(name + " accepted");
        connection.setExportedInterface({{"echo:withReply:", 1}});
        connection.setExportedObject(std::make_shared<EchoService>(record_));
        connection.setPeerRequirement(vs::LiveClientCodeInspector::liveCheck(pid));
        connection.setInvalidationHandler(
            [record = record_, name] { record->add(name + " closed"); });
        connection.resume();
        return true;
    }

    void releaseFirst() {
        std::lock_guard lock(mutex_);
        release_ = true;
        released_.notify_all();
    }

    bool holdFirst = false;

  private:
    vs::ClientCodeAuthorizer authorizer_;
    std::shared_ptr<Record> record_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool release_ = false;
    int decisions_ = 0;
};

class ClientIdentityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(cdHashOf(probe("genuine")).size(), 40u);
        delegate_ = std::make_shared<GenuineOnlyDelegate>(cdHashOf(probe("genuine")), record_);
    }
    void start() {
        // A held decision lasts as long as the test needs: what is tested is who is served.
        xpc::ListenerOptions options;
        options.decisionTimeLimitSeconds = ventrella::testsupport::eventDeadlineSeconds;
        listener_ = std::make_unique<xpc::Listener>(kService, options);
        listener_->setDelegate(delegate_);
        listener_->resume();
    }
    // Lets the attacker exec the genuine client once the listener holds the decision on the
    // attacker's own connection, so that the client's connection comes second.
    void connectFirst(ProbeProcess& attacker) {
        ASSERT_EQ(attacker.readLine(), "connected");
        ASSERT_TRUE(record_->waitFor("connection 1 held"));
        attacker.send("go");
    }
    // The genuine client, started fresh, is served.
    void expectGenuineClientServed() {
        ProbeProcess genuine(probe("genuine"), {}, {}, {"client"});
        EXPECT_EQ(genuine.readLine(), "ready");
        EXPECT_EQ(genuine.readLine(), "reply 7");
        EXPECT_EQ(genuine.finish(), 0);
    }

    ventrella::testsupport::TemporaryPlatformRoot root_;
    std::shared_ptr<Record> record_ = std::make_shared<Record>();
    std::shared_ptr<GenuineOnlyDelegate> delegate_;
    std::unique_ptr<xpc::Listener> listener_;
};

TEST_F(ClientIdentityTest, ChildOfAProcessThatConnectedAndExecedTheGenuineClientIsRefused) {
    delegate_->holdFirst = true;
    start();
    ProbeProcess attacker(probe("attacker"), {}, {},
                          {"fork-connect-exec", probe("genuine").string()});
    ASSERT_NO_FATAL_FAILURE(connectFirst(attacker));
    // The genuine image runs under the connecting process's id before that connection is decided.
    ASSERT_EQ(attacker.readLine(), "ready");
    delegate_->releaseFirst();
    std::vector<std::string> lines{attacker.readLine(), attacker.readLine()};
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"attack: closed", "reply 7"}));
    // The examination found the genuine image: only the sender check kept the child out.
    EXPECT_TRUE(record_->waitFor("connection 1 accepted"));
    EXPECT_TRUE(record_->waitFor("connection 1 closed"));
    EXPECT_FALSE(record_->contains("served 666"));
    attacker.finish();
    expectGenuineClientServed();
}

TEST_F(ClientIdentityTest, RequestWrittenBeforeTheExecIsNeverServed) {
    delegate_->holdFirst = true;
    start();
    ProbeProcess attacker(probe("attacker"), {}, {}, {"send-then-exec", probe("genuine").string()});
    ASSERT_NO_FATAL_FAILURE(connectFirst(attacker));
    ASSERT_EQ(attacker.readLine(), "ready");
    delegate_->releaseFirst();
    EXPECT_EQ(attacker.readLine(), "reply 7");
    EXPECT_TRUE(record_->waitFor("connection 1 accepted"));
    EXPECT_TRUE(record_->waitFor("connection 1 closed"));
    EXPECT_FALSE(record_->contains("served 666"));
    attacker.finish();
    expectGenuineClientServed();
}

TEST_F(ClientIdentityTest, ChildSpeakingOnTheGenuineClientsSocketClosesIt) {
    start();
    ProbeProcess genuine(probe("genuine"), {}, {}, {"share-after-acceptance"});
    EXPECT_EQ(genuine.readLine(), "own: served");
    EXPECT_EQ(genuine.readLine(), "shared: closed");
    EXPECT_TRUE(record_->contains("served 5"));
    EXPECT_FALSE(record_->contains("served 666"));
    EXPECT_FALSE(record_->contains("served 7"));
    genuine.finish();
    expectGenuineClientServed();
}

TEST_F(ClientIdentityTest, GenuineClientOfAnotherUserIsServedOnlyBecauseItSealedItself) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "starting a client as another user needs root";
    }
    // A root and a copy of the client that the other user can reach.
    std::filesystem::permissions(
        root_.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                          std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                          std::filesystem::perms::others_exec);
    const auto copy = root_.path() / "Ventrella";
    std::filesystem::copy_file(probe("genuine"), copy);
    start();
    ProbeProcess genuine(copy, {}, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"},
                         {"client"});
    EXPECT_EQ(genuine.readLine(), "ready");
    // A hardened client that stayed dumpable would be refused (liveValidationFailed).
    EXPECT_EQ(genuine.readLine(), "reply 7");
    EXPECT_TRUE(record_->contains("connection 1 accepted"));
    genuine.finish();
}

TEST_F(ClientIdentityTest, UnsignedClientIsRefusedAtTheDoor) {
    start();
    ProbeProcess attacker(probe("attacker"), {}, {}, {"client"});
    EXPECT_EQ(attacker.readLine(), "ready");
    EXPECT_EQ(attacker.readLine(), "error The connection was interrupted.");
    EXPECT_TRUE(record_->contains("connection 1 refused liveValidationFailed"));
    attacker.finish();
    expectGenuineClientServed();
}

}  // namespace
