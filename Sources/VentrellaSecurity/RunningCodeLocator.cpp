#include "VentrellaSecurity/RunningCodeLocator.h"

namespace ventrella::security::RunningCodeLocator {

namespace ps = platform::security;

std::optional<std::filesystem::path> currentURL() {
    return currentURL(ps::systemCodeSigningServices());
}

std::optional<std::filesystem::path> currentURL(const ps::CodeSigningServices& services) {
    ps::Code self;
    if (services.copySelf(ps::defaultFlags, self) != ps::statusSuccess || !self)
        return std::nullopt;
    ps::StaticCode staticCode;
    if (services.copyStaticCode(self, ps::defaultFlags, staticCode) != ps::statusSuccess ||
        !staticCode)
        return std::nullopt;
    std::filesystem::path path;
    if (services.copyPath(staticCode, ps::defaultFlags, path) != ps::statusSuccess || path.empty())
        return std::nullopt;
    return path;
}

}  // namespace ventrella::security::RunningCodeLocator
