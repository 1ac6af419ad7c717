// The flashing station: a slot per port seen, a job per radio plugged in, a
// history line per job; and `korvane station`, its loop on the command line.
#include "cli/Station.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <set>
#include <sstream>
#include <utility>

#include "base/TextEncoding.h"
#include "cli/Commands.h"
#include "cli/Progress.h"
#include "cli/RadioRun.h"
#include "cli/StationView.h"
#include "cli/TextIds.h"
#include "firmware/image/Qorin_CRC32.h"
#include "serial/PortList.h"
#include "settings/OwnText.h"
#include "station/PortSource.h"

namespace korvane::cli {
namespace {

using settings::OwnText;
using station::Clock;
using Phase = StationSlot::Phase;

// A port list is looked at twice a second: a radio plugged in starts within
// half a second, and listing the ports costs next to nothing.
constexpr std::chrono::milliseconds kLookInterval{500};
constexpr std::chrono::milliseconds kRefreshInterval{100};
// A port just plugged in may refuse to open for a moment (its device node is
// made before its permissions are set): it is tried at each look this long.
constexpr std::chrono::seconds kOpenGrace{3};

double SecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// The USB location and serial number of a watched path's device, from the port
// list, where the list has it.
station::SeenPort WithAdapter(station::SeenPort port)
{
    if (!port.location.empty() || !port.serialNumber.empty()) return port;
    try {
        for (const serial::PortInfo& info : serial::ListSerialPorts()) {
            if (info.device != port.device) continue;
            port.location = info.usbLocation;
            port.serialNumber = info.serialNumber;
        }
    } catch (const korvane::Error&) {
        // Without the list the port is shown by its name alone.
    }
    return port;
}

void EachLine(const std::string& text, const std::function<void(const std::string&)>& take)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) take(line);
    }
}

}  // namespace

Station::Station(StationSetup setup, settings::SettingsStore& store, StationObserver& observer)
    : m_setup(std::move(setup)),
      m_store(store),
      m_observer(observer),
      m_watcher(m_setup.limits),
      m_since(Clock::now())
{
}

Station::~Station()
{
    for (auto& [device, entry] : m_entries) {
        if (entry.job) entry.job->RequestStop();
    }
    m_entries.clear();  // each job joined, its port closed
}

bool Station::MayStart() const
{
    return !m_stopping &&
           (!m_setup.maxJobs || m_started < static_cast<std::size_t>(*m_setup.maxJobs));
}

void Station::Look(const std::vector<station::SeenPort>& present, Clock::time_point now)
{
    for (const station::PortChange& change : m_watcher.Update(present, now)) {
        switch (change.kind) {
            case station::PortChange::Kind::Plugged:
                Plugged(change.port, now);
                break;
            case station::PortChange::Kind::Unplugged:
                Unplugged(change.port);
                break;
            case station::PortChange::Kind::Flapping:
                Flapping(change.port);
                break;
        }
    }
    // A flapping port is never reported gone (it was never reported plugged):
    // its slot goes with it.
    std::set<std::string> here;
    for (const station::SeenPort& port : present) here.insert(port.device);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        const bool gone = it->second.slot.phase == Phase::Flapping && here.count(it->first) == 0;
        it = gone ? m_entries.erase(it) : std::next(it);
    }
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        Entry& entry = it->second;
        ++it;  // Open may end the job, and End may forget the entry
        if (entry.slot.phase == Phase::Opening) Open(entry, now);
    }
}

