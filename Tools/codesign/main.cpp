// codesign: appends a signature to an executable, shows it, or verifies it.
//
//   codesign sign --identifier ID --flags FLAGS [--entitlements FILE] [--team TEAMID] EXECUTABLE
//   codesign show EXECUTABLE
//   codesign verify EXECUTABLE

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Security/Code.h"
#include "Platform/Security/CodeSignature.h"

namespace {

using namespace platform::security;

constexpr std::string_view usage =
    "usage: codesign sign --identifier ID --flags FLAGS [--entitlements FILE] [--team TEAMID] "
    "EXECUTABLE\n"
    "       codesign show EXECUTABLE\n"
    "       codesign verify EXECUTABLE\n";

std::optional<std::uint32_t> parseFlags(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string hexFlags(std::uint32_t flags) {
    char buffer[16];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, flags, 16);
    return "0x" + std::string(buffer, ptr);
}

int sign(const std::vector<std::string_view>& args) {
    SigningRequest request;
    std::optional<std::string> entitlementsFile;
    std::optional<std::uint32_t> flags;
    std::optional<std::string> executable;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--identifier" && hasValue) {
            request.identifier = args[++i];
        } else if (arg == "--flags" && hasValue) {
            flags = parseFlags(args[++i]);
            if (!flags) {
                std::cerr << "codesign: invalid flags " << args[i] << "\n";
                return 2;
            }
        } else if (arg == "--entitlements" && hasValue) {
            entitlementsFile = std::string(args[++i]);
        } else if (arg == "--team" && hasValue) {
            request.teamIdentifier = std::string(args[++i]);
        } else if (!arg.starts_with("--") && !executable) {
            executable = std::string(arg);
        } else {
            std::cerr << usage;
            return 2;
        }
    }
    if (!executable || request.identifier.empty() || !flags) {
        std::cerr << usage;
        return 2;
    }
    request.flags = *flags;
    try {
        if (entitlementsFile) {
            std::ifstream in(*entitlementsFile, std::ios::binary);
            if (!in)
                throw SigningError("cannot read " + *entitlementsFile);
            const std::string text((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
            request.entitlements = entitlementsFromPropertyList(text);
        }
        const auto record = signFile(*executable, request);
        std::cout << *executable << ": signed " << request.identifier << " cdhash "
                  << lowercaseHex(codeDirectoryHash(record)) << "\n";
    } catch (const SigningError& error) {
        std::cerr << "codesign: " << error.what() << "\n";
        return 1;
    }
    return 0;
}

int show(const std::string& executable, bool verifyOnly) {
    const int fd = ::open(executable.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        std::cerr << "codesign: cannot open " << executable << "\n";
        return 1;
    }
    const SignedImage image = readSignedImage(fd);
    std::optional<std::array<std::uint8_t, 32>> hash;
    if (image.state == SignedImage::State::signedImage)
        hash = hashImage(fd, image.imageSize);
    ::close(fd);

    switch (image.state) {
        case SignedImage::State::unreadable:
            std::cerr << "codesign: cannot read " << executable << "\n";
            return 1;
        case SignedImage::State::unsignedImage:
            std::cerr << executable << ": code object is not signed at all\n";
            return 1;
        case SignedImage::State::damaged:
            std::cerr << executable << ": signature is damaged\n";
            return 1;
        case SignedImage::State::signedImage:
            break;
    }
    const CodeSignature& signature = *image.signature;
    const bool valid = hash && *hash == signature.imageHash;
    if (!verifyOnly) {
        std::cout << "Executable=" << executable << "\n"
                  << "Identifier=" << signature.identifier << "\n"
                  << "Flags=" << hexFlags(signature.flags) << "\n"
                  << "TeamIdentifier=" << signature.teamIdentifier.value_or("not set") << "\n"
                  << "CDHash=" << lowercaseHex(codeDirectoryHash(image.record)) << "\n"
                  << "ImageHash=" << lowercaseHex(signature.imageHash) << "\n"
                  << "ImageBytes=" << image.imageSize << "\n";
        if (signature.entitlementsPropertyList.empty()) {
            std::cout << "Entitlements=none\n";
        } else {
            std::cout << "Entitlements=\n" << signature.entitlementsPropertyList;
        }
    }
    std::cout << executable
              << (valid ? ": valid signature\n" : ": the image does not match its signature\n");
    return valid ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << usage;
        return 2;
    }
    if (args[0] == "sign")
        return sign({args.begin() + 1, args.end()});
    if ((args[0] == "show" || args[0] == "verify") && args.size() == 2)
        return show(std::string(args[1]), args[0] == "verify");
    std::cerr << usage;
    return 2;
}
