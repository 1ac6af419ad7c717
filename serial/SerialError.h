// The serial error: one type for every failure of the port, with a kind that
// front ends map to exit codes and a description a technician can act on.
#pragma once

#include <string>

#include "error/Error.h"

namespace korvane::serial {

enum class SerialErrorKind {
    NoSuchPort,        // port number 0, or no device behind the number or path
    Busy,              // another program holds the device
    PermissionDenied,  // no rights on the device (on Linux: the dialout group)
    NotOpen,           // an operation that needs an open port on a closed one
    DeviceGone,        // the device disappeared or hung up while open
    BadSettings,       // a malformed line-settings string, or settings the device refused
    Io,                // any other failure of the system call
    AlreadyOpen,       // a change that needs a closed port, made while it is open
};

class SerialError : public korvane::Error {
public:
    SerialError(SerialErrorKind kind, const std::string& description, std::string hint = {})
        : korvane::Error(ErrorKind::Serial, description, std::move(hint)), m_kind(kind)
    {
    }
    // Which serial failure; Kind() (the error model's) says Serial for every one.
    SerialErrorKind SerialKind() const { return m_kind; }

private:
    SerialErrorKind m_kind;
};

// The error for a port number below 1: the dialog's list had no entry selected.
inline SerialError NoPortSelectedError(int portNumber)
{
    return SerialError(SerialErrorKind::NoSuchPort, "No serial port is selected (port number " +
                                                        std::to_string(portNumber) +
                                                        "). Choose a port from the list first.");
}

}  // namespace korvane::serial
