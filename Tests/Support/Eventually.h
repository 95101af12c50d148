#pragma once

#include <chrono>
#include <thread>

namespace ventrella::testsupport {

// The one bound on a wait for what another thread or process brings about: a machine four times
// slower under the sanitizers and busy with other work gets there well within it, so only a
// fault reaches it.
inline constexpr std::chrono::seconds eventDeadline{60};
inline constexpr double eventDeadlineSeconds = 60.0;

// Polls `condition` until it holds; false once `bound` has passed without it.
template <class Condition>
bool eventually(Condition&& condition, std::chrono::duration<double> bound = eventDeadline,
                std::chrono::milliseconds interval = std::chrono::milliseconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(bound);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(interval);
    }
    return true;
}

}  // namespace ventrella::testsupport
