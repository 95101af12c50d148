#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "SMCKit/SMCError.h"
#include "SMCKit/SMCKeyEnumerating.h"
#include "SMCKit/SMCKeyMetadataReading.h"
#include "SMCKit/SMCKeyReading.h"

namespace ventrella::fakes {

// An in-memory SMC key store for the readers' users. A missing key reads as the SMC answers
// it (firmware notFound); `failRead` makes one key throw anything. Every read is recorded in
// order so tests can check what was asked and how often.
class FakeSMCKeyReader : public smc::SMCKeyReading {
  public:
    struct Key {
        std::vector<std::uint8_t> bytes;
        std::uint32_t size = 0;
        std::string dataType;  // reported by the metadata-reading variant
    };

    // A key whose size is its byte count.
    void set(const std::string& name, std::string dataType, std::vector<std::uint8_t> bytes) {
        const auto size = static_cast<std::uint32_t>(bytes.size());
        keys[name] = Key{std::move(bytes), size, std::move(dataType)};
    }
    void remove(const std::string& name) { keys.erase(name); }
    void failRead(const std::string& name, std::exception_ptr error) {
        readErrors[name] = std::move(error);
    }

    smc::SMCKeyValue readKey(const std::string& key) override {
        reads.push_back(key);
        if (const auto error = readErrors.find(key); error != readErrors.end()) {
            std::rethrow_exception(error->second);
        }
        const auto found = keys.find(key);
        if (found == keys.end()) {
            throw smc::SMCError::firmware(smc::SMCResultCode::notFound);
        }
        return {found->second.bytes, found->second.size};
    }

    std::map<std::string, Key> keys;
    std::map<std::string, std::exception_ptr> readErrors;
    std::vector<std::string> reads;
};

// The same store, also answering metadata: size and data type of the stored key, unless
// `metadataOverrides` says otherwise for a key.
class FakeSMCMetadataReader : public FakeSMCKeyReader, public smc::SMCKeyMetadataReading {
  public:
    smc::SMCKeyMetadata metadata(const std::string& key) override {
        metadataRequests.push_back(key);
        if (const auto error = metadataErrors.find(key); error != metadataErrors.end()) {
            std::rethrow_exception(error->second);
        }
        if (const auto override = metadataOverrides.find(key);
            override != metadataOverrides.end()) {
            return override->second;
        }
        const auto found = keys.find(key);
        if (found == keys.end()) {
            throw smc::SMCError::firmware(smc::SMCResultCode::notFound);
        }
        return {found->second.size, found->second.dataType, 0x80};
    }

    std::map<std::string, smc::SMCKeyMetadata> metadataOverrides;
    std::map<std::string, std::exception_ptr> metadataErrors;
    std::vector<std::string> metadataRequests;
};

// The same store, also listing keys: `enumeratedKeys` as they stand (not the stored ones, so a
// test can offer keys it never answers). `onEnumerate` runs inside each listing.
class FakeSMCEnumeratingReader : public FakeSMCKeyReader, public smc::SMCKeyEnumerating {
  public:
    std::vector<std::string> enumerateKeys() override {
        ++enumerations;
        if (onEnumerate) {
            onEnumerate();
        }
        return enumeratedKeys;
    }

    std::vector<std::string> enumeratedKeys;
    std::function<void()> onEnumerate;
    int enumerations = 0;
};

}  // namespace ventrella::fakes
