// GB18030 to UTF-8 through the C library's iconv.
#include "base/Gb18030.h"

#include <cerrno>

#include <iconv.h>

namespace korvane::base::detail {

namespace {
constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
// GB18030 needs at most 4 bytes per character, UTF-8 at most 4 per character too,
// so twice the input plus a little always holds one more step of output.
constexpr std::size_t kOutputSlack = 16;
const iconv_t kOpenFailed = reinterpret_cast<iconv_t>(-1);
const std::size_t kConversionFailed = static_cast<std::size_t>(-1);

class Converter {
public:
    Converter() : m_cd(::iconv_open("UTF-8", "GB18030")) {}
    ~Converter()
    {
        if (m_cd != kOpenFailed) ::iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ok() const { return m_cd != kOpenFailed; }
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};
}  // namespace

std::string Gb18030ToUtf8(std::string_view bytes)
{
    Converter converter;
    std::string result;
    if (!converter.Ok()) return result;

    std::string output(bytes.size() * 2 + kOutputSlack, '\0');
    char* in = const_cast<char*>(bytes.data());  // iconv's interface is not const-correct
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* out = output.data();
        std::size_t outLeft = output.size();
        const std::size_t status = ::iconv(converter.Get(), &in, &inLeft, &out, &outLeft);
        result.append(output.data(), output.size() - outLeft);
        if (status != kConversionFailed) break;
        if (errno == E2BIG) continue;
        // EILSEQ or a sequence cut off at the end: mark it and go past one byte.
        result += kReplacement;
        ++in;
        --inLeft;
        ::iconv(converter.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    return result;
}

}  // namespace korvane::base::detail
