#include "Platform/VirtualMac/CommandLine.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "Platform/VirtualMac/MachineProfile.h"
#include "Platform/VirtualMac/SimulatedWorkspace.h"
#include "Platform/Workspace/ThermalState.h"

namespace virtualmac {

namespace {

using nlohmann::json;

// Most simulated seconds per real second.
constexpr double kMaximumSpeed = 1000.0;

double parseNumber(const std::string& text, const std::string& what) {
    double value = 0;
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
        throw UsageError(what + " must be a number, not \"" + text + "\"");
    }
    return value;
}

std::uint64_t parseUnsigned(const std::string& text, const std::string& what, std::uint64_t max) {
    int base = 10;
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        base = 16;
        digits.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    if (digits.empty() || error != std::errc() || stop != end || value > max) {
        throw UsageError(what + " must be a whole number from 0 to " + std::to_string(max) +
                         ", not \"" + text + "\"");
    }
    return value;
}

double percent(const std::string& text, const std::string& what) {
    const double value = parseNumber(text, what);
    if (value < 0 || value > 100) {
        throw UsageError(what + " must lie from 0 to 100, not \"" + text + "\"");
    }
    return value;
}

std::string smcKey(const std::string& text) {
    if (text.size() != 4) {
        throw UsageError(
            "an SMC key has exactly four characters (quote keys with a blank, "
            "such as \"FS! \"), not \"" +
            text + "\"");
    }
    return text;
}

// The words after the subcommand, with option values taken out as they are asked for.
class Words {
  public:
    Words(std::string command, std::vector<std::string> words)
        : command_(std::move(command)), words_(std::move(words)) {}

    // The value of `--name VALUE`, if given; removes both words.
    std::optional<std::string> option(const std::string& name) {
        for (std::size_t index = 0; index < words_.size(); ++index) {
            if (words_[index] == name) {
                if (index + 1 >= words_.size()) {
                    throw UsageError(name + " needs a value");
                }
                std::string value = words_[index + 1];
                words_.erase(words_.begin() + static_cast<std::ptrdiff_t>(index),
                             words_.begin() + static_cast<std::ptrdiff_t>(index + 2));
                return value;
            }
        }
        return std::nullopt;
    }

    bool flag(const std::string& name) {
        for (std::size_t index = 0; index < words_.size(); ++index) {
            if (words_[index] == name) {
                words_.erase(words_.begin() + static_cast<std::ptrdiff_t>(index));
                return true;
            }
        }
        return false;
    }

    std::string next(const std::string& what) {
        if (words_.empty() || words_.front().starts_with("--")) {
            throw UsageError(command_ + " needs " + what);
        }
        std::string word = words_.front();
        words_.erase(words_.begin());
        return word;
    }

    void finish() const {
        if (!words_.empty()) {
            throw UsageError("unexpected argument \"" + words_.front() + "\" for " + command_);
        }
    }

