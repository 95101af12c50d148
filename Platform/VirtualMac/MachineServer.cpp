#include "Platform/VirtualMac/MachineServer.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <functional>
#include <iostream>
#include <istream>
#include <stdexcept>
#include <system_error>

#include "Platform/VirtualMac/MachineAccess.h"
#include "Platform/VirtualMac/MachineFiles.h"
#include "Platform/VirtualMac/UnixSocketAcceptor.h"
#include "Platform/Workspace/WorkspaceProtocol.h"

namespace virtualmac {

namespace {

// Longest control request line.
constexpr std::size_t kMaximumControlLine = 64 * 1024;
// A longer pause of the timer (a stopped process, a busy machine) is not simulated in one go.
constexpr double kLongestTickSeconds = 1.0;

// An error text may quote bytes that are not UTF-8: they are replaced rather than ending the
// session.
std::string replyLine(const nlohmann::ordered_json& reply) {
    return reply.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

// The machine steps by the real time passed times the speed: both must be positive numbers.
MachineServerOptions checkedOptions(MachineServerOptions options) {
    if (!std::isfinite(options.speed) || options.speed <= 0) {
        throw std::invalid_argument("the speed must be a positive number");
    }
    if (!std::isfinite(options.tickSeconds) || options.tickSeconds <= 0) {
        throw std::invalid_argument("the time between steps must be a positive number");
    }
    if (!options.clock) {
        throw std::invalid_argument("the machine needs a clock to step by");
    }
    return options;
}

}  // namespace

class MachineServer::ControlSession : public std::enable_shared_from_this<ControlSession> {
  public:
    ControlSession(MachineServer& server, asio::local::stream_protocol::socket socket,
                   ConnectionShares::Share share)
        : server_(server),
          share_(std::move(share)),
          socket_(std::move(socket)),
          peer_(ControlPeer::of(socket_.native_handle())),
          buffer_(kMaximumControlLine) {}

    void start() { readLine(); }

  private:
    void readLine() {
        asio::async_read_until(socket_, buffer_, '\n',
                               [self = shared_from_this()](std::error_code error, std::size_t) {
                                   if (error) {
                                       return;  // closed, or a line over the cap: the session ends
                                   }
                                   std::istream stream(&self->buffer_);
                                   std::string line;
                                   std::getline(stream, line);
                                   self->server_.respond(
                                       line, self->peer_,
                                       [self](const nlohmann::ordered_json& reply) {
                                           self->reply_ = replyLine(reply);
                                           self->writeReply();
                                       });
                               });
    }

    void writeReply() {
        asio::async_write(socket_, asio::buffer(reply_),
                          [self = shared_from_this()](std::error_code error, std::size_t) {
                              if (self->server_.stopAfterReply_) {
                                  self->server_.shutdown();
                                  return;
                              }
                              if (!error) {
                                  self->readLine();
                              }
                          });
    }

