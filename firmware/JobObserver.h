// How a download job tells the world what happens: one observer, called on the
// worker thread in the order things happen, and the job's end as a value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "error/Error.h"
#include "firmware/JobReport.h"

namespace korvane::firmware {

// How a job ended.
enum class JobOutcome : std::int32_t {
    Completed,  // every block accepted and counted (an end frame whose port closed still counts)
    Refused,    // the radio refused a step or did not answer in time
    Image,      // an image could not be used
    Serial,     // the port failed or was lost
    Stopped,    // the user asked the job to stop
    Other,      // anything else (never expected)
};

// The finished job, as one value a front end shows, maps to an exit status or
// writes as JSON. Nothing here is compared as text.
struct JobResult {
    JobOutcome outcome = JobOutcome::Other;
    JobStage stage = JobStage::NotStarted;  // where it ended (the failing stage on failure)
    std::string message;                    // what failed, in the user's language; empty on success
    std::string hint;                       // what to try; may be empty
    std::string warning;                    // e.g. the counter was not saved, or the port closed
                                            // after the end frame
    std::int32_t framesSent = 0;
    std::int64_t bootBytesSent = 0;
    std::int32_t blocksSent = 0;
    std::int64_t userBytesSent = 0;
    std::optional<std::uint32_t> bootCrc;  // CRC-32 of the boot image bytes the job sent
    std::optional<std::uint32_t> userCrc;  // CRC-32 of the user image bytes the job sent
    std::int64_t bootBytes = 0;            // size of the boot image the job sent
    std::int64_t userBytes = 0;            // size of the user image the job sent
    std::optional<bool> verified;          // boot image read back as sent; empty: not read back
    bool counted = false;                  // the completed-download counter was raised
    std::int32_t counter = 0;              // the counter as Sys.dat holds it at the end
};

class IJobObserver {
public:
    virtual ~IJobObserver() = default;
    virtual void OnStage(JobStage /*stage*/) {}
    virtual void OnStatus(const std::string& /*text*/) {}
    virtual void OnProgress(std::int32_t /*progress*/) {}
    virtual void OnFrameDelivered(const JobDetails& /*details*/) {}
    virtual void OnBlockDelivered(const JobDetails& /*details*/) {}
    // Called once, last, on the worker thread.
    virtual void OnFinished(const JobResult& /*result*/) {}
};

}  // namespace korvane::firmware
