// One platform's device access behind one small interface. The POSIX (termios)
// and Win32 backends are separate files, chosen by the build.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "serial/LineSettings.h"
#include "serial/Sleeper.h"

namespace korvane::serial {

class SerialBackend {
public:
    virtual ~SerialBackend() = default;

    // Acquires the device for exclusive use and applies the settings; throws SerialError.
    virtual void Open(const std::string& device, const LineSettings& settings,
                      std::size_t inQueueSize, std::size_t outQueueSize) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual std::size_t BytesWaiting() = 0;
    // Takes up to `most` bytes, waiting up to `wait` for them and waking on
    // each arrival and on a stop request of `stop` (StopRequested); a zero
    // wait takes what is there.
    std::vector<std::uint8_t> Read(std::size_t most, std::chrono::nanoseconds wait, ISleeper& stop);
    // Writes every byte, in order, blocking until the system has taken them all.
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    virtual void DiscardOutput() = 0;
    virtual void DiscardInput() = 0;

protected:
    // The platform's part of a read. Appends what waits now, up to `most`
    // bytes in all, without waiting.
    virtual void TakeWaiting(std::vector<std::uint8_t>& bytes, std::size_t most) = 0;
    // Returns once a byte has come (it may append it to `bytes`), a stop is
    // signalled or `left` has passed.
    virtual void AwaitBytes(std::vector<std::uint8_t>& bytes, std::chrono::nanoseconds left,
                            ISleeper& stop) = 0;
    // Throws when the line has gone; asked when a read ends with nothing.
    virtual void CheckLine() {}
};

// The backend of the platform the program was built for.
std::unique_ptr<SerialBackend> MakePlatformBackend();

}  // namespace korvane::serial
