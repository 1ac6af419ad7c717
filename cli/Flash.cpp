// `korvane flash`: checks the images, opens the port exactly as the dialog's
// OpenPort does, runs the shared DownloadJob, shows its progress, and turns
// how it ended into one line, an exit status and, with --json, one object.
#include "cli/Flash.h"

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "cli/Progress.h"
#include "firmware/DownloadJob.h"
#include "firmware/Image.h"
#include "firmware/Qorin_CRC32.h"
#include "serial/CMscomm.h"
#include "serial/SerialError.h"
#include "settings/SettingsStore.h"

namespace korvane::cli {
namespace {

using Clock = std::chrono::steady_clock;
using firmware::JobStage;

// The dialog's port settings: queues, whole-input reads, binary, threshold, line.
constexpr std::int16_t kQueueSize = 1024;
constexpr std::int16_t kInputLenAll = 0;
constexpr std::int32_t kInputModeBinary = 1;
constexpr std::int16_t kReceiveThreshold = 1;
constexpr const char* kLineSettings = "115200,E,8,1";

constexpr std::chrono::milliseconds kRefreshInterval{100};
constexpr int kPlainProgressStep = 10;  // percent between two plain progress lines
constexpr const char* kClearToEndOfLine = "\x1b[K";

constexpr const char* kImageHint = "Images are raw .bin files of at most 1,024,000 bytes";

struct LoadedImage {
    std::int64_t size = 0;
    std::uint32_t crc = 0;
};

LoadedImage CheckImage(const std::filesystem::path& path)
{
    const std::vector<std::uint8_t> bytes = firmware::LoadImage(path);
    return {static_cast<std::int64_t>(bytes.size()), firmware::Qorin_CRC32().Compute(bytes)};
}

// The same property sequence as the dialog's OpenPort, then the input that
// arrived before or during the open is discarded.
void OpenPortLikeDialog(serial::CMscomm& port, const std::string& portArgument)
{
    if (const auto number = ParsePortNumber(portArgument)) {
        port.SetCommPort(*number);
    } else {
        port.SetDevicePath(portArgument);
    }
    port.SetInBufferSize(kQueueSize);
    port.SetOutBufferSize(kQueueSize);
    port.SetInputLen(kInputLenAll);
    port.SetInputMode(kInputModeBinary);
    port.SetRThreshold(kReceiveThreshold);
    port.SetSettings(kLineSettings);
    port.SetPortOpen(true);
    port.GetInput();
}

// Advice beyond what the port's own error description already says.
std::string PortHint(serial::SerialErrorKind kind)
{
    switch (kind) {
        case serial::SerialErrorKind::NoSuchPort:
            return "'korvane ports' lists the ports this computer has";
        case serial::SerialErrorKind::Busy:
        case serial::SerialErrorKind::PermissionDenied:
        case serial::SerialErrorKind::DeviceGone:
            return "";  // the description names the remedy
        default:
            return "Check the cable and the USB adapter, then try again";
    }
}

bool IsRomStage(JobStage stage)
{
    return stage <= JobStage::RomGo;
}

// Every status line the job sets, in order: the worker offers each one as it
// changes, the watching thread takes them. Polling alone would miss a status
// that lasts less than one refresh (e.g. the boot image's completion).
class StatusFeed {
public:
    void Offer(std::string status)
    {
        std::lock_guard lock(m_mutex);
        if (!status.empty() && status != m_last) {
            m_last = status;
            m_pending.push_back(std::move(status));
        }
    }

    std::vector<std::string> Take()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_pending, {});
    }

private:
    std::mutex m_mutex;
    std::string m_last;
    std::vector<std::string> m_pending;
};

// Shows the job while it runs: a live bar on a terminal, plain lines elsewhere,
// and each new status line of the job once.
class ProgressPrinter {
public:
    ProgressPrinter(std::ostream& sink, bool terminal, std::size_t width, std::int64_t total)
        : m_sink(sink), m_terminal(terminal), m_width(width), m_total(total)
    {
    }

    void Update(const firmware::JobDetails& details, const std::vector<std::string>& statuses,
                double seconds)
    {
        const ProgressView view{firmware::StageName(details.stage),
                                details.bootBytesSent + details.userBytesSent, m_total, seconds};
        if (m_terminal) {
            UpdateTerminal(view, statuses);
        } else {
            UpdatePlain(view, statuses);
        }
    }

    // Leaves the live line where it is, so what follows starts on a line of its own.
    void Finish()
    {
        if (m_barShown) {
            m_sink << '\n' << std::flush;
            m_barShown = false;
        }
    }

private:
    void UpdateTerminal(const ProgressView& view, const std::vector<std::string>& statuses)
    {
        for (const std::string& status : statuses) {
            m_sink << '\r' << status << kClearToEndOfLine << '\n';
        }
        const std::string bar = FormatProgressLine(view, m_width);
        if (!statuses.empty() || bar != m_lastBar) {
            m_sink << '\r' << bar << kClearToEndOfLine << std::flush;
        }
        m_lastBar = bar;
        m_barShown = true;
    }

