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
    std::string message;  // what failed, in the user's language; empty on success
    std::string hint;     // what to try; may be empty
    WorkerState workerState = WorkerState::Failed;  // Finished exactly when outcome is Completed
    // The job's record at its end: the stage where it ended (the failing stage
    // on failure), its warnings (e.g. the counter was not saved, or the port
    // closed after the end frame), chip, counts, and the counter as Sys.dat
    // holds it at the end.
    JobRecord record;
    std::optional<std::uint32_t> bootCrc;  // CRC-32 of the boot image bytes the job sent
    std::optional<std::uint32_t> userCrc;  // CRC-32 of the user image bytes the job sent
    std::int64_t bootBytes = 0;            // size of the boot image the job sent
    std::int64_t userBytes = 0;            // size of the user image the job sent
    std::optional<bool> verified;          // boot image read back as sent; empty: not asked for
};

// One thing that happened in a job, with the job's record right after it.
struct JobEvent {
    enum class Kind {
        Stage,     // the job entered record.stage
        Status,    // the job set a new status line
        Chip,      // the ROM bootloader has named the chip (a full upgrade, once)
        Frame,     // a 256-byte boot frame was acknowledged
        Block,     // a 4,096-byte block was accepted
        Finished,  // the job ended; `result` holds how (always the last event)
    };
    Kind kind = Kind::Status;
    JobRecord record;
    std::optional<JobResult> result;  // Finished only
};

// Every call comes on the worker thread, in the order things happen; keep them
// short, and do not call back into the job's Start, Stop or Join from them.
class IJobObserver {
public:
    virtual ~IJobObserver() = default;
    virtual void OnEvent(const JobEvent& event) = 0;
};

}  // namespace korvane::firmware
