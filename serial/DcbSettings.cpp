// Building the Win32 DCB for a set of line settings (Win32 backend).
#include "serial/DcbSettings.h"

namespace korvane::serial {

namespace {

constexpr int kTwoStopBits = 2;

BYTE ParityCode(Parity parity)
{
    switch (parity) {
        case Parity::Even:
            return EVENPARITY;
        case Parity::Odd:
            return ODDPARITY;
        case Parity::Mark:
            return MARKPARITY;
        case Parity::Space:
            return SPACEPARITY;
        case Parity::None:
            break;
    }
    return NOPARITY;
}

}  // namespace

DCB BuildDcb(const DCB& current, const LineSettings& settings)
{
    DCB dcb = current;
    dcb.DCBlength = sizeof(dcb);
    dcb.BaudRate = settings.baud;
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.Parity = ParityCode(settings.parity);
    dcb.StopBits = settings.stopBits == kTwoStopBits ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    // Parity is generated on output; received bytes are delivered as they came.
    dcb.fParity = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    // No flow control; the modem lines are held on for adapters that need them.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return dcb;
}

}  // namespace korvane::serial
