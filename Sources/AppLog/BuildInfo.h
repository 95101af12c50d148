#pragma once

#include <filesystem>
#include <string>

namespace ventrella::applog {

// Version facts of the running build; settable by the program at start-up.
class BuildInfo {
  public:
    static std::string version();  // "dev" until set
    static std::string commit();   // "unknown" until set
    static std::string dirty();    // "false" until set
    static void setVersion(std::string value);
    static void setCommit(std::string value);
    static void setDirty(std::string value);

    // First 6 bytes of the SHA-256 of the executable as 12 hex digits; "unknown" when it
    // cannot be read.
    static std::string buildHash(const std::filesystem::path& executable = "/proc/self/exe");
};

}  // namespace ventrella::applog
