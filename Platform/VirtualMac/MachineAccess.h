#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <optional>

namespace virtualmac {

// Who may ask the running machine what, as a Mac decides it. Every local user may use what a
// Mac offers applications: open the SMC and read it, read the HID sensors, observe the
// workspace, look up, register and unregister a daemon of an application's bundle, read a
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

// The reply refusing a control request that only a privileged peer may make; nothing when the
// request is open to every user or the peer is privileged. The refusal carries "notPermitted"
// and a POSIX EPERM failure, so that launchctl exits with that code.
std::optional<nlohmann::ordered_json> controlRefusal(const nlohmann::json& request,
                                                     bool privileged);

// Whether a control reply is such a refusal.
bool isNotPermitted(const nlohmann::json& reply);

}  // namespace virtualmac
