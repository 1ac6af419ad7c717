// The serial control: the port's whole operation contract (open state, port
// number, queues, line settings, waiting count, input, output, discard) over
// one platform backend. Every operation holds the port's own mutex, so the
// dialog thread may close the port while the download worker polls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "serial/LineSettings.h"
#include "serial/PortOps.h"
#include "serial/SerialBackend.h"

namespace korvane::serial {

// Maps a 1-based port number to a device (Linux: the n-th serial device of the
// stable list; Windows: \\.\COMn). Throws SerialError when there is none.
using PortResolver = std::function<std::string(int portNumber)>;

class CMscomm : public IPortOps {
public:
    // Default: the platform backend and the platform's port list.
    CMscomm();
    CMscomm(std::unique_ptr<SerialBackend> backend, PortResolver resolver);
    ~CMscomm() override;

    // Port number, device path, queue sizes and line settings can change only
    // while the port is closed (SerialError AlreadyOpen otherwise). Waiting
    // count, input, output and discard on a closed port fail with NotOpen.

    bool GetPortOpen() const;
    // true acquires the device (no-op when open), false releases it (harmless when closed).
    void SetPortOpen(bool open);
    void SetCommPort(std::int16_t number);  // fails at once for 0 or a negative number
    std::int16_t GetCommPort() const;
    // Opens a device given by path instead of by number (used by the command line);
    // SetCommPort clears it again.
    void SetDevicePath(std::string devicePath);
    void SetInBufferSize(std::int16_t size);
    void SetOutBufferSize(std::int16_t size);
    void SetInputMode(std::int32_t mode);  // 1 = binary
    void SetRThreshold(std::int16_t threshold);
    void SetSettings(std::string_view settings);  // e.g. "115200,E,8,1"; malformed -> SerialError
    void SetOutBufferCount(std::int16_t count);   // 0 discards the transmit queue
    std::string DeviceName() const;               // the device in use or last chosen

    // IPortOps
    std::int16_t GetInBufferCount() override;
    std::vector<std::uint8_t> GetInput() override;
    void SetInputLen(std::int16_t length) override;
    void SetOutput(std::span<const std::uint8_t> bytes) override;
    void DiscardInput() override;

private:
    // Both expect m_mutex to be held.
    void RequireOpen(const char* operation) const;
    void RequireClosed(const char* change) const;
    std::string DeviceNameLocked() const;

    mutable std::mutex m_mutex;
    std::unique_ptr<SerialBackend> m_backend;
    PortResolver m_resolver;
    std::int16_t m_commPort = 0;
    std::string m_devicePath;
    std::int16_t m_inBufferSize = 1024;
    std::int16_t m_outBufferSize = 512;
    std::int16_t m_inputLen = 0;
    std::int32_t m_inputMode = 0;
    std::int16_t m_rThreshold = 0;
    LineSettings m_settings;
    std::string m_openedDevice;  // the device of the present or last open
};

}  // namespace korvane::serial
