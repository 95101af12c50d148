#include <gtest/gtest.h>

#include <fstream>

#include "Platform/VirtualMac/BundledDaemon.h"
#include "Support/TemporaryPlatformRoot.h"

namespace virtualmac {
namespace {

namespace fs = std::filesystem;

std::string plist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>" + body +
           "</dict></plist>\n";
}

TEST(BundledDaemon, RunsTheBundleProgramWithItsArgumentsFromInsideTheBundle) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    const fs::path bundle = root.path() / "Applications/Example.app";
    const fs::path folder = bundle / "Contents/Library/LaunchDaemons";
    fs::create_directories(folder);
    std::ofstream(folder / "d.plist") << plist(
        "<key>Label</key><string>com.example.d</string>"
        "<key>BundleProgram</key><string>Contents/MacOS/./d</string>"
        "<key>ProgramArguments</key><array><string>ignored</string>"
        "<string>--daemon</string></array>");
    EXPECT_EQ(
        readBundledDaemonPropertyList(bundle, "d.plist"),
        (DaemonDefinition{"com.example.d", {(bundle / "Contents/MacOS/d").string(), "--daemon"}}));

    const std::pair<std::string, std::string> refused[] = {
        {"no Label", plist("<key>BundleProgram</key><string>Contents/MacOS/d</string>")},
        {"no BundleProgram", plist("<key>Label</key><string>x</string>")},
        {"a program above the bundle",
         plist("<key>Label</key><string>x</string>"
               "<key>BundleProgram</key><string>Contents/../../x</string>")},
        {"an absolute program", plist("<key>Label</key><string>x</string>"
                                      "<key>BundleProgram</key><string>/bin/sh</string>")},
        {"an argument that is no text",
         plist("<key>Label</key><string>x</string>"
               "<key>BundleProgram</key><string>Contents/MacOS/d</string>"
               "<key>ProgramArguments</key><array><string>d</string><true/></array>")},
        {"not a property list", "garbage"},
        {"too large", std::string(70 * 1024, ' ')},
    };
    for (const auto& [name, text] : refused) {
        std::ofstream(folder / "bad.plist", std::ios::trunc) << text;
        EXPECT_THROW(readBundledDaemonPropertyList(bundle, "bad.plist"), DaemonDefinitionError)
            << name;
    }
    EXPECT_THROW(readBundledDaemonPropertyList(bundle, "missing.plist"), DaemonDefinitionError);
    EXPECT_THROW(readBundledDaemonPropertyList(bundle, "../LaunchDaemons/d.plist"),
                 DaemonDefinitionError);
}

}  // namespace
}  // namespace virtualmac
