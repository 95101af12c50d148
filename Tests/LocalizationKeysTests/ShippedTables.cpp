#include "ShippedTables.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace ventrella::tests::shipped {

namespace fs = std::filesystem;

fs::path sourceRoot() {
    return VENTRELLA_SOURCE_DIR;
}
fs::path sourceTables() {
    return sourceRoot() / "Resources" / "Localization";
}
fs::path bundleResources() {
    return fs::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents" / "Resources";
}
fs::path fixtures() {
    return sourceRoot() / "Tests" / "Fixtures" / "Localization";
}

std::vector<std::string> languagesIn(const fs::path& folder) {
    std::vector<std::string> languages;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_directory() && entry.path().extension() == ".lproj") {
            languages.push_back(entry.path().stem().string());
        }
    }
    std::sort(languages.begin(), languages.end());
    return languages;
}

std::vector<std::string> translations() {
    auto languages = languagesIn(bundleResources());
    std::erase(languages, "en");
    return languages;
}

fs::path bundledTable(const std::string& language) {
    return bundleResources() / (language + ".lproj") / "Localizable.strings";
}

std::optional<std::string> read(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

}  // namespace ventrella::tests::shipped
