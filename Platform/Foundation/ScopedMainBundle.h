#pragma once

#include <filesystem>
#include <optional>

namespace platform::foundation {

// Points `Bundle::main()` at another bundle for the lifetime of the object, so that tests can
// run against a bundle of their own; the previous choice comes back when it ends. Guards may
// nest; they must end in reverse order.
class ScopedMainBundle {
  public:
    explicit ScopedMainBundle(std::filesystem::path bundlePath);
    ~ScopedMainBundle();

    ScopedMainBundle(const ScopedMainBundle&) = delete;
    ScopedMainBundle& operator=(const ScopedMainBundle&) = delete;

    // The bundle the innermost live guard points at, if any.
    static std::optional<std::filesystem::path> current();

  private:
    std::optional<std::filesystem::path> previous_;
};

}  // namespace platform::foundation
