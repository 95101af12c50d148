#pragma once

#include <string>
#include <vector>

#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCKeyEnumerating.h"
#include "SMCKit/SMCKeyMetadataReading.h"
#include "SMCKit/SMCKeyReading.h"

namespace ventrella::hardware {

// The application's SMC reader: its own connection, opened at construction (throws
// SMCError::connectionFailed) and closed with the reader.
class NativeSMCReader final : public smc::SMCKeyReading,
                              public smc::SMCKeyMetadataReading,
                              public smc::SMCKeyEnumerating {
  public:
    NativeSMCReader() = default;

    smc::SMCKeyValue readKey(const std::string& key) override { return connection.readKey(key); }
    smc::SMCKeyMetadata metadata(const std::string& key) override {
        return connection.metadata(key);
    }
    // Lists keys through a fresh SMCKeyEnumerator; empty when it cannot open the SMC.
    std::vector<std::string> enumerateKeys() override;

    smc::SMCConnection connection;
};

}  // namespace ventrella::hardware
