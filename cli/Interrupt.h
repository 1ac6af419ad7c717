// Ctrl-C while a job runs: the interrupt is held back from every thread and
// taken by the front end's own wait, so the job can be stopped cleanly.
#pragma once

#include <chrono>
#include <memory>

namespace korvane::cli {

// While an InterruptWatch lives, Ctrl-C no longer ends the process; the owner
// collects it with Wait. On POSIX, SIGINT is blocked in the thread that made it
// and in every thread started afterwards from it (they inherit the mask), and the
// previous mask comes back on destruction, with an interrupt that arrived
// meanwhile consumed rather than delivered. On Windows a console control handler
// counts Ctrl-C and Ctrl-Break until destruction.
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Waits up to `timeout` for Ctrl-C; true when one came during this wait.
    bool Wait(std::chrono::milliseconds timeout);
    // How many Ctrl-C have been taken so far.
    int Count() const { return m_count; }
    bool Interrupted() const { return m_count > 0; }

private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
    int m_count = 0;
};

}  // namespace korvane::cli
