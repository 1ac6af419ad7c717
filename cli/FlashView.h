// What `korvane flash` shows while its jobs run. One radio: today's live bar
// on a terminal (status lines printed above it), or plain lines. Several
// radios: a live block with one line per radio on a terminal, or plain lines
// prefixed with the port.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/FlashReport.h"
#include "firmware/JobReport.h"

namespace korvane::cli {

// What the front end knows of one radio at the moment.
struct RadioState {
    std::string port;
    firmware::JobStage stage = firmware::JobStage::NotStarted;
    std::int64_t bytesSent = 0;
    double seconds = 0.0;  // since its job started, or how long it ran once ended
    bool ended = false;
    FlashOutcome outcome;                           // once ended
    std::chrono::system_clock::time_point started;  // when its port was opened, for the history
};

class FlashView {
public:
    virtual ~FlashView() = default;
    // A radio's job set a new status line.
    virtual void OnStatus(const RadioState& radio, const std::string& status) = 0;
    // A radio's job ended (radio.outcome holds how).
    virtual void OnEnded(const RadioState& radio) = 0;
    // Redraws what moved: called after each batch of events and at each tick.
    virtual void Refresh(const std::vector<RadioState>& radios) = 0;
    // Leaves the output on a line of its own.
    virtual void Finish(const std::vector<RadioState>& radios) = 0;
};

struct ViewSettings {
    std::ostream* sink = nullptr;
    bool terminal = false;
    std::size_t width = 80;
    std::int64_t bytesTotal = 0;  // image bytes of one radio's job
    bool severalRadios = false;
};

std::unique_ptr<FlashView> MakeFlashView(const ViewSettings& settings);

// How a radio ended, in a few words: "done in 0:17" or "refused at loader-blocks: ...".
std::string EndWords(const FlashOutcome& outcome);

// One line of the live block: "PORT  [####------]  40%  stage  ...", or how it ended.
std::string FormatRadioLine(const RadioState& radio, std::int64_t bytesTotal, std::size_t portWidth,
                            std::size_t width);

}  // namespace korvane::cli
