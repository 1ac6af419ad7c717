// The waiting read of a port on the sleeper's clock.
#include "serial/Port.h"

namespace korvane::serial {

std::vector<std::uint8_t> ClockedPort::Read(std::size_t most, std::chrono::nanoseconds wait,
                                            ISleeper& stop)
{
    const auto start = stop.MonotonicNow();
    std::vector<std::uint8_t> bytes;
    while (true) {
        stop.CheckStop();
        const std::vector<std::uint8_t> more = Take(most - bytes.size());
        bytes.insert(bytes.end(), more.begin(), more.end());
        if (bytes.size() >= most || stop.MonotonicNow() - start >= wait) return bytes;
        stop.Sleep(kLookInterval);
    }
}

}  // namespace korvane::serial
