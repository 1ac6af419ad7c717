// Shared by the fuzz targets: a scratch folder per process (in memory where the
// system offers one), the input split into pieces, and a check that aborts, so
// that libFuzzer keeps the input that broke an invariant.
#pragma once

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::fuzz {

#define KORVANE_FUZZ_CHECK(condition)                                                              \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

inline const std::filesystem::path& ScratchDir()
{
    static const std::filesystem::path dir = [] {
        std::error_code error;
        const std::filesystem::path shm = "/dev/shm";
        const auto base = std::filesystem::is_directory(shm, error)
                              ? shm
                              : std::filesystem::temp_directory_path();
        auto path = base / ("korvane-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        // Removed when the process ends, whichever target it runs.
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchDir(), ignored);
        });
        return path;
    }();
    return dir;
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The input as pieces split at `separator` (a byte the pieces then never hold).
inline std::vector<std::string> Split(std::span<const std::uint8_t> input, char separator)
{
    std::vector<std::string> pieces(1);
    for (std::uint8_t b : input) {
        if (static_cast<char>(b) == separator) {
            pieces.emplace_back();
        } else {
            pieces.back() += static_cast<char>(b);
        }
    }
    return pieces;
}

}  // namespace korvane::fuzz