void Station::Plugged(const station::SeenPort& port, Clock::time_point now)
{
    const auto found = m_entries.find(port.device);
    if (found != m_entries.end()) {
        Entry& entry = found->second;
        entry.present = true;
        if (entry.slot.phase == Phase::Running) {
            entry.replugged = true;  // a new radio, once the old job has noticed its port went
            return;
        }
        m_entries.erase(found);
    }
    Entry& entry = m_entries[port.device];
    entry.slot.port = WithAdapter(port);
    entry.slot.radio.port = port.name;
    entry.plugged = now;
    if (!MayStart()) {
        entry.slot.phase = Phase::Held;
        m_observer.OnHeld(entry.slot);
        return;
    }
    entry.slot.phase = Phase::Opening;
    entry.slot.job = ++m_numbered;
    ++m_started;
    entry.slot.radio.outcome = m_setup.base;
    entry.slot.radio.outcome.port = port.name;
    entry.slot.radio.outcome.device = port.device;
    entry.history = m_setup.history;
    entry.history.location = entry.slot.port.location;
    entry.history.adapterSerial = entry.slot.port.serialNumber;
    entry.job = std::make_unique<RadioJob>(entry.slot.job, m_events, m_store);
    m_observer.OnPlugged(entry.slot);
}

void Station::Unplugged(const station::SeenPort& port)
{
    const auto found = m_entries.find(port.device);
    if (found == m_entries.end()) return;
    Entry& entry = found->second;
    entry.present = false;
    entry.replugged = false;
    m_observer.OnUnplugged(entry.slot);
    // A running job ends by itself: a port that is gone fails its next operation.
    if (entry.slot.phase == Phase::Running) return;
    if (entry.slot.phase == Phase::Opening) --m_started;  // it never began
    m_entries.erase(found);
}

void Station::Flapping(const station::SeenPort& port)
{
    Entry& entry = m_entries[port.device];
    entry.present = true;
    entry.replugged = false;
    if (entry.slot.phase == Phase::Running) return;  // shown flapping once its job has ended
    if (entry.slot.phase == Phase::Opening && entry.job) --m_started;
    entry.job.reset();
    entry.slot = StationSlot{};
    entry.slot.port = port;
    entry.slot.radio.port = port.name;
    entry.slot.phase = Phase::Flapping;
    m_observer.OnFlapping(entry.slot);
}

void Station::Open(Entry& entry, Clock::time_point now)
{
    try {
        entry.job->Open(entry.slot.port.device);
    } catch (const korvane::Error& error) {
        if (now - entry.plugged < kOpenGrace) return;  // tried again at the next look
        entry.slot.radio.outcome =
            PortNotOpened(entry.slot.radio.outcome, error, entry.slot.port.device);
        if (!m_store.ReadProblem()) entry.slot.radio.outcome.counter = m_store.UpgradeCount();
        entry.history.started = std::chrono::system_clock::now();
        End(entry, now);
        return;
    }
    entry.slot.phase = Phase::Running;
    entry.started = now;
    entry.history.started = std::chrono::system_clock::now();
    m_jobs[entry.slot.job] = entry.slot.port.device;
    entry.job->Start(m_setup.images);
}

void Station::Pump(StopSignal stop, Clock::time_point now)
{
    std::string line;
    for (const RadioEvent& event : m_events.Take()) {
        const auto job = m_jobs.find(event.radio);
        if (job == m_jobs.end()) continue;
        Entry& entry = m_entries.at(job->second);
        const bool ended = ApplyEvent(event, stop, entry.slot.radio, line);
        if (!line.empty()) m_observer.OnStatus(entry.slot, line);
        if (!ended) continue;
        FlashOutcome& outcome = entry.slot.radio.outcome;
        outcome.seconds = SecondsBetween(entry.started, now);
        // The port went away under a running job: the adapter was pulled.
        if (outcome.kind == firmware::JobOutcome::Serial) outcome.result = "port-lost";
        End(entry, now);
    }
    for (auto& [device, entry] : m_entries) {
        if (entry.slot.phase == Phase::Running) {
            entry.slot.radio.seconds = SecondsBetween(entry.started, now);
        }
    }
}

