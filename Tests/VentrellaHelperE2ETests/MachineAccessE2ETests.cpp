// What a user other than root may and may not ask the simulated Mac, each asked as that user
// (the application's ordinary user, or nobody) through the machine's programs and sockets, on a
// machine that root installed and started under the umask 000 of a careless administrator.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/LineExchange.h"
#include "Platform/IOKit/IOReturn.h"
#include "Platform/VirtualMac/MachineServer.h"
#include "Platform/Workspace/VirtualMacWorkspace.h"
#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCError.h"
#include "SimulatedMac.h"
#include "Support/LocalUser.h"
#include "Support/ScopedEnvironment.h"
#include "Support/UnixSocketClient.h"
#include "VentrellaSensors/VLAppleSiliconTemperatureSensors.h"

namespace ventrella::e2e {
namespace {

namespace fs = std::filesystem;
using platform::workspace::ThermalState;
using testsupport::LocalUser;
using testsupport::runAs;
using virtualmac::MachineServer;

const std::string helperLabel = "com.quillmoor.Ventrella.helper";

std::string administratorSource(const fs::path& script) {
    return R"(do shell script ("/bin/zsh " & quoted form of ")" + script.string() +
           R"(") with administrator privileges)";
}

// A script of `owner` under the root that prints who runs it and ends with status 5.
fs::path scriptOf(const SimulatedMac& mac, const LocalUser& owner) {
    const fs::path folder = mac.root() / "Users" / owner.name;
    fs::create_directories(folder);
    std::ofstream(folder / "whoami.sh") << "id -u\nexit 5\n";
    fs::permissions(folder / "whoami.sh", fs::perms(0644));
    owner.handOver(folder);
    return folder / "whoami.sh";
}

// The machine as root installed and started it with a umask that leaves every new file open.
struct CarelessMachine {
    const mode_t previous = ::umask(0);
    SimulatedMac mac;
    CarelessMachine() { ::umask(previous); }
};

