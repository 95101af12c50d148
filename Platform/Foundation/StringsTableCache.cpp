#include "Platform/Foundation/StringsTableCache.h"

#include <system_error>

namespace platform::foundation {

StringsTableCache& StringsTableCache::shared() {
    static auto* cache = new StringsTableCache();
    return *cache;
}

std::shared_ptr<const StringsTable> StringsTableCache::table(const std::filesystem::path& path) {
    const std::lock_guard guard(lock_);
    if (const auto found = tables_.find(path); found != tables_.end()) {
        return found->second;
    }
    std::shared_ptr<const StringsTable> table;
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        table =
            std::make_shared<const StringsTable>(StringsTable::load(path).value_or(StringsTable()));
    }
    tables_.emplace(path, table);
    return table;
}

}  // namespace platform::foundation
