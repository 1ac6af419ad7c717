// The serial control's properties over the serial port.
#include "serial/CMscomm.h"

#include <algorithm>

#include "serial/PortList.h"
#include "serial/SerialError.h"

namespace korvane::serial {

namespace {

constexpr std::int32_t kInputModeText = 0;
constexpr std::int32_t kInputModeBinary = 1;

[[noreturn]] void RefuseValue(const std::string& property, long value, const std::string& allowed)
{
    throw SerialError(SerialErrorKind::BadSettings, "The serial port's " + property +
                                                        " cannot be " + std::to_string(value) +
                                                        ": it must be " + allowed + ".");
}

}  // namespace

CMscomm::CMscomm() : CMscomm(MakePlatformBackend(), ResolvePortNumber) {}

CMscomm::CMscomm(std::unique_ptr<SerialBackend> backend, PortResolver resolver)
    : m_port(std::move(backend)), m_resolver(std::move(resolver))
{
}

void CMscomm::RequireClosed(const char* change) const
{
    if (m_port.IsOpen()) {
        throw SerialError(SerialErrorKind::AlreadyOpen,
                          std::string("The ") + change +
                              " cannot be changed while the serial port " + DeviceNameLocked() +
                              " is open; close it first.");
    }
}

std::string CMscomm::DeviceNameLocked() const
{
    if (m_port.IsOpen()) return m_port.Device();
    if (!m_devicePath.empty()) return m_devicePath;
    if (m_commPort > 0) return "number " + std::to_string(m_commPort);
    return m_port.Device();
}

std::string CMscomm::DeviceName() const
{
    std::lock_guard lock(m_mutex);
    return DeviceNameLocked();
}

bool CMscomm::GetPortOpen() const
{
    return m_port.IsOpen();
}

void CMscomm::SetPortOpen(bool open)
{
    std::lock_guard lock(m_mutex);
    if (!open) {
        m_port.Close();
        return;
    }
    if (m_port.IsOpen()) return;
    const std::string device = m_devicePath.empty() ? m_resolver(m_commPort) : m_devicePath;
    m_port.Open(device, m_settings, static_cast<std::size_t>(m_inBufferSize),
                static_cast<std::size_t>(m_outBufferSize));
}

void CMscomm::SetCommPort(std::int16_t number)
{
    std::lock_guard lock(m_mutex);
    RequireClosed("port number");
    if (number < 1) {
        throw NoPortSelectedError(number);
    }
    m_commPort = number;
    m_devicePath.clear();
    m_port.SetLabel(DeviceNameLocked());
}

std::int16_t CMscomm::GetCommPort() const
{
    std::lock_guard lock(m_mutex);
    return m_commPort;
}

void CMscomm::SetDevicePath(std::string devicePath)
{
    std::lock_guard lock(m_mutex);
    RequireClosed("device");
    m_devicePath = std::move(devicePath);
    m_port.SetLabel(DeviceNameLocked());
}

void CMscomm::SetInBufferSize(std::int16_t size)
{
    std::lock_guard lock(m_mutex);
    RequireClosed("receive queue size");
    if (size < 1) RefuseValue("receive queue size", size, "at least 1");
    m_inBufferSize = size;
}

void CMscomm::SetOutBufferSize(std::int16_t size)
{
    std::lock_guard lock(m_mutex);
    RequireClosed("transmit queue size");
    if (size < 1) RefuseValue("transmit queue size", size, "at least 1");
    m_outBufferSize = size;
}

void CMscomm::SetInputMode(std::int32_t mode)
{
    if (mode != kInputModeText && mode != kInputModeBinary)
        RefuseValue("input mode", mode, "0 (text) or 1 (binary)");
}

void CMscomm::SetRThreshold(std::int16_t threshold)
{
    if (threshold < 0) RefuseValue("receive threshold", threshold, "0 or more");
}

void CMscomm::SetSettings(std::string_view settings)
{
    std::lock_guard lock(m_mutex);
    RequireClosed("line settings");
    m_settings = ParseLineSettings(settings);
}

void CMscomm::SetOutBufferCount(std::int16_t count)
{
    if (count != 0) RefuseValue("transmit queue count", count, "0, which discards the queue");
    m_port.DiscardOutput();
}

std::int16_t CMscomm::GetInBufferCount()
{
    return static_cast<std::int16_t>(m_port.Waiting());
}

std::vector<std::uint8_t> CMscomm::GetInput()
{
    std::size_t limit = 0;
    {
        std::lock_guard lock(m_mutex);
        limit = static_cast<std::size_t>(m_inBufferSize);
        if (m_inputLen > 0) limit = std::min(limit, static_cast<std::size_t>(m_inputLen));
    }
    return m_port.Take(limit);
}

void CMscomm::SetInputLen(std::int16_t length)
{
    std::lock_guard lock(m_mutex);
    if (length < 0) RefuseValue("input length", length, "0 (everything waiting) or more");
    m_inputLen = length;
}

void CMscomm::DiscardInput()
{
    m_port.DiscardInput();
}

void CMscomm::SetOutput(std::span<const std::uint8_t> bytes)
{
    m_port.Write(bytes);
}

}  // namespace korvane::serial
