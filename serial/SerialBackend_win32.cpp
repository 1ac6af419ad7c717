// The Win32 serial backend: CreateFileW on \\.\COMn, SetupComm for the queues,
// a DCB for the line settings, ClearCommError for the waiting count, a read that
// waits through the read time-outs, PurgeComm to discard.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

#include "base/TextEncoding.h"
#include "serial/DcbSettings.h"
#include "serial/PortErrors.h"
#include "serial/SerialBackend.h"
#include "serial/SerialError.h"
#include "settings/Win32Text.h"

namespace korvane::serial {

namespace {

// A write that makes no progress for this long means the line is stuck.
constexpr DWORD kWriteTimeoutMs = 5000;
// A waiting read sleeps in the driver for at most this long before it looks
// at the stop request again: the longest a stop waits for a read to notice it.
constexpr DWORD kWaitSliceMs = 50;

std::wstring Widen(const std::string& text)
{
    return base::Utf8ToWide(text);
}

std::string SystemReason(DWORD error)
{
    return settings::SystemMessage(error);
}

// Wine's ntdll exports wine_get_version; Windows' does not.
bool IsRunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IsGoneError(DWORD error)
{
    return error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_BAD_COMMAND ||
           error == ERROR_GEN_FAILURE || error == ERROR_OPERATION_ABORTED ||
           error == ERROR_FILE_NOT_FOUND || error == ERROR_ACCESS_DENIED ||
           error == ERROR_NOT_READY;  // what Wine reports for a hung-up line (EIO)
}

class Win32SerialBackend : public SerialBackend {
public:
    ~Win32SerialBackend() override { Close(); }

    void Open(const std::string& device, const LineSettings& settings, std::size_t inQueueSize,
              std::size_t outQueueSize) override
    {
        Close();
        m_device = device;
        const HANDLE handle = CreateFileW(Widen(device).c_str(), GENERIC_READ | GENERIC_WRITE,
                                          0 /* exclusive */, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) throw OpenError(GetLastError());
        m_handle = handle;
        try {
            if (!SetupComm(m_handle, static_cast<DWORD>(inQueueSize),
                           static_cast<DWORD>(outQueueSize)))
                throw SystemError("size the queues of", GetLastError());
            ApplySettings(settings);
            ApplyTimeouts();
            PurgeComm(m_handle, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
        } catch (...) {
            Close();
            throw;
        }
    }

    void Close() override
    {
        if (m_handle == INVALID_HANDLE_VALUE) return;
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        m_readWaitMs.reset();
    }

    bool IsOpen() const override { return m_handle != INVALID_HANDLE_VALUE; }

    std::size_t BytesWaiting() override
    {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(m_handle, &errors, &status))
            throw SystemError("count the waiting bytes of", GetLastError());
        return status.cbInQue;
    }

    void Write(std::span<const std::uint8_t> bytes) override
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
            if (!WriteFile(m_handle, bytes.data() + done, chunk, &written, nullptr))
                throw SystemError("write to", GetLastError());
            if (written == 0) {
                throw SerialError(SerialErrorKind::Io,
                                  "The serial port " + m_device + " took no bytes for " +
                                      std::to_string(kWriteTimeoutMs / 1000) + " s.");
            }
            done += written;
        }
    }

    void DiscardOutput() override
    {
        if (!PurgeComm(m_handle, PURGE_TXCLEAR | PURGE_TXABORT))
            throw SystemError("discard the output of", GetLastError());
    }

    void DiscardInput() override
    {
        if (!PurgeComm(m_handle, PURGE_RXCLEAR | PURGE_RXABORT))
            throw SystemError("discard the input of", GetLastError());
    }

protected:
    void TakeWaiting(std::vector<std::uint8_t>& bytes, std::size_t most) override
    {
        const std::size_t waiting = std::min(BytesWaiting(), most - bytes.size());
        if (waiting != 0) ReadInto(bytes, waiting, 0);
    }

