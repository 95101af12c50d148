#include "VentrellaHelper/HelperFiles.h"

#include "Platform/Foundation/Directories.h"
#include "Platform/Foundation/WholeFile.h"

namespace ventrella::helper::HelperFiles {

namespace fs = std::filesystem;

void createDirectories(const fs::path& directory) {
    platform::foundation::createDirectories(directory, 0755);
}

void writeAtomically(const fs::path& file, std::string_view text) {
    platform::foundation::writeFileAtomically(file, text);
}

}  // namespace ventrella::helper::HelperFiles
