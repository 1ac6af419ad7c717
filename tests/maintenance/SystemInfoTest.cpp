// The operating system's word size, and the UTF-8 to wide conversion behind the
// Windows command texts (the COM-port database reset runs for real in the
// Windows suite).
#include <gtest/gtest.h>

#include "maintenance/Process.h"
#include "maintenance/SystemInfo.h"
#include "maintenance/TextEncoding.h"

namespace korvane::maintenance {
namespace {

TEST(IsMachineName64Bit, KnowsTheCommonArchitectures)
{
    for (const char* machine :
         {"x86_64", "aarch64", "ppc64le", "s390x", "riscv64", "loongarch64"}) {
        EXPECT_TRUE(IsMachineName64Bit(machine)) << machine;
    }
    for (const char* machine : {"i686", "i386", "armv7l", "armv6l", "mips", "ppc", ""}) {
        EXPECT_FALSE(IsMachineName64Bit(machine)) << machine;
    }
}

TEST(IsOperatingSystem64Bit, AgreesWithUname)
{
    ProcessResult uname = RunProcess({"uname", "-m"});
    ASSERT_TRUE(uname.Succeeded());
    const std::string machine = uname.output.substr(0, uname.output.find('\n'));
    EXPECT_EQ(IsOperatingSystem64Bit(), IsMachineName64Bit(machine)) << machine;
}

TEST(Utf8ToWide, DecodesEveryCharacterAndReplacesMalformedBytes)
{
    struct Case {
        std::string utf8;
        std::wstring wide;
    };
    const bool utf16 = sizeof(wchar_t) == 2;
    const Case cases[] = {
        {"C:\\tools", L"C:\\tools"},
        {"zoë", L"zo\u00EB"},
        {"对讲机", L"\u5BF9\u8BB2\u673A"},
        {"\xF0\x9F\x93\xBB",
         utf16 ? std::wstring{wchar_t(0xD83D), wchar_t(0xDCFB)} : std::wstring{wchar_t(0x1F4FB)}},
        {"a\xFF\x62", L"a\uFFFDb"},               // not UTF-8 at all ("\x62" is b)
        {"\xE5\xAF", L"\uFFFD\uFFFD"},            // cut short
        {"\xC0\xAF", L"\uFFFD\uFFFD"},            // overlong slash
        {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
    };
    for (const Case& c : cases) {
        EXPECT_EQ(base::Utf8ToWide(c.utf8), c.wide);
    }
}

}  // namespace
}  // namespace korvane::maintenance
