// The open-error sentences of both serial backends, in the user's language.
#include "serial/PortErrors.h"

#include "settings/OwnText.h"

namespace korvane::serial {
namespace {

using settings::OwnText;

constexpr std::int32_t kTextMissing = settings::kOwnTextSerial + 0;
constexpr std::int32_t kTextMissingHint = settings::kOwnTextSerial + 1;
constexpr std::int32_t kTextBusy = settings::kOwnTextSerial + 2;
constexpr std::int32_t kTextBusyHint = settings::kOwnTextSerial + 3;
constexpr std::int32_t kTextPermission = settings::kOwnTextSerial + 4;
constexpr std::int32_t kTextPermissionHint = settings::kOwnTextSerial + 5;
constexpr std::int32_t kTextOpenFailed = settings::kOwnTextSerial + 6;
constexpr std::int32_t kTextOpenFailedHint = settings::kOwnTextSerial + 7;
constexpr std::int32_t kTextNotSerial = settings::kOwnTextSerial + 8;
constexpr std::int32_t kTextNotSerialHint = settings::kOwnTextSerial + 9;
constexpr std::int32_t kTextNoNumber = settings::kOwnTextSerial + 10;
constexpr std::int32_t kTextNoNumberHint = settings::kOwnTextSerial + 11;
constexpr std::int32_t kTextAmbiguous = settings::kOwnTextSerial + 12;
constexpr std::int32_t kTextAmbiguousHint = settings::kOwnTextSerial + 13;
// Windows only; the id stays reserved on every system.
[[maybe_unused]] constexpr std::int32_t kTextPermissionHintWindows = settings::kOwnTextSerial + 14;

std::string PermissionHint()
{
#ifdef _WIN32
    return OwnText(kTextPermissionHintWindows,
                   "Run the program as a user who may use the port, or ask the administrator");
#else
    return OwnText(kTextPermissionHint,
                   "Add your user to the dialout group (sudo usermod -aG dialout $USER) and log "
                   "in again");
#endif
}

}  // namespace

SerialError PortMissingError(const std::string& device, const std::string& reason)
{
    return SerialError(
        SerialErrorKind::NoSuchPort,
        OwnText(kTextMissing, "The serial port {0} does not exist ({1})", {device, reason}),
        OwnText(kTextMissingHint,
                "Check that the radio's cable is plugged in, or choose another port"));
}

SerialError PortBusyError(const std::string& device)
{
    return SerialError(
        SerialErrorKind::Busy,
        OwnText(kTextBusy, "The serial port {0} is in use by another program", {device}),
        OwnText(kTextBusyHint, "Close that program and try again"));
}

SerialError PortPermissionError(const std::string& device, const std::string& reason)
{
    return SerialError(SerialErrorKind::PermissionDenied,
                       OwnText(kTextPermission, "No permission to open the serial port {0} ({1})",
                               {device, reason}),
                       PermissionHint());
}

SerialError PortOpenFailedError(const std::string& device, const std::string& reason)
{
    return SerialError(
        SerialErrorKind::Io,
        OwnText(kTextOpenFailed, "The serial port {0} could not be opened ({1})", {device, reason}),
        OwnText(kTextOpenFailedHint, "Check the cable and the USB adapter, then try again"));
}

SerialError NotASerialPortError(const std::string& device)
{
    return SerialError(
        SerialErrorKind::NoSuchPort,
        OwnText(kTextNotSerial, "The device {0} is not a serial port", {device}),
        OwnText(kTextNotSerialHint, "Choose the device of the radio's serial adapter"));
}

SerialError NoSuchPortNumberError(int portNumber, std::size_t count)
{
    return SerialError(
        SerialErrorKind::NoSuchPort,
        OwnText(kTextNoNumber,
                "There is no serial port number {0}: this computer has {1} serial device(s)",
                {std::to_string(portNumber), std::to_string(count)}),
        OwnText(kTextNoNumberHint, "Check that the radio's cable is plugged in"));
}

SerialError AmbiguousSerialNumberError(const std::string& serialNumber, std::size_t count)
{
    return SerialError(
        SerialErrorKind::NoSuchPort,
        OwnText(kTextAmbiguous, "The serial number {0} is reported by {1} adapters",
                {serialNumber, std::to_string(count)}),
        OwnText(kTextAmbiguousHint, "Name the port by its USB location instead (korvane ports)"));
}

}  // namespace korvane::serial
