#include "Platform/Foundation/BoundedFileRead.h"

#include <array>
#include <fstream>
#include <system_error>

namespace platform::foundation {

std::optional<std::string> readBoundedFile(const std::filesystem::path& path,
                                           std::size_t maximumSize) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    // Read in pieces up to one byte past the limit rather than trusting a size measured first.
    std::string content;
    std::array<char, 64 * 1024> chunk{};
    while (content.size() <= maximumSize) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        content.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
        if (!file) {
            break;
        }
    }
    if (content.size() > maximumSize || file.bad()) {
        return std::nullopt;
    }
    return content;
}

}  // namespace platform::foundation
