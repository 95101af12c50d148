#pragma once

#include <unistd.h>

#include <utility>

namespace platform::foundation {

// Owns a file descriptor and closes it on every path out, unless released first. A negative
// descriptor (a failed open) owns nothing.
class ScopedDescriptor {
  public:
    explicit ScopedDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~ScopedDescriptor() { reset(); }
    ScopedDescriptor(ScopedDescriptor&& other) noexcept : descriptor_(other.release()) {}
    ScopedDescriptor(const ScopedDescriptor&) = delete;
    ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
    ScopedDescriptor& operator=(ScopedDescriptor&&) = delete;

    int get() const { return descriptor_; }
    // Hands the descriptor to the caller, who closes it.
    int release() { return std::exchange(descriptor_, -1); }
    // Closes the descriptor now.
    void reset() {
        if (descriptor_ >= 0) {
            ::close(std::exchange(descriptor_, -1));
        }
    }

  private:
    int descriptor_;
};

}  // namespace platform::foundation
