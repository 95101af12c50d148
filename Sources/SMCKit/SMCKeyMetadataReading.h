#pragma once

#include <string>

#include "SMCKit/SMCKeyMetadata.h"

namespace ventrella::smc {

// Readers that can also say a key's size and type; callers find out with dynamic_cast.
class SMCKeyMetadataReading {
  public:
    virtual ~SMCKeyMetadataReading() = default;
    virtual SMCKeyMetadata metadata(const std::string& key) = 0;
};

}  // namespace ventrella::smc
