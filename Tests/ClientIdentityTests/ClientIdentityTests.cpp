// Real processes that try to be served under the identity of the genuine client: a process that
// connects and then execs the genuine image, one that writes first and execs after, a child that
// speaks on a socket the genuine client shares with it, and another user who borrows the
// connection of a genuine client it started in namespaces of its own; and another user who tries
// to keep the genuine client out with connections of its own. The listener authorizes with the
// real code-signing checks; each attack is refused while the genuine client is served.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

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
// Enough for a machine four times slower under the sanitizers; only a fault reaches it.
constexpr auto kGenerous = ventrella::testsupport::eventDeadline;
constexpr uid_t kNobody = 65534;

// The genuine client's user: the machine's ordinary user (any other uid does as well).
uid_t genuineUser() {
    const passwd* entry = ::getpwnam("ventrella-user");
    return entry != nullptr ? entry->pw_uid : 1001;
}

std::vector<std::string> asUser(uid_t user) {
    return {"setpriv", "--reuid=" + std::to_string(user), "--regid=" + std::to_string(user),
            "--clear-groups"};
}

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
    bool waitFor(const std::string& event, std::chrono::milliseconds bound = kGenerous) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, bound, [&] {
            return std::find(events_.begin(), events_.end(), event) != events_.end();
        });
    }
    // An event that ends with this text, whichever connection it names.
    bool waitForEnding(const std::string& ending, std::chrono::milliseconds bound = kGenerous) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, bound, [&] {
            return std::any_of(events_.begin(), events_.end(), [&](const std::string& event) {
                return event.size() >= ending.size() &&
                       event.compare(event.size() - ending.size(), ending.size(), ending) == 0;
            });
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
                record_->add("connection 1 holding");
                released_.wait_for(lock, kGenerous, [&] { return release_; });
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
    void SetUp() override { ASSERT_EQ(cdHashOf(probe("genuine")).size(), 40u); }
    // A fresh listener, delegate and record.
    void start(xpc::ListenerOptions options = {}, bool holdFirst = false) {
        listener_.reset();
        record_ = std::make_shared<Record>();
        delegate_ = std::make_shared<GenuineOnlyDelegate>(cdHashOf(probe("genuine")), record_);
        delegate_->holdFirst = holdFirst;
        if (holdFirst) {
            // A held decision lasts as long as the test needs: what is tested is who is served.
            options.decisionTimeLimitSeconds = ventrella::testsupport::eventDeadlineSeconds;
        }
        listener_ = std::make_unique<xpc::Listener>(kService, options);
        listener_->setDelegate(delegate_);
        listener_->resume();
    }
    // The genuine client, started fresh, is served.
    void expectGenuineClientServed() {
        ProbeProcess genuine(probe("genuine"), {}, {}, {"client"});
        EXPECT_EQ(genuine.readLine(), "ready");
        EXPECT_EQ(genuine.readLine(), "reply 7");
        EXPECT_EQ(genuine.finish(), 0);
    }
    // The root and a copy of a probe made reachable for other users.
    std::filesystem::path reachable(const std::string& kind) {
        std::filesystem::permissions(root_.path(), std::filesystem::perms::owner_all |
                                                       std::filesystem::perms::group_read |
                                                       std::filesystem::perms::group_exec |
                                                       std::filesystem::perms::others_read |
                                                       std::filesystem::perms::others_exec);
        const auto copy = root_.path() / kind;
        std::filesystem::copy_file(probe(kind), copy, std::filesystem::copy_options::skip_existing);
        return copy;
    }
    // The genuine client of the machine's ordinary user is served.
    void expectServedAsTheGenuineUser() {
        ProbeProcess genuine(reachable("genuine"), {}, asUser(genuineUser()), {"client"});
        EXPECT_EQ(genuine.readLine(kGenerous), "ready");
        EXPECT_EQ(genuine.readLine(kGenerous), "reply 7");
        genuine.finish();
    }
    // The attacker grown to the largest image a signature may cover, signed by itself under
    // another identifier: anyone can sign, so its signature is valid. Sparse, and signed here
    // rather than by the tool, which would write all of it.
    std::filesystem::path selfSignedLargestImage() {
        const auto path = root_.path() / "impostor";
        std::filesystem::copy_file(probe("attacker"), path);
        std::filesystem::resize_file(path, ps::maximumImageBytes);
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        ps::CodeSignature signature;
        signature.identifier = "com.quillmoor.Impostor";
        signature.imageSize = ps::maximumImageBytes;
        const auto hash = ps::hashImage(fd, signature.imageSize);
        EXPECT_TRUE(hash);
        signature.imageHash = hash.value_or(signature.imageHash);
        const auto record = ps::encodeSignatureRecord(signature);
        const auto trailer = ps::signatureTrailer(record.size());
        const auto end = static_cast<off_t>(signature.imageSize);
        EXPECT_EQ(::pwrite(fd, record.data(), record.size(), end),
                  static_cast<ssize_t>(record.size()));
        EXPECT_EQ(
            ::pwrite(fd, trailer.data(), trailer.size(), end + static_cast<off_t>(record.size())),
            static_cast<ssize_t>(trailer.size()));
        ::close(fd);
        std::filesystem::permissions(path, std::filesystem::perms(0755));
        return path;
    }

    ventrella::testsupport::TemporaryPlatformRoot root_;
    std::shared_ptr<Record> record_ = std::make_shared<Record>();
    std::shared_ptr<GenuineOnlyDelegate> delegate_;
    std::unique_ptr<xpc::Listener> listener_;
};