TEST(MachineAccessE2E, UsersMayUseWhatAMacOffersApplicationsAndNothingOfTheMachinesOwn) {
    CarelessMachine careless;
    const SimulatedMac& mac = careless.mac;
    ASSERT_TRUE(mac.waitForHelper());
    const auto helper = mac.helperProcess();
    ASSERT_TRUE(helper);
    const LocalUser user = LocalUser::application();
    const LocalUser nobody = LocalUser::named("nobody");
    const std::string machine = VIRTUAL_MAC_TOOL;
    const std::string launchctl = (mac.root() / "bin/launchctl").string();
    const std::string osascript = (mac.root() / "usr/bin/osascript").string();
    const fs::path rootScript = scriptOf(mac, LocalUser{"root", 0, 0, {0}});
    const fs::path usersScript = scriptOf(mac, user);

    struct Request {
        const LocalUser& who;
        std::vector<std::string> words;
        int status;
        std::string says;  // in what it prints
    };
    const Request requests[] = {
        {user, {machine, "load", "--cpu", "100"}, 3, "not permitted"},
        {user, {machine, "fault", "refuse-writes", "F0Tg"}, 3, "not permitted"},
        {nobody, {machine, "thermal-state", "critical"}, 3, "not permitted"},
        {user, {machine, "sleep"}, 3, "not permitted"},
        {user, {machine, "approval", "require"}, 3, "not permitted"},
        {user, {machine, "authorization", "deny"}, 3, "not permitted"},
        {nobody, {machine, "status"}, 3, "not permitted"},
        {nobody, {machine, "stop"}, 3, "not permitted"},
        {user, {launchctl, "bootout", "system/" + helperLabel}, EPERM, "not permitted"},
        {nobody,
         {launchctl, "bootstrap", "system",
          (mac.root() / "Library/LaunchDaemons" / (helperLabel + ".plist")).string()},
         EPERM,
         "not permitted"},
        {user, {launchctl, "print", "system/" + helperLabel}, 0, "state = running"},
        // The person at the prompt still allows: the script runs as root.
        {user, {osascript, "-e", administratorSource(rootScript)}, 5, "0\n"},
        {nobody, {osascript, "-e", administratorSource(usersScript)}, 1, "will not run"},
    };
    for (const auto& request : requests) {
        auto words = request.who.launcher();
        words.insert(words.end(), request.words.begin(), request.words.end());
        const auto result = mac.run(words);
        SCOPED_TRACE(request.who.name + ": " + ::testing::PrintToString(request.words));
        EXPECT_EQ(result.exitCode, request.status) << result.out << result.err;
        EXPECT_NE((result.out + result.err).find(request.says), std::string::npos)
            << result.out << result.err;
    }
    // Nothing of it reached the machine.
    const auto status = mac.status();
    EXPECT_EQ(status["load"]["cpu"], 0);
    EXPECT_TRUE(status["faults"].empty()) << status.dump();
    EXPECT_EQ(status["workspace"]["thermalState"], "nominal");
    EXPECT_EQ(status["workspace"]["power"], "awake");
    EXPECT_EQ(mac.helperProcess(), helper);

    // The devices and the workspace, through the application's own layers on this user's
    // threads.
    testsupport::ScopedEnvironment environment{{"VIRTUAL_MAC_ROOT", mac.root().string()}};
    struct Devices {
        std::vector<std::uint8_t> fanCount;
        std::optional<std::int32_t> writeRefusal;
        std::size_t sensors = 0;
    };
    const auto devices = runAs(user, [] {
        Devices seen;
        smc::SMCConnection smc;
        seen.fanCount = smc.readKey("FNum").bytes;
        try {
            smc.writeKey("F0md", {1});
        } catch (const smc::SMCError& error) {
            seen.writeRefusal = error.ioKitCode();
        }
        seen.sensors = sensors::VLAppleSiliconTemperatureSensors().size();
        return seen;
    });
    EXPECT_EQ(devices.fanCount, std::vector<std::uint8_t>{2});
    EXPECT_EQ(devices.writeRefusal, platform::iokit::ioReturnNotPrivileged);
    EXPECT_GT(devices.sensors, 0U);
    EXPECT_EQ(mac.status()["fans"][0]["mode"], "automatic");

    const auto workspace =
        runAs(user, [] { return std::make_unique<platform::workspace::VirtualMacWorkspace>(); });
    // Generous bounds: only a fault takes that long.
    constexpr double bound = 60.0;
    ASSERT_TRUE(eventually([&] { return mac.status()["workspace"]["observers"] == 1; }, bound));
    ASSERT_EQ(mac.virtualMac({"thermal-state", "serious"}).exitCode, 0);
    EXPECT_TRUE(
        eventually([&] { return workspace->thermalState() == ThermalState::serious; }, bound));
    workspace->openLoginItems();
    EXPECT_TRUE(
        eventually([&] { return mac.status()["workspace"]["loginItemsPaneOpened"] == 1; }, bound));

    // One user holding all its share of connections neither crowds out another nor gets more.
    const auto held = runAs(nobody, [&] {
        std::vector<int> descriptors;
        for (std::size_t count = 0; count <= MachineServer::kControlConnectionsPerUser; ++count) {
            descriptors.push_back(
                testsupport::connectToUnixSocket(mac.root() / "var/run/virtual-mac/control.sock"));
        }
        return descriptors;
    });
    char byte = 0;
    EXPECT_EQ(::recv(held.back(), &byte, 1, 0), 0) << "a connection over the share stays open";
    auto print = user.launcher();
    print.insert(print.end(), {launchctl, "print", "system/" + helperLabel});
    EXPECT_EQ(mac.run(print).exitCode, 0);
    for (const int descriptor : held) {
        ::close(descriptor);
    }
}

TEST(MachineAccessE2E, WhatTheMachineLaysOutIsRootsAloneWhateverTheUmask) {
    CarelessMachine careless;
    const SimulatedMac& mac = careless.mac;
    ASSERT_TRUE(mac.waitForHelper());
    ASSERT_EQ(mac.client({"status"}).exitCode, 0);
    const fs::path run = mac.root() / "var/run/virtual-mac";
    const std::vector<fs::path> files = {
        run / "sysctl/hw.model", run / "virtual-mac.log",
        run / "virtual-mac.pid", mac.root() / "var/log" / (helperLabel + ".log"),
        mac.helperLog(),         mac.root() / "Applications/Ventrella.app/Contents/Info.plist",
    };
    const std::vector<fs::path> folders = {
        mac.root(),
        run,
        run / "sysctl",
        mac.root() / "bin",
        mac.root() / "usr/bin",
        mac.root() / "var/log",
        mac.helperLog().parent_path(),
        mac.root() / "Library/LaunchDaemons",
        mac.root() / "Applications/Ventrella.app/Contents/Resources",
    };
    for (const auto& path : files) {
        ASSERT_TRUE(fs::is_regular_file(path)) << path;
    }
    for (const auto& path : folders) {
        ASSERT_TRUE(fs::is_directory(path)) << path;
    }
    // What another user could change: append to a file, or add (so replace) a folder's entry.
    const auto changeable = runAs(LocalUser::named("nobody"), [&] {
        std::vector<std::string> found;
        for (const auto& file : files) {
            const int descriptor = ::open(file.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW);
            if (descriptor >= 0 || errno != EACCES) {
                found.push_back(file.string());
            }
            if (descriptor >= 0) {
                ::close(descriptor);
            }
        }
        for (const auto& folder : folders) {
            const fs::path probe = folder / ".probe";
            const int descriptor = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
            if (descriptor >= 0 || errno != EACCES) {
                found.push_back(folder.string());
            }
            if (descriptor >= 0) {
                ::close(descriptor);
                ::unlink(probe.c_str());
            }
        }
        return found;
    });
    EXPECT_TRUE(changeable.empty()) << ::testing::PrintToString(changeable);
}

