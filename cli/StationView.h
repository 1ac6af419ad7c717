// What `korvane station` shows. On a terminal: one live line per port (its
// name, USB location, the chip's uid once known, then the stage, percent and
// time left, or how its job ended and that the radio can be unplugged), a line
// of running totals below them, and a bell at the end of each job. Otherwise:
// one line per event, prefixed with the port, for logs and pipes.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Station.h"

namespace korvane::cli {

class StationView : public StationObserver {
public:
    // A line of the session's own (what it watches, that it stops).
    virtual void Note(const std::string& line) = 0;
    // Redraws what moved: called after each batch of events and at each tick.
    virtual void Refresh(const std::vector<const StationSlot*>& slots,
                         const StationTotals& totals) = 0;
    // Leaves the output on a line of its own.
    virtual void Finish() = 0;
};

struct StationViewSettings {
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    bool terminal = false;
    std::size_t width = 80;
    std::int64_t bytesTotal = 0;  // image bytes of one radio's job
    bool bell = true;             // on a terminal, '\a' at the end of each job
};

std::unique_ptr<StationView> MakeStationView(const StationViewSettings& settings);

// One live line: "slot-1  usb 1-1.2  uid ...  [####------]  40%  user  0:15 left".
std::string FormatSlotLine(const StationSlot& slot, std::int64_t bytesTotal, std::size_t nameWidth,
                           std::size_t width);

// "upgraded 12, failed 1, in progress 3, 85 per hour"
std::string FormatStationTotals(const StationTotals& totals);

}  // namespace korvane::cli
