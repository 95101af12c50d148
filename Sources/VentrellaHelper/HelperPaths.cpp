#include "VentrellaHelper/HelperPaths.h"

#include "Platform/Foundation/PlatformRoot.h"

namespace ventrella::helper {

std::filesystem::path HelperPaths::supportDirectory() {
    return platform::foundation::resolveMacPath(supportDirectoryPath);
}

std::filesystem::path HelperPaths::markerFile() {
    return platform::foundation::resolveMacPath(markerFilePath);
}

std::filesystem::path HelperPaths::clientHashFile() {
    return platform::foundation::resolveMacPath(clientHashFilePath);
}

std::filesystem::path HelperPaths::auditFile() {
    return platform::foundation::resolveMacPath(auditFilePath);
}

std::filesystem::path HelperPaths::logFile() {
    return platform::foundation::resolveMacPath(logFilePath);
}

}  // namespace ventrella::helper
