#pragma once

#include <asio.hpp>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "Platform/VirtualMac/AdministratorAuthorization.h"

namespace virtualmac {

// The machine's side of `do shell script … with administrator privileges`, which any user's
// osascript asks of it: the person at the prompt (the authorization answer) allows, denies or
// cancels, and an allowed script runs as the machine's user (root) with the host's /bin/zsh, as
// the Mac runs it: standard input from /dev/null, output and errors joined, the working folder
// "/", a fixed search path and the machine's root. Since any user may ask, only a script that
// root alone can change is run: a regular file under the machine's root, owned by root and
// writable by nobody else, in folders nobody else can change. Runs on the io_context's thread;
// a script never holds the machine up.
class AdministratorScripts {
  public:
    using Reply = std::function<void(nlohmann::ordered_json)>;

    // Output past this is read and dropped.
    static constexpr std::size_t kMaximumOutputBytes = 256 * 1024;

    AdministratorScripts(asio::io_context& context, const AdministratorAuthorization& authorization,
                         std::filesystem::path root);

    // "osascript.run" {"path": …}. Answers {"ok": true, "answer": "deny" | "cancel"} at once;
    // allowed, once the script has ended and closed its output: {"ok": true, "answer":
    // "allow", "output": …, "status": its exit status (128 + the signal that ended it)}; and
    // {"ok": false, "error": …} for a script it will not or cannot run. False for any other
    // command, which it leaves alone.
    bool handle(const std::string& command, const nlohmann::json& request, const Reply& reply);

  private:
    class Running;

    asio::io_context& context_;
    const AdministratorAuthorization& authorization_;
    std::filesystem::path root_;
};

}  // namespace virtualmac
