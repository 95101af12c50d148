// The IOKit and HID calls of this process against a machine served over a real socket.
#include "Platform/IOKit/SocketBackend.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "Platform/IOKit/HIDEventSystem.h"
#include "Platform/IOKit/IOKitServices.h"
#include "Platform/VirtualMac/IOKitSocketServer.h"
#include "Platform/VirtualMac/VirtualMachine.h"
#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCError.h"
#include "Support/Eventually.h"
#include "Support/TemporaryPlatformRoot.h"
#include "VentrellaSensors/VLAppleSiliconTemperatureSensors.h"

using namespace platform::iokit;
using ventrella::testsupport::eventually;
using virtualmac::MachineProfile;
using virtualmac::VirtualMachine;

namespace {

// One machine served on the root's IOKit socket from a thread of this process.
class ServedMachine {
  public:
    explicit ServedMachine(const char* profile = "apple-silicon")
        : machine(MachineProfile::named(profile)) {
        std::filesystem::create_directories(ioKitSocketPath().parent_path());
        server_ = std::make_unique<virtualmac::IOKitSocketServer>(
            context_, ioKitSocketPath(),
            std::vector<std::shared_ptr<UserClientDevice>>{machine.smc()}, machine.hid());
        thread_ = std::thread([this] {
            auto guard = asio::make_work_guard(context_);
            context_.run();
        });
    }

    ~ServedMachine() { stop(); }

    void stop() {
        if (!thread_.joinable()) {
            return;
        }
        asio::post(context_, [this] {
            server_->close();
            context_.stop();
        });
        thread_.join();
        server_.reset();
    }

    VirtualMachine machine;

  private:
    asio::io_context context_;
    std::unique_ptr<virtualmac::IOKitSocketServer> server_;
    std::thread thread_;
};

std::vector<std::uint8_t> recordFor(const char* key, std::uint8_t command) {
    std::vector<std::uint8_t> record(80, 0);
    record[0] = static_cast<std::uint8_t>(key[3]);
    record[1] = static_cast<std::uint8_t>(key[2]);
    record[2] = static_cast<std::uint8_t>(key[1]);
    record[3] = static_cast<std::uint8_t>(key[0]);
    record[42] = command;
    return record;
}

}  // namespace

TEST(SocketBackend, WithoutAMachineNothingMatchesAndNothingOpens) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    IOIterator iterator = 0;
    ASSERT_EQ(matchServices("AppleSMC", iterator), kernSuccess);
    EXPECT_EQ(iteratorNext(iterator), 0u);
    releaseObject(iterator);
    EXPECT_THROW(ventrella::smc::SMCConnection(), ventrella::smc::SMCError);
    EXPECT_EQ(hidEventSystemClientCreate(), 0u);
    EXPECT_TRUE(ventrella::sensors::VLAppleSiliconTemperatureSensors().empty());
}

TEST(SocketBackend, SMCAndHIDCallsReachTheServedMachine) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    ServedMachine served;
    served.machine.setLoad(100, 50);
    served.machine.tick(20);

    ventrella::smc::SMCConnection connection;
    EXPECT_EQ(connection.readKey("FNum").bytes, std::vector<std::uint8_t>{2});
    connection.writeKey("Ftst", {1});
    connection.writeKey("F1md", {1});
    EXPECT_TRUE(served.machine.smc()->isFanManual(1));
    try {
        connection.readKey("F9Ac");
        FAIL() << "a missing key was read";
    } catch (const ventrella::smc::SMCError& error) {
        EXPECT_STREQ(error.what(), "SMC firmware error: notFound (0x84)");
    }

    const auto readings = ventrella::sensors::VLAppleSiliconTemperatureSensors();
    const auto expected = served.machine.hidTemperatures();
    ASSERT_EQ(readings.size(), expected.size());
    for (const auto& reading : expected) {
        ASSERT_TRUE(readings.contains(reading.name)) << reading.name;
        EXPECT_DOUBLE_EQ(readings.at(reading.name), reading.celsius) << reading.name;
    }
    // The reader released everything it copied.
    EXPECT_TRUE(eventually([&] { return served.machine.hid()->liveObjectCount() == 0; }));
}

