#include "Platform/Foundation/Clock.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace platform::foundation {

double systemUptimeSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double secondsSince1970() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

void sleepForSeconds(double seconds) {
    if (!(seconds > 0) || !std::isfinite(seconds)) {
        return;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace platform::foundation
