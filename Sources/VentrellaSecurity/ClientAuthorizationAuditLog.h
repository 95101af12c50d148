#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>

#include "VentrellaSecurity/ClientAuthorizationAuditEntry.h"
#include "VentrellaSecurity/ClientAuthorizationFailure.h"

namespace ventrella::security {

// A small JSON Lines file with one line per refused client. The writer drops an
// entry rather than wait for another process; the reader takes no lock.
class ClientAuthorizationAuditLog {
  public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // The cap the helper writes with and the application reads with.
    static constexpr std::int64_t defaultMaximumFileBytes = 32768;
    static constexpr std::int64_t smallestMaximumFileBytes = 1024;

    ClientAuthorizationAuditLog(std::filesystem::path fileURL, std::int64_t maximumFileBytes,
                                std::uint32_t requiredOwnerUID,
                                Clock now = &std::chrono::system_clock::now);
    ClientAuthorizationAuditLog(const ClientAuthorizationAuditLog&) = delete;
    ClientAuthorizationAuditLog& operator=(const ClientAuthorizationAuditLog&) = delete;

    // Appends one line; true only when the whole line was written. A file that
    // would pass the cap is emptied first. Never throws and never blocks.
    bool record(ClientAuthorizationFailure failure);

    // The newest entry that decodes within the last max(maximumReadBytes, 1024)
    // bytes of a regular file owned by requiredOwnerUID.
    static std::optional<ClientAuthorizationAuditEntry> latestEntry(
        const std::filesystem::path& fileURL, std::int64_t maximumReadBytes,
        std::uint32_t requiredOwnerUID);

    const std::filesystem::path& fileURL() const { return fileURL_; }
    std::int64_t maximumFileBytes() const { return maximumFileBytes_; }
    std::uint32_t requiredOwnerUID() const { return requiredOwnerUID_; }

  private:
    bool appendLocked(const std::string& line);

    std::filesystem::path fileURL_;
    std::int64_t maximumFileBytes_;
    std::uint32_t requiredOwnerUID_;
    Clock now_;
    std::mutex lock_;
};

}  // namespace ventrella::security
