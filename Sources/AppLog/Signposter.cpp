#include "AppLog/Signposter.h"

namespace ventrella::applog {

SignpostInterval Signposter::beginInterval(std::string_view name) {
    SignpostInterval interval{std::string(name), nextID_.fetch_add(1)};
    channel_.debug(AppLogMessage()
                   << "signpost.begin name=" << pub(interval.name) << " id=" << pub(interval.id));
    return interval;
}

void Signposter::endInterval(const SignpostInterval& interval) {
    channel_.debug(AppLogMessage()
                   << "signpost.end name=" << pub(interval.name) << " id=" << pub(interval.id));
}

}  // namespace ventrella::applog
