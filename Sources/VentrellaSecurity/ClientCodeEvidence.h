#pragma once

#include <cstdint>
#include <string>

namespace ventrella::security {

// What a live process's signature says about it.
struct ClientCodeEvidence {
    std::string identifier;
    std::string cdHash;  // lowercase hexadecimal, two digits per byte
    std::uint32_t signatureFlags = 0;
    bool disablesLibraryValidation = false;

    bool operator==(const ClientCodeEvidence&) const = default;
};

}  // namespace ventrella::security
