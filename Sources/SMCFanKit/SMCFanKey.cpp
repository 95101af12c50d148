#include "SMCFanKit/SMCFanKey.h"

namespace ventrella::fan {

std::string SMCFanKey::key(std::string_view format, int fan) {
    std::string result(format);
    auto position = result.find("%d");
    if (position != std::string::npos) {
        result.replace(position, 2, std::to_string(fan));
    }
    return result;
}

}  // namespace ventrella::fan
