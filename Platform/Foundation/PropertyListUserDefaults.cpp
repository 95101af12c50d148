#include "Platform/Foundation/PropertyListUserDefaults.h"

#include <stdexcept>
#include <system_error>

#include "Platform/Foundation/HomeDirectory.h"
#include "Platform/Foundation/UserDefaultsError.h"
#include "Platform/Foundation/WholeFile.h"

namespace platform::foundation {

namespace {

// The dictionary stored in the file; an empty one whatever is wrong with it.
PropertyListPtr readDictionary(const std::filesystem::path& file) {
    std::optional<std::string> bytes;
    try {
        bytes = readWholeFile(file, kMaximumPropertyListBytes);
    } catch (const std::filesystem::filesystem_error&) {
    }
    PropertyListPtr root = bytes ? parseBoundedPropertyList(*bytes) : nullptr;
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        return PropertyListPtr(plist_new_dict());
    }
    return root;
}

bool validKey(std::string_view key) {
    return key.find('\0') == std::string_view::npos;
}

}  // namespace

std::filesystem::path PropertyListUserDefaults::preferencesFile(std::string_view domain) {
    if (domain.empty() || domain == "." || domain == ".." ||
        domain.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
        throw std::invalid_argument("a defaults domain is a plain file name, not \"" +
                                    std::string(domain) + "\"");
    }
    return homeDirectory() / "Library" / "Preferences" / (std::string(domain) + ".plist");
}

PropertyListUserDefaults::PropertyListUserDefaults(std::filesystem::path file)
    : file_(std::move(file)), dictionary_(readDictionary(file_)) {}

std::optional<std::string> PropertyListUserDefaults::data(std::string_view key) const {
    if (!validKey(key)) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex_);
    plist_t value = plist_dict_get_item(dictionary_.get(), std::string(key).c_str());
    if (value == nullptr || plist_get_node_type(value) != PLIST_DATA) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* bytes = plist_get_data_ptr(value, &length);
    return std::string(bytes == nullptr ? "" : bytes, bytes == nullptr ? 0 : length);
}

void PropertyListUserDefaults::setData(std::string_view key, std::string_view bytes) {
    if (!validKey(key)) {
        throw UserDefaultsError::invalidKey();
    }
    std::lock_guard lock(mutex_);
    PropertyListPtr changed(plist_copy(dictionary_.get()));
    plist_dict_set_item(changed.get(), std::string(key).c_str(),
                        plist_new_data(bytes.data(), bytes.size()));
    std::string encoded;
    try {
        encoded = binaryPropertyList(changed.get());
    } catch (const std::runtime_error&) {
        throw UserDefaultsError::writeFailed(file_, std::make_error_code(std::errc::io_error));
    }
    // What could not be read back is never written.
    if (encoded.size() > kMaximumPropertyListBytes) {
        throw UserDefaultsError::tooLarge(file_);
    }
    try {
        std::filesystem::create_directories(file_.parent_path());
        writeFileAtomically(file_, encoded);
    } catch (const std::filesystem::filesystem_error& error) {
        throw UserDefaultsError::writeFailed(file_, error.code());
    }
    dictionary_ = std::move(changed);
}

}  // namespace platform::foundation
