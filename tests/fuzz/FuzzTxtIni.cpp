// Txt.ini as any file may hold it: every encoding the catalogue is read in
// (UTF-8 with and without a BOM, UTF-16 in both byte orders, GB18030, damaged
// mixtures), looked up by key, through the program's own texts and the text
// conversions. Whatever the bytes, a lookup gives well-formed UTF-8 that fits
// the caption length, and the conversions keep what is well-formed.
#include <cstdint>
#include <span>
#include <string>

#include "base/Gb18030.h"
#include "base/TextEncoding.h"
#include "settings/OwnText.h"
#include "settings/TextCatalogue.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using namespace korvane::settings;

std::size_t Utf16Units(const std::string& text)
{
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        const std::size_t length = korvane::base::DecodeUtf8(text, pos, cp);
        KORVANE_FUZZ_CHECK(length != 0);
        units += cp >= 0x10000 ? 2 : 1;
        pos += length;
    }
    return units;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    // The first byte picks the language and the key; the rest is the file.
    const std::uint8_t choice = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto path = korvane::fuzz::ScratchDir() / "Txt.ini";
    korvane::fuzz::WriteFile(path, bytes);

    const std::uint8_t language = choice % 3;
    const std::int32_t id = (choice >> 2) % 8 == 0 ? 350 : (choice >> 2) % 8;
    const TextCatalogue catalogue(path, language);
    for (const char* section : {"Pub", " pub ", "", "Pub]"}) {
        const std::string cut = catalogue.GetText(section, id);
        const std::string whole = catalogue.GetWholeText(section, id);
        KORVANE_FUZZ_CHECK(korvane::base::IsValidUtf8(cut) && korvane::base::IsValidUtf8(whole));
        KORVANE_FUZZ_CHECK(Utf16Units(cut) <= 259);
        KORVANE_FUZZ_CHECK(whole.starts_with(cut));
    }

    // The texts read into memory once give what a lookup in the file gives.
    UseOwnTextCatalogue(path, language);
    const std::string own = OwnText(id, "fallback {0} {1}", {"one", "two"});
    const std::string inFile = catalogue.GetWholeText(TextCatalogue::kSection, id);
    KORVANE_FUZZ_CHECK(own ==
                       FillText(inFile.empty() ? "fallback {0} {1}" : inFile, {"one", "two"}));
    UseBuiltInTexts();

    const std::string legacy = korvane::base::detail::Gb18030ToUtf8(bytes);
    KORVANE_FUZZ_CHECK(korvane::base::IsValidUtf8(legacy));
    const std::string wide = korvane::base::WideToUtf8(korvane::base::Utf8ToWide(bytes));
    KORVANE_FUZZ_CHECK(korvane::base::IsValidUtf8(wide));
    if (korvane::base::IsValidUtf8(bytes)) KORVANE_FUZZ_CHECK(wide == bytes);
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
    }
    KORVANE_FUZZ_CHECK(korvane::base::IsValidUtf8(korvane::base::Utf16ToUtf8(units)));
    return 0;
}