TEST_F(ClientIdentityTest, ChildOfAProcessThatConnectedAndExecedTheGenuineClientIsRefused) {
    start({}, true);
    ProbeProcess attacker(probe("attacker"), {}, {},
                          {"fork-connect-exec", probe("genuine").string()});
    // The genuine image runs under the connecting process's id before that connection is decided.
    ASSERT_EQ(attacker.readLine(), "connected");
    ASSERT_TRUE(record_->waitFor("connection 1 holding"));
    attacker.send("go");
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
    start({}, true);
    ProbeProcess attacker(probe("attacker"), {}, {}, {"send-then-exec", probe("genuine").string()});
    ASSERT_EQ(attacker.readLine(), "connected");
    ASSERT_TRUE(record_->waitFor("connection 1 holding"));
    attacker.send("go");
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
    start();
    ProbeProcess genuine(reachable("genuine"), {}, asUser(kNobody), {"client"});
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

TEST_F(ClientIdentityTest, AnotherUserCannotBorrowTheConnectionOfAClientInNamespacesOfItsOwn) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "starting a client as another user needs root";
    }
    // Pinned by the kernel's pidfd of the peer, and without it.
    for (const auto pinning : {xpc::PeerPinning::automatic, xpc::PeerPinning::fromCredentials}) {
        SCOPED_TRACE(pinning == xpc::PeerPinning::automatic ? "automatic" : "from credentials");
        xpc::ListenerOptions options;
        options.pinning = pinning;
        start(options);
        ProbeProcess attacker(reachable("attacker"), {}, asUser(kNobody),
                              {"borrow", reachable("genuine").string()});
        // The client it started is refused at once, so there is nothing to borrow.
        EXPECT_EQ(attacker.readLine(kGenerous), "attack: refused");
        EXPECT_TRUE(record_->waitForEnding("refused liveValidationFailed"));
        EXPECT_FALSE(record_->contains("served 666"));
        attacker.finish();
        expectServedAsTheGenuineUser();
    }
}

TEST_F(ClientIdentityTest, OneUsersConnectionsNeverKeepAnotherUsersClientOut) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "starting a client as another user needs root";
    }
    const xpc::ListenerOptions options;
    start(options);
    {
        SCOPED_TRACE("sixteen genuine clients that stay connected");
        // One after another, as an attacker that tries again until every place is taken.
        std::vector<std::unique_ptr<ProbeProcess>> idle;
        std::size_t served = 0;
        for (int i = 0; i < 16; ++i) {
            idle.push_back(std::make_unique<ProbeProcess>(
                reachable("genuine"), std::vector<std::string>{}, asUser(kNobody),
                std::vector<std::string>{"client"}));
            EXPECT_EQ(idle.back()->readLine(kGenerous), "ready");
            served += idle.back()->readLine(kGenerous) == "reply 7" ? 1 : 0;
        }
        EXPECT_GE(served, 1u);
        EXPECT_LE(served, options.maximumConnectionsPerUser);
        expectServedAsTheGenuineUser();
    }
    {
        SCOPED_TRACE("a flood of connections from a self-signed image of the largest size");
        ProbeProcess flood(selfSignedLargestImage(), {}, asUser(kNobody), {"flood"});
        ASSERT_EQ(flood.readLine(kGenerous), "flooding");
        // Refused for what its signature states, its image unread.
        ASSERT_TRUE(record_->waitForEnding("refused identifierMismatch"));
        expectServedAsTheGenuineUser();
        flood.finish();
    }
}

}  // namespace
