// The read every backend shares: take what waits, and wait for more until the
// bytes are there or the time is over.
#include "serial/SerialBackend.h"

namespace korvane::serial {

std::vector<std::uint8_t> SerialBackend::Read(std::size_t most, std::chrono::nanoseconds wait,
                                              ISleeper& stop)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::vector<std::uint8_t> bytes;
    while (true) {
        stop.CheckStop();
        TakeWaiting(bytes, most);
        if (bytes.size() >= most) return bytes;
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero()) {
            if (bytes.empty()) CheckLine();  // nothing came: perhaps the line is gone
            return bytes;
        }
        AwaitBytes(bytes, left, stop);
    }
}

}  // namespace korvane::serial
