#pragma once

#include <exception>
#include <string>

namespace ventrella::shared {

class FanControlEngineError : public std::exception {
  public:
    enum class Kind {
        rollbackFailed,
        externalManualControl,
        operationTimedOut,
        manualVerificationFailed,
        automaticVerificationFailed,
        takeoverNotStable,
    };

    // `operation` and `restore` are the descriptions of the error that caused the rollback and of
    // the error of the restore that followed.
    static FanControlEngineError rollbackFailed(std::string operation, std::string restore);
    static FanControlEngineError externalManualControl();
    static FanControlEngineError operationTimedOut();
    static FanControlEngineError manualVerificationFailed();
    static FanControlEngineError automaticVerificationFailed();
    static FanControlEngineError takeoverNotStable();

    Kind kind() const { return kind_; }
    const std::string& operation() const { return operation_; }
    const std::string& restore() const { return restore_; }

    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const FanControlEngineError& other) const {
        return kind_ == other.kind_ && operation_ == other.operation_ && restore_ == other.restore_;
    }

  private:
    FanControlEngineError(Kind kind, std::string operation, std::string restore);

    Kind kind_;
    std::string operation_;
    std::string restore_;
    std::string description_;
};

}  // namespace ventrella::shared
