// `korvane flash`: reads the images once, resolves and opens each port, runs
// one DownloadJob per port at once, shows what their observers report, and
// turns how they ended into lines, a table, JSON and one exit status.
#include "cli/Flash.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "base/TextEncoding.h"
#include "cli/FlashReport.h"
#include "cli/FlashView.h"
#include "cli/Interrupt.h"
#include "cli/JobHistory.h"
#include "cli/RadioRun.h"
#include "cli/TextIds.h"
#include "firmware/image/Qorin_CRC32.h"
#include "radios/RadioJob.h"
#include "serial/PortList.h"
#include "serial/SerialError.h"
#include "settings/OwnText.h"
#include "settings/SettingsStore.h"

namespace korvane::cli {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using firmware::JobStage;
using settings::OwnText;

constexpr std::chrono::milliseconds kRefreshInterval{100};

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What Sys.dat holds now (other processes and the dialog may share it), or
// why it could not be read: then the count is unknown, never 0.
struct CounterReading {
    std::optional<std::int32_t> count;
    std::string problem;
};

CounterReading CounterInSysDat(const fs::path& sysPath)
{
    const settings::SettingsStore store(sysPath);
    if (const std::optional<korvane::FileError> problem = store.ReadProblem()) {
        return {std::nullopt, problem->what()};
    }
    return {store.UpgradeCount(), {}};
}

// An outcome whose count is unknown says why, unless its warning already does
// (the job's own "could not be saved" names the cause).
void NoteUnreadCounter(FlashOutcome& outcome, const CounterReading& reading)
{
    outcome.counter = reading.count;
    if (!reading.count && outcome.record.warning.empty()) outcome.record.warning = reading.problem;
}

// The radios of the run: each port as given, `all` as every listed port.
std::vector<RadioState> RadiosOf(const FlashOptions& options,
                                 const std::vector<serial::PortInfo>& listed)
{
    std::vector<RadioState> radios;
    const auto add = [&](const std::string& port) {
        RadioState radio;
        radio.port = port;
        radios.push_back(std::move(radio));
    };
    for (const std::string& port : options.ports) {
        if (port != kAllPorts) {
            add(port);
            continue;
        }
        for (const serial::PortInfo& info : listed) add(info.device);
    }
    return radios;
}

// Two names of one device: the same path once links, "..", "." and doubled
// slashes are resolved (as realpath does; std::filesystem::equivalent refuses
// device files), or, where the system cannot resolve them, the same normal path.
bool SameDevice(const std::string& first, const std::string& second)
{
    std::error_code firstError;
    std::error_code secondError;
    const fs::path a = fs::canonical(first, firstError);
    const fs::path b = fs::canonical(second, secondError);
    if (!firstError && !secondError) return a == b;
    return fs::path(first).lexically_normal() == fs::path(second).lexically_normal();
}

// Resolves each radio's port to its device before anything starts, into
// `devices`. A port number outside the list is a bad argument, whatever its
// value, as number 0 is; two names of one device are refused as a repeated
// port is. A name that cannot be resolved otherwise is left empty, for its
// radio to report as a port it cannot open.
std::optional<UsageError> ResolvePorts(const std::vector<RadioState>& radios,
                                       const std::vector<serial::PortInfo>& listed,
                                       std::vector<std::string>& devices)
{
    constexpr CommandKind kFlash = CommandKind::Flash;
    devices.assign(radios.size(), std::string());
    for (std::size_t i = 0; i < radios.size(); ++i) {
        try {
            devices[i] = serial::ResolvePortName(radios[i].port, listed);
        } catch (const korvane::Error& error) {
            if (IsSerialError(error, serial::SerialErrorKind::NoSuchPort) &&
                ParsePortNumber(radios[i].port)) {
                return UsageError(kFlash, OwnText(kTextNoPortNumber,
                                                  "port number {0} does not exist; 'korvane "
                                                  "ports' lists the numbers, from 1",
                                                  {radios[i].port}));
            }
        }
    }
    for (std::size_t i = 0; i < radios.size(); ++i) {
        for (std::size_t j = i + 1; j < radios.size(); ++j) {
            if (devices[i].empty() || !SameDevice(devices[i], devices[j])) continue;
            std::error_code ignored;
            const fs::path device = fs::weakly_canonical(devices[i], ignored);
            return UsageError(kFlash,
                              OwnText(kTextSameDevice, "ports {0} and {1} are one device, {2}",
                                      {radios[i].port, radios[j].port,
                                       device.empty() ? devices[i] : device.string()}));
        }
    }
    return std::nullopt;
}

// The end of a run on one port: today's lines and object.
int ReportOne(const Console& console, const FlashOptions& options, const FlashOutcome& outcome,
              StopSignal stop)
{
    if (options.json) console.out << FormatFlashJson(outcome) << std::endl;
    PrintWarning(console, "", outcome.record.warning);
    if (outcome.exitStatus != kExitSuccess) {
        PrintFailure(console, FailureLine(outcome, stop), outcome.hint);
    } else if (!options.json) {
        console.out << CompletedLine(outcome) << std::endl;
    }
    return outcome.exitStatus;
}

// The end of a run on several ports: the table, a line per failed radio, the object.
int ReportSeveral(const Console& console, const FlashOptions& options,
                  const std::vector<FlashOutcome>& outcomes, StopSignal stop, double seconds,
                  std::optional<std::int32_t> counter)
{
    std::ostream& table = options.json ? console.err : console.out;
    table << FormatSummaryTable(outcomes, counter) << std::flush;
    for (const FlashOutcome& outcome : outcomes) {
        PrintWarning(console, outcome.port + ": ", outcome.record.warning);
        if (outcome.exitStatus != kExitSuccess) {
            PrintFailure(console, outcome.port + ": " + FailureLine(outcome, stop), outcome.hint);
        }
    }
    if (options.json) console.out << FormatFlashJson(outcomes, seconds, counter) << std::endl;
    return MostSevere(outcomes);
}

// A counter held at its limit takes no more counts: the radios counted while
// it stood there say so, once more were completed than it could take.
void MarkCounterAtLimit(std::vector<RadioState>& radios, std::int32_t before, std::int32_t after)
{
    constexpr std::int32_t kLimit = std::numeric_limits<std::int32_t>::max();
    const auto counted = std::count_if(
        radios.begin(), radios.end(), [](const RadioState& r) { return r.outcome.record.counted; });
    if (after != kLimit || static_cast<std::int64_t>(before) + counted <= kLimit) return;
    for (RadioState& radio : radios) {
        if (radio.outcome.record.counted && radio.outcome.counter == kLimit) {
            radio.outcome.counterAtLimit = true;
        }
    }
}

// The port list's entry for a radio's device, if the list holds it.
const serial::PortInfo* ListedPort(const std::vector<serial::PortInfo>& listed,
                                   const std::string& device)
{
    if (device.empty()) return nullptr;
    const auto exact = std::find_if(listed.begin(), listed.end(),
                                    [&](const serial::PortInfo& p) { return p.device == device; });
    if (exact != listed.end()) return &*exact;
    const auto same = std::find_if(listed.begin(), listed.end(), [&](const serial::PortInfo& p) {
        return SameDevice(p.device, device);
    });
    return same == listed.end() ? nullptr : &*same;
}

// Appends the radio's line to the history. A history that cannot be written is
// one more warning of the job: its result and exit status stay what they were.
void RecordInHistory(const fs::path& file, const FlashOptions& options,
                     const std::vector<serial::PortInfo>& listed, RadioState& radio)
{
    JobHistoryContext context;
    context.started = radio.started;
    if (const serial::PortInfo* info = ListedPort(listed, radio.outcome.device)) {
        context.location = info->usbLocation;
        context.adapterSerial = info->serialNumber;
    }
    if (options.bootPath) context.bootImage = base::PathToUtf8(*options.bootPath);
    context.userImage = base::PathToUtf8(options.userPath);
    context.pacing = options.exactTiming ? firmware::Pacing::Exact : firmware::Pacing::Patient;
    const std::optional<std::string> warning =
        AppendToHistory(file, HistoryRecordOf(radio.outcome, context));
    if (!warning) return;
    // Message and hint (a paragraph apart) on one warning line.
    const std::size_t split = warning->find("\n\n");
    const std::string line = split == std::string::npos
                                 ? *warning
                                 : warning->substr(0, split) + ' ' + warning->substr(split + 2);
    std::string& warnings = radio.outcome.record.warning;
    warnings += (warnings.empty() ? "" : "\n") + line;
}

int Report(const Console& console, const FlashOptions& options, bool several,
           const std::vector<FlashOutcome>& outcomes, StopSignal stop, double seconds,
           std::optional<std::int32_t> counter)
{
    return several ? ReportSeveral(console, options, outcomes, stop, seconds, counter)
                   : ReportOne(console, options, outcomes.front(), stop);
}

// The jobs of one run and when each started.
struct RunningJobs {
    std::vector<std::unique_ptr<RadioJob>> jobs;
    std::vector<Clock::time_point> starts;
    std::size_t running = 0;
};

// Opens each radio's port and starts its job. A radio whose port fails ends
// here, with the counter as Sys.dat holds it; the others go on.
RunningJobs StartJobs(std::vector<RadioState>& radios, const FlashImages& images,
                      settings::SettingsStore& store, const std::vector<serial::PortInfo>& listed,
                      RadioEvents& events, FlashView& view)
{
    RunningJobs run;
    run.starts.assign(radios.size(), Clock::now());
    for (std::size_t i = 0; i < radios.size(); ++i) {
        RadioState& radio = radios[i];
        run.jobs.push_back(std::make_unique<RadioJob>(i, events, store));
        radio.started = std::chrono::system_clock::now();
        try {
            if (radio.outcome.device.empty()) {
                radio.outcome.device = serial::ResolvePortName(radio.port, listed);
            }
            run.jobs.back()->Open(radio.outcome.device);
        } catch (const korvane::Error& error) {
            radio.outcome = PortNotOpened(radio.outcome, error, radio.outcome.device);
            if (!store.ReadProblem()) radio.outcome.counter = store.UpgradeCount();
            radio.ended = true;
            view.OnEnded(radio);
            continue;
        }
        run.starts[i] = Clock::now();
        run.jobs.back()->Start(images);
        ++run.running;
    }
    return run;
}

// A first signal asks every job to stop at its next poll; a second leaves at
// once, for a job that did not stop (a write the device never takes): the
// system releases the ports.
void HandleSignals(const InterruptWatch& interrupts, const RunningJobs& run,
                   std::vector<RadioState>& radios, FlashView& view)
{
    if (interrupts.Count() > 1) {
        view.Finish(radios);
        std::_Exit(ExitStatusOf(interrupts.First()));
    }
    for (const auto& job : run.jobs) job->RequestStop();
}

// Hands the jobs' events to their radios and the view, and redraws it, until
// every job has ended.
void WatchJobs(std::vector<RadioState>& radios, RunningJobs& run, RadioEvents& events,
               InterruptWatch& interrupts, FlashView& view)
{
    while (run.running > 0) {
        if (interrupts.Wait(kRefreshInterval)) HandleSignals(interrupts, run, radios, view);
        std::string line;
        for (const RadioEvent& event : events.Take()) {
            RadioState& radio = radios[event.radio];
            const bool ended = ApplyEvent(event, interrupts.First(), radio, line);
            if (!line.empty()) view.OnStatus(radio, line);
            if (ended) {
                radio.outcome.seconds = SecondsSince(run.starts[event.radio]);
                --run.running;
                view.OnEnded(radio);
            }
        }
        for (std::size_t i = 0; i < radios.size(); ++i) {
            if (!radios[i].ended) radios[i].seconds = SecondsSince(run.starts[i]);
        }
        view.Refresh(radios);
    }
}

// Runs every radio's job until all have ended; returns the signal that stopped
// them, if one did.
StopSignal RunJobs(std::vector<RadioState>& radios, const FlashImages& images,
                   settings::SettingsStore& store, const std::vector<serial::PortInfo>& listed,
                   FlashView& view)
{
    RadioEvents events;
    // Before any worker exists: the workers inherit the blocked signals.
    InterruptWatch interrupts;
    RunningJobs run = StartJobs(radios, images, store, listed, events, view);
    WatchJobs(radios, run, events, interrupts, view);
    for (const auto& job : run.jobs) job->Finish();  // joined, ports closed
    view.Finish(radios);
    return interrupts.First();
}

}  // namespace

