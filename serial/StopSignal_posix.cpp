// The stop signal as a non-blocking pipe: raised holds one byte in it, cleared drains it.
#include <fcntl.h>
#include <unistd.h>

#include <array>

#include "serial/StopSignal.h"

namespace korvane::serial {

StopSignal::StopSignal()
{
    // Without the pipe a wait still sees a stop, only at the end of its slice
    // (the port's waits never sleep longer than that without looking).
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_read = ends[0];
        m_write = ends[1];
    }
}

StopSignal::~StopSignal()
{
    if (m_read >= 0) ::close(m_read);
    if (m_write >= 0) ::close(m_write);
}

void StopSignal::Raise()
{
    if (m_write < 0) return;
    const char byte = 1;
    (void)!::write(m_write, &byte, 1);  // a full pipe is raised already
}

void StopSignal::Clear()
{
    if (m_read < 0) return;
    std::array<char, 64> drain{};
    while (::read(m_read, drain.data(), drain.size()) > 0) {}
}

}  // namespace korvane::serial
