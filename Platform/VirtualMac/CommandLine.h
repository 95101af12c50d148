#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace virtualmac {

// A command line `virtual-mac` cannot act on; the text says what is wrong.
class UsageError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// The parsed command line of `virtual-mac`:
//   virtual-mac [--root DIR] start --profile NAME [--speed X] [--foreground]
//   virtual-mac [--root DIR] load [--cpu PERCENT] [--gpu PERCENT]
//   virtual-mac [--root DIR] status [--json]
//   virtual-mac [--root DIR] fault KIND [ARGS]
//   virtual-mac [--root DIR] authorization allow|deny|cancel
//   virtual-mac [--root DIR] approval require|grant|off
//   virtual-mac [--root DIR] thermal-state STATE
//   virtual-mac [--root DIR] accessibility reduce-motion on|off
//   virtual-mac [--root DIR] clear-faults | sleep | wake | stop | help
struct CommandLine {
    enum class Action { start, control, help };

    Action action = Action::help;
    std::string command;                        // the subcommand as given
    std::optional<std::filesystem::path> root;  // --root, overriding VIRTUAL_MAC_ROOT
    std::string profile;                        // start
    double speed = 1.0;                         // start: simulated seconds per real second
    bool foreground = false;                    // start
    bool json = false;                          // status
    nlohmann::json request;                     // control: the request for the machine
    double timeoutSeconds = 5.0;                // control: how long the reply may take

    // `arguments` excludes the program name. Throws UsageError.
    static CommandLine parse(const std::vector<std::string>& arguments);

    static std::string usage();
};

}  // namespace virtualmac
