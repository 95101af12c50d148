#include "Platform/Foundation/InfoDictionary.h"

#include <cstdlib>

#include <plist/plist.h>

#include "Platform/Foundation/BoundedPropertyList.h"
#include "Platform/Foundation/WholeFile.h"

namespace platform::foundation {

static_assert(InfoDictionary::maximumFileSize == kMaximumPropertyListBytes);

namespace {

std::optional<InfoDictionary::Value> scalar(plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_STRING: {
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            if (text == nullptr) {
                return std::nullopt;
            }
            return std::string(text, static_cast<std::size_t>(length));
        }
        case PLIST_BOOLEAN: {
            std::uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return flag != 0;
        }
        case PLIST_UINT: {
            // Negative integers are kept in two's complement.
            std::uint64_t number = 0;
            plist_get_uint_val(node, &number);
            return static_cast<std::int64_t>(number);
        }
        case PLIST_REAL: {
            double number = 0;
            plist_get_real_val(node, &number);
            return number;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

InfoDictionary InfoDictionary::parse(std::string_view bytes) {
    InfoDictionary dictionary;
    const PropertyListPtr root = parseBoundedPropertyList(bytes);
    plist_t raw = root.get();
    if (raw == nullptr || plist_get_node_type(raw) != PLIST_DICT) {
        return dictionary;
    }
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(raw, &iterator);
    if (iterator == nullptr) {
        return dictionary;
    }
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(raw, iterator, &key, &item);
        if (key == nullptr || item == nullptr) {
            std::free(key);
            break;
        }
        const std::string name(key);
        std::free(key);
        if (auto value = scalar(item)) {
            dictionary.values_.insert_or_assign(name, std::move(*value));
        }
    }
    std::free(iterator);
    return dictionary;
}

InfoDictionary InfoDictionary::load(const std::filesystem::path& path) {
    try {
        const auto bytes = readWholeFile(path, maximumFileSize);
        return bytes ? parse(*bytes) : InfoDictionary();
    } catch (const std::filesystem::filesystem_error&) {
        return InfoDictionary();
    }
}

template <class T>
std::optional<T> InfoDictionary::typed(std::string_view key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    if (const T* value = std::get_if<T>(&found->second)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<std::string> InfoDictionary::string(std::string_view key) const {
    return typed<std::string>(key);
}

std::optional<bool> InfoDictionary::boolean(std::string_view key) const {
    return typed<bool>(key);
}

std::optional<std::int64_t> InfoDictionary::integer(std::string_view key) const {
    return typed<std::int64_t>(key);
}

std::optional<double> InfoDictionary::real(std::string_view key) const {
    return typed<double>(key);
}

}  // namespace platform::foundation
