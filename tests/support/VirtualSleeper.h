// A virtual clock for the byte-exchange seam: sleeps advance time instantly and
// are recorded, so retry limits and exact timings can be asserted in microseconds.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "serial/Sleeper.h"

namespace korvane::testing {

class VirtualSleeper : public serial::ISleeper {
public:
    void Sleep(std::chrono::milliseconds duration) override
    {
        CheckStop();
        m_sleeps.push_back(duration);
        m_now += duration;
        if (m_onSleep) m_onSleep(m_now);
        CheckStop();
    }
    void CheckStop() override
    {
        if (m_stop) throw serial::StopRequested();
    }
    // A stop on the virtual clock: requested from a hook (or a test) at a
    // chosen virtual time, it ends the job at that exact point.
    void RequestStop() override { m_stop = true; }
    void Reset() override { m_stop = false; }
    bool StopWasRequested() const override { return m_stop; }

    std::chrono::nanoseconds MonotonicNow() const override { return m_now; }

    std::chrono::milliseconds Now() const { return m_now; }
    const std::vector<std::chrono::milliseconds>& Sleeps() const { return m_sleeps; }
    // Called after each sleep with the new virtual time (lets a fake device "arrive").
    void OnSleep(std::function<void(std::chrono::milliseconds)> hook)
    {
        m_onSleep = std::move(hook);
    }

private:
    std::chrono::milliseconds m_now{0};
    std::vector<std::chrono::milliseconds> m_sleeps;
    std::function<void(std::chrono::milliseconds)> m_onSleep;
    bool m_stop = false;
};

}  // namespace korvane::testing
