// Port numbers on Windows: port number n is COMn; the list holds the COM ports
// the system knows (QueryDosDeviceW). For a USB adapter the device manager adds
// what it knows (SetupAPI): the hardware id's vendor and product ids, the USB
// device's location path (the slot, e.g. PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)),
// the serial number in its instance id, and its friendly name.
#include <windows.h>
// clang-format off
#include <setupapi.h>
#include <cfgmgr32.h>
#include <devguid.h>
// clang-format on

#include <algorithm>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "serial/PortList.h"
#include "serial/SerialError.h"

namespace korvane::serial {

namespace {

constexpr DWORD kInitialNamesSize = 16 * 1024;
constexpr DWORD kMaxNamesSize = 16 * 1024 * 1024;
// How many parents above a port's device node the USB device may sit
// (interface of a composite device, then the device).
constexpr int kUsbSearchDepth = 3;

std::string Narrow(const std::wstring& wide)
{
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

// The first string of a (multi-)string, up to its terminator.
std::wstring FirstString(const std::vector<wchar_t>& buffer)
{
    return std::wstring(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
}

// All DOS device names, double-NUL terminated; the buffer grows until they fit.
std::wstring DosDeviceNames()
{
    for (DWORD size = kInitialNamesSize; size <= kMaxNamesSize; size *= 2) {
        std::wstring names(size, L'\0');
        const DWORD used = QueryDosDeviceW(nullptr, names.data(), size);
        if (used != 0) {
            names.resize(used);
            return names;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    }
    return {};
}

// The n of "COMn", or 0 when `name` is not a COM port name.
int ComNumber(const std::wstring& name)
{
    if (name.size() < 4 || name.compare(0, 3, L"COM") != 0 || name.size() > 6) return 0;
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::iswdigit(name[i])) return 0;
        number = number * 10 + (name[i] - L'0');
    }
    return number;
}

std::wstring DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property)
{
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyW(set, &info, property, nullptr, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(set, &info, property, nullptr,
                                           reinterpret_cast<PBYTE>(buffer.data()), size, nullptr))
        return {};
    return FirstString(buffer);
}

std::wstring NodeProperty(DEVINST node, ULONG property)
{
    ULONG size = 0;
    if (CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, nullptr, &size, 0) !=
            CR_BUFFER_SMALL ||
        size == 0)
        return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, buffer.data(), &size, 0) !=
        CR_SUCCESS)
        return {};
    return FirstString(buffer);
}

std::wstring InstanceId(DEVINST node)
{
    ULONG length = 0;
    if (CM_Get_Device_ID_Size(&length, node, 0) != CR_SUCCESS) return {};
    std::vector<wchar_t> buffer(length + 1, L'\0');
    if (CM_Get_Device_IDW(node, buffer.data(), length + 1, 0) != CR_SUCCESS) return {};
    return FirstString(buffer);
}

std::wstring PortName(HDEVINFO set, SP_DEVINFO_DATA& info)
{
    const HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    DWORD size = 0;
    std::wstring name;
    if (RegQueryValueExW(key, L"PortName", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
        size > 0) {
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, L"PortName", nullptr, nullptr,
                             reinterpret_cast<LPBYTE>(buffer.data()), &size) == ERROR_SUCCESS)
            name = FirstString(buffer);
    }
    RegCloseKey(key);
    return name;
}

// The USB device node at or above the port's node: its instance id is
// "USB\VID_xxxx&PID_xxxx\SERIAL".
DEVINST UsbDeviceNode(DEVINST node)
{
    for (int level = 0; level < kUsbSearchDepth; ++level) {
        const std::wstring id = InstanceId(node);
        if (id.rfind(L"USB\\VID_", 0) == 0 && id.find(L"&MI_") == std::wstring::npos) return node;
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) break;
        node = parent;
    }
    return 0;
}

// What the device manager knows of each COM port that has a device node.
std::map<int, PortInfo> DeviceManagerPorts()
{
    std::map<int, PortInfo> ports;
    const HDEVINFO set =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
        const int number = ComNumber(PortName(set, info));
        if (number == 0) continue;
        PortInfo port;
        port.description = Narrow(DeviceProperty(set, info, SPDRP_FRIENDLYNAME));
        const UsbIds ids = ParseUsbHardwareId(Narrow(DeviceProperty(set, info, SPDRP_HARDWAREID)));
        port.vendorId = ids.vendorId;
        port.productId = ids.productId;
        if (const DEVINST usb = UsbDeviceNode(info.DevInst); usb != 0) {
            port.usbLocation = Narrow(NodeProperty(usb, CM_DRP_LOCATION_PATHS));
            if (port.usbLocation.empty())
                port.usbLocation = Narrow(NodeProperty(usb, CM_DRP_LOCATION_INFORMATION));
            const std::wstring id = InstanceId(usb);
            const std::wstring serial = id.substr(id.find_last_of(L'\\') + 1);
            // Windows makes up an id with '&' for an adapter without a serial number.
            if (serial.find(L'&') == std::wstring::npos) port.serialNumber = Narrow(serial);
            if (port.vendorId.empty()) {
                const UsbIds usbIds = ParseUsbHardwareId(Narrow(id));
                port.vendorId = usbIds.vendorId;
                port.productId = usbIds.productId;
            }
        }
        ports.emplace(number, std::move(port));
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

}  // namespace

std::vector<PortInfo> ListSerialPorts()
{
    std::vector<PortInfo> ports;
    const std::map<int, PortInfo> details = DeviceManagerPorts();
    const std::wstring names = DosDeviceNames();
    std::size_t start = 0;
    while (start < names.size() && names[start] != L'\0') {
        const std::size_t end = names.find(L'\0', start);
        const std::wstring name = names.substr(start, end - start);
        if (const int number = ComNumber(name); number > 0) {
            const auto known = details.find(number);
            PortInfo port = known != details.end() ? known->second : PortInfo{};
            port.number = number;
            port.device = "\\\\.\\COM" + std::to_string(number);
            ports.push_back(std::move(port));
        }
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return a.number < b.number; });
    return ports;
}

std::string ResolvePortNumber(int portNumber)
{
    if (portNumber < 1) {
        throw NoPortSelectedError(portNumber);
    }
    // The \\.\ form also reaches COM10 and above.
    return "\\\\.\\COM" + std::to_string(portNumber);
}

}  // namespace korvane::serial
