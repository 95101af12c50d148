#pragma once

#include <map>
#include <string>

namespace ventrella::sensors {

// Every HID temperature sensor service of an Apple silicon Mac: product name to degrees
// Celsius. Of several services with one name the last in service order wins. Empty when the
// HID event system or its services cannot be reached; never fails.
std::map<std::string, double> VLAppleSiliconTemperatureSensors();

}  // namespace ventrella::sensors
