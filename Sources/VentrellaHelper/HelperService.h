#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/XPC/ExportedObject.h"
#include "Platform/XPC/Interface.h"
#include "VentrellaHelper/SMCController.h"
#include "VentrellaShared/VentrellaHelperProtocol.h"

namespace ventrella::helper {

// The four requests as they travel: selector and number of integer arguments.
platform::xpc::Interface helperProtocolInterface();

// The object exported to one accepted client. Every request only hops to the shared
// controller's queue; the reply comes from there.
class HelperService final : public platform::xpc::ExportedObject,
                            public shared::VentrellaHelperProtocol {
  public:
    explicit HelperService(std::shared_ptr<SMCController> controller);

    void status(shared::ReplyBlock reply) override;
    void prepareTakeover(shared::ReplyBlock reply) override;
    void applyCooling(std::int64_t percentage, shared::ReplyBlock reply) override;
    void restoreAutomatic(shared::ReplyBlock reply) override;

    // Selectors outside the interface never reach here (the connection refuses them).
    void invoke(const std::string& selector, const std::vector<std::int64_t>& arguments,
                platform::xpc::ReplyBlock reply) override;

  private:
    std::shared_ptr<SMCController> controller_;
};

}  // namespace ventrella::helper
