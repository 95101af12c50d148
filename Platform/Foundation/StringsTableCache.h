#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "Platform/Foundation/StringsTable.h"

namespace platform::foundation {

// Each ".strings" file is read and parsed once per process and kept until the process ends.
// A missing file is remembered as missing; a file that cannot be read or parsed reads as an empty
// table. The lock is a leaf lock held only for the lookup and the first read of a file.
class StringsTableCache {
  public:
    // The process's one cache, made on first use and never freed, so that lookups from other
    // threads stay safe while the process exits.
    static StringsTableCache& shared();

    // Null when no file exists at `path`.
    std::shared_ptr<const StringsTable> table(const std::filesystem::path& path);

  private:
    StringsTableCache() = default;

    std::mutex lock_;
    std::map<std::filesystem::path, std::shared_ptr<const StringsTable>> tables_;
};

}  // namespace platform::foundation
