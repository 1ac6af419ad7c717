// Catalogue formats with one integer: whatever the text holds, only one
// integer conversion is ever fed, and nothing else is interpreted.
#include "base/SafeFormat.h"

#include <gtest/gtest.h>

namespace korvane::base {
namespace {

TEST(SafeFormatTest, FormatsOneIntegerAndShowsEverythingElseAsWritten)
{
    struct Case {
        const char* format;
        std::int32_t value;
        const char* expected;
    };
    const Case cases[] = {
        {"Upgrades completed: %d", 5, "Upgrades completed: 5"},
        {"%i", -7, "-7"},
        {"%5d|", 42, "   42|"},
        {"%-5d|", 42, "42   |"},
        {"%05d", 42, "00042"},
        {"%+d", 42, "+42"},
        {"%.3d", 4, "004"},
        {"%x %X %#x", 255, "ff %X %#x"},
        {"%X", 255, "FF"},
        {"%#x", 255, "0xff"},
        {"%u", -1, "4294967295"},
        {"100%%", 5, "100%"},
        {"%d%%", 50, "50%"},
        {"%%d", 5, "%d"},
        {"%s", 5, "%s"},
        {"%n", 5, "%n"},
        {"%s %d", 3, "%s 3"},
        {"%*d", 5, "%*d"},
        {"%ld %lld", 5, "%ld %lld"},
        {"%d and %d", 1, "1 and %d"},
        {"%d %n %s", 2, "2 %n %s"},
        {"No conversion", 9, "No conversion"},
        {"", 9, ""},
        {"50%", 1, "50%"},
        {"%", 1, "%"},
        {"%5", 1, "%5"},
        {"%999999999d", 1, "%999999999d"},
        {"%.99999d", 1, "%.99999d"},
        {"端口 %d 已打开", 3, "端口 3 已打开"},
        {"%d", INT32_MIN, "-2147483648"},
        {"%X", INT32_MIN, "80000000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SafeFormat(c.format, c.value), c.expected) << c.format;
    }
}

}  // namespace
}  // namespace korvane::base
