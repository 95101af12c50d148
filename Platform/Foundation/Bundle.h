#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/InfoDictionary.h"
#include "Platform/Foundation/StringsTable.h"
#include "Platform/Foundation/UserLanguages.h"

namespace platform::foundation {

// A folder of code and resources laid out as on a Mac: "X.app/Contents/Info.plist",
// "Contents/MacOS/<executable>", "Contents/Resources/<resources>". A folder without "Contents"
// (a language folder "de.lproj" opened as a bundle) holds its resources itself.
class Bundle {
  public:
    // A bundle when `path` is a folder.
    static std::optional<Bundle> atPath(const std::filesystem::path& path);

    // The running program's bundle (see `bundlePathForExecutable`), or the one a
    // ScopedMainBundle points at.
    static Bundle main();

    // "X.app/Contents/MacOS/name" belongs to "X.app"; any other executable to its own folder.
    static std::filesystem::path bundlePathForExecutable(const std::filesystem::path& executable);

    const std::filesystem::path& bundlePath() const { return path_; }
    std::filesystem::path resourcesPath() const;

    // "<resources>/<name>.<type>" (just "<name>" for an empty type) when it exists. A name or
    // type holding "/" or naming "." or ".." finds nothing.
    std::optional<std::filesystem::path> pathForResource(std::string_view name,
                                                         std::string_view type) const;

    // "Contents/Info.plist" (or "Info.plist" of a bundle without "Contents"), read anew each call.
    InfoDictionary infoDictionary() const;

    // The text of `key` in the strings table `table` (without ".strings"), or `key` itself when
    // the table lacks it. The table at the resources' top level is used when there is one;
    // otherwise that of the first of `userLanguages` with a language folder holding it (a region
    // falls back to its language: "de-AT" to "de"), else English's.
    std::string localizedString(
        std::string_view key, std::string_view table,
        const std::vector<std::string>& userLanguages = UserLanguages::preferredLanguages()) const;

    // The language folder ("de", "pt-BR") whose table `table` localizedString reads its texts
    // from; absent when the table lies at the resources' top level (a language folder opened as
    // a bundle) or when no language has it (the keys are shown).
    std::optional<std::string> tableLanguage(
        std::string_view table,
        const std::vector<std::string>& userLanguages = UserLanguages::preferredLanguages()) const;

    bool operator==(const Bundle&) const = default;

  private:
    struct ResolvedTable {
        std::shared_ptr<const StringsTable> table;
        std::optional<std::string> language;
    };

    explicit Bundle(std::filesystem::path path) : path_(std::move(path)) {}

    std::optional<ResolvedTable> resolvedTable(std::string_view table,
                                               const std::vector<std::string>& userLanguages) const;

    std::filesystem::path path_;
};

}  // namespace platform::foundation
