// Ctrl-C, SIGTERM and SIGHUP while a job runs: held back from every thread and
// taken by the front end's own wait, so the jobs can be stopped cleanly, the
// ports closed and the end reported.
#pragma once

#include <chrono>
#include <memory>

namespace korvane::cli {

// Makes a write to a closed pipe an error of that write (EPIPE) instead of the
// end of the process, for the whole process: the job goes on, the command
// reports what was lost. On POSIX it also keeps a closed standard stream
// closed to writes, so that no file or port opened later takes its number and
// receives the output meant for it. Called once, before anything else runs.
void GuardStandardStreams();

// How a stop request reached the program.
enum class StopSignal { None, Interrupt, Terminate, HangUp };

// While an InterruptWatch lives, these signals no longer end the process; the
// owner collects them with Wait. On POSIX, SIGINT, SIGTERM and SIGHUP are
// blocked in the thread that made it and in every thread started afterwards
// from it (they inherit the mask), and the previous mask comes back on
// destruction, with a signal that arrived meanwhile consumed rather than
// delivered. On Windows a console control handler counts Ctrl-C and
// Ctrl-Break (as Interrupt) and the console's closing (as HangUp).
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Waits up to `timeout` for a signal; true when one came during this wait.
    bool Wait(std::chrono::milliseconds timeout);
    // How many signals have been taken so far.
    int Count() const { return m_count; }
    bool Interrupted() const { return m_count > 0; }
    // The first signal taken: the one the exit status tells.
    StopSignal First() const { return m_first; }

private:
    void Take(StopSignal signal);

    struct Saved;
    std::unique_ptr<Saved> m_saved;
    int m_count = 0;
    StopSignal m_first = StopSignal::None;
};

}  // namespace korvane::cli
