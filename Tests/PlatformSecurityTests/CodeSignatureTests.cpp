#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "Platform/Security/Code.h"
#include "Platform/Security/CodeSignature.h"
#include "ProbeProcess.h"

namespace {

namespace ps = platform::security;
using probe::probePath;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

ps::SignedImage signedImageOf(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    auto image = ps::readSignedImage(fd);
    ::close(fd);
    return image;
}

ps::OSStatus staticValidity(const std::filesystem::path& path) {
    ps::StaticCode code;
    const auto status = ps::createStaticCodeWithPath(path, 0, code);
    return status != ps::statusSuccess ? status
                                       : ps::checkStaticCodeValidity(code, ps::validityStrict);
}

class SignatureFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ventrella-signing-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory = pattern;
        program = directory / "program";
        std::filesystem::copy_file(probePath("unsigned"), program);
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::filesystem::path directory;
    std::filesystem::path program;
};

const ps::SigningRequest requestA{
    "com.quillmoor.Ventrella", 0x12000,
    ps::Dictionary{{"com.apple.security.cs.disable-library-validation", ps::Value(true)},
                   {"nested", ps::Value(ps::Dictionary{{"text", ps::Value("x")},
                                                       {"n", ps::Value(ps::Number{7})},
                                                       {"bytes", ps::Value(ps::Data{1, 2})}})}},
    "QUILLMOOR1"};

TEST_F(SignatureFileTest, SigningAppendsARecordAndReSigningReplacesIt) {
    const auto originalSize = std::filesystem::file_size(program);
    const auto originalMode = std::filesystem::status(program).permissions();
    const auto record = ps::signFile(program, requestA);
    EXPECT_EQ(std::filesystem::file_size(program),
              originalSize + record.size() + ps::signatureTrailerSize);
    EXPECT_EQ(std::filesystem::status(program).permissions(), originalMode);

    auto image = signedImageOf(program);
    ASSERT_EQ(image.state, ps::SignedImage::State::signedImage);
    EXPECT_EQ(image.imageSize, originalSize);
    EXPECT_EQ(image.signature->identifier, requestA.identifier);
    EXPECT_EQ(image.signature->flags, requestA.flags);
    EXPECT_EQ(ps::entitlementsFromPropertyList(image.signature->entitlementsPropertyList),
              requestA.entitlements);
    EXPECT_EQ(image.signature->teamIdentifier, requestA.teamIdentifier);
    EXPECT_EQ(image.signature->imageSize, originalSize);
    EXPECT_EQ(staticValidity(program), ps::statusSuccess);

    const auto second =
        ps::signFile(program, ps::SigningRequest{"com.quillmoor.Other", 0, {}, std::nullopt});
    EXPECT_EQ(std::filesystem::file_size(program),
              originalSize + second.size() + ps::signatureTrailerSize);
    image = signedImageOf(program);
    ASSERT_EQ(image.state, ps::SignedImage::State::signedImage);
    EXPECT_EQ(image.signature->identifier, "com.quillmoor.Other");
    EXPECT_TRUE(image.signature->entitlementsPropertyList.empty());
    EXPECT_EQ(image.signature->teamIdentifier, std::nullopt);
    EXPECT_NE(ps::codeDirectoryHash(record), ps::codeDirectoryHash(second));
}

TEST_F(SignatureFileTest, SigningInformationHasTypedValues) {
    const auto record = ps::signFile(program, requestA);
    ps::StaticCode code;
    ASSERT_EQ(ps::createStaticCodeWithPath(program, 0, code), ps::statusSuccess);

    ps::Value information;
    ASSERT_EQ(ps::copySigningInformation(code, ps::signingInformationFlag, information),
              ps::statusSuccess);
    const auto cdHash = ps::codeDirectoryHash(record);
    const ps::Value expected(ps::Dictionary{
        {ps::infoIdentifier, ps::Value("com.quillmoor.Ventrella")},
        {ps::infoUnique, ps::Value(ps::Data(cdHash.begin(), cdHash.end()))},
        {ps::infoFlags, ps::Value(ps::Number{0x12000})},
        {ps::infoEntitlementsDict, ps::Value(requestA.entitlements)},
        {ps::infoTeamIdentifier, ps::Value("QUILLMOOR1")},
    });
    EXPECT_EQ(information, expected);

    ASSERT_EQ(ps::copySigningInformation(code, 0, information), ps::statusSuccess);
    EXPECT_EQ(information.dictionary()->size(), 2u);

    ps::StaticCode unsignedCode;
    ASSERT_EQ(ps::createStaticCodeWithPath(probePath("unsigned"), 0, unsignedCode),
              ps::statusSuccess);
    ASSERT_EQ(ps::copySigningInformation(unsignedCode, ps::signingInformationFlag, information),
              ps::statusSuccess);
    EXPECT_EQ(information, ps::Value(ps::Dictionary{}));
    EXPECT_EQ(ps::checkStaticCodeValidity(unsignedCode, 0), ps::statusUnsigned);
}

