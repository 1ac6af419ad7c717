// The one sequence that opens a port for a firmware download.
#include "serial/DownloadPort.h"

#include <functional>

namespace korvane::serial {
namespace {

DownloadPortOpen OpenWith(CMscomm& port, const std::function<void()>& choosePort)
{
    if (port.GetPortOpen()) {
        port.SetPortOpen(false);
    }
    choosePort();
    port.SetInBufferSize(kDownloadQueueSize);
    port.SetOutBufferSize(kDownloadQueueSize);
    port.SetInputLen(kDownloadInputLen);
    port.SetInputMode(kDownloadInputMode);
    port.SetRThreshold(kDownloadRThreshold);
    port.SetSettings(kDownloadLineSettings);
    if (port.GetPortOpen()) {
        port.SetOutBufferCount(0);
        return DownloadPortOpen::StillOpen;
    }
    port.SetPortOpen(true);
    port.GetInput();
    return DownloadPortOpen::Opened;
}

}  // namespace

DownloadPortOpen OpenPortForDownload(CMscomm& port, std::int16_t portNumber)
{
    return OpenWith(port, [&] { port.SetCommPort(portNumber); });
}

DownloadPortOpen OpenPortForDownload(CMscomm& port, const std::string& devicePath)
{
    return OpenWith(port, [&] { port.SetDevicePath(devicePath); });
}

}  // namespace korvane::serial
