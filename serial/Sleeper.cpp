// The worker's real-time sleeper: waits on a condition variable, so a stop
// request from the dialog thread wakes a sleeping worker at once.
#include "serial/Sleeper.h"

namespace korvane::serial {

void StoppableSleeper::Sleep(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_mutex);
    // wait_for with a predicate keeps waiting through spurious wake-ups and
    // returns early only for a stop request.
    if (m_wake.wait_for(lock, duration, [this] { return m_stop; })) throw StopRequested();
}

void StoppableSleeper::CheckStop()
{
    std::lock_guard lock(m_mutex);
    if (m_stop) throw StopRequested();
}

void StoppableSleeper::RequestStop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_signal.Raise();
    }
    m_wake.notify_all();
}

void StoppableSleeper::Reset()
{
    std::lock_guard lock(m_mutex);
    m_stop = false;
    m_signal.Clear();
}

bool StoppableSleeper::StopWasRequested() const
{
    std::lock_guard lock(m_mutex);
    return m_stop;
}

}  // namespace korvane::serial
