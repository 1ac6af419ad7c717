// Opening the port for a firmware download, one way for every front end: the
// line settings and queue sizes of the download are written here and nowhere else.
#pragma once

#include <cstdint>
#include <string>

#include "serial/CMscomm.h"

namespace korvane::serial {

// The serial line of the firmware download.
constexpr std::int16_t kDownloadQueueSize = 1024;
constexpr std::int16_t kDownloadInputLen = 0;   // every read takes all waiting bytes
constexpr std::int32_t kDownloadInputMode = 1;  // binary input
constexpr std::int16_t kDownloadRThreshold = 1;
constexpr const char* kDownloadLineSettings = "115200,E,8,1";

enum class DownloadPortOpen {
    Opened,     // open, with nothing left waiting that arrived before or during the open
    StillOpen,  // a port already open did not close: it was left as it was, its
                // transmit queue discarded, and not opened anew
};

// In this order: a port already open is closed; the port is chosen (a number of
// the list, or a device path); queues, input mode, threshold and line are set;
// a port that still reads as open is left (StillOpen); otherwise it is opened
// and the input that arrived meanwhile is discarded. A failure of any step is
// the port's SerialError, thrown with the steps before it done.
DownloadPortOpen OpenPortForDownload(CMscomm& port, std::int16_t portNumber);
DownloadPortOpen OpenPortForDownload(CMscomm& port, const std::string& devicePath);

}  // namespace korvane::serial
