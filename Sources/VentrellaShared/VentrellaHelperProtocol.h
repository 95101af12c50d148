#pragma once

#include <cstdint>
#include <string_view>

#include "VentrellaShared/ReplyBlock.h"

namespace ventrella::shared {

// The four requests the helper serves, in their wire order. Each reply block receives the JSON
// of one HelperReply: HelperStatus for `status`, FanControlResult for the others. Failures
// travel as replies with an error message, never as transport errors.
class VentrellaHelperProtocol {
  public:
    static constexpr std::string_view machServiceName = "com.quillmoor.Ventrella.helper";

    // The selectors as they travel; only applyCooling carries an argument.
    static constexpr std::string_view statusSelector = "statusWithReply:";
    static constexpr std::string_view prepareTakeoverSelector = "prepareTakeoverWithReply:";
    static constexpr std::string_view applyCoolingSelector =
        "applyCoolingWithPercentage:withReply:";
    static constexpr std::string_view restoreAutomaticSelector = "restoreAutomaticWithReply:";

    virtual ~VentrellaHelperProtocol() = default;

    virtual void status(ReplyBlock reply) = 0;
    virtual void prepareTakeover(ReplyBlock reply) = 0;
    // The percentage arrives as sent; it is range-checked before any narrowing.
    virtual void applyCooling(std::int64_t percentage, ReplyBlock reply) = 0;
    virtual void restoreAutomatic(ReplyBlock reply) = 0;
};

}  // namespace ventrella::shared
