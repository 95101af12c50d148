#pragma once

#include <string>

namespace ventrella::core {

// The policy's answer to one sample. Indices name levels of the policy; -1 is Apple Automatic.
// `reason` is, for a change, a sentence in the interface language naming the new state, and
// otherwise one of the untranslated words "automatic", "minimum hold", "hysteresis" and
// "emergency", which go to diagnostics only.
struct PolicyDecision {
    int previousIndex = -1;
    int index = -1;
    bool changed = false;
    std::string reason;

    bool operator==(const PolicyDecision&) const = default;
};

}  // namespace ventrella::core
