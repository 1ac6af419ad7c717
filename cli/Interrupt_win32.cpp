// Ctrl-C on Windows: a console control handler, installed while the watch lives,
// consumes Ctrl-C and Ctrl-Break and signals an event that the watching thread
// waits on. The system runs the handler on a thread of its own.
#include <windows.h>

#include <atomic>

#include "cli/Interrupt.h"

namespace korvane::cli {

namespace {

// The handler has no context argument, so the event of the live watch is
// published here for it.
std::atomic<HANDLE> g_interruptEvent{nullptr};
// Whether the console is closing rather than interrupted, for the exit status.
std::atomic<bool> g_closing{false};

BOOL WINAPI OnConsoleControl(DWORD type)
{
    if (type == CTRL_CLOSE_EVENT) {
        g_closing = true;
    } else if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    if (const HANDLE event = g_interruptEvent.load()) SetEvent(event);
    return TRUE;  // handled: the process is not ended
}

}  // namespace

void GuardStandardStreams()
{
    // Windows has no SIGPIPE: a write to a closed pipe already fails (EPIPE).
}

struct InterruptWatch::Saved {
    HANDLE event = nullptr;
    bool handlerInstalled = false;
};

InterruptWatch::InterruptWatch() : m_saved(std::make_unique<Saved>())
{
    // Auto-reset: each Ctrl-C is counted once by the wait that takes it.
    m_saved->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_interruptEvent.store(m_saved->event);
    // Without a console (output redirected, no window) there is no Ctrl-C to
    // catch; the watch then simply never reports one.
    m_saved->handlerInstalled = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

InterruptWatch::~InterruptWatch()
{
    if (m_saved->handlerInstalled) SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_interruptEvent.store(nullptr);
    // A Ctrl-C that came meanwhile is consumed with the event rather than
    // delivered to the default handler, which would end the process.
    if (m_saved->event) CloseHandle(m_saved->event);
}

bool InterruptWatch::Wait(std::chrono::milliseconds timeout)
{
    if (!m_saved->event) {
        Sleep(static_cast<DWORD>(timeout.count()));
        return false;
    }
    if (WaitForSingleObject(m_saved->event, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0) {
        Take(g_closing.load() ? StopSignal::HangUp : StopSignal::Interrupt);
        return true;
    }
    return false;
}

void InterruptWatch::Take(StopSignal signal)
{
    if (m_count++ == 0) m_first = signal;
}

}  // namespace korvane::cli
