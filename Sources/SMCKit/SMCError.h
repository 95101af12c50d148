#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "SMCKit/SMCResultCode.h"

namespace ventrella::smc {

// The SMC layer's errors, each with a fixed English text.
class SMCError : public std::exception {
  public:
    enum class Kind { firmware, ioKit, connectionFailed, notOpen, timeout };

    static SMCError firmware(SMCResultCode code);
    static SMCError ioKit(std::int32_t code);
    static SMCError connectionFailed() { return SMCError(Kind::connectionFailed, 0); }
    static SMCError notOpen() { return SMCError(Kind::notOpen, 0); }
    static SMCError timeout() { return SMCError(Kind::timeout, 0); }

    Kind kind() const { return kind_; }
    std::optional<SMCResultCode> firmwareCode() const;
    std::optional<std::int32_t> ioKitCode() const;

    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const SMCError& other) const {
        return kind_ == other.kind_ && payload_ == other.payload_;
    }

  private:
    SMCError(Kind kind, std::int64_t payload);

    Kind kind_;
    std::int64_t payload_;
    std::string description_;
};

}  // namespace ventrella::smc
