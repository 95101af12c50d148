#include "Platform/Foundation/Bundle.h"

#include <system_error>

#include "Platform/Foundation/ScopedMainBundle.h"
#include "Platform/Foundation/StringsTableCache.h"

namespace platform::foundation {

namespace {

bool isPlainName(std::string_view name) {
    return name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::filesystem::path runningExecutable() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

}  // namespace

std::optional<Bundle> Bundle::atPath(const std::filesystem::path& path) {
    std::error_code error;
    if (path.empty() || !std::filesystem::is_directory(path, error)) {
        return std::nullopt;
    }
    return Bundle(path);
}

Bundle Bundle::main() {
    if (auto chosen = ScopedMainBundle::current()) {
        return Bundle(std::move(*chosen));
    }
    // The executable does not move while the program runs.
    static const std::filesystem::path path = bundlePathForExecutable(runningExecutable());
    return Bundle(path);
}

std::filesystem::path Bundle::bundlePathForExecutable(const std::filesystem::path& executable) {
    const auto folder = executable.parent_path();
    const auto contents = folder.parent_path();
    if (folder.filename() == "MacOS" && contents.filename() == "Contents" &&
        !contents.parent_path().empty()) {
        return contents.parent_path();
    }
    return folder;
}

std::filesystem::path Bundle::resourcesPath() const {
    std::error_code error;
    const auto contents = path_ / "Contents";
    if (std::filesystem::is_directory(contents, error)) {
        return contents / "Resources";
    }
    return path_;
}

std::optional<std::filesystem::path> Bundle::pathForResource(std::string_view name,
                                                             std::string_view type) const {
    if (name.empty() || !isPlainName(name) || !isPlainName(type)) {
        return std::nullopt;
    }
    std::string file(name);
    if (!type.empty()) {
        file += '.';
        file += type;
    }
    auto path = resourcesPath() / file;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return std::nullopt;
    }
    return path;
}

InfoDictionary Bundle::infoDictionary() const {
    std::error_code error;
    const auto contents = path_ / "Contents";
    if (std::filesystem::is_directory(contents, error)) {
        return InfoDictionary::load(contents / "Info.plist");
    }
    return InfoDictionary::load(path_ / "Info.plist");
}

std::string Bundle::localizedString(std::string_view key, std::string_view table,
                                    const std::vector<std::string>& userLanguages) const {
    if (auto strings = resolvedTable(table, userLanguages)) {
        return std::string(strings->table->value(key).value_or(key));
    }
    return std::string(key);
}

std::optional<std::string> Bundle::tableLanguage(
    std::string_view table, const std::vector<std::string>& userLanguages) const {
    if (auto strings = resolvedTable(table, userLanguages)) {
        return strings->language;
    }
    return std::nullopt;
}

std::optional<Bundle::ResolvedTable> Bundle::resolvedTable(
    std::string_view table, const std::vector<std::string>& userLanguages) const {
    if (!isPlainName(table)) {
        return std::nullopt;
    }
    auto& cache = StringsTableCache::shared();
    const auto resources = resourcesPath();
    const std::string file = std::string(table) + ".strings";
    if (auto strings = cache.table(resources / file)) {
        return ResolvedTable{std::move(strings), std::nullopt};
    }
    std::vector<std::string> candidates;
    for (const auto& language : userLanguages) {
        for (auto& candidate : UserLanguages::lookupChain(language)) {
            candidates.push_back(std::move(candidate));
        }
    }
    candidates.emplace_back("en");
    for (const auto& language : candidates) {
        if (!isPlainName(language)) {
            continue;
        }
        if (auto strings = cache.table(resources / (language + ".lproj") / file)) {
            return ResolvedTable{std::move(strings), language};
        }
    }
    return std::nullopt;
}

}  // namespace platform::foundation
