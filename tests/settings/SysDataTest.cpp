// The settings record's fields sit at fixed offsets, little-endian, whatever the compiler does.
#include "settings/SysData.h"

#include <gtest/gtest.h>

namespace korvane::settings {
namespace {

TEST(SysDataTest, IsExactlyTheFileImageAndStartsZero)
{
    SysData data;
    ASSERT_EQ(data.Bytes().size(), 1024u);
    for (std::uint8_t byte : data.Bytes()) EXPECT_EQ(byte, 0);
    EXPECT_EQ(data.Language(), 0);
    EXPECT_EQ(data.ComIndex(), 0);
    EXPECT_EQ(data.UpgradeCount(), 0);
}

TEST(SysDataTest, CountIsSignedLittleEndianAtOffset38)
{
    struct Case {
        std::int32_t count;
        std::uint8_t bytes[4];
    };
    const Case cases[] = {
        {5, {0x05, 0x00, 0x00, 0x00}},         {0x01020304, {0x04, 0x03, 0x02, 0x01}},
        {-1, {0xFF, 0xFF, 0xFF, 0xFF}},        {INT32_MIN, {0x00, 0x00, 0x00, 0x80}},
        {INT32_MAX, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const Case& c : cases) {
        SysData data;
        data.SetUpgradeCount(c.count);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(data.Bytes()[38 + i], c.bytes[i]) << c.count;
        EXPECT_EQ(data.Bytes()[37], 0) << "offset 36/40 alignment would show here";
        EXPECT_EQ(data.Bytes()[42], 0);

        SysData read;
        for (int i = 0; i < 4; ++i) read.Bytes()[38 + i] = c.bytes[i];
        EXPECT_EQ(read.UpgradeCount(), c.count);
    }
}

}  // namespace
}  // namespace korvane::settings
