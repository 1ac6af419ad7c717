// Reading a firmware image whole, refusing files that do not fit the image
// buffer before a single byte past the limit is read.
#include "firmware/Image.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace korvane::firmware {

namespace {

std::string Quoted(const std::filesystem::path& path)
{
    return "'" + path.string() + "'";
}

std::string TooLargeMessage(const std::filesystem::path& path, std::uintmax_t size)
{
    return "The image " + Quoted(path) + " is " + std::to_string(size) + " bytes long; at most " +
           std::to_string(kImageBufferSize) +
           " bytes fit the radio's image buffer. Check that the right file was chosen.";
}

}  // namespace

std::vector<std::uint8_t> LoadImage(const std::filesystem::path& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw ImageError("Cannot open the image " + Quoted(path) + ": it is a folder, not a file.");
    }
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        const int reason = errno;
        throw ImageError("Cannot open the image " + Quoted(path) + ": " +
                         (reason != 0 ? std::strerror(reason) : "the file cannot be read") + ".");
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kImageBufferSize) {
        throw ImageError(TooLargeMessage(path, size));
    }

    // Read one byte more than fits, so a file that grew since it was measured
    // is still refused rather than silently cut short.
    std::vector<std::uint8_t> bytes(kImageBufferSize + 1);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        throw ImageError("Cannot read the image " + Quoted(path) + ": " + std::strerror(errno) +
                         ".");
    }
    const auto length = static_cast<std::size_t>(file.gcount());
    if (length > kImageBufferSize) {
        throw ImageError(TooLargeMessage(path, ec ? length : size));
    }
    bytes.resize(length);
    bytes.shrink_to_fit();
    return bytes;
}

}  // namespace korvane::firmware