void Station::End(Entry& entry, Clock::time_point now)
{
    entry.job->Finish();  // joined, port closed
    entry.job.reset();
    m_jobs.erase(entry.slot.job);
    ++m_ended;
    StationSlot& slot = entry.slot;
    const FlashOutcome& outcome = slot.radio.outcome;
    ++(outcome.exitStatus == kExitSuccess ? m_totals.upgraded : m_totals.failed);
    slot.phase = Phase::Ended;
    slot.radio.ended = true;
    EachLine(outcome.record.warning, [&](const std::string& warning) {
        m_observer.OnWarning(slot.port.name + ": " + warning);
    });
    // The history never fails a job: a line that cannot be written is a warning.
    const std::optional<std::string> unwritten =
        AppendToHistory(m_setup.historyFile, HistoryRecordOf(outcome, entry.history));
    if (unwritten) {
        EachLine(*unwritten, [&](const std::string& text) {
            m_observer.OnWarning(slot.port.name + ": " + text);
        });
    }
    m_observer.OnEnded(slot);
    if (!entry.present) {
        m_entries.erase(slot.port.device);
    } else if (entry.replugged) {
        const station::SeenPort port = slot.port;
        Plugged(port, now);  // the radio plugged in meanwhile gets its own job
    }
}

void Station::RequestStop()
{
    m_stopping = true;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        Entry& entry = it->second;
        if (entry.slot.phase == Phase::Running) entry.job->RequestStop();
        // A port still being opened has no job to stop: it is let go.
        const bool opening = entry.slot.phase == Phase::Opening;
        if (opening) --m_started;
        it = opening ? m_entries.erase(it) : std::next(it);
    }
}

bool Station::Busy() const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [](const auto& item) {
        const Phase phase = item.second.slot.phase;
        return phase == Phase::Opening || phase == Phase::Running;
    });
}

bool Station::Done() const
{
    return m_setup.maxJobs && m_ended >= static_cast<std::size_t>(*m_setup.maxJobs);
}

StationTotals Station::Totals(Clock::time_point now) const
{
    StationTotals totals = m_totals;
    totals.running =
        static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(), [](const auto& item) {
            const Phase phase = item.second.slot.phase;
            return phase == Phase::Opening || phase == Phase::Running;
        }));
    totals.seconds = SecondsBetween(m_since, now);
    return totals;
}

std::vector<const StationSlot*> Station::Slots() const
{
    std::vector<const StationSlot*> slots;
    for (const auto& [device, entry] : m_entries) slots.push_back(&entry.slot);
    std::sort(slots.begin(), slots.end(), [](const StationSlot* a, const StationSlot* b) {
        return a->port.name < b->port.name;
    });
    return slots;
}

namespace {

std::string Join(const std::vector<std::string>& parts)
{
    std::string joined;
    for (const std::string& part : parts) joined += (joined.empty() ? "" : ", ") + part;
    return joined;
}

// "the USB serial adapters (ids 0403:6001, usb 1-1.)" or the watched patterns.
std::string WatchedWords(const StationOptions& options)
{
    if (!options.watch.empty()) return Join(options.watch);
    std::string words = options.allPorts ? OwnText(kTextStationAllPorts, "every serial port")
                                         : OwnText(kTextStationUsbPorts, "the USB serial adapters");
    std::vector<std::string> filters;
    if (!options.vidPids.empty()) filters.push_back(Join(options.vidPids));
    if (!options.location.empty()) filters.push_back("usb " + options.location + "*");
    if (!filters.empty()) {
        words += " " + OwnText(kTextStationFilters, "({0})", {Join(filters)});
    }
    return words;
}

std::string UpgradeWords(const FlashOutcome& base)
{
    const std::string user =
        FormatBytes(base.userBytes) + ", " + firmware::FormatCrcLabel(base.userCrc.value_or(0));
    if (!base.bootCrc) return OwnText(kTextStationUserOnly, "user program ({0})", {user});
    const std::string boot =
        FormatBytes(base.bootBytes) + ", " + firmware::FormatCrcLabel(*base.bootCrc);
    return OwnText(kTextStationFull, "full upgrade, boot image ({0}) and user program ({1})",
                   {boot, user});
}

std::string SessionLine(const StationTotals& totals)
{
    return OwnText(kTextStationSession, "Session: {0}, in {1}",
                   {FormatStationTotals(totals), FormatDuration(totals.seconds)});
}

}  // namespace