TEST_F(SignatureFileTest, ChangedImagesAndDamagedTrailersAreInvalid) {
    ps::signFile(program, requestA);
    std::string bytes = readFile(program);

    std::string tampered = bytes;
    tampered[tampered.find("ventrella-probe-marker-0000")] = 'W';
    writeFile(program, tampered);
    EXPECT_EQ(staticValidity(program), ps::statusSignatureInvalid);

    // A trailer whose length points beyond the file, or past the bound, is damaged, not trusted.
    const auto trailer = ps::signatureTrailer(0x7fffffff);
    writeFile(program, bytes.substr(0, 100) + std::string(trailer.begin(), trailer.end()));
    EXPECT_EQ(signedImageOf(program).state, ps::SignedImage::State::damaged);
    EXPECT_EQ(staticValidity(program), ps::statusSignatureInvalid);
    EXPECT_THROW(ps::signFile(program, requestA), ps::SigningError);

    std::string wrongVersion = bytes;
    wrongVersion[wrongVersion.size() - 12] = 1;  // the earlier format
    writeFile(program, wrongVersion);
    EXPECT_EQ(signedImageOf(program).state, ps::SignedImage::State::damaged);

    writeFile(program, "short");
    EXPECT_EQ(signedImageOf(program).state, ps::SignedImage::State::unsignedImage);
    EXPECT_EQ(staticValidity(program), ps::statusUnsigned);
}

TEST(SignatureRecord, DecodingAcceptsOnlyTheExactRecord) {
    ps::CodeSignature signature{"com.quillmoor.Ventrella",
                                0x12000,
                                ps::entitlementsToPropertyList(requestA.entitlements),
                                "TEAM",
                                {},
                                123456};
    signature.imageHash.fill(0xab);
    const auto record = ps::encodeSignatureRecord(signature);
    EXPECT_EQ(ps::decodeSignatureRecord(record), signature);
    for (std::size_t length = 0; length < record.size(); ++length) {
        EXPECT_EQ(ps::decodeSignatureRecord(std::span(record).first(length)), std::nullopt)
            << length;
    }
    auto longer = record;
    longer.push_back(0);
    EXPECT_EQ(ps::decodeSignatureRecord(longer), std::nullopt);
    auto lying = record;
    lying[4] = 0xff;  // identifier length beyond the record
    lying[5] = 0xff;
    EXPECT_EQ(ps::decodeSignatureRecord(lying), std::nullopt);

    EXPECT_THROW(ps::encodeSignatureRecord(ps::CodeSignature{}), ps::SigningError);
    EXPECT_EQ(ps::lowercaseHex(std::vector<std::uint8_t>{0x00, 0x9f, 0xfa}), "009ffa");
}

TEST(SignatureRecord, EntitlementsAcceptOnlyTheSupportedTypes) {
    const std::string header = R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0">)";
    EXPECT_EQ(
        ps::entitlementsFromPropertyList(
            header + "<dict><key>a</key><true/><key>b</key><string>x</string></dict></plist>"),
        (ps::Dictionary{{"a", ps::Value(true)}, {"b", ps::Value("x")}}));
    EXPECT_THROW(ps::entitlementsFromPropertyList(
                     header + "<dict><key>a</key><array><true/></array></dict></plist>"),
                 ps::SigningError);
    EXPECT_THROW(ps::entitlementsFromPropertyList(header + "<string>x</string></plist>"),
                 ps::SigningError);
    EXPECT_THROW(ps::entitlementsFromPropertyList("not a property list"), ps::SigningError);
    EXPECT_THROW(ps::entitlementsFromPropertyList(""), ps::SigningError);
    EXPECT_EQ(
        ps::entitlementsFromPropertyList(ps::entitlementsToPropertyList(requestA.entitlements)),
        requestA.entitlements);
}

