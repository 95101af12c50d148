#include "SMCFanKit/SMCHardwareConfig.h"

#include <exception>
#include <optional>

#include "AppLog/AppLog.h"
#include "SMCFanKit/SMCFanKey.h"
#include "SMCKit/SMCConnection.h"

namespace ventrella::fan {

using applog::pub;

namespace {

// The key's size when it reads with data, nothing when it is missing or empty.
std::optional<std::uint32_t> presentKeySize(ventrella::smc::SMCConnection& connection,
                                            const std::string& key) {
    try {
        auto size = connection.readKey(key).size;
        if (size != 0) {
            return size;
        }
    } catch (const std::exception&) {
        // A key this Mac lacks: the configuration simply does without it.
    }
    return std::nullopt;
}

}  // namespace

SMCHardwareConfig SMCHardwareConfig::detectHardwareKeys(ventrella::smc::SMCConnection& connection) {
    const applog::AppLog::Channel log = applog::AppLog::make("FanControl");
    std::string format(SMCFanKey::modeLower);
    for (auto candidate : {SMCFanKey::modeLower, SMCFanKey::modeUpper}) {
        std::string key = SMCFanKey::key(candidate, 0);
        if (auto size = presentKeySize(connection, key)) {
            log.debug(applog::AppLogMessage()
                      << "hw.probe.modeKey key=" << pub(key) << " found=true size=" << pub(*size)
                      << " format=" << pub(candidate));
            format = std::string(candidate);
            break;
        }
        log.debug(applog::AppLogMessage() << "hw.probe.modeKey key=" << pub(key) << " found=false");
    }
    bool ftstAvailable = false;
    if (auto size = presentKeySize(connection, std::string(SMCFanKey::forceTest))) {
        log.debug(applog::AppLogMessage() << "hw.probe.ftst found=true size=" << pub(*size));
        ftstAvailable = true;
    } else {
        log.debug("hw.probe.ftst found=false");
    }
    log.debug(applog::AppLogMessage() << "hw.detected modeKeyFormat=" << pub(format)
                                      << " ftstAvailable=" << pub(ftstAvailable));
    return SMCHardwareConfig{format, ftstAvailable};
}

}  // namespace ventrella::fan
