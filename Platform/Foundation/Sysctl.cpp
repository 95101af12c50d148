#include "Platform/Foundation/Sysctl.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "Platform/Foundation/PlatformRoot.h"

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

// The stored bytes plus the terminating zero byte, or nothing when unreadable.
std::optional<std::string> readValue(std::string_view name) {
    std::ifstream stream(valuePath(name), std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (stream.bad()) {
        return std::nullopt;
    }
    bytes.push_back('\0');
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
    std::filesystem::create_directories(target.parent_path());
    // Written beside the target and renamed over it, so a reader never sees half a value.
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
        stream.write(text.data(), static_cast<std::streamsize>(text.size()));
        stream.close();
        if (!stream) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            throw std::filesystem::filesystem_error("cannot write sysctl value", temporary,
                                                    std::make_error_code(std::errc::io_error));
        }
    }
    std::filesystem::rename(temporary, target);
}

}  // namespace platform::foundation
