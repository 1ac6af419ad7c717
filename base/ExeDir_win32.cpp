// The running executable's directory on Windows, from GetModuleFileNameW.
#include "base/ExeDir.h"

#include <string>

#include <windows.h>

namespace korvane::base {

namespace {
constexpr DWORD kFirstGuess = MAX_PATH;
constexpr DWORD kLongestPath = 32768;  // the longest path Windows accepts, in UTF-16 units
}  // namespace

std::filesystem::path GetExeDir()
{
    std::wstring buffer(kFirstGuess, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) return {};
        // A result that fills the buffer was cut: try again with more room.
        if (length < size) {
            buffer.resize(length);
            return std::filesystem::path(buffer).parent_path();
        }
        if (size >= kLongestPath) return {};
        buffer.resize(static_cast<std::size_t>(size) * 2);
    }
}

}  // namespace korvane::base
