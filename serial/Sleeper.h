// The second seam of the byte exchange: how the worker waits. Production sleeps
// for real and wakes at once when a stop is requested; tests use a virtual clock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "error/Error.h"
#include "serial/StopSignal.h"

namespace korvane::serial {

// Thrown out of a sleep when the job has been asked to stop.
class StopRequested : public korvane::Error {
public:
    StopRequested() : korvane::Error(ErrorKind::Stopped, "the job was asked to stop") {}
};

class ISleeper {
public:
    virtual ~ISleeper() = default;
    // Waits `duration`; throws StopRequested when a stop has been requested.
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
    // Throws StopRequested when a stop has been requested; returns otherwise.
    virtual void CheckStop() {}
    // Asks every current and later Sleep and CheckStop to throw StopRequested,
    // from any thread, until Reset.
    virtual void RequestStop() = 0;
    virtual void Reset() = 0;
    virtual bool StopWasRequested() const = 0;
    // A monotonic time, for waits bounded by a ceiling rather than by a count
    // of sleeps (a loaded machine stretches each sleep).
    virtual std::chrono::nanoseconds MonotonicNow() const
    {
        return std::chrono::steady_clock::now().time_since_epoch();
    }
    // A descriptor that becomes readable when a stop is requested, for the
    // port's waits to watch beside the device; -1 when there is none (a
    // virtual clock, or a platform whose waits look between slices).
    virtual int StopDescriptor() const { return -1; }
};

// Real time, stoppable from another thread.
class StoppableSleeper : public ISleeper {
public:
    void Sleep(std::chrono::milliseconds duration) override;
    void CheckStop() override;
    void RequestStop() override;
    void Reset() override;
    bool StopWasRequested() const override;
    int StopDescriptor() const override { return m_signal.Descriptor(); }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    StopSignal m_signal;
};

}  // namespace korvane::serial