TEST(MachineAccessE2E, AnApplicationManagesTheDaemonsOfItsOwnBundleAlone) {
    SimulatedMac mac("apple-silicon", {"--bundle-only"});
    // The application registers its helper from its bundle, as its ordinary user.
    const auto installed = mac.client({"install"});
    ASSERT_EQ(installed.out, "installed\n") << installed.err;
    ASSERT_TRUE(mac.waitForHelper());
    const auto helper = mac.helperProcess();
    // Asked by a program other than the bundle's own, of whichever user.
    const auto ask = [&](const std::string& command,
                         const std::string& plist = helperLabel + ".plist") {
        const nlohmann::json request{
            {"command", command},
            {"bundle", (mac.root() / "Applications/Ventrella.app").string()},
            {"plist", plist}};
        return nlohmann::json::parse(platform::foundation::exchangeLine(
            mac.root() / "var/run/virtual-mac/control.sock", request.dump(), 60.0));
    };
    struct Request {
        LocalUser who;
        std::string command;
    };
    const Request refused[] = {
        {LocalUser::named("nobody"), "service.unregister"},
        {LocalUser::named("nobody"), "service.status"},
        {LocalUser::named("nobody"), "service.register"},
        {LocalUser::application(), "service.unregister"},
    };
    for (const auto& request : refused) {
        const auto reply = runAs(request.who, [&] { return ask(request.command); });
        SCOPED_TRACE(request.who.name + ": " + request.command);
        EXPECT_EQ(reply.value("notPermitted", false), true) << reply.dump();
        EXPECT_NE(reply.value("error", "").find("its own bundle"), std::string::npos)
            << reply.dump();
    }
    // Nor does another user's program that runs under the bundle's path through a mount of its
    // own namespace: the machine finds another file at that path.
    const LocalUser nobody = LocalUser::named("nobody");
    auto borrow = nobody.launcher();
    borrow.insert(borrow.end(), {"unshare", "-Urm", "true"});
    const bool namespaces = mac.run(borrow).exitCode == 0;
    if (namespaces) {
        const fs::path own = mac.root() / "Users/nobody";
        fs::create_directories(own);
        fs::copy_file(mac.bundledClient(), own / "Ventrella");
        nobody.handOver(own);
        borrow.pop_back();
        borrow.insert(borrow.end(),
                      {"sh", "-c", R"(mount --bind "$0" "$1" && exec "$1/Ventrella" uninstall)",
                       own.string(), mac.bundledClient().parent_path().string()});
        const auto borrowed = mac.run(borrow);
        EXPECT_EQ(borrowed.exitCode, 0) << borrowed.out << borrowed.err;
    }
    EXPECT_EQ(ask("service.status").value("status", ""), "enabled") << "asked by root";
    // A name leading out of the bundle's daemons names no daemon, so that an application cannot
    // learn through launchd what exists where it may not look.
    EXPECT_EQ(ask("service.status", "../../Info.plist").value("status", ""), "notFound");
    EXPECT_EQ(mac.helperProcess(), helper);
    // The application removes its own.
    EXPECT_EQ(mac.client({"uninstall"}).exitCode, 0);
    EXPECT_TRUE(eventually([&] { return !mac.helperProcess().has_value(); }));
    if (!namespaces) {
        GTEST_SKIP() << "an ordinary user may not make namespaces here: no mount was tried";
    }
}

}  // namespace
}  // namespace ventrella::e2e
