// The sentences a failed open of a serial port is told in, the same for every
// backend: what failed (with the system's reason) and, separately, what to try.
// Texts of the serial module's own range of the catalogue.
#pragma once

#include <string>

#include "serial/SerialError.h"

namespace korvane::serial {

// No device at that name (missing, unplugged).
SerialError PortMissingError(const std::string& device, const std::string& reason);
// Another program holds the device.
SerialError PortBusyError(const std::string& device);
// No rights on the device; the hint names the platform's remedy.
SerialError PortPermissionError(const std::string& device, const std::string& reason);
// Any other refusal of the open.
SerialError PortOpenFailedError(const std::string& device, const std::string& reason);
// The device opened but is no serial port (a plain file, a disk).
SerialError NotASerialPortError(const std::string& device);
// A port number beyond the list, which holds `count` ports.
SerialError NoSuchPortNumberError(int portNumber, std::size_t count);
// A serial number that more than one adapter reports.
SerialError AmbiguousSerialNumberError(const std::string& serialNumber, std::size_t count);

}  // namespace korvane::serial
