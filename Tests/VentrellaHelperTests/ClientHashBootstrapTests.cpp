#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Support/FileContents.h"
#include "Support/TemporaryPlatformRoot.h"
#include "VentrellaHelper/ClientHashBootstrap.h"
#include "VentrellaHelper/HelperError.h"

namespace ventrella::helper::testing {
namespace {

namespace fs = std::filesystem;
namespace ps = platform::security;

using testsupport::readFile;

ps::Dictionary goodInformation() {
    return ps::Dictionary{
        {ps::infoIdentifier, ps::Value("com.quillmoor.Ventrella")},
        {ps::infoFlags, ps::Value(ps::Number{0x12000})},
        {ps::infoUnique, ps::Value(ps::Data{0x00, 0xab, 0x10, 0xff})},
    };
}

// A bootstrap whose signing answers the test sets; the helper sits inside an app bundle.
struct BootstrapFixture {
    testsupport::TemporaryPlatformRoot root;
    fs::path app = root.path() / "Applications/Ventrella.app";
    fs::path helper = app / "Contents/Library/LaunchServices/com.quillmoor.Ventrella.helper";
    fs::path support = root.path() / "Library/Application Support/Ventrella";
    fs::path hashFile = support / "client-cdhash";
    ps::OSStatus openStatus = ps::statusSuccess;
    ps::OSStatus validity = ps::statusSuccess;
    ps::Value information = ps::Value(goodInformation());
    uid_t user = 0;
    fs::path openedPath;
    std::uint32_t validityFlags = 0;

    ClientHashBootstrap bootstrap() {
        ClientHashBootstrap result;
        result.currentCodeURL = [this]() -> std::optional<fs::path> { return helper; };
        result.codeSigning.createStaticCodeWithPath = [this](const fs::path& path, std::uint32_t,
                                                             ps::StaticCode& code) {
            openedPath = path;
            if (openStatus == ps::statusSuccess) {
                code = ps::StaticCode(std::make_shared<ps::StaticCode::State>());
            }
            return openStatus;
        };
        result.codeSigning.checkStaticCodeValidity = [this](const ps::StaticCode&,
                                                            std::uint32_t flags) {
            validityFlags = flags;
            return validity;
        };
        result.codeSigning.copySigningInformation = [this](const ps::StaticCode&, std::uint32_t,
                                                           ps::Value& out) {
            out = information;
            return ps::statusSuccess;
        };
        result.effectiveUserIdentifier = [this] { return user; };
        result.supportDirectory = support;
        result.clientHashFile = hashFile;
        return result;
    }

