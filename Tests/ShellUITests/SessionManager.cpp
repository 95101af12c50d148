#include "SessionManager.h"

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

namespace ventrella::shelluitests {

namespace {

// Only clients on this machine's local socket, which need no authentication file.
Bool localOnly(char* hostName) {
    return hostName != nullptr && std::strncmp(hostName, "local/", 6) == 0 ? True : False;
}

// libICE's defaults end the process on a broken connection; here it is only closed.
void ignoreIOError(IceConn) {}
void ignoreError(IceConn, Bool, int, unsigned long, int, int, IcePointer) {}
void ignoreSmsError(SmsConn, Bool, int, unsigned long, int, int, SmPointer) {}

// The manager whose listening socket a new client came through.
SessionManager* current = nullptr;

void wake(int descriptor) {
    const std::uint64_t one = 1;
    (void)::write(descriptor, &one, sizeof one);
}

}  // namespace

struct SessionManager::Clients {
    int listenCount = 0;
    IceListenObj* listening = nullptr;
    std::vector<IceConn> connections;
    std::map<IceConn, SmsConn> registered;
};

struct SessionManager::Callbacks {
    static Status newClient(SmsConn, SmPointer, unsigned long* mask, SmsCallbacks* callbacks,
                            char** /*failureReason*/) {
        *callbacks = SmsCallbacks{};
        callbacks->register_client.callback = &registerClient;
        callbacks->register_client.manager_data = current;
        callbacks->interact_request.callback = [](SmsConn client, SmPointer, int) {
            SmsInteract(client);
        };
        callbacks->interact_done.callback = [](SmsConn, SmPointer, Bool) {};
        callbacks->save_yourself_request.callback = [](SmsConn, SmPointer, int, Bool, int, Bool,
                                                       Bool) {};
        callbacks->save_yourself_phase2_request.callback = [](SmsConn client, SmPointer) {
            SmsSaveYourselfPhase2(client);
        };
        callbacks->save_yourself_done.callback = [](SmsConn, SmPointer, Bool) {};
        callbacks->close_connection.callback = &closeConnection;
        callbacks->close_connection.manager_data = current;
        callbacks->set_properties.callback = [](SmsConn, SmPointer, int count, SmProp** props) {
            for (int index = 0; index < count; ++index) {
                SmFreeProperty(props[index]);
            }
            std::free(props);
        };
        callbacks->delete_properties.callback = [](SmsConn, SmPointer, int count, char** names) {
            for (int index = 0; index < count; ++index) {
                std::free(names[index]);
            }
            std::free(names);
        };
        callbacks->get_properties.callback = [](SmsConn client, SmPointer) {
            SmsReturnProperties(client, 0, nullptr);
        };
        *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
                SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
                SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask |
                SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
        return 1;
    }

    static Status registerClient(SmsConn client, SmPointer data, char* previousId) {
        std::free(previousId);
        char* id = SmsGenerateClientID(client);
        const bool replied = id != nullptr && SmsRegisterClientReply(client, id) != 0;
        std::free(id);
        if (!replied) {
            return 0;
        }
        auto* manager = static_cast<SessionManager*>(data);
        manager->clients_->registered[SmsGetIceConnection(client)] = client;
        {
            std::lock_guard lock(manager->mutex_);
            ++manager->registered_;
        }
        manager->changed_.notify_all();
        return 1;
    }

