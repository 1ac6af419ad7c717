// The command's own output streams, watched: a write that fails (a reader that
// quit, a full disk, a closed stream) must neither end the process nor pass
// unseen. Every command writes through a CheckedOutput; once the command has
// ended, FinishOutput says what was lost on whichever stream still works and
// chooses the exit status.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>

namespace korvane::cli {

struct Console;

// An ostream that forwards to another one's buffer and keeps the system's
// reason (errno) for the first write or flush that failed.
class CheckedOutput {
public:
    explicit CheckedOutput(std::ostream& target);
    CheckedOutput(const CheckedOutput&) = delete;
    CheckedOutput& operator=(const CheckedOutput&) = delete;

    std::ostream& Stream() { return m_stream; }
    // Flushes what is still buffered; true while nothing was lost.
    bool Flush();
    bool Failed() const { return m_buffer.error != 0; }
    // The errno of the first failure (EPIPE: the reader closed its end).
    int Error() const { return m_buffer.error; }

private:
    struct Forwarder : std::streambuf {
        std::streambuf* target = nullptr;
        int error = 0;

        int_type overflow(int_type ch) override;
        std::streamsize xsputn(const char* text, std::streamsize count) override;
        int sync() override;
        void Fail();
    };

    Forwarder m_buffer;
    std::ostream m_stream;
};

// Says on the stream that still works what the other lost, and returns the
// exit status: the command's own, or kExitOutput when it succeeded but its
// standard output could not be written (a full disk, a closed stream). A
// reader that closed its end early (a pipe into `head`) and a standard error
// that cannot be written leave the command's status as it was.
int FinishOutput(CheckedOutput& out, CheckedOutput& err, int status);

}  // namespace korvane::cli
