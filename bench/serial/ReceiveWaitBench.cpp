// Measures what Receive costs while it waits on a silent line: the process
// CPU time as a share of wall time, and how late each 50 ms poll wakes up.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "serial/ByteExchange.h"
#include "serial/CMscomm.h"
#include "sim/PtyRadio.h"

namespace {

using namespace std::chrono_literals;
using korvane::serial::ByteExchange;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 5;
constexpr std::uint32_t kPollsPerRound = 20;  // the stages' longest wait: one second
constexpr double kCpuShareTarget = 1.0;       // per cent of wall time
constexpr double kOvershootTarget = 2.0;      // milliseconds

// The real sleeper, timing each sleep it is asked for.
class TimingSleeper : public korvane::serial::ISleeper {
public:
    void Sleep(std::chrono::milliseconds duration) override
    {
        const auto start = Clock::now();
        m_sleeper.Sleep(duration);
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        m_overshoots.push_back(took.count() - static_cast<double>(duration.count()));
    }
    void CheckStop() override { m_sleeper.CheckStop(); }
    void RequestStop() override { m_sleeper.RequestStop(); }
    void Reset() override { m_sleeper.Reset(); }
    bool StopWasRequested() const override { return m_sleeper.StopWasRequested(); }
    std::vector<double>& Overshoots() { return m_overshoots; }

private:
    korvane::serial::StoppableSleeper m_sleeper;
    std::vector<double> m_overshoots;
};

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main()
{
    korvane::sim::PtyRadio pty;  // a radio that is never spoken to stays silent
    korvane::serial::CMscomm port(korvane::serial::MakePlatformBackend(),
                                  [&](int) { return pty.SlavePath(); });
    port.SetCommPort(1);
    port.SetInBufferSize(1024);
    port.SetOutBufferSize(1024);
    port.SetSettings("115200,E,8,1");
    port.SetPortOpen(true);

    TimingSleeper sleeper;
    ByteExchange exchange(port.Port(), sleeper);

    const double cpuStart = ProcessCpuSeconds();
    const auto wallStart = Clock::now();
    for (int round = 0; round < kRounds; ++round) exchange.Receive(1, kPollsPerRound);
    const std::chrono::duration<double> wall = Clock::now() - wallStart;
    const double cpu = ProcessCpuSeconds() - cpuStart;

    const double cpuShare = 100.0 * cpu / wall.count();
    const double overshoot = Median(sleeper.Overshoots());
    std::printf("Receive waiting on a silent pty: %d x %u polls, %.3f s wall\n", kRounds,
                kPollsPerRound, wall.count());
    std::printf("CPU time while waiting: %.3f%% of wall time (target < %.0f%%) %s\n", cpuShare,
                kCpuShareTarget, cpuShare < kCpuShareTarget ? "ok" : "MISSED");
    std::printf("median overshoot of a 50 ms poll: %.3f ms (target < %.0f ms) %s\n", overshoot,
                kOvershootTarget, overshoot < kOvershootTarget ? "ok" : "MISSED");
    return 0;
}
