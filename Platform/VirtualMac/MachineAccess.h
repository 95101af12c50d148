#pragma once

#include <sys/types.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>

namespace virtualmac {

// Who may ask the running machine what, as a Mac decides it. Every local user may use what a
// Mac offers applications: open the SMC and read it, read the HID sensors, observe the
// workspace, look up, register and unregister a daemon of its own application's bundle, read a
// launchd job and run a script with administrator privileges once the person at the prompt
// allows it. Only root may write SMC keys, load and unload launchd's jobs and use the machine's
// own controls (load, faults, thermal state, sleep and wake, approvals, the prompt's answer,
// status, stop). Who asks is the kernel's word: the credentials of the peer of each accepted
// socket, never anything the peer says.

// The user of the peer of a connected Unix socket, as the kernel took it when the peer
// connected; nothing when the kernel cannot tell.
std::optional<uid_t> peerUser(int socketDescriptor);

// Whether the user is root, or the user the machine itself runs as (a machine someone started
// in a root of their own is theirs).
bool isPrivilegedUser(uid_t user);

// Whether the peer of a connected Unix socket is such a user. False when the kernel cannot
// tell.
bool isPrivilegedPeer(int socketDescriptor);

// Who asks on one control connection, as the kernel told it when the peer connected.
struct ControlPeer {
    bool privileged = false;
    // The bundle of the peer's program (PeerBundle.h), taken only for a peer that is not
    // privileged: the daemons of that bundle are the only ones such a peer may manage.
    std::optional<std::filesystem::path> bundle;

    static ControlPeer of(int socketDescriptor);
};

// Checks a control request against what the peer may ask: nothing when it may, else the reply
// refusing it, which carries "notPermitted" and a POSIX EPERM failure (so that launchctl exits
// with that code). A service request's absolute "bundle" is first resolved to the path it
// names now, links followed, and the request goes on with that path: launchd then acts on the
// very bundle that was checked, whatever a link on the way becomes afterwards.
std::optional<nlohmann::ordered_json> admitControlRequest(nlohmann::json& request,
                                                          const ControlPeer& peer);

// Whether a control reply is such a refusal.
bool isNotPermitted(const nlohmann::json& reply);

}  // namespace virtualmac
