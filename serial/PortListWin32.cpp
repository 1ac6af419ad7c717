// Port numbers on Windows: port number n is COMn; the list holds the COM ports
// the system knows (QueryDosDeviceW).
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>

#include "serial/PortList.h"
#include "serial/SerialError.h"

namespace korvane::serial {

namespace {

constexpr DWORD kInitialNamesSize = 16 * 1024;
constexpr DWORD kMaxNamesSize = 16 * 1024 * 1024;

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

}  // namespace

std::vector<PortInfo> ListSerialPorts()
{
    std::vector<PortInfo> ports;
    const std::wstring names = DosDeviceNames();
    std::size_t start = 0;
    while (start < names.size() && names[start] != L'\0') {
        const std::size_t end = names.find(L'\0', start);
        const std::wstring name = names.substr(start, end - start);
        if (const int number = ComNumber(name); number > 0)
            ports.push_back(PortInfo{number, "\\\\.\\COM" + std::to_string(number), {}});
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
