// Ctrl-C, SIGTERM and SIGHUP on POSIX: blocked for the job's threads and taken
// with sigtimedwait by the thread that watches the jobs; no handler, no extra thread.
#include <cerrno>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "cli/Interrupt.h"

namespace korvane::cli {

struct InterruptWatch::Saved {
    sigset_t previousMask;
};

namespace {

sigset_t InterruptSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

void GuardStandardStreams()
{
    std::signal(SIGPIPE, SIG_IGN);
    for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is this one: the lower ones are open by now.
        // Read-only, so that writes meant for the closed stream fail (EBADF).
        const int held = open("/dev/null", O_RDONLY);
        if (held != descriptor && held >= 0) close(held);
    }
}

InterruptWatch::InterruptWatch() : m_saved(std::make_unique<Saved>())
{
    const sigset_t set = InterruptSet();
    pthread_sigmask(SIG_BLOCK, &set, &m_saved->previousMask);
}

InterruptWatch::~InterruptWatch()
{
    // A signal still pending would be delivered (and end the process) as soon
    // as the mask is restored: take them here instead.
    while (Wait(std::chrono::milliseconds(0))) {}
    pthread_sigmask(SIG_SETMASK, &m_saved->previousMask, nullptr);
}

bool InterruptWatch::Wait(std::chrono::milliseconds timeout)
{
    const sigset_t set = InterruptSet();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
    timespec wait{};
    wait.tv_sec = static_cast<time_t>(seconds.count());
    wait.tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(timeout - seconds).count());
    int signal = -1;
    do {
        signal = sigtimedwait(&set, nullptr, &wait);
    } while (signal < 0 && errno == EINTR);
    switch (signal) {
        case SIGINT:
            Take(StopSignal::Interrupt);
            return true;
        case SIGTERM:
            Take(StopSignal::Terminate);
            return true;
        case SIGHUP:
            Take(StopSignal::HangUp);
            return true;
        default:
            return false;
    }
}

void InterruptWatch::Take(StopSignal signal)
{
    if (m_count++ == 0) m_first = signal;
}

}  // namespace korvane::cli
