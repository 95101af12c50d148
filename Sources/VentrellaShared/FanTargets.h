#pragma once

#include <cstdint>
#include <map>

namespace ventrella::shared {

// Fan id -> target RPM, one entry per fan. Ordered so that plans read and log deterministically.
using FanTargets = std::map<std::int64_t, std::int64_t>;

}  // namespace ventrella::shared