    std::string failure() {
        try {
            bootstrap().refreshBundledClientHashIfNeeded();
        } catch (const HelperError& error) {
            return error.message();
        }
        return "(no error)";
    }
};

TEST(ClientHashBootstrapTest, WritesTheEnclosingApplicationsHash) {
    BootstrapFixture fixture;
    fs::create_directories(fixture.support);
    std::ofstream(fixture.hashFile) << "stale\n";
    fs::permissions(fixture.hashFile, fs::perms(0600), fs::perm_options::replace);

    fixture.bootstrap().refreshBundledClientHashIfNeeded();

    EXPECT_EQ(fixture.openedPath, fixture.app);
    EXPECT_EQ(fixture.validityFlags, 0x11U);
    EXPECT_EQ(readFile(fixture.hashFile), "00ab10ff\n");
    struct stat info {};
    ASSERT_EQ(::lstat(fixture.hashFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644U);
}

TEST(ClientHashBootstrapTest, HelperOutsideABundleLeavesTheFileAlone) {
    BootstrapFixture fixture;
    fixture.helper = fixture.root.path() / "Library/PrivilegedHelperTools/helper";
    fixture.user = 501;  // not even asked
    fixture.bootstrap().refreshBundledClientHashIfNeeded();
    EXPECT_FALSE(fs::exists(fixture.support));
}

TEST(ClientHashBootstrapTest, EachRefusalHasItsOwnText) {
    {
        BootstrapFixture fixture;
        auto bootstrap = fixture.bootstrap();
        bootstrap.currentCodeURL = [] { return std::optional<fs::path>(); };
        EXPECT_THROW(
            {
                try {
                    bootstrap.refreshBundledClientHashIfNeeded();
                } catch (const HelperError& error) {
                    EXPECT_EQ(error.message(),
                              "The Helper's signed code path could not be resolved.");
                    throw;
                }
            },
            HelperError);
    }
    {
        BootstrapFixture fixture;
        fixture.user = 501;
        EXPECT_EQ(fixture.failure(), "The bundled Helper must run as root.");
    }
    {
        BootstrapFixture fixture;
        fixture.openStatus = ps::statusStaticCodeNotFound;
        EXPECT_EQ(fixture.failure(), "The enclosing application signature could not be opened.");
    }
    {
        BootstrapFixture fixture;
        fixture.validity = ps::statusSignatureInvalid;
        EXPECT_EQ(fixture.failure(), "The enclosing application signature is invalid.");
    }
    const std::string policy =
        "The enclosing application signature does not satisfy the Helper policy.";
    {
        // The library-validation entitlement does not stand in for the flag here.
        BootstrapFixture fixture;
        auto information = goodInformation();
        information[ps::infoFlags] = ps::Value(ps::Number{0x10000});
        information[ps::infoEntitlementsDict] = ps::Value(
            ps::Dictionary{{"com.apple.security.cs.disable-library-validation", ps::Value(true)}});
        fixture.information = ps::Value(information);
        EXPECT_EQ(fixture.failure(), policy);
    }
    {
        BootstrapFixture fixture;
        auto information = goodInformation();
        information[ps::infoIdentifier] = ps::Value("com.quillmoor.ventrella");
        fixture.information = ps::Value(information);
        EXPECT_EQ(fixture.failure(), policy);
    }
    {
        BootstrapFixture fixture;
        auto information = goodInformation();
        information[ps::infoUnique] = ps::Value("00ab10ff");  // a string, not data
        fixture.information = ps::Value(information);
        EXPECT_EQ(fixture.failure(), policy);
    }
    {
        BootstrapFixture fixture;
        fixture.information = ps::Value("not a dictionary");
        EXPECT_EQ(fixture.failure(), policy);
    }
}

TEST(ClientHashBootstrapTest, RefusesAnUnsafeDirectoryOrHashPath) {
    const std::string unsafeDirectory = "The Helper support directory is not root-owned and safe.";
    {
        BootstrapFixture fixture;
        fs::create_directories(fixture.support);
        fs::permissions(fixture.support, fs::perms(0775), fs::perm_options::replace);
        EXPECT_EQ(fixture.failure(), unsafeDirectory);
    }
    {
        BootstrapFixture fixture;
        fs::create_directories(fixture.support);
        ASSERT_EQ(::chown(fixture.support.c_str(), 4242, 4242), 0);
        EXPECT_EQ(fixture.failure(), unsafeDirectory);
    }
    {
        BootstrapFixture fixture;
        fs::create_directories(fixture.support.parent_path());
        fs::create_directory(fixture.root.path() / "elsewhere");
        fs::create_directory_symlink(fixture.root.path() / "elsewhere", fixture.support);
        EXPECT_EQ(fixture.failure(), unsafeDirectory);
    }
    {
        BootstrapFixture fixture;
        fs::create_directories(fixture.support);
        const fs::path target = fixture.root.path() / "target";
        std::ofstream(target) << "keep\n";
        fs::create_symlink(target, fixture.hashFile);
        EXPECT_EQ(fixture.failure(), "The Helper client hash path is not safe.");
        EXPECT_EQ(readFile(target), "keep\n");
    }
    {
        // A file where the directory should be: the file system's own error comes through.
        BootstrapFixture fixture;
        fs::create_directories(fixture.support.parent_path());
        std::ofstream(fixture.support) << "";
        EXPECT_THROW(fixture.bootstrap().refreshBundledClientHashIfNeeded(), fs::filesystem_error);
    }
}

}  // namespace
}  // namespace ventrella::helper::testing
