#include "VentrellaHelper/FileMarkerStore.h"

#include <charconv>
#include <string>
#include <system_error>

#include "Platform/Foundation/Clock.h"
#include "VentrellaHelper/HelperFiles.h"
#include "VentrellaHelper/HelperPaths.h"

namespace ventrella::helper {

namespace fs = std::filesystem;

namespace {

// The shortest digits that read back as the same number, never in exponent form and always
// with a fraction part: "1700000000.0", "1700000000.25".
std::string decimalSeconds(double seconds) {
    char number[400];
    const auto end =
        std::to_chars(number, number + sizeof number, seconds, std::chars_format::fixed).ptr;
    std::string text(number, end);
    if (text.find_first_not_of("-0123456789") == std::string::npos) {
        text += ".0";
    }
    return text;
}

}  // namespace

FileMarkerStore::FileMarkerStore()
    : FileMarkerStore(HelperPaths::markerFile(), &platform::foundation::secondsSince1970) {}

FileMarkerStore::FileMarkerStore(fs::path path, WallClock secondsSince1970)
    : path_(std::move(path)), secondsSince1970_(std::move(secondsSince1970)) {}

bool FileMarkerStore::isMarked() const {
    std::error_code ignored;
    // A dangling link still counts: something was left at the marker's place.
    return fs::exists(fs::symlink_status(path_, ignored));
}

void FileMarkerStore::mark(std::int64_t percentage) {
    HelperFiles::createDirectories(path_.parent_path());
    char number[64];
    std::string text = "percent=";
    text.append(number, std::to_chars(number, number + sizeof number, percentage).ptr);
    text += "\ntime=";
    text += decimalSeconds(secondsSince1970_());
    text += "\n";
    HelperFiles::writeAtomically(path_, text);
}

void FileMarkerStore::clear() {
    if (isMarked()) {
        fs::remove(path_);
    }
}

}  // namespace ventrella::helper
