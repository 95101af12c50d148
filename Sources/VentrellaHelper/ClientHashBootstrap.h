#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "Platform/Security/Code.h"

namespace ventrella::helper {

// Records which application may connect: a helper that runs from inside an application bundle
// writes that application's code-directory hash to "client-cdhash" at every start. A helper
// outside any bundle leaves the file as it finds it.
struct ClientHashBootstrap {
    std::function<std::optional<std::filesystem::path>()> currentCodeURL;
    platform::security::CodeSigningServices codeSigning;
    std::function<uid_t()> effectiveUserIdentifier;
    std::filesystem::path supportDirectory;
    std::filesystem::path clientHashFile;

    // The running helper, the system's code signing, the real user and the fixed paths.
    static ClientHashBootstrap live();

    // Throws HelperError with a fixed text, or the error of a file operation unchanged.
    void refreshBundledClientHashIfNeeded() const;
};

}  // namespace ventrella::helper
