// Reading a firmware image whole, refusing files that do not fit the image
// buffer before a single byte past the limit is read, and the image a job
// takes once and reports as it was sent.
#include "firmware/image/Image.h"

#include "base/TextEncoding.h"
#include "firmware/FirmwareTexts.h"
#include "firmware/image/ImageFile.h"

namespace korvane::firmware {

namespace {

std::string ImageHint()
{
    return settings::OwnText(
        kHintImageUnreadable,
        "Choose the firmware file (.bin) again and check that it can be read.");
}

std::string TooLargeHint()
{
    return settings::OwnText(kHintImageTooLarge, "Check that the right file was chosen.");
}

}  // namespace

namespace detail {

void ThrowNotRegular(const std::filesystem::path& path, bool folder)
{
    if (folder) {
        throw ImageError(
            ImageProblem::NotRegular,
            settings::OwnText(kTextImageIsFolder, "The image '{0}' is a folder, not a file.",
                              {base::PathToUtf8(path)}),
            ImageHint());
    }
    throw ImageError(ImageProblem::NotRegular,
                     settings::OwnText(kTextImageNotRegular,
                                       "The image '{0}' is not a regular file (it is a pipe, a "
                                       "device or another special file).",
                                       {base::PathToUtf8(path)}),
                     ImageHint());
}

void ThrowCannotOpen(const std::filesystem::path& path, const std::string& reason)
{
    throw ImageError(ImageProblem::CannotOpen,
                     settings::OwnText(kTextImageCannotOpen, "Cannot open the image '{0}': {1}.",
                                       {base::PathToUtf8(path), reason}),
                     ImageHint());
}

void ThrowCannotRead(const std::filesystem::path& path, const std::string& reason)
{
    throw ImageError(ImageProblem::CannotRead,
                     settings::OwnText(kTextImageCannotRead, "Cannot read the image '{0}': {1}.",
                                       {base::PathToUtf8(path), reason}),
                     ImageHint());
}

}  // namespace detail

std::vector<std::uint8_t> LoadImage(const std::filesystem::path& path)
{
    // One byte more than fits, so a file that grew since it was measured is
    // still refused rather than silently cut short.
    std::vector<std::uint8_t> bytes = detail::ReadRegularFile(path, kImageBufferSize + 1);
    if (bytes.size() > kImageBufferSize) {
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(path, ec);
        throw ImageError(
            ImageProblem::TooLarge,
            settings::OwnText(kTextImageTooLarge,
                              "The image '{0}' is {1} bytes long; at most {2} bytes "
                              "fit the radio's image buffer.",
                              {base::PathToUtf8(path), std::to_string(ec ? bytes.size() : size),
                               std::to_string(kImageBufferSize)}),
            TooLargeHint());
    }
    return bytes;
}

ImageSource::ImageSource(ImageRole role, std::filesystem::path path)
    : m_role(role), m_path(std::move(path))
{
}

ImageSource::ImageSource(ImageRole role, std::vector<std::uint8_t> bytes)
    : m_role(role), m_given(std::move(bytes))
{
}

const std::vector<std::uint8_t>& ImageSource::Bytes()
{
    if (m_bytes) return *m_bytes;
    if (!m_given) {
        m_bytes = LoadImage(m_path);
        return *m_bytes;
    }
    if (m_given->size() > kImageBufferSize) {
        const bool boot = m_role == ImageRole::Boot;
        throw ImageError(
            ImageProblem::TooLarge,
            settings::OwnText(boot ? kTextBootBytesTooLarge : kTextUserBytesTooLarge,
                              boot ? "The boot image is {0} bytes long; at most {1} bytes fit "
                                     "the radio's image buffer."
                                   : "The user program image is {0} bytes long; at most {1} "
                                     "bytes fit the radio's image buffer.",
                              {std::to_string(m_given->size()), std::to_string(kImageBufferSize)}),
            TooLargeHint());
    }
    m_bytes = std::move(m_given);
    m_given.reset();
    return *m_bytes;
}

}  // namespace korvane::firmware
