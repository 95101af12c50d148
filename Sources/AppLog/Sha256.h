#pragma once

#include <array>
#include <cstddef>

namespace ventrella::applog {

using Sha256Digest = std::array<unsigned char, 32>;

Sha256Digest sha256(const void* data, std::size_t size);

}  // namespace ventrella::applog
