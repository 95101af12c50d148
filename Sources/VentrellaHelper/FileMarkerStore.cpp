#include "VentrellaHelper/FileMarkerStore.h"

#include <charconv>
#include <string>
#include <system_error>

#include "Platform/Foundation/Clock.h"
#include "VentrellaHelper/HelperFiles.h"
#include "VentrellaHelper/HelperPaths.h"

namespace ventrella::helper {

namespace fs = std::filesystem;

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
    text.append(number, std::to_chars(number, number + sizeof number, secondsSince1970_()).ptr);
    text += "\n";
    HelperFiles::writeAtomically(path_, text);
}

void FileMarkerStore::clear() {
    if (isMarked()) {
        fs::remove(path_);
    }
}

}  // namespace ventrella::helper
