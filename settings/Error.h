// The project's error types. Each carries one sentence a technician can act on:
// what failed, on which port or file, and the system's reason.
#pragma once

#include <stdexcept>
#include <string>

namespace korvane {

// Base of every serial and file error; what() is the user-facing description.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file could not be opened, measured, read or written.
class FileError : public Error {
public:
    using Error::Error;
};

}  // namespace korvane
