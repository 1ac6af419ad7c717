// The program's text conversions: wide text and UTF-16 back to UTF-8, where
// the platform's own conversions used to serve Windows.
#include "base/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

namespace korvane::base {
namespace {

TEST(TextEncodingTest, WideTextAndUtf16ComeBackAsTheSameUtf8)
{
    for (const std::string utf8 : {"", "C:\\tools", "zoë", "对讲机 開啟", "\xF0\x9F\x93\xBB 𠀀"}) {
        EXPECT_EQ(WideToUtf8(Utf8ToWide(utf8)), utf8);
    }
    EXPECT_EQ(Utf16ToUtf8(u"对讲机 \U0001F4FB"), "对讲机 \xF0\x9F\x93\xBB");
}

TEST(TextEncodingTest, UnitsThatAreNoCharacterBecomeTheReplacementCharacter)
{
    struct Case {
        const char* name;
        std::u16string units;
        std::string asUtf16;  // the units read as UTF-16
        std::string asUtf32;  // each unit read alone, as 32-bit wide text holds them
    };
    const Case cases[] = {
        {"high surrogate at the end", {u'a', char16_t(0xD83D)}, "a\uFFFD", "a\uFFFD"},
        {"low surrogate alone", {char16_t(0xDCFB), u'b'}, "\uFFFDb", "\uFFFDb"},
        {"two high surrogates, then a low one",
         {char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDCFB)},
         "\uFFFD\xF0\x9F\x93\xBB",
         "\uFFFD\uFFFD\uFFFD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf16ToUtf8(c.units), c.asUtf16) << c.name;
        const std::wstring wide(c.units.begin(), c.units.end());
        EXPECT_EQ(WideToUtf8(wide), sizeof(wchar_t) == 2 ? c.asUtf16 : c.asUtf32) << c.name;
    }
}

}  // namespace
}  // namespace korvane::base
