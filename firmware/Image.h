// Firmware images: raw .bin files of at most 1,024,000 bytes, read whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "error/Error.h"

namespace korvane::firmware {

constexpr std::size_t kImageBufferSize = 1'024'000;

// An image that cannot be used: missing, unreadable, or longer than the buffer.
class ImageError : public korvane::FileError {
public:
    explicit ImageError(const std::string& message, std::string hint = {})
        : korvane::FileError(ErrorKind::Image, message, std::move(hint))
    {
    }
};

// Reads the whole file. Throws ImageError when it cannot be opened or read, or
// when it is longer than kImageBufferSize (nothing past the limit is read).
std::vector<std::uint8_t> LoadImage(const std::filesystem::path& path);

}  // namespace korvane::firmware
