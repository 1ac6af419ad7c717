// Image files on Windows: opened with no sharing (exclusive access), as the
// bench program always has, so no other program changes the image while it
// is read; only a file on disk is taken, never a pipe or a device.
#include <windows.h>

#include <algorithm>

#include "firmware/image/ImageFile.h"
#include "settings/Win32Text.h"

namespace korvane::firmware::detail {

namespace {

constexpr std::size_t kGrowStep = 64 * 1024;

constexpr DWORD kNoSharing = 0;
constexpr DWORD kMaxChunk = 1u << 20;

// "\\.\" names devices and pipes, never a file.
bool NamesADevice(const std::filesystem::path& path)
{
    const std::wstring& text = path.native();
    return text.size() >= 4 && text.compare(0, 4, L"\\\\.\\") == 0;
}

class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { ::CloseHandle(m_handle); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

}  // namespace

std::vector<std::uint8_t> ReadRegularFile(const std::filesystem::path& path, std::size_t limit)
{
    if (NamesADevice(path)) ThrowNotRegular(path, false);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        ThrowCannotOpen(path, settings::SystemMessage(::GetLastError()));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) ThrowNotRegular(path, true);

    const HANDLE raw = ::CreateFileW(path.c_str(), GENERIC_READ, kNoSharing, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE)
        ThrowCannotOpen(path, settings::SystemMessage(::GetLastError()));
    const Handle file(raw);
    // Reserved names (NUL, CON, COM1) open as character devices.
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) ThrowNotRegular(path, false);

    LARGE_INTEGER size{};
    const auto measured =
        ::GetFileSizeEx(file.Get(), &size) ? static_cast<std::size_t>(size.QuadPart) : 0;
    std::vector<std::uint8_t> bytes(std::min(limit, measured + 1));
    std::size_t length = 0;
    while (length < limit) {
        if (length == bytes.size()) {
            bytes.resize(std::min(limit, std::max(bytes.size() * 2, kGrowStep)));
        }
        const auto chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - length, kMaxChunk));
        DWORD n = 0;
        if (!::ReadFile(file.Get(), bytes.data() + length, chunk, &n, nullptr)) {
            ThrowCannotRead(path, settings::SystemMessage(::GetLastError()));
        }
        if (n == 0) break;
        length += n;
    }
    bytes.resize(length);
    return bytes;
}

}  // namespace korvane::firmware::detail
