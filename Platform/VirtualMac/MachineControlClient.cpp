#include "Platform/VirtualMac/MachineControlClient.h"

#include <string>

#include "Platform/Foundation/LineExchange.h"
#include "Platform/VirtualMac/MachineServer.h"

namespace virtualmac {

nlohmann::ordered_json sendControlRequest(const std::filesystem::path& runDirectory,
                                          const nlohmann::json& request, double timeoutSeconds) {
    using platform::foundation::LineExchangeError;
    const std::string path = MachineServer::controlSocketPath(runDirectory).string();
    std::string reply;
    try {
        reply = platform::foundation::exchangeLine(path, request.dump(), timeoutSeconds);
    } catch (const LineExchangeError& error) {
        if (error.kind() == LineExchangeError::Kind::refused) {
            throw MachineAccessRefused(std::string("not permitted: ") + error.what());
        }
        if (error.kind() == LineExchangeError::Kind::unreachable) {
            throw MachineNotRunning(std::string("no machine is running (") + error.what() + ")");
        }
        throw MachineNotRunning("the machine did not answer on " + path);
    }
    try {
        return nlohmann::ordered_json::parse(reply);
    } catch (const nlohmann::json::parse_error&) {
        throw MachineNotRunning("the machine answered with something other than JSON on " + path);
    }
}

}  // namespace virtualmac
