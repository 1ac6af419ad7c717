// Port numbers on Linux: the n-th serial device in a stable order, USB
// adapters (/dev/ttyUSB*, /dev/ttyACM*) first, then other ports with a driver.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <tuple>

#include "serial/PortErrors.h"
#include "serial/PortList.h"
#include "serial/SerialError.h"

namespace korvane::serial {

namespace fs = std::filesystem;

namespace {

const fs::path kTtyClass = "/sys/class/tty";
// How far above the tty's device node the USB device (with its strings) may sit:
// ttyACM -> interface -> device; ttyUSB -> port -> interface -> device.
constexpr int kUsbSearchDepth = 3;
// The serial-base layers above a tty: its port device, then the controller.
constexpr int kSerialBaseDepth = 2;

struct Candidate {
    int group;           // 0 ttyUSB, 1 ttyACM, 2 any other
    std::string prefix;  // the name without its trailing number
    long number;         // the trailing number, -1 when there is none
    std::string name;
    bool operator<(const Candidate& other) const
    {
        return std::tie(group, prefix, number, name) <
               std::tie(other.group, other.prefix, other.number, other.name);
    }
};

Candidate MakeCandidate(const std::string& name)
{
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    Candidate c{2, name.substr(0, digits), -1, name};
    const std::string tail = name.substr(digits);
    // Long enough digit runs cannot name a real tty; leave them unnumbered.
    if (!tail.empty() && tail.size() < 10) c.number = std::stol(tail);
    if (c.prefix == "ttyUSB") c.group = 0;
    if (c.prefix == "ttyACM") c.group = 1;
    return c;
}

std::string ReadLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string Subsystem(const fs::path& deviceDir)
{
    std::error_code ec;
    return fs::read_symlink(deviceDir / "subsystem", ec).filename().string();
}

// Ports of the "platform" subsystem are the fixed 8250 placeholders that exist
// whether or not a UART is fitted; they would fill the list with dead ports.
// Newer kernels put "serial-base" port and controller devices between the tty
// and the hardware, so look through those first.
bool HasRealDevice(const fs::path& ttyDir)
{
    std::error_code ec;
    fs::path device = fs::canonical(ttyDir / "device", ec);
    if (ec) return false;
    for (int level = 0; level < kSerialBaseDepth && Subsystem(device) == "serial-base"; ++level)
        device = device.parent_path();
    return Subsystem(device) != "platform";
}

// The USB device above a tty: the first directory with a vendor id, whose
// name is the bus and port path ("1-1.2"). Empty when the tty is not on USB.
fs::path UsbDeviceDir(const fs::path& ttyDir)
{
    std::error_code ec;
    fs::path dir = fs::canonical(ttyDir / "device", ec);
    if (ec) return {};
    for (int level = 0; level < kUsbSearchDepth && !dir.empty(); ++level) {
        if (fs::exists(dir / "idVendor", ec) || fs::exists(dir / "product", ec)) return dir;
        dir = dir.parent_path();
    }
    return {};
}

// Manufacturer and product strings, the USB attributes and the location.
void AddUsbAttributes(PortInfo& port, const fs::path& ttyDir)
{
    const fs::path dir = UsbDeviceDir(ttyDir);
    if (dir.empty()) return;
    const std::string manufacturer = ReadLine(dir / "manufacturer");
    const std::string product = ReadLine(dir / "product");
    port.description = manufacturer.empty() || product.empty() ? manufacturer + product
                                                               : manufacturer + " " + product;
    port.vendorId = ReadLine(dir / "idVendor");
    port.productId = ReadLine(dir / "idProduct");
    port.serialNumber = ReadLine(dir / "serial");
    if (!port.vendorId.empty()) port.usbLocation = dir.filename().string();
}

}  // namespace

std::vector<PortInfo> ListSerialPorts()
{
    return ListSerialPorts(kTtyClass);
}

std::vector<PortInfo> ListSerialPorts(const fs::path& ttyClassDir)
{
    std::vector<Candidate> candidates;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(ttyClassDir, ec)) {
        const std::string name = entry.path().filename().string();
        if (HasRealDevice(entry.path())) candidates.push_back(MakeCandidate(name));
    }
    std::sort(candidates.begin(), candidates.end());

    std::vector<PortInfo> ports;
    for (const Candidate& c : candidates) {
        PortInfo port;
        port.number = static_cast<int>(ports.size()) + 1;
        port.device = "/dev/" + c.name;
        AddUsbAttributes(port, ttyClassDir / c.name);
        ports.push_back(std::move(port));
    }
    return ports;
}

std::string ResolvePortNumber(int portNumber)
{
    if (portNumber < 1) {
        throw NoPortSelectedError(portNumber);
    }
    const std::vector<PortInfo> ports = ListSerialPorts();
    if (static_cast<std::size_t>(portNumber) > ports.size()) {
        throw NoSuchPortNumberError(portNumber, ports.size());
    }
    return ports[static_cast<std::size_t>(portNumber) - 1].device;
}

}  // namespace korvane::serial
