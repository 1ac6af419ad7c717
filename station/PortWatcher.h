// Which radios were plugged in or unplugged since the last look: the station
// compares each look at the ports with the one before and tells a port that
// comes and goes (a bad cable) apart from a radio plugged in.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace korvane::station {

using Clock = std::chrono::steady_clock;

// One port as a source sees it: the name to show and open, and what is known of
// the adapter behind it.
struct SeenPort {
    std::string name;      // what the technician gave or the port list shows
    std::string device;    // the device it resolves to (links followed)
    std::string location;  // USB location, where known
    std::string serialNumber;
};

struct PortChange {
    enum class Kind {
        Plugged,    // a port appeared (or a flapping port has settled)
        Unplugged,  // a port that was there is gone
        Flapping,   // a port comes and goes too often to be a radio being plugged in
    };
    Kind kind;
    SeenPort port;
};

class PortWatcher {
public:
    // A port that appears this many times within the window is flapping; it is
    // reported plugged again only once it has stayed present for the settle time.
    struct Limits {
        int flapAppearances = 3;
        Clock::duration flapWindow = std::chrono::seconds(5);
        Clock::duration settle = std::chrono::seconds(3);
    };

    PortWatcher() = default;
    explicit PortWatcher(Limits limits) : m_limits(limits) {}

    // The changes since the last call, given the ports present now.
    std::vector<PortChange> Update(const std::vector<SeenPort>& present, Clock::time_point now);

private:
    struct Track {
        SeenPort port;
        bool present = false;
        bool reported = false;  // Plugged was reported for the present appearance
        bool flapping = false;
        Clock::time_point presentSince;
        std::vector<Clock::time_point> appearances;  // within the flap window
    };

    void Appeared(Track& track, Clock::time_point now, std::vector<PortChange>& changes);

    Limits m_limits;
    std::map<std::string, Track> m_tracks;  // by device
};

}  // namespace korvane::station
