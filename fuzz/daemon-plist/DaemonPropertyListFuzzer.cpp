// The daemon property-list reader on hostile bytes: a definition it accepts has a label and a
// program, and the program lies under the machine's root.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "FuzzCheck.h"
#include "Platform/VirtualMac/DaemonSupervisor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path root = "/machine-root";
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const auto definition = virtualmac::parseDaemonPropertyList(bytes, root, "fuzz.plist");
        FUZZ_CHECK(!definition.label.empty());
        FUZZ_CHECK(!definition.arguments.empty());
        const auto program = std::filesystem::path(definition.arguments[0]).lexically_normal();
        const auto inside = program.lexically_relative(root);
        FUZZ_CHECK(!inside.empty() && *inside.begin() != "..");
    } catch (const virtualmac::DaemonDefinitionError&) {
    }
    return 0;
}
