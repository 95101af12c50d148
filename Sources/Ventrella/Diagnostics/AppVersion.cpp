#include "Ventrella/Diagnostics/AppVersion.h"

#include "Ventrella/Core/L10n.h"

namespace ventrella::diagnostics {

AppVersion::AppVersion(const platform::foundation::InfoDictionary& infoDictionary)
    : shortVersion(infoDictionary.string("CFBundleShortVersionString").value_or("")),
      build(infoDictionary.string("CFBundleVersion").value_or("")) {}

std::string AppVersion::displayText() const {
    if (shortVersion.empty()) {
        return core::L10n::string("Development");
    }
    if (build.empty()) {
        return shortVersion;
    }
    return shortVersion + " (" + build + ")";
}

}  // namespace ventrella::diagnostics
