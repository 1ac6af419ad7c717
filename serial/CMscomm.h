// CMscomm: the dialog's serial control, a thin face over the serial port with
// the old control's property names (port number, queue sizes, settings text,
// waiting count, input, output). The protocol itself talks to Port().
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "serial/LineSettings.h"
#include "serial/SerialPort.h"

namespace korvane::serial {

// Maps a 1-based port number to a device (Linux: the n-th serial device of the
// stable list; Windows: \\.\COMn). Throws SerialError when there is none.
using PortResolver = std::function<std::string(int portNumber)>;

class CMscomm {
public:
    // Default: the platform backend and the platform's port list.
    CMscomm();
    CMscomm(std::unique_ptr<SerialBackend> backend, PortResolver resolver);

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
    // Both input modes deliver the bytes unchanged and nothing listens for
    // receive notifications: the two are checked and otherwise have no effect.
    void SetInputMode(std::int32_t mode);  // 0 = text, 1 = binary
    void SetRThreshold(std::int16_t threshold);
    void SetSettings(std::string_view settings);  // e.g. "115200,E,8,1"; malformed -> SerialError
    void SetOutBufferCount(std::int16_t count);   // 0 discards the transmit queue
    std::string DeviceName() const;               // the device in use or last chosen

    std::int16_t GetInBufferCount();
    // The waiting bytes, at most InputLen of them when that is not 0.
    std::vector<std::uint8_t> GetInput();
    void SetInputLen(std::int16_t length);
    void SetOutput(std::span<const std::uint8_t> bytes);
    void DiscardInput();

    // The port itself, for the protocol.
    SerialPort& Port() { return m_port; }

private:
    // Expects m_mutex to be held.
    void RequireClosed(const char* change) const;
    std::string DeviceNameLocked() const;

    SerialPort m_port;
    mutable std::mutex m_mutex;  // the properties; taken before the port's own
    PortResolver m_resolver;
    std::int16_t m_commPort = 0;
    std::string m_devicePath;
    std::int16_t m_inBufferSize = 1024;
    std::int16_t m_outBufferSize = 512;
    std::int16_t m_inputLen = 0;
    LineSettings m_settings;
};

}  // namespace korvane::serial
