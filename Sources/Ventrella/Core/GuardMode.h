#pragma once

#include <string>

namespace ventrella::core {

// What the menu shows about the guard.
class GuardMode {
  public:
    enum class Kind { fault, automatic, boost, emergency, externalManual };

    static GuardMode fault(std::string message) { return {Kind::fault, std::move(message)}; }
    static GuardMode automatic() { return {Kind::automatic, {}}; }
    static GuardMode boost() { return {Kind::boost, {}}; }
    static GuardMode emergency() { return {Kind::emergency, {}}; }
    static GuardMode externalManual() { return {Kind::externalManual, {}}; }

    Kind kind() const { return kind_; }
    // The fault's message; empty for every other mode.
    const std::string& faultMessage() const { return faultMessage_; }

    // "Apple Automatic" in every language; the others in the interface language. A fault's
    // title is "Error", without its message.
    std::string title() const;

    bool operator==(const GuardMode&) const = default;

  private:
    GuardMode(Kind kind, std::string faultMessage)
        : kind_(kind), faultMessage_(std::move(faultMessage)) {}

    Kind kind_;
    std::string faultMessage_;
};

}  // namespace ventrella::core
