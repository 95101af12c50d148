#include "Platform/IOKit/IOKitServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "Platform/IOKit/InProcessBackend.h"

using namespace platform::iokit;

namespace {

// Answers each call with the input bytes reversed; records opens and closes.
class ReversingDevice final : public UserClientDevice {
  public:
    std::string_view serviceClass() const override { return "TestService"; }
    KernReturn openClient(std::uint32_t connectionType, ClientID& client) override {
        if (openResult != kernSuccess) {
            return openResult;
        }
        lastConnectionType = connectionType;
        client = ++lastClient;
        open.insert(client);
        return kernSuccess;
    }
    KernReturn callStructMethod(ClientID client, std::uint32_t selector,
                                std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                                std::size_t& outputSize) override {
        if (!open.contains(client)) {
            return ioReturnNotOpen;
        }
        lastSelector = selector;
        const auto count = std::min(input.size(), output.size());
        std::reverse_copy(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(count),
                          output.begin());
        outputSize = count;
        return kernSuccess;
    }
    KernReturn closeClient(ClientID client) override {
        return open.erase(client) == 1 ? kernSuccess : ioReturnNotOpen;
    }

    KernReturn openResult = kernSuccess;
    std::uint32_t lastConnectionType = 99;
    std::uint32_t lastSelector = 0;
    ClientID lastClient = 0;
    std::set<ClientID> open;
};

IOService firstService(std::string_view className) {
    IOIterator iterator = 0;
    EXPECT_EQ(matchServices(className, iterator), kernSuccess);
    const IOService service = iteratorNext(iterator);
    EXPECT_EQ(releaseObject(iterator), kernSuccess);
    return service;
}

}  // namespace

TEST(IOKitServicesTests, MatchesNothingWithoutAnInstalledDevice) {
    IOIterator iterator = 0;
    ASSERT_EQ(matchServices("TestService", iterator), kernSuccess);
    EXPECT_NE(iterator, 0u);
    EXPECT_EQ(iteratorNext(iterator), 0u);
    EXPECT_EQ(releaseObject(iterator), kernSuccess);
    EXPECT_EQ(releaseObject(iterator), ioReturnBadArgument);
}

TEST(IOKitServicesTests, OpensCallsAndClosesAUserClient) {
    auto device = std::make_shared<ReversingDevice>();
    ScopedInProcessDevice installed(device);

    EXPECT_EQ(firstService("OtherService"), 0u);
    IOIterator iterator = 0;
    ASSERT_EQ(matchServices("TestService", iterator), kernSuccess);
    const IOService service = iteratorNext(iterator);
    ASSERT_NE(service, 0u);
    EXPECT_EQ(iteratorNext(iterator), 0u);

    IOConnect connect = 0;
    ASSERT_EQ(openService(service, 0, connect), kernSuccess);
    EXPECT_EQ(device->lastConnectionType, 0u);
    EXPECT_EQ(releaseObject(service), kernSuccess);
    EXPECT_EQ(releaseObject(iterator), kernSuccess);

    const std::vector<std::uint8_t> input{1, 2, 3};
    std::vector<std::uint8_t> output(8, 0xEE);
    std::size_t outputSize = output.size();
    ASSERT_EQ(callStructMethod(connect, 2, input.data(), input.size(), output.data(), &outputSize),
              kernSuccess);
    EXPECT_EQ(outputSize, 3u);
    EXPECT_EQ(device->lastSelector, 2u);
    EXPECT_EQ(std::vector<std::uint8_t>(output.begin(), output.begin() + 3),
              (std::vector<std::uint8_t>{3, 2, 1}));
    // A connection is not released like a plain object; it is closed.
    EXPECT_EQ(releaseObject(connect), ioReturnBadArgument);

    EXPECT_EQ(closeService(connect), kernSuccess);
    EXPECT_TRUE(device->open.empty());
    EXPECT_EQ(callStructMethod(connect, 2, input.data(), input.size(), output.data(), &outputSize),
              ioReturnNotOpen);
    EXPECT_EQ(closeService(connect), ioReturnNotOpen);
}

TEST(IOKitServicesTests, PassesOpenFailuresAndRejectsBadArguments) {
    auto device = std::make_shared<ReversingDevice>();
    ScopedInProcessDevice installed(device);
    const IOService service = firstService("TestService");

    device->openResult = ioReturnNotPrivileged;
    IOConnect connect = 0;
    EXPECT_EQ(openService(service, 0, connect), ioReturnNotPrivileged);
    EXPECT_EQ(openService(0, 0, connect), ioReturnBadArgument);
    device->openResult = kernSuccess;
    ASSERT_EQ(openService(service, 0, connect), kernSuccess);

    std::uint8_t byte = 0;
    EXPECT_EQ(callStructMethod(connect, 2, &byte, 1, &byte, nullptr), ioReturnBadArgument);
    std::size_t size = 1;
    EXPECT_EQ(callStructMethod(connect, 2, nullptr, 1, &byte, &size), ioReturnBadArgument);
    EXPECT_EQ(closeService(connect), kernSuccess);
    EXPECT_EQ(releaseObject(service), kernSuccess);
}

TEST(IOKitServicesTests, OpenConnectionOutlivesTheInstallingGuard) {
    auto device = std::make_shared<ReversingDevice>();
    IOConnect connect = 0;
    {
        ScopedInProcessDevice installed(device);
        const IOService service = firstService("TestService");
        ASSERT_EQ(openService(service, 0, connect), kernSuccess);
        releaseObject(service);
    }
    EXPECT_EQ(firstService("TestService"), 0u);
    std::uint8_t in = 7;
    std::uint8_t out = 0;
    std::size_t size = 1;
    EXPECT_EQ(callStructMethod(connect, 2, &in, 1, &out, &size), kernSuccess);
    EXPECT_EQ(out, 7);
    EXPECT_EQ(closeService(connect), kernSuccess);
}
