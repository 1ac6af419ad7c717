// What every front end that runs radio jobs shares, `korvane flash` on its
// ports and the station on the radios plugged into it: the images read and
// checked once, a port that cannot be opened told as the end of its radio, the
// job's events applied to what is shown of its radio, and its warnings.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/FlashReport.h"
#include "cli/FlashView.h"
#include "radios/RadioJob.h"
#include "serial/SerialError.h"

namespace korvane::cli {

// The several-radios core, as the command line's flash and station use it.
using radios::FlashImages;
using radios::RadioEvent;
using radios::RadioEvents;
using radios::RadioJob;

// The images of a run and how every job sends them, as the command line gave them.
struct ImageChoice {
    std::optional<std::filesystem::path> bootPath;  // present: full upgrade
    std::filesystem::path userPath;
    bool exactTiming = false;
    bool verify = false;
};

// Reads and checks the images (a missing, empty or too large one throws
// korvane::Error) and puts in `base` what every radio reports of them: sizes
// and CRCs.
FlashImages ReadImages(const ImageChoice& choice, FlashOutcome& base);

// What to try about an image that cannot be used: the error's own hint, or ours.
std::string ImageHint(const korvane::Error& error);

bool IsSerialError(const korvane::Error& error, serial::SerialErrorKind kind);

// Advice for a port that cannot be opened: the error's own, or ours.
std::string PortHint(const korvane::Error& error);

// A radio whose job never started: the image or its port failed first.
// `kind` says which (Image or Serial).
FlashOutcome NotStarted(FlashOutcome outcome, const korvane::Error& error,
                        firmware::JobOutcome kind, std::string hint);

// A radio whose port `device` could not be opened for a download, on top of
// `base` (port and images).
FlashOutcome PortNotOpened(FlashOutcome base, const korvane::Error& error,
                           const std::string& device);

// Applies one event of a radio's job to what the front end knows of it. A
// status line or the chip's line to show goes to `line` (left empty
// otherwise); true when the event is the job's end, classified with `stop`.
bool ApplyEvent(const RadioEvent& event, StopSignal stop, RadioState& radio, std::string& line);

// One "korvane: warning: ..." line per warning the job gave (they come joined
// by line breaks), each after `prefix` (the port, with several radios).
void PrintWarning(const Console& console, const std::string& prefix, const std::string& warnings);

}  // namespace korvane::cli
