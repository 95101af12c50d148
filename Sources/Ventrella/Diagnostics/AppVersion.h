#pragma once

#include <string>

#include "Platform/Foundation/InfoDictionary.h"

namespace ventrella::diagnostics {

// The application's version as its Info.plist states it.
struct AppVersion {
    std::string shortVersion;
    std::string build;

    AppVersion() = default;
    AppVersion(std::string shortVersion, std::string build)
        : shortVersion(std::move(shortVersion)), build(std::move(build)) {}
    // "CFBundleShortVersionString" and "CFBundleVersion"; a missing key or a value that is not a
    // string gives "".
    explicit AppVersion(const platform::foundation::InfoDictionary& infoDictionary);

    // "1.4 (27)"; "1.4" without a build; the translation of "Development" without a version.
    std::string displayText() const;

    bool operator==(const AppVersion&) const = default;
};

}  // namespace ventrella::diagnostics
