// Which device a port number stands for: on Linux the n-th serial device in a
// stable order (USB adapters first, then other ports with a device behind them);
// on Windows COMn.
#pragma once

#include <string>
#include <vector>

namespace korvane::serial {

struct PortInfo {
    int number = 0;            // the 1-based number the dialog's port list uses
    std::string device;        // /dev/ttyUSB0, \\.\COM3, ...
    std::string description;   // USB manufacturer and product, where known
};

std::vector<PortInfo> ListSerialPorts();

// The device for port number n; throws SerialError(NoSuchPort) when there is none.
std::string ResolvePortNumber(int portNumber);

}  // namespace korvane::serial
