#pragma once

#include <cstdint>

namespace ventrella::shared {

// The ownership marker: present while the helper may have put fans into manual mode. It
// outlives the process, so a restarted helper knows it must restore.
class FanControlMarkerStore {
  public:
    virtual ~FanControlMarkerStore() = default;

    virtual bool isMarked() const = 0;
    virtual void mark(std::int64_t percentage) = 0;
    virtual void clear() = 0;
};

}  // namespace ventrella::shared
