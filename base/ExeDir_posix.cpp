// The running executable's directory on Linux, read from /proc/self/exe.
#include "base/ExeDir.h"

#include <string>
#include <system_error>

#include <unistd.h>

namespace korvane::base {

namespace {
constexpr const char* kSelfExe = "/proc/self/exe";
constexpr std::size_t kFirstGuess = 256;

// The link's target, however long; empty when it cannot be read.
std::string ReadSelfLink()
{
    std::string buffer(kFirstGuess, '\0');
    for (;;) {
        const ssize_t length = ::readlink(kSelfExe, buffer.data(), buffer.size());
        if (length < 0) return {};
        // readlink truncates silently; a result that fills the buffer may be cut.
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}
}  // namespace

std::filesystem::path GetExeDir()
{
    const std::string exe = ReadSelfLink();
    if (!exe.empty()) return std::filesystem::path(exe).parent_path();
    // Without /proc the working directory is the best remaining guess.
    std::error_code error;
    return std::filesystem::current_path(error);
}

}  // namespace korvane::base
