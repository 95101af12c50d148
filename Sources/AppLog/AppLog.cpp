#include "AppLog/AppLog.h"

#include <spdlog/spdlog.h>

#include <mutex>

#include "AppLog/BuildInfo.h"
#include "AppLog/OSLogHandler.h"
#include "AppLog/Signposter.h"

namespace ventrella::applog {

namespace {

// The facade's bootstrap state: process-wide by nature, guarded by its mutex.
struct FacadeState {
    std::mutex mutex;
    std::string subsystem{AppLog::defaultSubsystem};
    bool bootstrapped = false;
};

FacadeState& facadeState() {
    static FacadeState state;
    return state;
}

}  // namespace

void AppLog::Channel::log(LogLevel level, const AppLogMessage& message) const {
    const auto backend = currentLogBackend();
    if (backend && backend->isEnabled(level)) {
        backend->write(subsystem_, category_, level, message.rendered());
    }
}

AppLog::Channel AppLog::make(std::string_view category) {
    return Channel(currentSubsystem(), std::string(category));
}

std::string AppLog::currentSubsystem() {
    auto& state = facadeState();
    std::lock_guard lock(state.mutex);
    return state.subsystem;
}

void AppLog::bootstrap(std::string_view subsystem) {
    auto& state = facadeState();
    bool firstCall = false;
    {
        // The subsystem is stored under the same lock as the flag, so a concurrent
        // make() never reads a half-written text.
        std::lock_guard lock(state.mutex);
        firstCall = !state.bootstrapped;
        state.bootstrapped = true;
        state.subsystem = std::string(subsystem);
    }
    if (firstCall) {
        auto handler = std::make_shared<OSLogHandler>(std::string(subsystem));
        spdlog::set_default_logger(std::make_shared<spdlog::logger>("default", handler));
        spdlog::default_logger()->set_level(spdlog::level::trace);
    }
    make("AppLog").notice(AppLogMessage() << "process.started subsystem=" << pub(subsystem)
                                          << " version=" << pub(BuildInfo::version())
                                          << " commit=" << pub(BuildInfo::commit())
                                          << " buildHash=" << pub(BuildInfo::buildHash()));
}

Signposter AppLog::signposter(std::string_view category) {
    return Signposter(make(category));
}

}  // namespace ventrella::applog
