#pragma once

#include <exception>
#include <string>

namespace ventrella::core {

// The application's own error. `what()` is the English text; `errorDescription()` is the text
// shown to the user, looked up in the interface language with the English text as key, so a
// sentence without a translation (such as a message from the helper) is shown as it stands.
class VentrellaError : public std::exception {
  public:
    enum class Kind {
        invalidConfiguration,
        commandFailed,
        parseFailed,
        unsupportedHardware,
        externalManualControl,
        anotherInstance,
    };

    static VentrellaError invalidConfiguration(std::string text) {
        return {Kind::invalidConfiguration, std::move(text)};
    }
    static VentrellaError commandFailed(std::string text) {
        return {Kind::commandFailed, std::move(text)};
    }
    static VentrellaError parseFailed(std::string text) {
        return {Kind::parseFailed, std::move(text)};
    }
    static VentrellaError unsupportedHardware(std::string text) {
        return {Kind::unsupportedHardware, std::move(text)};
    }
    static VentrellaError externalManualControl();
    static VentrellaError anotherInstance();

    Kind kind() const { return kind_; }
    // The English text: the carried text, or the fixed sentence of the last two kinds.
    const std::string& text() const { return text_; }

    std::string errorDescription() const;
    const char* what() const noexcept override { return text_.c_str(); }

    bool operator==(const VentrellaError& other) const {
        return kind_ == other.kind_ && text_ == other.text_;
    }

  private:
    VentrellaError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

    Kind kind_;
    std::string text_;
};

}  // namespace ventrella::core