    static void closeConnection(SmsConn client, SmPointer data, int count, char** reasons) {
        SmFreeReasons(count, reasons);
        auto* manager = static_cast<SessionManager*>(data);
        IceConn connection = SmsGetIceConnection(client);
        manager->clients_->registered.erase(connection);
        SmsCleanUp(client);
        IceSetShutdownNegotiation(connection, False);
        IceCloseConnection(connection);
    }
};

SessionManager::SessionManager() : clients_(std::make_unique<Clients>()) {
    if (current != nullptr) {
        throw std::runtime_error("one session manager at a time");
    }
    char error[256] = {};
    static bool initialized = false;
    if (!initialized) {
        IceSetIOErrorHandler(&ignoreIOError);
        IceSetErrorHandler(&ignoreError);
        SmsSetErrorHandler(&ignoreSmsError);
        if (SmsInitialize("Ventrella tests", "1.0", &Callbacks::newClient, nullptr, &localOnly,
                          sizeof error, error) == 0) {
            throw std::runtime_error(std::string("cannot start a session manager: ") + error);
        }
        initialized = true;
    }
    Clients& clients = *clients_;
    if (IceListenForConnections(&clients.listenCount, &clients.listening, sizeof error, error) ==
        0) {
        throw std::runtime_error(std::string("cannot listen for session clients: ") + error);
    }
    for (int index = 0; index < clients.listenCount; ++index) {
        IceSetHostBasedAuthProc(clients.listening[index], &localOnly);
        char* id = IceGetListenConnectionString(clients.listening[index]);
        if (id != nullptr && std::strncmp(id, "local/", 6) == 0 && address_.empty()) {
            address_ = id;
        }
        std::free(id);
    }
    if (address_.empty()) {
        IceFreeListenObjs(clients.listenCount, clients.listening);
        throw std::runtime_error("no local socket for session clients");
    }
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    current = this;
    thread_ = std::thread([this] { run(); });
}

SessionManager::~SessionManager() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake(wake_);
    thread_.join();
    for (const auto& [connection, client] : clients_->registered) {
        SmsCleanUp(client);
    }
    for (IceConn connection : clients_->connections) {
        IceSetShutdownNegotiation(connection, False);
        IceCloseConnection(connection);
    }
    IceFreeListenObjs(clients_->listenCount, clients_->listening);
    ::close(wake_);
    current = nullptr;
}

bool SessionManager::waitForClients(std::size_t count, double seconds) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                             [&] { return registered_ >= count; });
}

void SessionManager::endSession() {
    {
        std::lock_guard lock(mutex_);
        endRequested_ = true;
    }
    wake(wake_);
}

void SessionManager::run() {
    Clients& clients = *clients_;
    for (;;) {
        std::vector<pollfd> watched{{wake_, POLLIN, 0}};
        for (int index = 0; index < clients.listenCount; ++index) {
            watched.push_back({IceGetListenConnectionNumber(clients.listening[index]), POLLIN, 0});
        }
        for (IceConn connection : clients.connections) {
            watched.push_back({IceConnectionNumber(connection), POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            continue;
        }
        std::uint64_t count = 0;
        (void)::read(wake_, &count, sizeof count);
        bool end = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            end = std::exchange(endRequested_, false);
        }
        if (end) {
            for (const auto& [connection, client] : clients.registered) {
                SmsDie(client);
                IceFlush(connection);
            }
        }
        serve(watched.data() + 1, watched.size() - 1);
    }
}

void SessionManager::serve(pollfd* ready, std::size_t count) {
    Clients& clients = *clients_;
    const auto listeners = static_cast<std::size_t>(clients.listenCount);
    for (std::size_t index = 0; index < listeners; ++index) {
        if ((ready[index].revents & POLLIN) == 0) {
            continue;
        }
        IceAcceptStatus status{};
        if (IceConn connection = IceAcceptConnection(clients.listening[index], &status)) {
            clients.connections.push_back(connection);
        }
    }
    // The connections as they were when polled; processing may close some.
    const std::vector<IceConn> polled(
        clients.connections.begin(),
        clients.connections.begin() + static_cast<std::ptrdiff_t>(count - listeners));
    for (std::size_t index = 0; index < polled.size(); ++index) {
        if ((ready[listeners + index].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        IceConn connection = polled[index];
        const IceProcessMessagesStatus status = IceProcessMessages(connection, nullptr, nullptr);
        if (status == IceProcessMessagesSuccess) {
            continue;
        }
        if (status == IceProcessMessagesIOError) {
            if (const auto client = clients.registered.find(connection);
                client != clients.registered.end()) {
                SmsCleanUp(client->second);
                clients.registered.erase(client);
            }
            IceSetShutdownNegotiation(connection, False);
            IceCloseConnection(connection);
        }
        std::erase(clients.connections, connection);
    }
}

}  // namespace ventrella::shelluitests
