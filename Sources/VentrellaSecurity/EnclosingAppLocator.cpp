#include "VentrellaSecurity/EnclosingAppLocator.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace ventrella::security::EnclosingAppLocator {
namespace {

bool hasAppExtension(const std::filesystem::path& path) {
    std::string extension = path.filename().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension == ".app";
}

}  // namespace

std::optional<std::filesystem::path> appBundleURL(const std::filesystem::path& executableURL) {
    if (executableURL.empty())
        return std::nullopt;
    std::filesystem::path url = executableURL;
    if (url.is_relative()) {
        std::error_code error;
        url = std::filesystem::absolute(url, error);
        if (error)
            return std::nullopt;
    }
    url = url.lexically_normal();
    if (!url.has_filename() && url.has_relative_path())
        url = url.parent_path();  // drop a trailing slash

    // Each step removes one component of an absolute path, so the walk ends at "/".
    while (url.has_relative_path()) {
        if (hasAppExtension(url))
            return url;
        url = url.parent_path();
    }
    return std::nullopt;
}

}  // namespace ventrella::security::EnclosingAppLocator
