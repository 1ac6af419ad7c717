// How a download job tells the world what happens: one observer, called on the
// worker thread in the order things happen, and the job's end as a value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "error/Error.h"
#include "firmware/JobReport.h"

namespace korvane::firmware {

// The worker's state as the dialog's timer sees it; the numbers are the ones the
// program has always shown (a state above Running means the job has ended).
enum class WorkerState : std::int32_t {
    Running = 0,   // set before the worker starts; the job is under way
    Finished = 1,  // the end frame was sent (or its wait cut short after the count)
    Stopped = 2,   // ended by a stop request; the status line is left as it was
    Failed = 10,   // a stage failed, an image could not be used or the port was lost
};

// How a job ended.
enum class JobOutcome : std::int32_t {
    Completed,  // every block accepted and counted (an end frame whose port closed still counts)
    Refused,    // the radio refused a step or did not answer in time
    Image,      // an image could not be used
    Serial,     // the port failed or was lost
    Stopped,    // the user asked the job to stop
    Other,      // anything else (never expected)
};

// How a job ends that failed with an error of `kind`: the error says what
// happened, whichever part of the job threw it.
constexpr JobOutcome OutcomeOf(ErrorKind kind)
{
    switch (kind) {
        case ErrorKind::Refused:
            return JobOutcome::Refused;
        case ErrorKind::Image:
            return JobOutcome::Image;
        case ErrorKind::Serial:
            return JobOutcome::Serial;
        case ErrorKind::Stopped:
            return JobOutcome::Stopped;
        case ErrorKind::Usage:
        case ErrorKind::File:
        case ErrorKind::Process:
        case ErrorKind::Other:
            break;
    }
    return JobOutcome::Other;
}

// The finished job, as one value a front end shows, maps to an exit status or
// writes as JSON. Nothing here is compared as text.
struct JobResult {
    JobOutcome outcome = JobOutcome::Other;
    JobStage stage = JobStage::NotStarted;  // where it ended (the failing stage on failure)
    std::string message;                    // what failed, in the user's language; empty on success
    std::string hint;                       // what to try; may be empty
    std::string warning;                    // e.g. the counter was not saved, or the port closed
                                            // after the end frame; several are joined by newlines
    WorkerState workerState = WorkerState::Failed;  // Finished exactly when outcome is Completed
    std::int32_t framesSent = 0;
    std::int64_t bootBytesSent = 0;
    std::int32_t blocksSent = 0;
    std::int64_t userBytesSent = 0;
    std::optional<std::uint32_t> bootCrc;  // CRC-32 of the boot image bytes the job sent
    std::optional<std::uint32_t> userCrc;  // CRC-32 of the user image bytes the job sent
    std::int64_t bootBytes = 0;            // size of the boot image the job sent
    std::int64_t userBytes = 0;            // size of the user image the job sent
    std::optional<bool> verified;          // boot image read back as sent; empty: not asked for
    std::optional<ChipIdentity> chip;      // what the ROM bootloader told of the chip
    bool counted = false;                  // the completed-download counter was raised and saved
    std::int32_t counter = 0;              // the counter as Sys.dat holds it at the end
};

// Every call comes on the worker thread, in the order things happen; keep them
// short, and do not call back into the job's Start, Stop or Join from them.
class IJobObserver {
public:
    virtual ~IJobObserver() = default;
    virtual void OnStage(JobStage /*stage*/) {}
    virtual void OnStatus(const std::string& /*text*/) {}
    virtual void OnProgress(std::int32_t /*progress*/) {}
    // The ROM bootloader has named the chip (a full upgrade, once).
    virtual void OnChip(const ChipIdentity& /*chip*/) {}
    // A 256-byte boot frame acknowledged; `details` holds the counts after it.
    virtual void OnFrameDelivered(const JobDetails& /*details*/) {}
    // A 4,096-byte block accepted; `details` holds the counts after it.
    virtual void OnBlockDelivered(const JobDetails& /*details*/) {}
    // Called once, last, on the worker thread.
    virtual void OnFinished(const JobResult& /*result*/) {}
};

}  // namespace korvane::firmware
