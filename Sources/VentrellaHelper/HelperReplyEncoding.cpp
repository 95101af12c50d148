#include "VentrellaHelper/HelperReplyEncoding.h"

namespace ventrella::helper {

std::vector<std::uint8_t> fallbackReplyBytes() {
    return std::vector<std::uint8_t>(fallbackReplyJSON.begin(), fallbackReplyJSON.end());
}

}  // namespace ventrella::helper
