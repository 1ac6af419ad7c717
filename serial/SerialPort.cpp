// The serial port over the platform's backend, each operation under its mutex.
#include "serial/SerialPort.h"

#include <algorithm>

#include "serial/SerialError.h"

namespace korvane::serial {

namespace {

// A sleeper no one stops, for reads that do not wait.
class NoStop : public ISleeper {
public:
    void Sleep(std::chrono::milliseconds) override {}
    void RequestStop() override {}
    void Reset() override {}
    bool StopWasRequested() const override { return false; }
};

}  // namespace

SerialPort::SerialPort() : SerialPort(MakePlatformBackend()) {}

SerialPort::SerialPort(std::unique_ptr<SerialBackend> backend) : m_backend(std::move(backend)) {}

SerialPort::~SerialPort()
{
    std::lock_guard lock(m_mutex);
    m_backend->Close();
}

void SerialPort::Open(const std::string& device, const LineSettings& settings,
                      std::size_t inQueueSize, std::size_t outQueueSize)
{
    std::lock_guard lock(m_mutex);
    m_backend->Open(device, settings, inQueueSize, outQueueSize);
    m_inQueueSize = inQueueSize;
    m_device = device;
}

void SerialPort::Close()
{
    std::lock_guard lock(m_mutex);
    m_backend->Close();
}

bool SerialPort::IsOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_backend->IsOpen();
}

std::string SerialPort::Device() const
{
    std::lock_guard lock(m_mutex);
    return m_device;
}

void SerialPort::SetLabel(std::string label)
{
    std::lock_guard lock(m_mutex);
    m_label = std::move(label);
}

void SerialPort::RequireOpen(const char* operation) const
{
    if (m_backend->IsOpen()) return;
    const std::string& name = m_label.empty() ? m_device : m_label;
    throw SerialError(SerialErrorKind::NotOpen,
                      std::string("Cannot ") + operation + ": the serial port" +
                          (name.empty() ? "" : " " + name) + " is not open.");
}

std::size_t SerialPort::Waiting()
{
    std::lock_guard lock(m_mutex);
    RequireOpen("count the waiting bytes");
    // The system may hold more than the receive queue; report at most its size.
    return std::min(m_backend->BytesWaiting(), m_inQueueSize);
}

std::vector<std::uint8_t> SerialPort::Read(std::size_t most, std::chrono::nanoseconds wait,
                                           ISleeper& stop)
{
    std::lock_guard lock(m_mutex);
    RequireOpen("take the received bytes");
    return m_backend->Read(std::min(most, m_inQueueSize), wait, stop);
}

std::vector<std::uint8_t> SerialPort::Take(std::size_t most)
{
    NoStop never;
    return Read(most, std::chrono::nanoseconds::zero(), never);
}

void SerialPort::Write(std::span<const std::uint8_t> bytes)
{
    std::lock_guard lock(m_mutex);
    RequireOpen("send");
    m_backend->Write(bytes);
}

void SerialPort::DiscardInput()
{
    std::lock_guard lock(m_mutex);
    RequireOpen("discard the received bytes");
    m_backend->DiscardInput();
}

void SerialPort::DiscardOutput()
{
    std::lock_guard lock(m_mutex);
    RequireOpen("discard the transmit queue");
    m_backend->DiscardOutput();
}

}  // namespace korvane::serial
