#include "Platform/Foundation/UserDefaultsError.h"

#include "Platform/Foundation/BoundedPropertyList.h"

namespace platform::foundation {

namespace {

std::string cannotSave(const std::filesystem::path& file) {
    return "The preferences file \"" + file.filename().string() + "\" could not be saved: ";
}

}  // namespace

UserDefaultsError UserDefaultsError::writeFailed(const std::filesystem::path& file,
                                                 std::error_code reason) {
    return UserDefaultsError(Kind::writeFailed, cannotSave(file) + reason.message() + ".");
}

UserDefaultsError UserDefaultsError::tooLarge(const std::filesystem::path& file) {
    return UserDefaultsError(Kind::tooLarge, cannotSave(file) + "it would be larger than " +
                                                 std::to_string(kMaximumPropertyListBytes / 1024) +
                                                 " KB.");
}

UserDefaultsError UserDefaultsError::invalidKey() {
    return UserDefaultsError(Kind::invalidKey, "A preferences key cannot contain a zero byte.");
}

}  // namespace platform::foundation