    MachineServer& server_;
    ConnectionShares::Share share_;
    asio::local::stream_protocol::socket socket_;
    // Who connected: the kernel's word, taken once.
    const ControlPeer peer_;
    asio::streambuf buffer_;
    std::string reply_;
};

std::filesystem::path MachineServer::controlSocketPath(const std::filesystem::path& runDirectory) {
    return runDirectory / "control.sock";
}

MachineServer::MachineServer(VirtualMachine& machine, MachineServerOptions options)
    : machine_(machine),
      options_(checkedOptions(std::move(options))),
      iokit_(context_,
             // Root's alone, whatever the umask: nobody else may swap what lies in it.
             (layOutFolder(options_.runDirectory), options_.runDirectory / "iokit.sock"),
             machine_.services(), machine_.hid(), logLine()),
      workspace_(context_, options_.runDirectory / platform::workspace::kWorkspaceSocketName,
                 SimulatedWorkspace::kSleepWaitSeconds, logLine()),
      tickTimer_(context_),
      signals_(context_, SIGINT, SIGTERM),
      lastTick_(options_.clock()),
      control_(machine_, options_.speed, [this] { stopAfterReply_ = true; }),
      controlAcceptor_(
          context_, controlSocketPath(options_.runDirectory),
          [this](asio::local::stream_protocol::socket socket) { serveControl(std::move(socket)); },
          logLine()) {
    scheduleTick();
    signals_.async_wait([this](std::error_code error, int) {
        if (!error) {
            shutdown();
        }
    });
}

MachineServer::~MachineServer() {
    shutdown();
}

void MachineServer::respond(const std::string& line, const ControlPeer& peer, const Reply& reply) {
    nlohmann::json request;
    try {
        request = nlohmann::json::parse(line);
    } catch (const nlohmann::json::parse_error&) {
        reply({{"ok", false}, {"error", "the request is not JSON"}});
        return;
    } catch (const nlohmann::json::exception& error) {
        // Well-formed, but beyond what a request can hold (a number past a double's range).
        reply(
            {{"ok", false}, {"error", std::string("the request cannot be read: ") + error.what()}});
        return;
    }
    if (auto refusal = admitControlRequest(request, peer)) {
        reply(*refusal);
        return;
    }
    // The workspace answers some requests only later (sleep waits for its observers).
    if (SimulatedWorkspace::handles(request)) {
        workspace_.handle(request, reply);
        return;
    }
    const auto command = request.is_object() ? request.find("command") : request.end();
    if (command != request.end() && command->is_string()) {
        for (const auto& extension : deferredExtensions_) {
            if (extension(command->get<std::string>(), request, reply)) {
                return;
            }
        }
    }
    nlohmann::ordered_json answer = control_.handle(request);
    if (answer.is_object() && answer.contains("ok") && answer["ok"] == true &&
        request.is_object() && request.contains("command") && request["command"] == "status") {
        answer["status"]["workspace"] = workspace_.statusJSON();
    }
    reply(answer);
}

void MachineServer::serveControl(asio::local::stream_protocol::socket socket) {
    // Over its user's share, the connection closes here.
    if (auto share = controlShares_.take(socket.native_handle())) {
        std::make_shared<ControlSession>(*this, std::move(socket), std::move(share))->start();
    }
}

void MachineServer::scheduleTick() {
    tickTimer_.expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(options_.tickSeconds)));
    tickTimer_.async_wait([this](std::error_code error) {
        if (error) {
            return;
        }
        step();
        scheduleTick();
    });
}

void MachineServer::step() {
    try {
        const auto now = options_.clock();
        const double real = std::chrono::duration<double>(now - lastTick_).count();
        lastTick_ = now;
        // A clock that went back steps by nothing.
        const double seconds =
            std::isfinite(real) ? std::clamp(real, 0.0, kLongestTickSeconds) : 0.0;
        machine_.tick(seconds * options_.speed);
    } catch (const std::exception& error) {
        // One failed step must not end the machine: it steps on at the next tick.
        log(std::string("a step of the machine failed: ") + error.what());
    } catch (...) {
        log("a step of the machine failed");
    }
}

UnixSocketAcceptor::Log MachineServer::logLine() {
    return [this](const std::string& line) { log(line); };
}

void MachineServer::log(const std::string& line) const {
    if (options_.log) {
        options_.log(line);
    } else {
        std::cerr << "virtual-mac: " << line << "\n";
    }
}

void MachineServer::run() {
    context_.run();
}

void MachineServer::requestStop() {
    asio::post(context_, [this] { shutdown(); });
}

void MachineServer::shutdown() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    std::error_code ignored;
    tickTimer_.cancel();
    signals_.cancel(ignored);
    controlAcceptor_.close();
    iokit_.close();
    workspace_.close();
    // Sessions still open end with the context.
    context_.stop();
}

}  // namespace virtualmac