int RunFlash(const Console& console, const fs::path& programDir, const FlashOptions& options)
{
    const fs::path sysPath = programDir / settings::SettingsStore::kFileName;
    const bool several = options.ports.size() > 1 || options.ports.front() == kAllPorts;
    std::vector<serial::PortInfo> listed;
    try {
        listed = serial::ListSerialPorts();
    } catch (const korvane::Error&) {
        // Without the list, ports can still be named by their device paths.
    }
    std::vector<RadioState> radios = RadiosOf(options, listed);
    if (radios.empty()) {
        if (options.json)
            console.out << FormatFlashJson({}, 0.0, CounterInSysDat(sysPath).count) << std::endl;
        PrintFailure(
            console,
            OwnText(kTextNoPortsForAll, "--port all found no serial port on this computer"),
            OwnText(kTextHintListPorts, "'korvane ports' lists the ports this computer has"));
        return kExitPort;
    }
    std::vector<std::string> devices;
    if (const std::optional<UsageError> refused = ResolvePorts(radios, listed, devices)) {
        PrintFailure(console, *refused);
        return kExitUsage;
    }

    // The images first: a file that cannot be used must not cost any radio an erase.
    FlashOutcome base;
    FlashImages images;
    try {
        images = ReadImages(
            {options.bootPath, options.userPath, options.exactTiming, options.verify}, base);
    } catch (const korvane::Error& error) {
        std::vector<FlashOutcome> outcomes;
        const CounterReading reading = CounterInSysDat(sysPath);
        for (const RadioState& radio : radios) {
            FlashOutcome outcome =
                NotStarted(base, error, firmware::JobOutcome::Image, ImageHint(error));
            outcome.port = radio.port;
            NoteUnreadCounter(outcome, reading);
            outcomes.push_back(std::move(outcome));
        }
        return Report(console, options, several, outcomes, StopSignal::None, 0.0, reading.count);
    }
    for (std::size_t i = 0; i < radios.size(); ++i) {
        radios[i].outcome = base;
        radios[i].outcome.port = radios[i].port;
        radios[i].outcome.device = devices[i];
    }

    // The jobs re-read Sys.dat under its lock when they count, so the record at
    // the start (the count before, for the limit) is worth no wait: one attempt.
    settings::LockWait noWait;
    noWait.limit = std::chrono::milliseconds::zero();
    settings::SettingsStore store(sysPath, noWait);
    const bool progressOnTerminal = options.json ? console.errIsTerminal : console.outIsTerminal;
    const ViewSettings viewSettings{options.json ? &console.err : &console.out, progressOnTerminal,
                                    console.terminalWidth, base.bootBytes + base.userBytes,
                                    several};
    const std::unique_ptr<FlashView> view = MakeFlashView(viewSettings);
    const bool counterReadBefore = !store.ReadProblem();
    const std::int32_t counterBefore = counterReadBefore ? store.UpgradeCount() : 0;
    const Clock::time_point start = Clock::now();
    const StopSignal stop = RunJobs(radios, images, store, listed, *view);

    const CounterReading counter = CounterInSysDat(sysPath);
    if (counterReadBefore && counter.count) {
        MarkCounterAtLimit(radios, counterBefore, *counter.count);
    }
    // Every job that touched its port leaves its line; those refused before (bad
    // arguments, an unusable image) never got here.
    const fs::path historyFile = options.historyPath.value_or(DefaultHistoryFile());
    for (RadioState& radio : radios) RecordInHistory(historyFile, options, listed, radio);
    std::vector<FlashOutcome> outcomes;
    for (RadioState& radio : radios) {
        if (!several || !counter.count) NoteUnreadCounter(radio.outcome, counter);
        outcomes.push_back(radio.outcome);
    }
    return Report(console, options, several, outcomes, stop, SecondsSince(start), counter.count);
}

}  // namespace korvane::cli
