// Firmware images: raw .bin files of at most 1,024,000 bytes, read whole, and
// where a job's image comes from (a file read when its stage begins, or bytes
// a front end has read already).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "error/Error.h"

namespace korvane::firmware {

constexpr std::size_t kImageBufferSize = 1'024'000;

// Why an image cannot be used, for a front end that treats one case apart
// (the dialog's browse leaves a file it cannot open to the job).
enum class ImageProblem { NotRegular, CannotOpen, CannotRead, TooLarge };

// An image that cannot be used: missing, not a regular file, unreadable, or
// longer than the buffer.
class ImageError : public korvane::FileError {
public:
    ImageError(ImageProblem problem, const std::string& message, std::string hint = {})
        : korvane::FileError(ErrorKind::Image, message, std::move(hint)), m_problem(problem)
    {
    }
    ImageProblem Problem() const { return m_problem; }

private:
    ImageProblem m_problem;
};

// Reads the whole file. Anything but a regular file (a folder, a pipe, a
// device) is refused before it is opened, so nothing here can block. Throws
// ImageError when the file cannot be used, or when it is longer than
// kImageBufferSize (nothing past the limit is read). On Windows the file is
// opened with exclusive access, as the bench program always has.
std::vector<std::uint8_t> LoadImage(const std::filesystem::path& path);

enum class ImageRole { Boot, UserProgram };

// One image of a job. The bytes are taken once, when the stage that sends them
// begins; from then on the job reports exactly the bytes it sent.
class ImageSource {
public:
    ImageSource(ImageRole role, std::filesystem::path path);
    ImageSource(ImageRole role, std::vector<std::uint8_t> bytes);

    // The image: read from its file on the first call (ImageError when it
    // cannot be used), the same bytes on every later call.
    const std::vector<std::uint8_t>& Bytes();
    // The bytes a stage took, or nothing when no stage has.
    const std::vector<std::uint8_t>* Taken() const { return m_bytes ? &*m_bytes : nullptr; }

private:
    ImageRole m_role;
    std::filesystem::path m_path;
    std::optional<std::vector<std::uint8_t>> m_given;
    std::optional<std::vector<std::uint8_t>> m_bytes;
};

}  // namespace korvane::firmware
