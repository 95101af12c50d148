#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>

#include "VentrellaSecurity/ClientAuthorizationFailure.h"
#include "VentrellaSecurity/Result.h"

namespace ventrella::helper {

// Reads the expected client hash from "client-cdhash" on every call. Whoever could write that
// file could choose which program the helper serves, so only a small regular file owned by the
// required user and not writable by group or others is read; anything else, or a failed read,
// makes the hash unavailable, and so does a file that is not UTF-8 text. The text is returned as
// it stands (the authorizer trims and validates it).
class ExpectedClientHash {
  public:
    static constexpr std::size_t maximumFileBytes = 4096;

    ExpectedClientHash(std::filesystem::path path, uid_t requiredOwner);

    security::Result<std::string, security::ClientAuthorizationFailure> operator()() const;

  private:
    std::filesystem::path path_;
    uid_t requiredOwner_;
};

}  // namespace ventrella::helper
