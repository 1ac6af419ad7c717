// The serial port the protocol talks through: one device, opened with its line
// settings, read with a wait that wakes on the bytes. Every operation is
// complete under the port's own mutex, so another thread may close the port
// between two of them; a waiting read holds the port until its bytes have
// come, its wait is over or a stop is requested.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "serial/LineSettings.h"
#include "serial/Port.h"
#include "serial/SerialBackend.h"

namespace korvane::serial {

class SerialPort : public IPort {
public:
    // Default: the platform's backend.
    SerialPort();
    explicit SerialPort(std::unique_ptr<SerialBackend> backend);
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Acquires `device` with `settings`, closing what was open; throws
    // SerialError. The receive queue's size is the most one read takes.
    void Open(const std::string& device, const LineSettings& settings, std::size_t inQueueSize,
              std::size_t outQueueSize);
    void Close();  // harmless when closed
    bool IsOpen() const;
    // The device open now, or the last one opened.
    std::string Device() const;
    // How a closed port is named in its errors (a chosen port not yet opened).
    void SetLabel(std::string label);

    // Up to `most` of the bytes waiting now, without waiting.
    std::vector<std::uint8_t> Take(std::size_t most);
    void DiscardOutput();

    // IPort; a closed port fails each with SerialError NotOpen.
    std::size_t Waiting() override;
    std::vector<std::uint8_t> Read(std::size_t most, std::chrono::nanoseconds wait,
                                   ISleeper& stop) override;
    void Write(std::span<const std::uint8_t> bytes) override;
    void DiscardInput() override;

private:
    // Expects m_mutex to be held.
    void RequireOpen(const char* operation) const;

    mutable std::mutex m_mutex;
    std::unique_ptr<SerialBackend> m_backend;
    std::size_t m_inQueueSize = 0;
    std::string m_device;
    std::string m_label;
};

}  // namespace korvane::serial
