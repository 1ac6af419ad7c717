// The program's one error model: every failure the core reports is a
// korvane::Error with a stable kind, a message that says what failed (the
// command, the port, the file, the device's answer) and a separate hint that
// says what to try. Front ends decide how to show the two.
#pragma once

#include <stdexcept>
#include <string>

namespace korvane {

enum class ErrorKind {
    Usage,    // bad arguments to a front end
    Image,    // an image file cannot be used (missing, not a regular file, too large)
    File,     // any other file could not be opened, read or written
    Serial,   // the port cannot be opened, failed or was lost
    Refused,  // the radio refused a protocol step or did not answer in time
    Stopped,  // the user asked the job to stop
    Process,  // a helper program (adb, a driver script) failed or timed out
    Other,    // anything else (never expected)
};

class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message, std::string hint = {})
        : std::runtime_error(message), m_kind(kind), m_hint(std::move(hint))
    {
    }
    // A message with no hint and no particular kind.
    explicit Error(const std::string& message) : Error(ErrorKind::Other, message) {}

    ErrorKind Kind() const { return m_kind; }
    std::string Message() const { return what(); }
    const std::string& Hint() const { return m_hint; }

private:
    ErrorKind m_kind;
    std::string m_hint;
};

// A file could not be opened, measured, read or written.
class FileError : public Error {
public:
    explicit FileError(const std::string& message, std::string hint = {})
        : Error(ErrorKind::File, message, std::move(hint))
    {
    }

protected:
    FileError(ErrorKind kind, const std::string& message, std::string hint)
        : Error(kind, message, std::move(hint))
    {
    }
};

// What a person is shown of any exception: the message, and on its own line
// the hint when the error carries one.
inline std::string MessageWithHint(const std::exception& error)
{
    const auto* ours = dynamic_cast<const Error*>(&error);
    if (ours == nullptr || ours->Hint().empty()) return error.what();
    return std::string(error.what()) + "\n\n" + ours->Hint();
}

}  // namespace korvane
