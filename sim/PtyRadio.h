// The simulated radio on a pseudo-terminal: a thread serves the master side,
// so the real serial backend can open the slave path as its port. Stop (or the
// destructor) ends the thread and joins it.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "sim/RadioSim.h"

namespace korvane::sim {

class PtyRadio {
public:
    // Opens the pseudo-terminal and starts serving; throws std::system_error.
    explicit PtyRadio(SimOptions options = {});
    ~PtyRadio();
    PtyRadio(const PtyRadio&) = delete;
    PtyRadio& operator=(const PtyRadio&) = delete;

    // The device path to open as the serial port (e.g. /dev/pts/7).
    const std::string& SlavePath() const { return m_slavePath; }
    // What the radio has received so far; safe while it runs.
    SimResults Results() const;
    // Nothing is on the line in either direction: every byte sent has reached
    // the radio and every answer has left it.
    bool Quiet() const;
    void Stop();

private:
    void Serve();
    void WriteDue();
    void HangUp();

    mutable std::mutex m_mutex;  // guards m_radio
    RadioSim m_radio;
    int m_master = -1;
    int m_slaveHold =
        -1;  // keeps the master from reporting a hang-up while no one has the port open
    int m_wake[2] = {-1, -1};
    std::string m_slavePath;
    std::thread m_thread;
};

}  // namespace korvane::sim
