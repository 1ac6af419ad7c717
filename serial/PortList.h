// Which device a port number stands for: on Linux the n-th serial device in a
// stable order (USB adapters first, then other ports with a device behind them);
// on Windows COMn.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace korvane::serial {

struct PortInfo {
    int number = 0;           // the 1-based number the dialog's port list uses
    std::string device;       // /dev/ttyUSB0, \\.\COM3, ...
    std::string description;  // USB manufacturer and product, where known
};

std::vector<PortInfo> ListSerialPorts();
// The same list read from another copy of /sys/class/tty (POSIX builds only;
// lets the order be checked on a prepared tree).
std::vector<PortInfo> ListSerialPorts(const std::filesystem::path& ttyClassDir);

// The device for port number n; throws SerialError(NoSuchPort) when there is none.
std::string ResolvePortNumber(int portNumber);

}  // namespace korvane::serial