TEST_F(SignatureFileTest, BundlePathsOpenTheMainExecutable) {
    const auto bundle = directory / "Ventrella.app";
    const auto macos = bundle / "Contents" / "MacOS";
    std::filesystem::create_directories(macos);
    std::filesystem::copy_file(program, macos / "Ventrella");
    ps::signFile(macos / "Ventrella", requestA);
    EXPECT_EQ(ps::bundleMainExecutable(bundle), macos / "Ventrella");
    EXPECT_EQ(ps::bundleMainExecutable(directory / "Ventrella.APP/"),
              directory / "Ventrella.APP" / "Contents" / "MacOS" / "Ventrella");
    EXPECT_EQ(ps::bundleMainExecutable(program), program);

    ps::StaticCode code;
    ASSERT_EQ(ps::createStaticCodeWithPath(bundle, 0, code), ps::statusSuccess);
    EXPECT_EQ(ps::checkStaticCodeValidity(code, 0x11), ps::statusSuccess);
    std::filesystem::path path;
    ASSERT_EQ(ps::copyPath(code, 0, path), ps::statusSuccess);
    EXPECT_EQ(path, bundle);

    const auto plist = [&](const std::string& executable) {
        writeFile(
            bundle / "Contents" / "Info.plist",
            R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>CFBundleExecutable</key><string>)" +
                executable + "</string></dict></plist>");
    };
    plist("Real");
    EXPECT_EQ(ps::bundleMainExecutable(bundle), macos / "Real");
    EXPECT_EQ(ps::createStaticCodeWithPath(bundle, 0, code), ps::statusStaticCodeNotFound);
    // A name that would leave Contents/MacOS is ignored.
    plist("../../../program");
    EXPECT_EQ(ps::bundleMainExecutable(bundle), macos / "Ventrella");
}

TEST_F(SignatureFileTest, PathsThatAreNotRegularFilesAreNotCode) {
    ps::StaticCode code;
    EXPECT_EQ(ps::createStaticCodeWithPath(directory / "missing", 0, code),
              ps::statusStaticCodeNotFound);
    EXPECT_EQ(ps::createStaticCodeWithPath(directory, 0, code), ps::statusStaticCodeNotFound);
    EXPECT_EQ(ps::createStaticCodeWithPath("", 0, code), ps::statusInvalidParameter);
    ASSERT_EQ(::mkfifo((directory / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(ps::createStaticCodeWithPath(directory / "fifo", 0, code),
              ps::statusStaticCodeNotFound);
    EXPECT_FALSE(code);
}

TEST_F(SignatureFileTest, CodesignToolSignsShowsAndVerifies) {
    const auto run = [](const std::string& arguments) {
        const int status = std::system(
            (std::string(CODESIGN_TOOL) + " " + arguments + " >/dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    const auto entitlements = directory / "entitlements.plist";
    writeFile(entitlements, ps::entitlementsToPropertyList(requestA.entitlements));
    EXPECT_EQ(run("verify " + program.string()), 1);
    EXPECT_EQ(run("sign --identifier com.quillmoor.Ventrella --flags 0x12000 --team QUILLMOOR1 "
                  "--entitlements " +
                  entitlements.string() + " " + program.string()),
              0);
    EXPECT_EQ(run("verify " + program.string()), 0);
    EXPECT_EQ(run("show " + program.string()), 0);
    const auto image = signedImageOf(program);
    ASSERT_TRUE(image.signature.has_value());
    EXPECT_EQ(ps::entitlementsFromPropertyList(image.signature->entitlementsPropertyList),
              requestA.entitlements);
    EXPECT_EQ(image.signature->teamIdentifier, "QUILLMOOR1");

    EXPECT_EQ(run("sign --identifier com.x --flags 0x1g " + program.string()), 2);
    EXPECT_EQ(run("sign --flags 0x1 " + program.string()), 2);
    EXPECT_EQ(run("sign --identifier com.x --flags 1 " + (directory / "missing").string()), 1);
}

}  // namespace
