#include "Platform/Foundation/PropertyListUserDefaults.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "Platform/Foundation/HomeDirectory.h"
#include "Platform/Foundation/UserDefaultsError.h"
#include "Platform/Foundation/WholeFile.h"

namespace platform::foundation {

namespace {

struct StoredDictionary {
    PropertyListPtr dictionary;
    // Why a file that is there could not be read.
    std::optional<std::string> unreadable;
};

// The dictionary stored in the file; an empty one, and why, whatever is wrong with it.
StoredDictionary readDictionary(const std::filesystem::path& file) {
    StoredDictionary stored;
    std::optional<std::string> bytes;
    try {
        bytes = readWholeFile(file, kMaximumPropertyListBytes);
    } catch (const std::filesystem::filesystem_error& error) {
        if (error.code() == std::errc::file_too_large) {
            stored.unreadable =
                "larger than " + std::to_string(kMaximumPropertyListBytes) + " bytes";
        } else if (error.code() == std::errc::invalid_argument) {
            stored.unreadable = "not a regular file";
        } else {
            stored.unreadable = "cannot be read: " + error.code().message();
        }
    }
    PropertyListPtr root = bytes ? parseBoundedPropertyList(*bytes) : nullptr;
    if (bytes && !root) {
        stored.unreadable = "not a property list";
    } else if (root && plist_get_node_type(root.get()) != PLIST_DICT) {
        stored.unreadable = "not a dictionary";
    }
    if (stored.unreadable || !root) {
        stored.dictionary.reset(plist_new_dict());
    } else {
        stored.dictionary = std::move(root);
    }
    return stored;
}

// Renames without replacing what is at `to`: false when something is there.
bool renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    // A file system without the flag: the same, with a short window.
    if (errno == EINVAL) {
        struct stat info {};
        if (::lstat(to.c_str(), &info) == 0) {
            return false;
        }
        if (::rename(from.c_str(), to.c_str()) == 0) {
            return true;
        }
    }
    throw std::filesystem::filesystem_error("cannot move aside", from, to,
                                            std::error_code(errno, std::generic_category()));
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

PropertyListUserDefaults::PropertyListUserDefaults(std::filesystem::path file,
                                                   SetAsideHandler onSetAside)
    : file_(std::move(file)), onSetAside_(std::move(onSetAside)) {
    StoredDictionary stored = readDictionary(file_);
    dictionary_ = std::move(stored.dictionary);
    unreadable_ = std::move(stored.unreadable);
}

std::optional<PropertyListUserDefaults::SetAside> PropertyListUserDefaults::setAsideUnreadable()
    const {
    for (int number = 0; number < maximumSetAside; ++number) {
        std::filesystem::path keptAs = file_;
        keptAs += number == 0 ? ".unreadable" : ".unreadable." + std::to_string(number);
        try {
            if (renameWithoutReplacing(file_, keptAs)) {
                return SetAside{*unreadable_, keptAs};
            }
        } catch (const std::filesystem::filesystem_error& error) {
            if (error.code() == std::errc::no_such_file_or_directory) {
                return std::nullopt;
            }
            throw UserDefaultsError::writeFailed(file_, error.code());
        }
    }
    // Every place taken: the file stays rather than be lost.
    throw UserDefaultsError::writeFailed(file_, std::make_error_code(std::errc::file_exists));
}

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
    std::optional<SetAside> setAside;
    std::exception_ptr failure;
    {
        std::lock_guard lock(mutex_);
        try {
            write(key, bytes, setAside);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // Told also when the write after it failed: the file has moved all the same.
    if (setAside && onSetAside_) {
        onSetAside_(*setAside);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void PropertyListUserDefaults::write(std::string_view key, std::string_view bytes,
                                     std::optional<SetAside>& setAside) {
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
    // What could not be read is kept, not replaced.
    if (unreadable_) {
        setAside = setAsideUnreadable();
        unreadable_.reset();
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
