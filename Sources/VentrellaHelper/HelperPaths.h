#pragma once

#include <filesystem>
#include <string_view>

namespace ventrella::helper {

// The helper's fixed names and places. The paths are macOS paths, resolved under the platform
// root whenever one of the functions is called.
struct HelperPaths {
    HelperPaths() = delete;

    static constexpr std::string_view machServiceName = "com.quillmoor.Ventrella.helper";
    static constexpr std::string_view logCategory = "ClientAuthorization";
    static constexpr std::string_view expectedClientIdentifier = "com.quillmoor.Ventrella";
    static constexpr std::string_view controllerQueueLabel =
        "com.quillmoor.Ventrella.helper.controller";

    static constexpr std::string_view supportDirectoryPath =
        "/Library/Application Support/Ventrella";
    static constexpr std::string_view markerFilePath =
        "/Library/Application Support/Ventrella/manual-owner";
    static constexpr std::string_view clientHashFilePath =
        "/Library/Application Support/Ventrella/client-cdhash";
    static constexpr std::string_view auditFilePath =
        "/Library/Application Support/Ventrella/helper-auth.jsonl";

    // The helper's log, standing in for the unified log (see HelperLogFile.h).
    static constexpr std::string_view logFilePath =
        "/var/log/unified/com.quillmoor.Ventrella.helper.log";

    static std::filesystem::path supportDirectory();
    static std::filesystem::path markerFile();
    static std::filesystem::path clientHashFile();
    static std::filesystem::path auditFile();
    static std::filesystem::path logFile();
};

}  // namespace ventrella::helper
