#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

namespace ventrella::testsupport {

// Points VIRTUAL_MAC_ROOT at a fresh temporary directory for the lifetime of the
// object, then restores the previous value and removes the directory. Like a Mac's root it is
// open to every user and writable by its owner alone (mkdtemp makes it 0700).
class TemporaryPlatformRoot {
  public:
    TemporaryPlatformRoot() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ventrella-root-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary platform root");
        }
        path_ = pattern;
        std::filesystem::permissions(path_, std::filesystem::perms(0755));
        if (const char* old = std::getenv("VIRTUAL_MAC_ROOT")) {
            saved_ = old;
        }
        ::setenv("VIRTUAL_MAC_ROOT", path_.c_str(), 1);
    }

    ~TemporaryPlatformRoot() {
        if (saved_) {
            ::setenv("VIRTUAL_MAC_ROOT", saved_->c_str(), 1);
        } else {
            ::unsetenv("VIRTUAL_MAC_ROOT");
        }
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    TemporaryPlatformRoot(const TemporaryPlatformRoot&) = delete;
    TemporaryPlatformRoot& operator=(const TemporaryPlatformRoot&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    std::optional<std::string> saved_;
};

}  // namespace ventrella::testsupport
