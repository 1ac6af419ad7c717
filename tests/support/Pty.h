// A pseudo-terminal for device tests: the code under test opens the slave path
// as its serial port, the test plays the far end on the master.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvane::testing {

class Pty {
public:
    // Opens a master and makes its slave ready to open; throws std::system_error.
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int MasterFd() const { return m_master; }

    // Writes every byte to the master (the slave reads them); throws std::system_error.
    void Write(std::span<const std::uint8_t> bytes);
    void Write(const std::vector<std::uint8_t>& bytes) { Write(std::span(bytes)); }

    // Reads from the master until `count` bytes have come or `timeout` has
    // passed; returns what came.
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds timeout);
    // Reads whatever arrives within `timeout` (stops after a quiet `settle`).
    std::vector<std::uint8_t> ReadAll(
        std::chrono::milliseconds timeout,
        std::chrono::milliseconds settle = std::chrono::milliseconds(50));

    // Closes the master, which hangs up the slave.
    void CloseMaster();

private:
    // One read of at most `most` bytes once something arrives; empty on timeout.
    std::vector<std::uint8_t> ReadOnce(std::size_t most, std::chrono::milliseconds timeout);

    int m_master = -1;
    std::string m_slavePath;
};

}  // namespace korvane::testing
