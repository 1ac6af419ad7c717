// Which device a port number stands for: on Linux the n-th serial device in a
// stable order (USB adapters first, then other ports with a device behind them);
// on Windows COMn. For USB adapters the list also says where the adapter is
// plugged, so that a port can be named by its slot on a hub.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace korvane::serial {

struct PortInfo {
    int number = 0;           // the 1-based number the dialog's port list uses
    std::string device;       // /dev/ttyUSB0, \\.\COM3, ...
    std::string description;  // USB manufacturer and product, where known
    // USB adapters only (empty otherwise). The location is the bus and port
    // path as the system names it: "1-1.2" on Linux (sysfs), the device's
    // location path on Windows; it stays with the slot when device numbers change.
    std::string usbLocation;
    std::string vendorId;      // four hex digits, e.g. "0403"
    std::string productId;     // four hex digits, e.g. "6001"
    std::string serialNumber;  // the adapter's own serial number, where it has one
};

std::vector<PortInfo> ListSerialPorts();
// The same list read from another copy of /sys/class/tty (POSIX builds only;
// lets the order and the USB attributes be checked on a prepared tree).
std::vector<PortInfo> ListSerialPorts(const std::filesystem::path& ttyClassDir);

// The device for port number n; throws SerialError(NoSuchPort) when there is none.
std::string ResolvePortNumber(int portNumber);

// Vendor and product ids ("0403", "6001") from a Windows hardware id such as
// "USB\\VID_0403&PID_6001&REV_0600" or "FTDIBUS\\VID_0403+PID_6001+A5X\\0000";
// empty when it names none.
struct UsbIds {
    std::string vendorId;
    std::string productId;
};
UsbIds ParseUsbHardwareId(const std::string& hardwareId);

// The device a port name given by a person stands for: a port number of the
// list, a USB location or an adapter serial number found in `ports`, otherwise
// the name itself as a device path. Throws SerialError(NoSuchPort) for a number
// without a device and for a serial number that more than one adapter reports.
std::string ResolvePortName(const std::string& name, const std::vector<PortInfo>& ports);

}  // namespace korvane::serial
