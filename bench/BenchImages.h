// Images for the benchmarks: random bytes of a given size from a seed, written
// to a file, and the check that a simulated radio received them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace korvane::bench {

inline std::vector<std::uint8_t> Image(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(random()); });
    return bytes;
}

inline void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The radio holds `sent` from its start (and may hold more: padding, old bytes).
inline bool Received(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& sent)
{
    return got.size() >= sent.size() && std::equal(sent.begin(), sent.end(), got.begin());
}

}  // namespace korvane::bench