    // One byte, waited for in the driver: ReadFile returns the moment it
    // comes, or empty when the slice has passed.
    void AwaitBytes(std::vector<std::uint8_t>& bytes, std::chrono::nanoseconds left,
                    ISleeper&) override
    {
        const auto leftMs = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        ReadInto(bytes, 1, std::min<DWORD>(static_cast<DWORD>(leftMs), kWaitSliceMs));
    }

private:
    SerialError OpenError(DWORD error) const
    {
        switch (error) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                return PortMissingError(m_device, SystemReason(error));
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
                // Windows reports a port held by another program as access denied.
                return PortBusyError(m_device);
            default:
                return PortOpenFailedError(m_device, SystemReason(error));
        }
    }

    SerialError SystemError(const char* action, DWORD error) const
    {
        if (IsGoneError(error)) {
            return SerialError(SerialErrorKind::DeviceGone,
                               "The serial port " + m_device + " has gone away (" +
                                   SystemReason(error) +
                                   "). Check the cable, then close the port and open it again.");
        }
        return SerialError(SerialErrorKind::Io, "Could not " + std::string(action) +
                                                    " the serial port " + m_device + " (" +
                                                    SystemReason(error) + ").");
    }

    void ApplySettings(const LineSettings& settings)
    {
        DCB current{};
        current.DCBlength = sizeof(current);
        if (!GetCommState(m_handle, &current))
            throw SystemError("read the settings of", GetLastError());
        DCB wanted = BuildDcb(current, settings);
        if (SetCommState(m_handle, &wanted)) return;
        const DWORD error = GetLastError();
        if (error == ERROR_INVALID_PARAMETER && wanted.Parity != NOPARITY && IsRunningUnderWine()) {
            // Wine maps the COM port onto a Unix terminal. Behind a Linux
            // pseudo-terminal (the simulated radio) the kernel refuses parity with
            // EINVAL, which reaches us as an invalid parameter. A pty carries no
            // parity anyway, so the same settings without it are taken, as the
            // POSIX backend does on a pty. Real Windows drivers never take this path.
            DCB withoutParity = wanted;
            withoutParity.Parity = NOPARITY;
            if (SetCommState(m_handle, &withoutParity)) return;
        }
        throw SerialError(SerialErrorKind::BadSettings, "The serial port " + m_device +
                                                            " refused the line settings (" +
                                                            std::to_string(settings.baud) +
                                                            " baud): " + SystemReason(error) + ".");
    }

    // Reads `count` bytes that wait, or with `waitMs` one that may yet come.
    void ReadInto(std::vector<std::uint8_t>& bytes, std::size_t count, DWORD waitMs)
    {
        ApplyTimeouts(waitMs);
        const std::size_t start = bytes.size();
        bytes.resize(start + count);
        DWORD got = 0;
        if (!ReadFile(m_handle, bytes.data() + start, static_cast<DWORD>(count), &got, nullptr))
            throw SystemError("read from", GetLastError());
        bytes.resize(start + got);
    }

    // MAXDWORD, 0, 0: a read returns at once with whatever is waiting.
    // MAXDWORD, MAXDWORD, n: a read returns at once with what is waiting, or
    // with the first byte that comes within n ms, or empty after n ms.
    void ApplyTimeouts(DWORD waitMs = 0)
    {
        if (m_readWaitMs == waitMs) return;
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = waitMs == 0 ? 0 : MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = waitMs;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
        if (!SetCommTimeouts(m_handle, &timeouts))
            throw SystemError("set the time-outs of", GetLastError());
        m_readWaitMs = waitMs;
    }

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::string m_device;
    // The read wait the port's time-outs are set for; none before the open sets them.
    std::optional<DWORD> m_readWaitMs;
};

}  // namespace

std::unique_ptr<SerialBackend> MakePlatformBackend()
{
    return std::make_unique<Win32SerialBackend>();
}

}  // namespace korvane::serial