int RunStation(const Console& console, const std::filesystem::path& programDir,
               const StationOptions& options)
{
    // The images first, once for every radio of the session: a file that
    // cannot be used must not cost any radio an erase.
    StationSetup setup;
    try {
        setup.images = ReadImages(
            {options.bootPath, options.userPath, options.exactTiming, options.verify}, setup.base);
    } catch (const korvane::Error& error) {
        PrintFailure(console, error.what(), ImageHint(error));
        return kExitUsage;
    }
    if (options.bootPath) setup.history.bootImage = base::PathToUtf8(*options.bootPath);
    setup.history.userImage = base::PathToUtf8(options.userPath);
    setup.history.pacing = setup.images.pacing;
    setup.historyFile = options.historyFile.value_or(DefaultHistoryFile());
    setup.maxJobs = options.maxJobs;

    const station::PortFilter filter{!options.allPorts, options.vidPids, options.location};
    const std::function<std::vector<station::SeenPort>()> look = [&]() {
        if (!options.watch.empty()) return station::FromPatterns(options.watch);
        return station::FromPortList(serial::ListSerialPorts(), filter);
    };

    settings::SettingsStore store(programDir / settings::SettingsStore::kFileName);
    const std::unique_ptr<StationView> view =
        MakeStationView({&console.out, &console.err, console.outIsTerminal, console.terminalWidth,
                         setup.base.bootBytes + setup.base.userBytes, !options.quiet});
    view->Note(OwnText(kTextStationWatching, "Watching {0} for radios: {1}",
                       {WatchedWords(options), UpgradeWords(setup.base)}));
    std::string history = OwnText(kTextStationHistoryIn, "History: {0}. Ctrl-C ends the session",
                                  {base::PathToUtf8(setup.historyFile)});
    if (options.maxJobs) {
        history =
            JoinClauses(history, OwnText(kTextStationEndsAfter, "it ends by itself after {0} jobs",
                                         {std::to_string(*options.maxJobs)}));
    }
    view->Note(Sentence(history));

    // Before any worker exists: the workers inherit the blocked signals.
    InterruptWatch interrupts;
    Station station(std::move(setup), store, *view);
    Clock::time_point nextLook = Clock::now();
    bool listFailed = false;
    while (true) {
        if (interrupts.Wait(kRefreshInterval)) {
            if (interrupts.Count() > 1) {
                // A job did not stop at its poll (a write the device never takes):
                // a second signal leaves at once; the system releases the ports.
                view->Finish();
                view->Note(SessionLine(station.Totals(Clock::now())));
                std::_Exit(ExitStatusOf(interrupts.First()));
            }
            station.RequestStop();
            view->Note(OwnText(kTextStationStopping,
                               "Stopping: each running job ends at its next step (press "
                               "Ctrl-C again to quit at once)"));
        }
        const Clock::time_point now = Clock::now();
        if (!interrupts.Interrupted() && now >= nextLook) {
            nextLook = now + kLookInterval;
            try {
                station.Look(look(), now);
                listFailed = false;
            } catch (const korvane::Error& error) {
                // Nothing is taken for unplugged on a failed look; said once.
                if (!listFailed) {
                    view->OnWarning(OwnText(kTextStationListFailed,
                                            "the serial ports cannot be listed: {0}",
                                            {error.what()}));
                }
                listFailed = true;
            }
        }
        station.Pump(interrupts.First(), Clock::now());
        view->Refresh(station.Slots(), station.Totals(Clock::now()));
        if (interrupts.Interrupted() ? !station.Busy() : station.Done()) break;
    }
    const StationTotals totals = station.Totals(Clock::now());
    view->Finish();
    view->Note(SessionLine(totals));
    if (interrupts.Interrupted()) return ExitStatusOf(interrupts.First());
    return station.AllSucceeded() ? kExitSuccess : kExitFailed;
}

}  // namespace korvane::cli
