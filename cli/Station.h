// The flashing station: one download job per radio as radios are plugged in,
// several at once. A radio that has ended stays on its port and is left alone
// until the port goes away and comes back; a port that comes and goes too often
// is shown and not used. Each ended job leaves one history line. The Station
// class is the orchestration, free of any screen; RunStation is `korvane
// station`, which drives it from the port list or watched paths and shows it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/FlashView.h"
#include "cli/Interrupt.h"
#include "cli/JobHistory.h"
#include "cli/Options.h"
#include "cli/RadioRun.h"
#include "radios/RadioJob.h"
#include "settings/SettingsStore.h"
#include "station/PortWatcher.h"

namespace korvane::cli {

// One port the station sees, and the radio on it.
struct StationSlot {
    enum class Phase {
        Opening,   // plugged in: its port is being opened (a fresh adapter may take a moment)
        Running,   // its job runs
        Ended,     // its job ended: the radio waits to be unplugged
        Flapping,  // the port comes and goes: nothing starts on it
        Held,      // plugged in after the session's last job had started
    };
    station::SeenPort port;
    Phase phase = Phase::Opening;
    std::size_t job = 0;  // number of its latest job in the session, from 1; 0: none yet
    RadioState radio;     // radio.port is the port's name
};

struct StationTotals {
    int upgraded = 0;
    int failed = 0;   // every other end: refused, lost, stopped, not opened
    int running = 0;  // jobs opening or running
    double seconds = 0.0;
};

// What the station tells its front end, on the front end's thread.
class StationObserver {
public:
    virtual ~StationObserver() = default;
    virtual void OnPlugged(const StationSlot& slot) = 0;
    virtual void OnUnplugged(const StationSlot& slot) = 0;
    virtual void OnFlapping(const StationSlot& slot) = 0;
    virtual void OnHeld(const StationSlot& slot) = 0;
    // A status line of the slot's job, or the chip's line.
    virtual void OnStatus(const StationSlot& slot, const std::string& line) = 0;
    // The slot's job ended: slot.radio.outcome holds how.
    virtual void OnEnded(const StationSlot& slot) = 0;
    // Something the technician should know that fails nothing ("port: " first
    // when it belongs to a port).
    virtual void OnWarning(const std::string& text) = 0;
};

struct StationSetup {
    FlashImages images;
    FlashOutcome base;          // what every radio reports of the images
    JobHistoryContext history;  // image names and pacing; the rest is filled per job
    std::filesystem::path historyFile;
    std::optional<int> maxJobs;  // no job starts once this many have started
    station::PortWatcher::Limits limits;
};

class Station {
public:
    Station(StationSetup setup, settings::SettingsStore& store, StationObserver& observer);
    // Stops every job at its next poll, waits for them and closes their ports.
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // One look at the ports present now: starts jobs on radios plugged in, frees
    // the slots of radios unplugged, retries ports that did not open yet.
    void Look(const std::vector<station::SeenPort>& present, station::Clock::time_point now);
    // Applies what the jobs told since the last call; a job's end is classified
    // with `stop`, the signal that asked it to stop, if one did.
    void Pump(StopSignal stop, station::Clock::time_point now);
    // Every running job stops at its next poll; no job starts any more.
    void RequestStop();

    // A job is opening its port or running.
    bool Busy() const;
    // The session's last job (see StationSetup::maxJobs) has ended.
    bool Done() const;
    // Every job that ended succeeded.
    bool AllSucceeded() const { return m_totals.failed == 0; }
    StationTotals Totals(station::Clock::time_point now) const;
    // The slots, in the order of their ports' names.
    std::vector<const StationSlot*> Slots() const;

private:
    struct Entry {
        StationSlot slot;
        std::unique_ptr<RadioJob> job;
        bool present = true;
        bool replugged = false;  // came back while its job still ran: starts again after it
        station::Clock::time_point plugged;
        station::Clock::time_point started;
        JobHistoryContext history;
    };

    void Plugged(const station::SeenPort& port, station::Clock::time_point now);
    void Unplugged(const station::SeenPort& port);
    void Flapping(const station::SeenPort& port);
    void Open(Entry& entry, station::Clock::time_point now);
    void Begin(Entry& entry, station::Clock::time_point now);
    void End(Entry& entry, station::Clock::time_point now);
    bool MayStart() const;

    StationSetup m_setup;
    settings::SettingsStore& m_store;
    StationObserver& m_observer;
    station::PortWatcher m_watcher;
    RadioEvents m_events;
    std::map<std::string, Entry> m_entries;     // by device
    std::map<std::size_t, std::string> m_jobs;  // job number -> device, while it runs
    std::size_t m_numbered = 0;                 // jobs numbered so far
    std::size_t m_started = 0;                  // jobs that began or are opening their port
    std::size_t m_ended = 0;
    bool m_stopping = false;
    station::Clock::time_point m_since;
    StationTotals m_totals;
};

// `korvane station`: watches the ports until Ctrl-C (or --max-jobs), then
// prints the session's totals.
int RunStation(const Console& console, const std::filesystem::path& programDir,
               const StationOptions& options);

}  // namespace korvane::cli
