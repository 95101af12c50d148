#include "Platform/Foundation/XDGAutostartLoginItem.h"

#include <cstdlib>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "Platform/Foundation/HomeDirectory.h"
#include "Platform/Foundation/LoginItemError.h"
#include "Platform/Foundation/WholeFile.h"

namespace platform::foundation {

namespace {

// An autostart entry is a few lines; anything larger is not one of ours.
constexpr std::size_t kMaximumEntryBytes = 64 * 1024;
constexpr std::string_view kGroup = "[Desktop Entry]";

bool hasControlCharacter(std::string_view text) {
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte < 0x20 || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

// The escapes of a desktop entry's string values.
std::string escapeValue(std::string_view text) {
    std::string escaped;
    for (const char character : text) {
        switch (character) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += character;
        }
    }
    return escaped;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The keys of the "[Desktop Entry]" group that decide whether the entry runs.
struct EntryKeys {
    bool groupFound = false;
    std::optional<std::string> exec;
    bool hidden = false;
    bool switchedOff = false;
};

EntryKeys readEntry(const std::string& text) {
    EntryKeys keys;
    bool inGroup = false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string_view content = trimmed(line);
        if (content.empty() || content.front() == '#') {
            continue;
        }
        if (content.front() == '[') {
            inGroup = content == kGroup;
            keys.groupFound = keys.groupFound || inGroup;
            continue;
        }
        const auto equals = content.find('=');
        if (!inGroup || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = trimmed(content.substr(0, equals));
        const std::string_view value = trimmed(content.substr(equals + 1));
        if (key == "Exec") {
            keys.exec = std::string(value);
        } else if (key == "Hidden") {
            keys.hidden = value == "true";
        } else if (key == "X-GNOME-Autostart-enabled") {
            keys.switchedOff = value == "false";
        }
    }
    return keys;
}

bool plainFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

}  // namespace

std::filesystem::path XDGAutostartLoginItem::defaultDirectory() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME");
        config != nullptr && config[0] == '/') {
        return std::filesystem::path(config) / "autostart";
    }
    return homeDirectory() / ".config" / "autostart";
}

XDGAutostartLoginItem::XDGAutostartLoginItem(std::string identifier, std::string name,
                                             std::filesystem::path executable,
                                             std::filesystem::path directory)
    : identifier_(std::move(identifier)),
      name_(std::move(name)),
      executable_(std::move(executable)),
      directory_(std::move(directory)) {
    if (!plainFileName(identifier_)) {
        throw std::invalid_argument("a login item's identifier is a plain file name, not \"" +
                                    identifier_ + "\"");
    }
    if (!executable_.is_absolute()) {
        throw std::invalid_argument("a login item starts an absolute path, not \"" +
                                    executable_.string() + "\"");
    }
}

std::filesystem::path XDGAutostartLoginItem::entryFile() const {
    return directory_ / (identifier_ + ".desktop");
}

// The path as one quoted argument: inside the quotes '"', '`', '$' and '\' are escaped with
// a backslash and '%' is doubled (no field code), then the value gets the string escapes.
std::string XDGAutostartLoginItem::execValue() const {
    std::string quoted = "\"";
    for (const char character : executable_.string()) {
        if (character == '"' || character == '`' || character == '$' || character == '\\') {
            quoted += '\\';
        }
        quoted += character;
        if (character == '%') {
            quoted += '%';
        }
    }
    quoted += '"';
    return escapeValue(quoted);
}

LoginItemStatus XDGAutostartLoginItem::status() const {
    std::optional<std::string> text;
    try {
        text = readWholeFile(entryFile(), kMaximumEntryBytes);
    } catch (const std::filesystem::filesystem_error& error) {
        throw LoginItemError::statusUnavailable(error.code().message());
    }
    if (!text) {
        return LoginItemStatus::notRegistered;
    }
    const EntryKeys keys = readEntry(*text);
    const bool ours = keys.groupFound && keys.exec == execValue();
    return ours && !keys.hidden && !keys.switchedOff ? LoginItemStatus::enabled
                                                     : LoginItemStatus::notRegistered;
}

void XDGAutostartLoginItem::registerItem() {
    // A line break in the path would end the Exec line early; no escape carries it there.
    if (hasControlCharacter(executable_.string())) {
        throw LoginItemError::registrationFailed(
            "the application's path contains a control character");
    }
    const std::string entry = std::string(kGroup) +
                              "\n"
                              "Type=Application\n"
                              "Version=1.0\n"
                              "Name=" +
                              escapeValue(name_) + "\nExec=" + execValue() +
                              "\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n";
    try {
        std::filesystem::create_directories(directory_);
        writeFileAtomically(entryFile(), entry, 0644);
    } catch (const std::filesystem::filesystem_error& error) {
        throw LoginItemError::registrationFailed(error.code().message());
    }
}

void XDGAutostartLoginItem::unregisterItem() {
    std::error_code error;
    std::filesystem::remove(entryFile(), error);
    if (error) {
        throw LoginItemError::unregistrationFailed(error.message());
    }
}

}  // namespace platform::foundation
