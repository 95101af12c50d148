#include "VentrellaHardware/AppleSystemIdentity.h"

#include <cstddef>
#include <vector>

namespace ventrella::hardware {

std::string AppleSystemIdentity::brandString() {
    return systemValue("machdep.cpu.brand_string");
}

std::string AppleSystemIdentity::hardwareModel() {
    return systemValue("hw.model");
}

std::string AppleSystemIdentity::systemValue(std::string_view name,
                                             platform::foundation::SysctlByName sysctl) {
    const std::string cName(name);
    std::size_t size = 0;
    if (sysctl == nullptr || sysctl(cName.c_str(), nullptr, &size) != 0 || size < 1) {
        return {};
    }
    // One spare zero byte, so the text ends even if the value carries no terminator.
    std::vector<char> buffer(size + 1, '\0');
    std::size_t length = size;
    if (sysctl(cName.c_str(), buffer.data(), &length) != 0) {
        return {};
    }
    return std::string(buffer.data());
}

}  // namespace ventrella::hardware
