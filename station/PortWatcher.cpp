// Plugged, unplugged or flapping: the station's view of its ports over time.
#include "station/PortWatcher.h"

#include <algorithm>
#include <set>

namespace korvane::station {

void PortWatcher::Appeared(Track& track, Clock::time_point now, std::vector<PortChange>& changes)
{
    auto& seen = track.appearances;
    seen.erase(std::remove_if(seen.begin(), seen.end(),
                              [&](Clock::time_point t) { return now - t > m_limits.flapWindow; }),
               seen.end());
    seen.push_back(now);
    track.present = true;
    track.presentSince = now;
    track.reported = false;
    if (static_cast<int>(seen.size()) >= m_limits.flapAppearances) {
        if (!track.flapping) changes.push_back({PortChange::Kind::Flapping, track.port});
        track.flapping = true;
    }
    if (!track.flapping) {
        track.reported = true;
        changes.push_back({PortChange::Kind::Plugged, track.port});
    }
}

std::vector<PortChange> PortWatcher::Update(const std::vector<SeenPort>& present,
                                            Clock::time_point now)
{
    std::vector<PortChange> changes;
    std::set<std::string> here;
    for (const SeenPort& port : present) {
        if (!here.insert(port.device).second) continue;  // two names of one device: the first
        Track& track = m_tracks[port.device];
        if (track.present) {
            // A flapping port that has stayed put long enough is a radio after all.
            if (track.flapping && !track.reported && now - track.presentSince >= m_limits.settle) {
                track.flapping = false;
                track.appearances.clear();
                track.reported = true;
                changes.push_back({PortChange::Kind::Plugged, track.port});
            }
            continue;
        }
        track.port = port;
        Appeared(track, now, changes);
    }
    for (auto it = m_tracks.begin(); it != m_tracks.end();) {
        Track& track = it->second;
        if (track.present && here.count(it->first) == 0) {
            track.present = false;
            if (track.reported) changes.push_back({PortChange::Kind::Unplugged, track.port});
            track.reported = false;
        }
        // A port long gone and not flapping is forgotten, so the map stays small
        // over a long session.
        const bool stale =
            !track.present && !track.flapping &&
            (track.appearances.empty() || now - track.appearances.back() > m_limits.flapWindow);
        it = stale ? m_tracks.erase(it) : std::next(it);
    }
    // A flapping port that is gone and quiet for a whole window stops flapping.
    for (auto& [device, track] : m_tracks) {
        if (!track.present && track.flapping &&
            now - track.appearances.back() > m_limits.flapWindow) {
            track.flapping = false;
            track.appearances.clear();
        }
    }
    return changes;
}

}  // namespace korvane::station
