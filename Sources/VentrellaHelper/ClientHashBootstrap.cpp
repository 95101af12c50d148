#include "VentrellaHelper/ClientHashBootstrap.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "VentrellaHelper/HelperError.h"
#include "VentrellaHelper/HelperFiles.h"
#include "VentrellaHelper/HelperPaths.h"
#include "VentrellaSecurity/ClientCodeSignaturePolicy.h"
#include "VentrellaSecurity/EnclosingAppLocator.h"
#include "VentrellaSecurity/RunningCodeLocator.h"

namespace ventrella::helper {

namespace ps = platform::security;
namespace fs = std::filesystem;

namespace {

// The bundle's hash, when its signing information satisfies the helper's policy. Unlike the
// per-connection check, the library-validation entitlement does not stand in for the flag.
std::optional<ps::Data> policyHash(const ps::Value& information) {
    const auto* dictionary = information.dictionary();
    if (dictionary == nullptr) {
        return std::nullopt;
    }
    auto find = [&](const char* key) -> const ps::Value* {
        auto it = dictionary->find(key);
        return it == dictionary->end() ? nullptr : &it->second;
    };
    const auto* identifier = find(ps::infoIdentifier);
    const auto* flags = find(ps::infoFlags);
    const auto* unique = find(ps::infoUnique);
    constexpr auto required = security::ClientCodeSignaturePolicy::hardenedRuntime;
    if (identifier == nullptr || identifier->string() == nullptr ||
        *identifier->string() != HelperPaths::expectedClientIdentifier) {
        return std::nullopt;
    }
    if (flags == nullptr || flags->number() == nullptr ||
        (static_cast<std::uint32_t>(flags->number()->value) & required) != required) {
        return std::nullopt;
    }
    if (unique == nullptr || unique->data() == nullptr) {
        return std::nullopt;
    }
    return *unique->data();
}

std::string hexLine(const ps::Data& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2 + 1);
    for (auto byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0f]);
    }
    text.push_back('\n');
    return text;
}

}  // namespace

ClientHashBootstrap ClientHashBootstrap::live() {
    return ClientHashBootstrap{
        [] { return security::RunningCodeLocator::currentURL(); },
        ps::systemCodeSigningServices(),
        [] { return ::geteuid(); },
        HelperPaths::supportDirectory(),
        HelperPaths::clientHashFile(),
    };
}

void ClientHashBootstrap::refreshBundledClientHashIfNeeded() const {
    const auto own = currentCodeURL();
    if (!own) {
        throw HelperError("The Helper's signed code path could not be resolved.");
    }
    const auto app = security::EnclosingAppLocator::appBundleURL(*own);
    if (!app) {
        return;
    }
    if (effectiveUserIdentifier() != 0) {
        throw HelperError("The bundled Helper must run as root.");
    }
    ps::StaticCode code;
    if (codeSigning.createStaticCodeWithPath(*app, ps::defaultFlags, code) != ps::statusSuccess ||
        !code) {
        throw HelperError("The enclosing application signature could not be opened.");
    }
    if (codeSigning.checkStaticCodeValidity(
            code, ps::validityStrict | ps::validityAllArchitectures) != ps::statusSuccess) {
        throw HelperError("The enclosing application signature is invalid.");
    }
    ps::Value information;
    std::optional<ps::Data> hash;
    if (codeSigning.copySigningInformation(code, ps::signingInformationFlag, information) ==
        ps::statusSuccess) {
        hash = policyHash(information);
    }
    if (!hash) {
        throw HelperError(
            "The enclosing application signature does not satisfy the Helper policy.");
    }

    HelperFiles::createDirectories(supportDirectory);
    struct stat directory {};
    // Anyone who can write into the directory could swap the hash file under the helper.
    if (::lstat(supportDirectory.c_str(), &directory) != 0 || directory.st_uid != 0 ||
        !S_ISDIR(directory.st_mode) || (directory.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        throw HelperError("The Helper support directory is not root-owned and safe.");
    }

    const std::string text = hexLine(*hash);
    struct stat existing {};
    if (::lstat(clientHashFile.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
        throw HelperError("The Helper client hash path is not safe.");
    }
    HelperFiles::writeAtomically(clientHashFile, text);
    fs::permissions(clientHashFile, fs::perms(0644), fs::perm_options::replace);
}

}  // namespace ventrella::helper