  private:
    std::string command_;
    std::vector<std::string> words_;
};

json parseFault(Words& words) {
    const std::string kind = words.next("a fault kind");
    json request{{"command", "fault"}, {"kind", kind}};
    if (kind == "refuse-writes") {
        request["key"] = smcKey(words.next("an SMC key"));
        if (auto result = words.option("--result")) {
            request["result"] = parseUnsigned(*result, "--result", 255);
        }
    } else if (kind == "result-code") {
        request["key"] = smcKey(words.next("an SMC key"));
        request["code"] = parseUnsigned(words.next("a result code"), "the result code", 255);
    } else if (kind == "drop-manual") {
        request["fan"] = parseUnsigned(words.next("a fan number"), "the fan number", 255);
    } else if (kind == "mask-stuck" || kind == "ftst-stuck" || kind == "unreadable-temperatures") {
    } else if (kind == "other-app") {
        request["fan"] = parseUnsigned(words.next("a fan number"), "the fan number", 255);
        const double rpm = parseNumber(words.next("a speed in RPM"), "the speed");
        if (rpm < 0) {
            throw UsageError("the speed must not be negative");
        }
        request["rpm"] = rpm;
    } else {
        throw UsageError("unknown fault kind \"" + kind +
                         "\" (known: refuse-writes, result-code, drop-manual, mask-stuck, "
                         "ftst-stuck, other-app, unreadable-temperatures)");
    }
    return request;
}

}  // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    std::vector<std::string> rest;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        if (arguments[index] == "--root") {
            if (index + 1 >= arguments.size() || arguments[index + 1].empty()) {
                throw UsageError("--root needs a directory");
            }
            line.root = arguments[++index];
        } else {
            rest.push_back(arguments[index]);
        }
    }
    if (rest.empty()) {
        throw UsageError("no command given");
    }
    line.command = rest.front();
    Words words(line.command, std::vector<std::string>(rest.begin() + 1, rest.end()));
    const std::string& command = line.command;
    if (command == "help" || command == "--help" || command == "-h") {
        line.action = Action::help;
    } else if (command == "start") {
        line.action = Action::start;
        const auto profile = words.option("--profile");
        if (!profile) {
            throw UsageError("start needs --profile NAME");
        }
        try {
            line.profile = MachineProfile::named(*profile).name;
        } catch (const UnknownMachineProfile& error) {
            throw UsageError(error.what());
        }
        if (auto speed = words.option("--speed")) {
            line.speed = parseNumber(*speed, "--speed");
            if (line.speed <= 0 || line.speed > kMaximumSpeed) {
                throw UsageError("--speed must be above 0 and at most 1000");
            }
        }
        line.foreground = words.flag("--foreground");
    } else if (command == "load") {
        line.action = Action::control;
        line.request = {{"command", "load"}};
        if (auto cpu = words.option("--cpu")) {
            line.request["cpu"] = percent(*cpu, "--cpu");
        }
        if (auto gpu = words.option("--gpu")) {
            line.request["gpu"] = percent(*gpu, "--gpu");
        }
        if (line.request.size() == 1) {
            throw UsageError("load needs --cpu PERCENT, --gpu PERCENT or both");
        }
    } else if (command == "status") {
        line.action = Action::control;
        line.json = words.flag("--json");
        line.request = {{"command", "status"}};
    } else if (command == "fault") {
        line.action = Action::control;
        line.request = parseFault(words);
    } else if (command == "authorization") {
        line.action = Action::control;
        const std::string answer = words.next("allow, deny or cancel");
        if (answer != "allow" && answer != "deny" && answer != "cancel") {
            throw UsageError("authorization takes allow, deny or cancel, not \"" + answer + "\"");
        }
        line.request = {{"command", "authorization"}, {"answer", answer}};
    } else if (command == "approval") {
        line.action = Action::control;
        const std::string action = words.next("require, grant or off");
        if (action != "require" && action != "grant" && action != "off") {
            throw UsageError("approval takes require, grant or off, not \"" + action + "\"");
        }
        line.request = {{"command", "approval"}, {"action", action}};
    } else if (command == "clear-faults" || command == "stop" || command == "wake") {
        line.action = Action::control;
        line.request = {{"command", command}};
    } else if (command == "sleep") {
        line.action = Action::control;
        line.request = {{"command", command}};
        // The machine answers once its observers let it sleep, at most after its wait bound.
        line.timeoutSeconds = SimulatedWorkspace::kSleepWaitSeconds + 10.0;
    } else if (command == "thermal-state") {
        line.action = Action::control;
        const std::string state = words.next("a state (nominal, fair, serious or critical)");
        if (!platform::workspace::thermalStateNamed(state)) {
            throw UsageError("unknown thermal state \"" + state +
                             "\" (known: nominal, fair, serious, critical)");
        }
        line.request = {{"command", command}, {"state", state}};
    } else if (command == "accessibility") {
        line.action = Action::control;
        const std::string setting = words.next("a setting (reduce-motion)");
        if (setting != "reduce-motion") {
            throw UsageError("unknown accessibility setting \"" + setting +
                             "\" (known: reduce-motion)");
        }
        const std::string value = words.next("on or off");
        if (value != "on" && value != "off") {
            throw UsageError("reduce-motion takes on or off, not \"" + value + "\"");
        }
        line.request = {{"command", command}, {"reduceMotion", value == "on"}};
    } else {
        throw UsageError("unknown command \"" + command + "\"");
    }
    words.finish();
    return line;
}

std::string CommandLine::usage() {
    return R"(Usage: virtual-mac [--root DIR] COMMAND [OPTIONS]

Runs a simulated Mac whose SMC and HID temperature sensors other processes reach through
the IOKit layer. DIR stands for the Mac's filesystem root (default: $VIRTUAL_MAC_ROOT, or /).

Commands:
  start --profile NAME [--speed X] [--foreground]
        Start a machine (returns once it serves; --foreground stays attached).
        Profiles: apple-silicon, upper-case-mode, legacy-mask, no-control, no-fans,
        no-smc.
        X: simulated seconds per real second (default 1, at most 1000).
  load [--cpu PERCENT] [--gpu PERCENT]
        Set the CPU and GPU load, 0 to 100.
  status [--json]
        Show temperatures, fans and active faults.
  fault refuse-writes KEY [--result CODE]   Writes to KEY fail (default 0x86).
  fault result-code KEY CODE                Every command on KEY answers CODE.
  fault drop-manual FAN                     FAN does not stay in manual mode.
  fault mask-stuck                          The manual mask "FS! " does not clear.
  fault ftst-stuck                          "Ftst" stays at 1.
  fault other-app FAN RPM                   Another application sets FAN to manual at RPM.
  fault unreadable-temperatures             No temperature sensor can be read.
  clear-faults                              Remove every fault.
  authorization allow|deny|cancel           How the user answers the administrator
                                            prompt of /usr/bin/osascript (default allow).
  approval require                          New daemon registrations wait for approval.
  approval grant                            Approve the waiting registrations (they start).
  approval off                              Registrations are enabled at once (default).
  thermal-state nominal|fair|serious|critical
        Set the process thermal state applications see.
  accessibility reduce-motion on|off        Set the user's wish for less motion on the
                                            screen, as applications see it (default off).
  sleep                                     Post will-sleep; sleep once every observer has
                                            acknowledged it (at most 5 s later).
  wake                                      Wake and post did-wake.
  stop                                      Stop the machine.

Every command but start and help drives the machine and is root's alone (or, for a machine
a user started in a root of their own, that user's).

Exit status: 0 done, 1 no machine running or the machine refused, 2 bad arguments,
3 not permitted.
)";
}

}  // namespace virtualmac