TEST(SocketBackend, ClientsAndObjectsBelongToTheirConnection) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    ServedMachine served;
    auto first = std::make_unique<SocketBackend>();
    SocketBackend second;

    ClientID client = 0;
    ASSERT_EQ(first->openClient("AppleSMC", 0, 0, client), kernSuccess);
    const HIDObject hidClient = first->createEventSystemClient();
    ASSERT_NE(hidClient, 0u);
    EXPECT_EQ(served.machine.smc()->openClientCount(), 1u);
    EXPECT_EQ(served.machine.hid()->liveObjectCount(), 1u);

    // Another connection cannot reach them, even with the same numbers.
    ASSERT_EQ(second.serviceCount("AppleSMC"), 1u);
    auto record = recordFor("FNum", 9);
    std::vector<std::uint8_t> output(80);
    std::size_t size = output.size();
    EXPECT_EQ(second.callStructMethod(client, 2, record, output, size), ioReturnNotOpen);
    EXPECT_EQ(second.copyServices(hidClient), 0u);
    second.release(hidClient);
    EXPECT_EQ(served.machine.hid()->liveObjectCount(), 1u);

    size = output.size();
    EXPECT_EQ(first->callStructMethod(client, 2, record, output, size), kernSuccess);
    EXPECT_EQ(size, 80u);
    EXPECT_EQ(output[28], 1);  // "FNum" is one byte

    first.reset();  // the connection ends without closing anything itself
    EXPECT_TRUE(eventually([&] { return served.machine.smc()->openClientCount() == 0; }));
    EXPECT_TRUE(eventually([&] { return served.machine.hid()->liveObjectCount() == 0; }));
}

TEST(SocketBackend, ReconnectsAfterTheMachineRestartsAndOldHandlesAreNotOpen) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    SocketBackend backend;
    ClientID client = 0;
    {
        ServedMachine served;
        ASSERT_EQ(backend.openClient("AppleSMC", 0, 0, client), kernSuccess);
    }
    EXPECT_EQ(backend.serviceCount("AppleSMC"), 0u);  // no machine in between
    ServedMachine restarted("legacy-mask");
    EXPECT_EQ(backend.serviceCount("AppleSMC"), 1u);
    auto record = recordFor("FNum", 9);
    std::vector<std::uint8_t> output(80);
    std::size_t size = output.size();
    EXPECT_EQ(backend.callStructMethod(client, 2, record, output, size), ioReturnNotOpen);
    EXPECT_EQ(backend.closeClient(client), ioReturnNotOpen);
    ClientID fresh = 0;
    ASSERT_EQ(backend.openClient("AppleSMC", 0, 0, fresh), kernSuccess);
    EXPECT_NE(fresh, client);
    size = output.size();
    EXPECT_EQ(backend.callStructMethod(fresh, 2, record, output, size), kernSuccess);
    EXPECT_EQ(backend.closeClient(fresh), kernSuccess);
}

TEST(SocketBackend, AMachineThatNeverAnswersFailsTheCallWithinItsTimeout) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    const auto path = root.path() / "silent.sock";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    SocketBackend backend([path] { return path; }, 0.2);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(backend.serviceCount("AppleSMC"), 0u);
    ClientID client = 0;
    EXPECT_EQ(backend.openClient("AppleSMC", 0, 0, client), ioReturnNotResponding);
    EXPECT_EQ(backend.createEventSystemClient(), 0u);
    // All three on the timeout given, before even one would have ended on the default's 5 s.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    ::close(listener);
}

TEST(SocketBackend, APeerBreakingTheProtocolLosesOnlyItsOwnSession) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    ServedMachine served;
    SocketBackend wellBehaved;
    ClientID client = 0;
    ASSERT_EQ(wellBehaved.openClient("AppleSMC", 0, 0, client), kernSuccess);

    const int peer = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, ioKitSocketPath().c_str());
    ASSERT_EQ(::connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // A body length far over the cap: closed before any body is read.
    const std::uint8_t header[4] = {0xff, 0xff, 0xff, 0x7f};
    ASSERT_EQ(::send(peer, header, sizeof header, MSG_NOSIGNAL), 4);
    char byte = 0;
    EXPECT_EQ(::recv(peer, &byte, 1, 0), 0);
    ::close(peer);

    auto record = recordFor("FNum", 9);
    std::vector<std::uint8_t> output(80);
    std::size_t size = output.size();
    EXPECT_EQ(wellBehaved.callStructMethod(client, 2, record, output, size), kernSuccess);
}
