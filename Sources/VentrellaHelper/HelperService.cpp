#include "VentrellaHelper/HelperService.h"

#include <utility>

namespace ventrella::helper {

namespace {

using Protocol = shared::VentrellaHelperProtocol;
const std::string statusSelector(Protocol::statusSelector);
const std::string prepareTakeoverSelector(Protocol::prepareTakeoverSelector);
const std::string applyCoolingSelector(Protocol::applyCoolingSelector);
const std::string restoreAutomaticSelector(Protocol::restoreAutomaticSelector);

}  // namespace

platform::xpc::Interface helperProtocolInterface() {
    return {{statusSelector, 0},
            {prepareTakeoverSelector, 0},
            {applyCoolingSelector, 1},
            {restoreAutomaticSelector, 0}};
}

HelperService::HelperService(std::shared_ptr<SMCController> controller)
    : controller_(std::move(controller)) {}

void HelperService::status(shared::ReplyBlock reply) {
    controller_->status(std::move(reply));
}

void HelperService::prepareTakeover(shared::ReplyBlock reply) {
    controller_->prepareTakeover(std::move(reply));
}

void HelperService::applyCooling(std::int64_t percentage, shared::ReplyBlock reply) {
    controller_->applyCooling(percentage, std::move(reply));
}

void HelperService::restoreAutomatic(shared::ReplyBlock reply) {
    controller_->restoreAutomatic(std::move(reply));
}

void HelperService::invoke(const std::string& selector, const std::vector<std::int64_t>& arguments,
                           platform::xpc::ReplyBlock reply) {
    shared::ReplyBlock block(
        [reply = std::move(reply)](std::vector<std::uint8_t> bytes) { reply(std::move(bytes)); });
    if (selector == statusSelector && arguments.empty()) {
        status(std::move(block));
    } else if (selector == prepareTakeoverSelector && arguments.empty()) {
        prepareTakeover(std::move(block));
    } else if (selector == applyCoolingSelector && arguments.size() == 1) {
        applyCooling(arguments[0], std::move(block));
    } else if (selector == restoreAutomaticSelector && arguments.empty()) {
        restoreAutomatic(std::move(block));
    }
}

}  // namespace ventrella::helper
