// The signature record parser on hostile bytes: a record that decodes, and whose entitlements
// read as a property list, encodes to a record that decodes to the same signature; entitlements
// that do not read are refused with SigningError and nothing else; the code-directory hash of
// any bytes can be taken.

#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzCheck.h"
#include "Platform/Security/CodeSignature.h"

using namespace platform::security;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> record(data, size);
    (void)codeDirectoryHash(record);
    const auto signature = decodeSignatureRecord(record);
    if (!signature) {
        return 0;
    }
    if (!signature->entitlementsPropertyList.empty()) {
        try {
            (void)entitlementsFromPropertyList(signature->entitlementsPropertyList);
        } catch (const SigningError&) {
            // Such a record is refused where its entitlements are read, and cannot be signed.
            return 0;
        }
    }
    const auto encoded = encodeSignatureRecord(*signature);
    FUZZ_CHECK(encoded.size() <= maximumRecordBytes);
    const auto again = decodeSignatureRecord(encoded);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *signature);
    return 0;
}
