#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>

#include "Platform/Security/Code.h"
#include "Platform/Security/CodeSignature.h"
#include "SecurityProbes.h"
#include "Support/FileContents.h"
#include "Support/ProbeProcess.h"

namespace {

namespace ps = platform::security;

using ventrella::testsupport::readFile;

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
    EXPECT_THROW(
        ps::entitlementsFromPropertyList(
            header + std::string("<dict><key>a</key><string>x\0y</string></dict></plist>", 53)),
        ps::SigningError);
    EXPECT_THROW(ps::entitlementsFromPropertyList("not a property list"), ps::SigningError);
    EXPECT_THROW(ps::entitlementsFromPropertyList(""), ps::SigningError);
    EXPECT_EQ(
        ps::entitlementsFromPropertyList(ps::entitlementsToPropertyList(requestA.entitlements)),
        requestA.entitlements);
}

TEST(SignatureRecord, EntitlementIntegersKeepTheirValueOrAreRefused) {
    const std::string header = R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0">)";
    struct Case {
        const char* text;
        std::optional<std::int64_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"7", 7},
        {"-3", -3},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        // Beyond what a signed 64-bit number holds: refused rather than read as negative.
        {"9223372036854775808", std::nullopt},
        {"18446744073709551615", std::nullopt},
        {"0xFFFFFFFFFFFFFFFF", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string nested = header + "<dict><key>a</key><dict><key>n</key><integer>" +
                                   c.text + "</integer></dict></dict></plist>";
        if (c.value) {
            const ps::Dictionary expected{
                {"a", ps::Value(ps::Dictionary{{"n", ps::Value(ps::Number{*c.value})}})}};
            EXPECT_EQ(ps::entitlementsFromPropertyList(nested), expected);
            // What is read writes back to the same value.
            EXPECT_EQ(ps::entitlementsFromPropertyList(ps::entitlementsToPropertyList(expected)),
                      expected);
        } else {
            EXPECT_THROW(ps::entitlementsFromPropertyList(nested), ps::SigningError);
        }
    }
}

TEST(SignatureRecord, EntitlementsAreBoundedXMLOnly) {
    const std::string header = R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0">)";
    const auto nested = [&](std::size_t depth) {
        std::string text = header;
        for (std::size_t i = 0; i < depth; ++i)
            text += "<dict><key>k</key>";
        text += "<true/>";
        for (std::size_t i = 0; i < depth; ++i)
            text += "</dict>";
        return text + "</plist>";
    };
    const auto manyKeys = [&](std::size_t keys) {
        std::string text = header + "<dict>";
        for (std::size_t i = 0; i < keys; ++i)
            text += "<key>k" + std::to_string(i) + "</key><true/>";
        return text + "</dict></plist>";
    };
    const std::string binary = "bplist00\xd1\x01\x02Qa\t\x08\x0b\x0d";
    const std::string laughs =
        R"(<?xml version="1.0"?><!DOCTYPE plist [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;">]>)"
        R"(<plist version="1.0"><dict><key>k</key><string>&b;&b;&b;</string></dict></plist>)";
    struct Case {
        const char* name;
        std::string text;
        bool accepted;
    };
    const Case cases[] = {
        {"plain", header + "<dict><key>a</key><true/></dict></plist>", true},
        {"comment", header + "<!-- note --><dict><key>a</key><false/></dict></plist>", true},
        {"document type without declarations",
         R"(<?xml version="1.0"?><!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "x">)"
         R"(<plist version="1.0"><dict/></plist>)",
         true},
        // plist, 14 dictionaries and the innermost key: 16 elements deep.
        {"as deep as allowed", nested(14), true},
        {"one level deeper", nested(15), false},
        {"many elements within the cap", manyKeys(500), true},
        {"too many elements", manyKeys(520), false},
        {"binary property list", binary, false},
        {"entities declared in the document", laughs, false},
        {"text before the markup", "x" + header + "<dict/></plist>", false},
        {"unterminated tag", header + "<dict", false},
        {"over the size cap",
         header + "<dict><key>a</key><string>" + std::string(ps::maximumEntitlementsBytes, 'x') +
             "</string></dict></plist>",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.accepted) {
            EXPECT_NO_THROW(ps::entitlementsFromPropertyList(c.text));
        } else {
            EXPECT_THROW(ps::entitlementsFromPropertyList(c.text), ps::SigningError);
        }
    }
}

