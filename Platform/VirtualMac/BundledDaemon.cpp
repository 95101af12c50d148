#include "Platform/VirtualMac/BundledDaemon.h"

#include <plist/plist.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

namespace virtualmac {

namespace fs = std::filesystem;

namespace {

// Bundled property lists are a few hundred bytes; anything this large is not one.
constexpr std::uintmax_t kLargestPropertyList = 64 * 1024;

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};

std::optional<std::string> text(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* value = plist_get_string_ptr(node, &length);
    return std::string(value, length);
}

}  // namespace

bool isPropertyListName(const std::string& plistName) {
    return !plistName.empty() && plistName.find('/') == std::string::npos && plistName != "." &&
           plistName != "..";
}

fs::path bundledDaemonPropertyList(const fs::path& bundle, const std::string& plistName) {
    return bundle / "Contents/Library/LaunchDaemons" / plistName;
}

DaemonDefinition readBundledDaemonPropertyList(const fs::path& bundle,
                                               const std::string& plistName) {
    const fs::path file = bundledDaemonPropertyList(bundle, plistName);
    const auto fail = [&](const std::string& problem) {
        return DaemonDefinitionError(file.string() + ": " + problem);
    };
    std::error_code error;
    if (!isPropertyListName(plistName)) {
        throw fail("is not a property list name");
    }
    const auto size = fs::file_size(file, error);
    if (error || size > kLargestPropertyList) {
        throw fail(error ? "cannot be read" : "is too large");
    }
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    plist_t parsed = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &parsed);
    const std::unique_ptr<void, PlistFree> owner(parsed);
    if (parsed == nullptr || plist_get_node_type(parsed) != PLIST_DICT) {
        throw fail("is not a property list dictionary");
    }
    const auto label = text(plist_dict_get_item(parsed, "Label"));
    if (!label || label->empty()) {
        throw fail("has no Label");
    }
    const auto program = text(plist_dict_get_item(parsed, "BundleProgram"));
    if (!program || program->empty()) {
        throw fail("has no BundleProgram");
    }
    const fs::path relative = fs::path(*program).lexically_normal();
    if (relative.is_absolute() || relative.empty() || *relative.begin() == "..") {
        throw fail("names a BundleProgram outside the bundle");
    }
    DaemonDefinition definition{*label, {(bundle / relative).string()}};
    if (plist_t arguments = plist_dict_get_item(parsed, "ProgramArguments");
        arguments != nullptr && plist_get_node_type(arguments) == PLIST_ARRAY) {
        for (std::uint32_t index = 1; index < plist_array_get_size(arguments); ++index) {
            const auto argument = text(plist_array_get_item(arguments, index));
            if (!argument) {
                throw fail("has a ProgramArguments entry that is not a string");
            }
            definition.arguments.push_back(*argument);
        }
    }
    return definition;
}

}  // namespace virtualmac
