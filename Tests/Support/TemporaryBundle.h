#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace ventrella::testsupport {

// An application bundle "Test.app" in a fresh temporary folder, removed at the end; tests add
// language tables, resources and an Info.plist to it.
class TemporaryBundle {
  public:
    TemporaryBundle() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ventrella-bundle-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary bundle folder");
        }
        folder_ = pattern;
        path_ = folder_ / "Test.app";
        std::filesystem::create_directories(resources());
    }

    ~TemporaryBundle() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    TemporaryBundle(const TemporaryBundle&) = delete;
    TemporaryBundle& operator=(const TemporaryBundle&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path resources() const { return path_ / "Contents" / "Resources"; }

    // Writes "<language>.lproj/Localizable.strings" (or another table) with the given text.
    std::filesystem::path addTable(std::string_view language, std::string_view text,
                                   std::string_view table = "Localizable") const {
        return write(
            resources() / (std::string(language) + ".lproj") / (std::string(table) + ".strings"),
            text);
    }

    std::filesystem::path addInfoPlist(std::string_view text) const {
        return write(path_ / "Contents" / "Info.plist", text);
    }

    // Writes any file below the bundle.
    std::filesystem::path write(const std::filesystem::path& path, std::string_view text) const {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!file) {
            throw std::runtime_error("cannot write " + path.string());
        }
        return path;
    }

  private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
};

}  // namespace ventrella::testsupport
