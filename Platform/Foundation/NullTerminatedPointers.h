#pragma once

#include <string>
#include <vector>

namespace platform::foundation {

// The list exec and posix_spawn take for arguments or environment: a pointer to each text, then
// a null pointer. The pointers point into `texts`, which must outlive the list unchanged.
inline std::vector<char*> nullTerminatedPointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace platform::foundation