    void UpdatePlain(const ProgressView& view, const std::vector<std::string>& statuses)
    {
        for (const std::string& status : statuses) {
            m_sink << status << '\n';
        }
        const int step = PercentDone(view) / kPlainProgressStep;
        if (view.bytesSent > 0 && step > m_lastStep) {
            m_sink << FormatPlainProgress(view) << '\n';
            m_lastStep = step;
        }
        m_sink.flush();
    }

    std::ostream& m_sink;
    bool m_terminal;
    std::size_t m_width;
    std::int64_t m_total;
    std::string m_lastBar;
    int m_lastStep = 0;
    bool m_barShown = false;
};

// Runs the job until it ends or Ctrl-C stops it; true when it was interrupted.
bool WatchJob(firmware::DownloadJob& job, const FlashOptions& options, ProgressPrinter& printer,
              Clock::time_point start)
{
    const auto elapsed = [&] {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    StatusFeed statuses;
    job.SetProgressCallback([&](const firmware::JobDetails&) { statuses.Offer(job.Status()); });
    InterruptWatch interrupts;  // before Start, so that the worker inherits the blocked mask
    job.Start(options.bootPath ? firmware::UpgradeMode::Full : firmware::UpgradeMode::UserProgram,
              options.bootPath.value_or(std::filesystem::path()), options.userPath);
    while (job.IsRunning()) {
        if (interrupts.Wait(kRefreshInterval)) {
            if (interrupts.Count() > 1) {
                // The job did not stop at its poll (a write the device never takes):
                // a second Ctrl-C leaves at once; the system releases the port.
                printer.Finish();
                std::_Exit(kExitInterrupted);
            }
            job.RequestStop();
        }
        printer.Update(job.Details(), statuses.Take(), elapsed());
    }
    job.Join();
    job.SetProgressCallback(nullptr);
    statuses.Offer(job.Status());  // in case the last change came after the last notification
    printer.Update(job.Details(), statuses.Take(), elapsed());
    printer.Finish();
    return interrupts.Interrupted();
}

std::string FailureLine(const FlashOutcome& outcome)
{
    if (outcome.result == "interrupted") {
        return "Stopped by Ctrl-C at stage " + outcome.stage + "; the port is closed";
    }
    if (outcome.stage == firmware::StageName(JobStage::NotStarted) && !outcome.error.empty()) {
        return outcome.error;  // an image or the port, before the radio was touched
    }
    const std::string what = outcome.result == "port" ? "The port was lost" : "The upgrade failed";
    return what + " at stage " + outcome.stage + ": " +
           (outcome.error.empty() ? std::string("no reason was given") : outcome.error);
}

void PrintSummary(const Console& console, const FlashOutcome& outcome)
{
    console.out << "Upgrade completed in " << FormatDuration(outcome.seconds) << ": ";
    if (outcome.bootCrc) {
        console.out << "boot image " << FormatBytes(outcome.bootBytes) << " ("
                    << firmware::FormatCrcLabel(*outcome.bootCrc) << "), ";
    }
    console.out << "user program " << FormatBytes(outcome.userBytes) << " in " << outcome.blocks
                << " blocks (" << firmware::FormatCrcLabel(*outcome.userCrc)
                << "). Counter: " << outcome.counter << std::endl;
}

// Prints how the run ended and returns its exit status.
int Report(const Console& console, const FlashOptions& options, const FlashOutcome& outcome,
           const std::string& hint)
{
    if (options.json) {
        console.out << FormatFlashJson(outcome) << std::endl;
    }
    if (!outcome.warning.empty()) {
        console.err << "korvane: warning: " << outcome.warning << std::endl;
    }
    if (outcome.exitStatus != kExitSuccess) {
        PrintFailure(console, FailureLine(outcome), hint);
    } else if (!options.json) {
        PrintSummary(console, outcome);
    }
    return outcome.exitStatus;
}

}  // namespace

FlashOutcome ClassifyEnd(const firmware::JobDetails& details, bool interrupted,
                         FlashOutcome outcome)
{
    outcome.stage = firmware::StageName(details.stage);
    outcome.frames = details.framesSent;
    outcome.blocks = details.blocksSent;
    outcome.bytes = details.bootBytesSent + details.userBytesSent;
    if (details.workerState == firmware::kWorkerFinished) {
        outcome.result = "success";
        outcome.exitStatus = kExitSuccess;
    } else if (interrupted) {
        outcome.result = "interrupted";
        outcome.exitStatus = kExitInterrupted;
    } else if (details.failure == firmware::JobFailure::Refused) {
        outcome.result = "refused";
        outcome.exitStatus = kExitFailed;
    } else if (details.failure == firmware::JobFailure::Image) {
        outcome.result = "image";
        outcome.exitStatus = kExitUsage;
    } else if (details.failure == firmware::JobFailure::Serial) {
        outcome.result = "port";
        outcome.exitStatus = kExitPort;
    } else {
        outcome.result = "failed";
        outcome.exitStatus = kExitFailed;
    }
    return outcome;
}

