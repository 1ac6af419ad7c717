// A stop request the system's own waits can watch beside a device. On POSIX it
// is a pipe that holds a byte while a stop is requested, so a poll() on the
// port wakes on the stop as it wakes on the bytes. The Win32 port cuts its
// waits into short slices and looks at the request between them instead, so
// there the signal has no handle.
#pragma once

namespace korvane::serial {

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Raise();
    void Clear();
    // Readable while raised; -1 where the platform has none.
    int Descriptor() const { return m_read; }

private:
    int m_read = -1;
    int m_write = -1;
};

}  // namespace korvane::serial
