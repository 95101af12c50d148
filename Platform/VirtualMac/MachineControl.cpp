#include "Platform/VirtualMac/MachineControl.h"

#include <cmath>

namespace virtualmac {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

ordered_json failure(const std::string& error) {
    return {{"ok", false}, {"error", error}};
}

// JSON never carries NaN or infinity.
ordered_json number(double value) {
    return std::isfinite(value) ? ordered_json(value) : ordered_json(nullptr);
}

const json& field(const json& request, const char* name) {
    const auto found = request.find(name);
    if (found == request.end()) {
        throw MachineRequestError(std::string("the request lacks \"") + name + "\"");
    }
    return *found;
}

double numberField(const json& request, const char* name) {
    const json& value = field(request, name);
    if (!value.is_number()) {
        throw MachineRequestError(std::string("\"") + name + "\" must be a number");
    }
    return value.get<double>();
}

std::optional<double> optionalNumber(const json& request, const char* name) {
    if (!request.contains(name)) {
        return std::nullopt;
    }
    return numberField(request, name);
}

std::size_t fanField(const json& request) {
    const json& value = field(request, "fan");
    if (!value.is_number_integer() || value.get<std::int64_t>() < 0) {
        throw MachineRequestError("\"fan\" must be a fan number from 0");
    }
    return value.get<std::size_t>();
}

std::uint8_t byteField(const json& request, const char* name) {
    const json& value = field(request, name);
    if (!value.is_number_integer() || value.get<std::int64_t>() < 0 ||
        value.get<std::int64_t>() > 255) {
        throw MachineRequestError(std::string("\"") + name + "\" must be a byte, 0 to 255");
    }
    return static_cast<std::uint8_t>(value.get<unsigned>());
}

std::string keyField(const json& request) {
    const json& value = field(request, "key");
    if (!value.is_string()) {
        throw MachineRequestError("\"key\" must be a text");
    }
    return value.get<std::string>();
}

}  // namespace

ordered_json MachineControl::statusJSON() const {
    const MachineStatus status = machine_.status();
    ordered_json reply;
    reply["profile"] = status.profile;
    reply["hardwareModel"] = machine_.profile().hardwareModel;
    reply["brandString"] = machine_.profile().brandString;
    reply["speed"] = speed_;
    reply["simulatedSeconds"] = number(status.simulatedSeconds);
    reply["load"] = {{"cpu", number(status.cpuLoadPercent)},
                     {"gpu", number(status.gpuLoadPercent)}};
    reply["temperatures"] = {{"cpu", number(status.cpuCelsius)},
                             {"gpu", number(status.gpuCelsius)}};
    ordered_json fans = ordered_json::array();
    for (std::size_t index = 0; index < status.fans.size(); ++index) {
        const auto& fan = status.fans[index];
        fans.push_back({{"id", index},
                        {"mode", fan.manual ? "manual" : "automatic"},
                        {"actual", number(fan.actualRPM)},
                        {"target", number(fan.targetRPM)},
                        {"minimum", number(fan.minimumRPM)},
                        {"maximum", number(fan.maximumRPM)}});
    }
    reply["fans"] = std::move(fans);
    ordered_json smc = ordered_json::object();
    for (const auto& reading : machine_.smcTemperatures()) {
        smc[reading.name] = number(reading.celsius);
    }
    reply["smcTemperatures"] = std::move(smc);
    ordered_json hid = ordered_json::object();
    for (const auto& reading : machine_.hidTemperatures()) {
        hid[reading.name] = number(reading.celsius);
    }
    reply["hidTemperatures"] = std::move(hid);
    reply["faults"] = status.faults;
    return reply;
}

void MachineControl::fault(const json& request) {
    const json& kind = field(request, "kind");
    const std::string name = kind.is_string() ? kind.get<std::string>() : std::string();
    if (name == "refuse-writes") {
        machine_.refuseWrites(keyField(request),
                              request.contains("result") ? byteField(request, "result") : 0x86);
    } else if (name == "result-code") {
        machine_.injectResult(keyField(request), byteField(request, "code"));
    } else if (name == "drop-manual") {
        machine_.dropManualMode(fanField(request));
    } else if (name == "mask-stuck") {
        machine_.keepMaskBits();
    } else if (name == "ftst-stuck") {
        machine_.stickForceTest();
    } else if (name == "other-app") {
        machine_.takeFanManual(fanField(request), numberField(request, "rpm"));
    } else if (name == "unreadable-temperatures") {
        machine_.makeTemperaturesUnreadable();
    } else {
        throw MachineRequestError("unknown fault kind \"" + name + "\"");
    }
}

ordered_json MachineControl::handle(const json& request) {
    try {
        if (!request.is_object()) {
            throw MachineRequestError("a request is a JSON object");
        }
        const json& command = field(request, "command");
        const std::string name = command.is_string() ? command.get<std::string>() : std::string();
        if (name == "status") {
            return {{"ok", true}, {"status", statusJSON()}};
        }
        if (name == "load") {
            machine_.setLoad(optionalNumber(request, "cpu"), optionalNumber(request, "gpu"));
        } else if (name == "fault") {
            fault(request);
        } else if (name == "clear-faults") {
            machine_.clearFaults();
        } else if (name == "stop") {
            stop_();
        } else {
            for (const auto& extension : extensions_) {
                if (auto reply = extension(name, request)) {
                    return *reply;
                }
            }
            throw MachineRequestError("unknown command \"" + name + "\"");
        }
        return {{"ok", true}};
    } catch (const std::exception& error) {
        // Whatever one request runs into is that request's answer: the machine serves on.
        return failure(error.what());
    } catch (...) {
        return failure("the request failed");
    }
}

}  // namespace virtualmac
