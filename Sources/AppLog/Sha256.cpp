#include "AppLog/Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace ventrella::applog {

Sha256Digest sha256(const void* data, std::size_t size) {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
        length != digest.size()) {
        throw std::runtime_error("SHA-256 digest failed");
    }
    return digest;
}

}  // namespace ventrella::applog
