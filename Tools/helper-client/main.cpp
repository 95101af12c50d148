// ventrella-helper-client: talks to the helper daemon as the application does.
//
//   ventrella-helper-client status
//   ventrella-helper-client takeover
//   ventrella-helper-client restore
//   ventrella-helper-client apply PERCENT [--renew-every SECONDS --for SECONDS]
//   ventrella-helper-client install | uninstall | installed   (see InstallerCommand.h)
//
// Prints each decoded reply; exits 1 on an error reply or a failed connection, 2 on bad usage.

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "InstallerCommand.h"
#include "Platform/XPC/Connection.h"
#include "VentrellaHelper/HelperPaths.h"
#include "VentrellaHelper/HelperService.h"
#include "VentrellaShared/FanControlMode.h"
#include "VentrellaShared/HelperContractJSON.h"
#include "VentrellaShared/HelperControlState.h"

namespace {

using namespace ventrella;

constexpr std::string_view usage =
    "usage: ventrella-helper-client status | takeover | restore |\n"
    "       apply PERCENT [--renew-every SECONDS --for SECONDS] |\n"
    "       install | uninstall | installed\n";

// The application's own reply timeout.
constexpr auto replyTimeout = std::chrono::seconds(18);

template <class Number>
std::optional<Number> parse(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string rpm(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

void printFans(const std::vector<shared::FanInfo>& fans) {
    for (const auto& fan : fans) {
        std::cout << "  fan " << fan.id << ": " << rpm(fan.actualRPM) << " rpm, target "
                  << rpm(fan.targetRPM) << " rpm (" << rpm(fan.minimumRPM) << "-"
                  << rpm(fan.maximumRPM) << "), " << shared::toString(fan.mode) << "\n";
    }
}

// Sends one request and waits for its reply data; an XPC error is printed and gives nothing.
std::optional<std::vector<std::uint8_t>> call(platform::xpc::Connection& connection,
                                              const std::string& selector,
                                              std::vector<std::int64_t> arguments) {
    auto outcome = std::make_shared<std::promise<std::optional<std::vector<std::uint8_t>>>>();
    auto settle = [outcome](std::optional<std::vector<std::uint8_t>> value) {
        try {
            outcome->set_value(std::move(value));
        } catch (const std::future_error&) {
        }
    };
    auto proxy = connection.remoteObjectProxyWithErrorHandler(
        [settle](const platform::xpc::XPCError& error) {
            std::cerr << "connection error: " << error.what() << "\n";
            settle(std::nullopt);
        });
    proxy.send(selector, std::move(arguments),
               [settle](platform::xpc::ReplyData data) { settle(std::move(data)); });
    auto future = outcome->get_future();
    if (future.wait_for(replyTimeout) != std::future_status::ready) {
        std::cerr << "the helper did not reply in time\n";
        return std::nullopt;
    }
    return future.get();
}

template <class Payload>
bool report(const shared::HelperReply<Payload>& reply) {
    if (reply.protocolVersion() != shared::VentrellaProtocol::version) {
        std::cerr << "error: helper protocol version " << reply.protocolVersion() << "\n";
        return false;
    }
    if (reply.errorMessage()) {
        std::cerr << "error: " << *reply.errorMessage() << "\n";
        return false;
    }
    if (!reply.payload()) {
        std::cerr << "error: the reply carries no result\n";
        return false;
    }
    return true;
}

bool request(platform::xpc::Connection& connection, const std::string& command,
             std::int64_t percentage = 0) {
    try {
        if (command == "status") {
            auto data = call(connection, "statusWithReply:", {});
            if (!data)
                return false;
            auto reply = shared::decodeHelperStatusReply(*data);
            if (!report(reply))
                return false;
            std::cout << "status: " << shared::toString(reply.payload()->state);
            if (reply.payload()->activePercentage) {
                std::cout << ", holding " << *reply.payload()->activePercentage << "%";
            }
            std::cout << "\n";
            printFans(reply.payload()->fans);
            return true;
        }
        std::optional<std::vector<std::uint8_t>> data;
        if (command == "takeover") {
            data = call(connection, "prepareTakeoverWithReply:", {});
        } else if (command == "restore") {
            data = call(connection, "restoreAutomaticWithReply:", {});
        } else {
            data = call(connection, "applyCoolingWithPercentage:withReply:", {percentage});
        }
        if (!data)
            return false;
        auto reply = shared::decodeFanControlResultReply(*data);
        if (!report(reply))
            return false;
        std::cout << command << ": " << shared::toString(reply.payload()->state);
        if (reply.payload()->appliedPercentage) {
            std::cout << " at " << *reply.payload()->appliedPercentage << "%";
        }
        std::cout << "\n";
        printFans(reply.payload()->fans);
        return true;
    } catch (const std::exception& error) {
        std::cerr << "error: the reply could not be decoded: " << error.what() << "\n";
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // One line per reply, written as it arrives, also when the output is a file or a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << usage;
        return 2;
    }
    const std::string command(args[0]);
    if (tools::isInstallerCommand(command) && args.size() == 1) {
        return tools::runInstallerCommand(command);
    }
    std::int64_t percentage = 0;
    std::optional<double> renewEvery;
    double duration = 0;
    if (command == "apply") {
        auto parsed = args.size() >= 2 ? parse<std::int64_t>(args[1]) : std::nullopt;
        if (!parsed) {
            std::cerr << usage;
            return 2;
        }
        percentage = *parsed;
        for (std::size_t i = 2; i + 1 < args.size(); i += 2) {
            auto value = parse<double>(args[i + 1]);
            if (args[i] == "--renew-every" && value && *value > 0) {
                renewEvery = *value;
            } else if (args[i] == "--for" && value && *value >= 0) {
                duration = *value;
            } else {
                std::cerr << usage;
                return 2;
            }
        }
        if (args.size() % 2 != 0) {
            std::cerr << usage;
            return 2;
        }
    } else if ((command != "status" && command != "takeover" && command != "restore") ||
               args.size() != 1) {
        std::cerr << usage;
        return 2;
    }

    platform::xpc::ConnectionOptions options;
    options.privileged = true;  // only a root listener is the genuine helper
    auto connection = platform::xpc::Connection::connectToService(
        std::string(helper::HelperPaths::machServiceName), options);
    connection->setRemoteObjectInterface(helper::helperProtocolInterface());
    connection->resume();

    bool ok = request(*connection, command, percentage);
    if (ok && renewEvery) {
        // Renew as the application does, then stop renewing and leave the rest to the watchdog.
        using Duration = std::chrono::steady_clock::duration;
        const auto every =
            std::chrono::duration_cast<Duration>(std::chrono::duration<double>(*renewEvery));
        const auto begin = std::chrono::steady_clock::now();
        const auto end =
            begin + std::chrono::duration_cast<Duration>(std::chrono::duration<double>(duration));
        for (auto next = begin + every; ok && next <= end; next += every) {
            std::this_thread::sleep_until(next);
            ok = request(*connection, command, percentage);
        }
    }
    connection->invalidate();
    return ok ? 0 : 1;
}
