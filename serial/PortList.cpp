// Port names as people give them: a number of the list, a USB location, an
// adapter's serial number, or a device path; the same on every platform.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "serial/PortErrors.h"
#include "serial/PortList.h"

namespace korvane::serial {
namespace {

// The whole text as a number of the list, 0 when it is not one.
int AsPortNumber(const std::string& name)
{
    int number = 0;
    const char* end = name.data() + name.size();
    const auto [ptr, ec] = std::from_chars(name.data(), end, number);
    return !name.empty() && ec == std::errc() && ptr == end ? number : 0;
}

// The four characters after `key` ("VID_"), lower case, when they are hex digits.
std::string HexAfter(const std::string& text, const std::string& key)
{
    constexpr std::size_t kIdDigits = 4;
    const std::size_t at = text.find(key);
    if (at == std::string::npos || at + key.size() + kIdDigits > text.size()) return {};
    std::string id = text.substr(at + key.size(), kIdDigits);
    for (char& c : id) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return id;
}

}  // namespace

UsbIds ParseUsbHardwareId(const std::string& hardwareId)
{
    std::string upper = hardwareId;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    UsbIds ids{HexAfter(upper, "VID_"), HexAfter(upper, "PID_")};
    if (ids.vendorId.empty() || ids.productId.empty()) return {};
    return ids;
}

std::string ResolvePortName(const std::string& name, const std::vector<PortInfo>& ports)
{
    if (const int number = AsPortNumber(name); number != 0 || name == "0") {
        return ResolvePortNumber(number);
    }
    const auto location = std::find_if(ports.begin(), ports.end(), [&](const PortInfo& port) {
        return !port.usbLocation.empty() && port.usbLocation == name;
    });
    if (location != ports.end()) return location->device;
    const auto sameSerial = [&](const PortInfo& port) {
        return !port.serialNumber.empty() && port.serialNumber == name;
    };
    const auto count =
        static_cast<std::size_t>(std::count_if(ports.begin(), ports.end(), sameSerial));
    if (count > 1) throw AmbiguousSerialNumberError(name, count);
    if (count == 1) return std::find_if(ports.begin(), ports.end(), sameSerial)->device;
    return name;
}

}  // namespace korvane::serial
