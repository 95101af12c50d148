#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SMCKit/SMCKeyMetadataReading.h"
#include "SMCKit/SMCKeyReading.h"
#include "SMCKit/SMCParamStruct.h"

namespace ventrella::smc {

// The records of one key-info exchange: what was sent and what came back.
struct SMCKeyInfoExchange {
    SMCParamStruct param;
    SMCParamStruct output;
};

// The one way to the SMC: an open AppleSMC user client, owned from construction to
// destruction. No cache and no lock: every operation is a fresh exchange on the caller's
// thread, so one connection must not be shared between threads without serialisation.
class SMCConnection final : public SMCKeyReading, public SMCKeyMetadataReading {
  public:
    SMCConnection();  // throws SMCError::connectionFailed()
    ~SMCConnection() override;
    SMCConnection(const SMCConnection&) = delete;
    SMCConnection& operator=(const SMCConnection&) = delete;

    std::uint32_t connection() const { return connection_; }

    SMCKeyValue readKey(const std::string& key) override;
    void writeKey(const std::string& key, const std::vector<std::uint8_t>& bytes);
    SMCKeyInfoExchange fetchKeyInfo(const std::string& key);
    SMCParamStruct callSMC(const SMCParamStruct& input);
    SMCKeyMetadata metadata(const std::string& key) override;
    std::vector<std::string> enumerateKeys();
    std::uint32_t fourCharCode(const std::string& text) const;

    static std::string hardwareModel();

    // Enumeration reads at most this many indices, whatever "#KEY" claims.
    static constexpr std::uint32_t maximumEnumeratedKeys = 65536;

  private:
    std::uint32_t connection_ = 0;
};

}  // namespace ventrella::smc
