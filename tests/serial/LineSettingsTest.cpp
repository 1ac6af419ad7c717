// Parsing of the line-settings text and the terminal flags built from it.
#include <gtest/gtest.h>

#include <termios.h>

#include "serial/LineSettings.h"
#include "serial/SerialError.h"
#include "serial/TermiosSettings.h"

namespace korvane::serial {
namespace {

TEST(LineSettingsTest, ParsesWellFormedText)
{
    const std::vector<std::pair<const char*, LineSettings>> cases = {
        {"115200,E,8,1", {115200, Parity::Even, 8, 1}}, {"9600,N,8,1", {9600, Parity::None, 8, 1}},
        {"19200,o,7,2", {19200, Parity::Odd, 7, 2}},    {"300,M,5,1", {300, Parity::Mark, 5, 1}},
        {"1200,S,6,1", {1200, Parity::Space, 6, 1}},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseLineSettings(text), expected);
    }
}

TEST(LineSettingsTest, RefusesMalformedTextNamingTheFault)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"", "fields"},
        {"115200,E,8", "fields"},
        {"115200,E,8,1,", "fields"},
        {"fast,E,8,1", "baud rate \"fast\""},
        {",E,8,1", "baud rate"},
        {"0,E,8,1", "baud rate"},
        {"-9600,E,8,1", "baud rate"},
        {"115200 ,E,8,1", "baud rate"},
        {"99999999999,E,8,1", "baud rate"},
        {"115200,X,8,1", "parity \"X\""},
        {"115200,EE,8,1", "parity"},
        {"115200,,8,1", "parity"},
        {"115200,E,9,1", "data bits \"9\""},
        {"115200,E,4,1", "data bits"},
        {"115200,E,8x,1", "data bits"},
        {"115200,E,8,1.5", "stop bits \"1.5\""},
        {"115200,E,8,0", "stop bits"},
    };
    for (const auto& [text, fault] : cases) {
        SCOPED_TRACE(text);
        try {
            ParseLineSettings(text);
            ADD_FAILURE() << "accepted";
        } catch (const SerialError& e) {
            EXPECT_EQ(e.SerialKind(), SerialErrorKind::BadSettings);
            EXPECT_NE(std::string(e.what()).find(fault), std::string::npos) << e.what();
        }
    }
}

TEST(TermiosSettingsTest, BuildsRawEightEvenOne)
{
    termios cooked{};
    cooked.c_iflag = ICRNL | IXON | BRKINT | INPCK | ISTRIP;
    cooked.c_oflag = OPOST | ONLCR;
    cooked.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    cooked.c_cflag = CS7 | PARODD | CSTOPB | CRTSCTS | HUPCL;
    const termios t = BuildTermios(cooked, ParseLineSettings("115200,E,8,1"));

    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS));
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_FALSE(t.c_iflag & (ICRNL | IXON | IXOFF | BRKINT | ISTRIP | INPCK));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(TermiosSettingsTest, MapsEveryParityAndStopBits)
{
    const tcflag_t parityMask = PARENB | PARODD | CMSPAR;
    const std::vector<std::pair<const char*, tcflag_t>> cases = {
        {"9600,N,8,1", 0},
        {"9600,E,8,1", PARENB},
        {"9600,O,8,1", PARENB | PARODD},
        {"9600,M,8,1", PARENB | PARODD | CMSPAR},
        {"9600,S,8,1", PARENB | CMSPAR},
    };
    for (const auto& [text, flags] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(BuildTermios(termios{}, ParseLineSettings(text)).c_cflag & parityMask, flags);
    }
    EXPECT_TRUE(BuildTermios(termios{}, ParseLineSettings("9600,N,7,2")).c_cflag & CSTOPB);
    EXPECT_EQ(BuildTermios(termios{}, ParseLineSettings("9600,N,7,2")).c_cflag & CSIZE,
              static_cast<tcflag_t>(CS7));
}

TEST(TermiosSettingsTest, RefusesABaudRateTheSystemDoesNotOffer)
{
    try {
        BuildTermios(termios{}, ParseLineSettings("12345,E,8,1"));
        ADD_FAILURE() << "accepted";
    } catch (const SerialError& e) {
        EXPECT_EQ(e.SerialKind(), SerialErrorKind::BadSettings);
        EXPECT_NE(std::string(e.what()).find("12345"), std::string::npos);
    }
}

}  // namespace
}  // namespace korvane::serial