std::string FormatFlashJson(const FlashOutcome& outcome)
{
    JsonObject json;
    json.Add("result", outcome.result)
        .AddInteger("exit", outcome.exitStatus)
        .Add("stage", outcome.stage)
        .Add("status", outcome.status)
        .AddInteger("frames", outcome.frames)
        .AddInteger("blocks", outcome.blocks)
        .AddInteger("bytes", outcome.bytes)
        .AddNumber("seconds", outcome.seconds);
    const auto addCrc = [&](const char* key, const std::optional<std::uint32_t>& crc) {
        if (crc) {
            json.Add(key, firmware::FormatCrcLabel(*crc));
        } else {
            json.AddNull(key);
        }
    };
    addCrc("boot_crc", outcome.bootCrc);
    addCrc("user_crc", outcome.userCrc);
    json.AddInteger("boot_bytes", outcome.bootBytes)
        .AddInteger("user_bytes", outcome.userBytes)
        .AddInteger("counter", outcome.counter)
        .Add("error", outcome.error)
        .Add("warning", outcome.warning);
    return json.Text();
}

std::string FailureHint(const FlashOutcome& outcome, firmware::JobStage stage)
{
    if (outcome.result == "refused") {
        return IsRomStage(stage)
                   ? "To retry, restart the radio in its STM32 bootloader and run the same command "
                     "again"
                   : "To retry, restart the radio so that its loader runs, or run a full upgrade "
                     "with --boot";
    }
    if (outcome.result == "port") {
        return "Run the upgrade again once the radio is connected";
    }
    if (outcome.result == "image") {
        return kImageHint;
    }
    if (outcome.result == "interrupted") {
        return "The radio may hold a partly written image: run the upgrade again";
    }
    return "Run the upgrade again; if it fails again, keep this message for the service team";
}

int RunFlash(const Console& console, const std::filesystem::path& programDir,
             const FlashOptions& options)
{
    FlashOutcome outcome;
    // The images first: a file that cannot be used must not cost the radio an erase.
    try {
        if (options.bootPath) {
            const LoadedImage boot = CheckImage(*options.bootPath);
            outcome.bootBytes = boot.size;
            outcome.bootCrc = boot.crc;
        }
        const LoadedImage user = CheckImage(options.userPath);
        outcome.userBytes = user.size;
        outcome.userCrc = user.crc;
    } catch (const korvane::Error& error) {
        outcome.exitStatus = kExitUsage;
        outcome.result = "image";
        outcome.stage = firmware::StageName(JobStage::NotStarted);
        outcome.error = error.what();
        return Report(console, options, outcome, kImageHint);
    }

    settings::SettingsStore settings(programDir / settings::SettingsStore::kFileName);
    serial::CMscomm port;
    try {
        OpenPortLikeDialog(port, options.port);
    } catch (const korvane::Error& error) {
        const auto* serialError = dynamic_cast<const serial::SerialError*>(&error);
        outcome.exitStatus = kExitPort;
        outcome.result = "port";
        outcome.stage = firmware::StageName(JobStage::NotStarted);
        outcome.error = error.what();
        outcome.counter = settings.UpgradeCount();
        const std::string hint =
            PortHint(serialError ? serialError->Kind() : serial::SerialErrorKind::Io);
        return Report(console, options, outcome, hint);
    }

    std::ostream& progressSink = options.json ? console.err : console.out;
    const bool progressOnTerminal = options.json ? console.errIsTerminal : console.outIsTerminal;
    ProgressPrinter printer(progressSink, progressOnTerminal, console.terminalWidth,
                            outcome.bootBytes + outcome.userBytes);
    const Clock::time_point start = Clock::now();
    firmware::JobDetails details;
    bool interrupted = false;
    std::string status;
    std::string error;
    std::string warning;
    {
        firmware::DownloadJob job(port, settings);
        interrupted = WatchJob(job, options, printer, start);
        details = job.Details();
        status = job.Status();
        error = job.ErrorDescription();
        warning = job.Warning();
    }
    try {
        port.SetPortOpen(false);
    } catch (const korvane::Error&) {
        // A port that was lost is closed already; nothing more to release.
    }

    outcome = ClassifyEnd(details, interrupted, outcome);
    outcome.status = status;
    outcome.warning = warning;
    outcome.error = outcome.exitStatus == kExitSuccess ? std::string() : error;
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    outcome.counter = settings.UpgradeCount();
    return Report(console, options, outcome, FailureHint(outcome, details.stage));
}

}  // namespace korvane::cli
