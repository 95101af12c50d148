#include "VentrellaHelper/HelperLogFile.h"

#include <stdexcept>
#include <string>

#include "AppLog/SpdlogLogBackend.h"
#include "VentrellaHelper/HelperPaths.h"

namespace ventrella::helper {

std::shared_ptr<applog::LogBackend> HelperLogFile::backend() {
    try {
        return applog::SpdlogLogBackend::boundedFile(HelperPaths::logFile().string(), maximumBytes);
    } catch (const std::runtime_error&) {
        return applog::SpdlogLogBackend::systemLog(std::string(HelperPaths::machServiceName));
    }
}

}  // namespace ventrella::helper