TEST(SignatureRecord, ImageSizeIsRecordedAndBounded) {
    ps::CodeSignature signature{"com.quillmoor.Ventrella", 0, "", std::nullopt, {}, 0};
    signature.imageSize = ps::maximumImageBytes;
    auto record = ps::encodeSignatureRecord(signature);
    ASSERT_EQ(ps::decodeSignatureRecord(record), signature);

    // A record claiming a larger image, made by hand: the image size sits before the hash.
    const std::uint64_t tooLarge = ps::maximumImageBytes + 1;
    for (int i = 0; i < 8; ++i)
        record[record.size() - 40 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(tooLarge >> (8 * i));
    EXPECT_EQ(ps::decodeSignatureRecord(record), std::nullopt);
    signature.imageSize = tooLarge;
    EXPECT_THROW(ps::encodeSignatureRecord(signature), ps::SigningError);

    // Whatever is signed must read back.
    signature.imageSize = 1;
    signature.entitlementsPropertyList = "<plist><dict><key>a</key><array/></dict></plist>";
    EXPECT_THROW(ps::encodeSignatureRecord(signature), ps::SigningError);
}

TEST_F(SignatureFileTest, ImageIsHashedOnlyAtTheRecordedSizeAndEntitlementsOnlyWhenAskedFor) {
    ps::signFile(program, requestA);
    const std::string bytes = readFile(program);

    // One byte more in front of the image: the recorded size no longer fits the file.
    writeFile(program, "x" + bytes);
    EXPECT_EQ(signedImageOf(program).state, ps::SignedImage::State::damaged);
    EXPECT_EQ(staticValidity(program), ps::statusSignatureInvalid);

    // A sparse image of 2 GiB behind a trailer that tells the truth about it: never read.
    {
        ps::CodeSignature huge{"com.quillmoor.Ventrella", 0x12000, "", std::nullopt, {}, 0};
        huge.imageSize = 2ULL * 1024 * 1024 * 1024;
        auto record = ps::encodeSignatureRecord(
            ps::CodeSignature{huge.identifier, huge.flags, "", std::nullopt, {}, 1});
        for (int i = 0; i < 8; ++i)
            record[record.size() - 40 + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(huge.imageSize >> (8 * i));
        const auto trailer = ps::signatureTrailer(record.size());
        std::string tail(record.begin(), record.end());
        tail.append(trailer.begin(), trailer.end());
        const int fd = ::open(program.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(huge.imageSize)),
                  static_cast<ssize_t>(tail.size()));
        ::close(fd);
        EXPECT_EQ(signedImageOf(program).state, ps::SignedImage::State::damaged);
        EXPECT_EQ(staticValidity(program), ps::statusSignatureInvalid);
        int readable = ::open(program.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_EQ(ps::hashImage(readable, huge.imageSize), std::nullopt);
        ::close(readable);
    }

    // Entitlements that do not parse, in a record whose image matches: the signature is valid,
    // the entitlements are refused only when someone asks for them.
    std::string broken = bytes;
    const auto at = broken.find("<dict>");
    ASSERT_NE(at, std::string::npos);
    broken.replace(at, 6, "<dixt>");
    writeFile(program, broken);
    EXPECT_EQ(staticValidity(program), ps::statusSuccess);
    ps::StaticCode code;
    ASSERT_EQ(ps::createStaticCodeWithPath(program, 0, code), ps::statusSuccess);
    ps::Value information;
    EXPECT_EQ(ps::copySigningInformation(code, 0, information), ps::statusSuccess);
    EXPECT_EQ(ps::copySigningInformation(code, ps::signingInformationFlag, information),
              ps::statusSignatureInvalid);
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
