#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Platform/IOKit/IOReturn.h"

namespace platform::iokit {

// Handles of iterators, services and user-client connections; 0 is no object.
using IOObject = std::uint32_t;
using IOIterator = IOObject;
using IOService = IOObject;
using IOConnect = IOObject;

// An iterator over the services whose class is `className` (possibly none).
KernReturn matchServices(std::string_view className, IOIterator& iterator);
// The next service of the iterator, or 0 when it is exhausted.
IOObject iteratorNext(IOIterator iterator);
KernReturn releaseObject(IOObject object);

// Opens a user client of the service for the current process.
KernReturn openService(IOService service, std::uint32_t connectionType, IOConnect& connect);
KernReturn callStructMethod(IOConnect connect, std::uint32_t selector, const void* input,
                            std::size_t inputSize, void* output, std::size_t* outputSize);
KernReturn closeService(IOConnect connect);

}  // namespace platform::iokit
