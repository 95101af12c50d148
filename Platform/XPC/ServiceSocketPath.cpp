#include "Platform/XPC/ServiceSocketPath.h"

#include "Platform/Foundation/PlatformRoot.h"
#include "Platform/XPC/XPCError.h"

#include <sys/un.h>

#include <string>

namespace platform::xpc {

namespace {

bool isValidServiceName(std::string_view name) {
    if (name.empty() || name.size() > 200 || name.front() == '.') {
        return false;
    }
    for (const char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::filesystem::path serviceSocketPath(std::string_view serviceName) {
    if (!isValidServiceName(serviceName)) {
        throw XPCError(XPCError::Code::invalidServiceName);
    }
    std::string macPath = "/var/run/xpc/";
    macPath.append(serviceName);
    macPath.append(".sock");
    auto path = platform::foundation::resolveMacPath(macPath);
    // sun_path must also hold the terminating NUL.
    if (path.native().size() >= sizeof(sockaddr_un{}.sun_path)) {
        throw XPCError(XPCError::Code::socketPathTooLong);
    }
    return path;
}

}  // namespace platform::xpc
