#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "VentrellaShared/FanControlMarkerStore.h"

namespace ventrella::helper {

// The "manual-owner" file: present while the helper may have left fans in manual mode. Only its
// existence matters; the content (percentage and wall-clock time) is for whoever looks at it.
class FileMarkerStore final : public shared::FanControlMarkerStore {
  public:
    using WallClock = std::function<double()>;

    // The fixed marker path under the platform root and the real wall clock.
    FileMarkerStore();
    FileMarkerStore(std::filesystem::path path, WallClock secondsSince1970);

    const std::filesystem::path& path() const { return path_; }

    bool isMarked() const override;
    // Throws std::filesystem::filesystem_error.
    void mark(std::int64_t percentage) override;
    void clear() override;

  private:
    std::filesystem::path path_;
    WallClock secondsSince1970_;
};

}  // namespace ventrella::helper
