#include "Platform/Foundation/Sysctl.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "Platform/Foundation/Directories.h"
#include "Platform/Foundation/PlatformRoot.h"
#include "Platform/Foundation/WholeFile.h"

namespace platform::foundation {
namespace {

constexpr std::string_view kSysctlDirectory = "/var/run/virtual-mac/sysctl/";

// A name becomes a file name, so it must never reach outside the value folder.
bool isValidName(std::string_view name) {
    if (name.empty() || name == "." || name.find('/') != std::string_view::npos ||
        name.find("..") != std::string_view::npos) {
        return false;
    }
    return name.find('\0') == std::string_view::npos;
}

std::filesystem::path valuePath(std::string_view name) {
    return resolveMacPath(std::string(kSysctlDirectory) + std::string(name));
}

// A value is a short text; anything longer is not one the machine published.
constexpr std::size_t kMaximumValueBytes = 4096;

// The stored bytes plus the terminating zero byte, or nothing when unreadable.
std::optional<std::string> readValue(std::string_view name) {
    std::optional<std::string> bytes;
    try {
        bytes = readWholeFile(valuePath(name), kMaximumValueBytes);
    } catch (const std::filesystem::filesystem_error&) {
        return std::nullopt;
    }
    if (bytes) {
        bytes->push_back('\0');
    }
    return bytes;
}

}  // namespace

int sysctlByName(const char* name, void* buffer, std::size_t* size) {
    if (name == nullptr || size == nullptr || !isValidName(name)) {
        return EINVAL;
    }
    const std::optional<std::string> value = readValue(name);
    if (!value) {
        return ENOENT;
    }
    if (buffer == nullptr) {
        *size = value->size();
        return 0;
    }
    if (*size < value->size()) {
        return ENOMEM;
    }
    std::memcpy(buffer, value->data(), value->size());
    *size = value->size();
    return 0;
}

void publishSysctlValue(std::string_view name, std::string_view text) {
    if (!isValidName(name)) {
        throw std::invalid_argument("invalid sysctl name: " + std::string(name));
    }
    const std::filesystem::path target = valuePath(name);
    // Every process reads the values; only the machine may change them, whatever its umask.
    createDirectories(target.parent_path(), 0755);
    writeFileAtomically(target, text, 0644);
}

}  // namespace platform::foundation
