// The station's view of its ports: a radio plugged in is reported once, a
// replug again, a cable that comes and goes is flapping until it settles; path
// patterns follow links and drop dangling ones.
#include "station/PortSource.h"
#include "station/PortWatcher.h"

#include <gtest/gtest.h>

#include "../settings/TempDir.h"
#include "base/TextEncoding.h"

namespace korvane::station {
namespace {

using namespace std::chrono_literals;
using Kind = PortChange::Kind;

SeenPort Port(const std::string& device)
{
    return {device, device, {}, {}};
}

std::string Kinds(const std::vector<PortChange>& changes)
{
    std::string text;
    for (const PortChange& c : changes) {
        if (!text.empty()) text += ' ';
        text += (c.kind == Kind::Plugged     ? "plugged:"
                 : c.kind == Kind::Unplugged ? "unplugged:"
                                             : "flapping:") +
                c.port.device;
    }
    return text;
}

TEST(PortWatcher, PlugStayReplugAndSeveralAtOnce)
{
    PortWatcher watcher;
    Clock::time_point t{};
    EXPECT_EQ(Kinds(watcher.Update({Port("a"), Port("b")}, t)), "plugged:a plugged:b");
    EXPECT_EQ(Kinds(watcher.Update({Port("a"), Port("b")}, t += 500ms)), "") << "left plugged";
    EXPECT_EQ(Kinds(watcher.Update({Port("b")}, t += 30s)), "unplugged:a");
    EXPECT_EQ(Kinds(watcher.Update({Port("b"), Port("a")}, t += 30s)), "plugged:a");
    // Two names of one device are one port.
    EXPECT_EQ(Kinds(watcher.Update({Port("a"), Port("b"), {"alias", "a", {}, {}}}, t += 1s)), "");
}

TEST(PortWatcher, AFlappingPortIsNamedOnceAndPluggedOnlyWhenItSettles)
{
    PortWatcher watcher;
    Clock::time_point t{};
    int plugs = 0, flaps = 0;
    for (int i = 0; i < 20; ++i) {  // ten times a second, seen at every look
        for (const bool present : {true, false}) {
            for (const PortChange& c : watcher.Update(
                     present ? std::vector{Port("x")} : std::vector<SeenPort>{}, t += 50ms)) {
                plugs += c.kind == Kind::Plugged;
                flaps += c.kind == Kind::Flapping;
            }
        }
    }
    EXPECT_EQ(flaps, 1);
    // Two plugs get through before the third appearance marks it flapping.
    EXPECT_EQ(plugs, 2);

    EXPECT_EQ(Kinds(watcher.Update({Port("x")}, t += 500ms)), "");
    EXPECT_EQ(Kinds(watcher.Update({Port("x")}, t += 2s)), "") << "not settled yet";
    EXPECT_EQ(Kinds(watcher.Update({Port("x")}, t += 1s)), "plugged:x");
}

TEST(PortSource, PatternsFollowLinksToPortsThatExist)
{
    settings::test::TempDir dir;
    std::filesystem::create_directories(dir / "by-path");
    std::ofstream(dir / "tty0").put('x');
    std::error_code linkError;
    std::filesystem::create_symlink(dir / "tty0", dir / "by-path" / "slot-1.1", linkError);
    if (linkError) {
        // Windows grants symbolic links only to administrators or in developer mode.
        GTEST_SKIP() << "this system does not let the test create symbolic links: "
                     << linkError.message();
    }
    std::filesystem::create_symlink(dir / "gone", dir / "by-path" / "slot-1.2");
    std::filesystem::create_symlink(dir / "tty0", dir / "by-path" / "other");
    const auto seen = FromPatterns({base::PathToUtf8(dir / "by-path" / "slot-*")});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].device, base::PathToUtf8(std::filesystem::canonical(dir / "tty0")));
}

TEST(PortSource, WildcardsAndFiltersChoosePorts)
{
    EXPECT_TRUE(MatchesWildcard("ttyUSB?", "ttyUSB3"));
    EXPECT_TRUE(MatchesWildcard("*-1.*", "pci-0000:00:14.0-usb-0:1.2-port0-1.4"));
    EXPECT_FALSE(MatchesWildcard("ttyUSB?", "ttyUSB10"));

    const serial::PortInfo usb{1, "/dev/ttyUSB0", "", "1-1.2", "0403", "6001", "A5"};
    const serial::PortInfo plain{2, "/dev/ttyS0", "", "", "", "", ""};
    EXPECT_EQ(FromPortList({usb, plain}, {}).size(), 1u);
    EXPECT_EQ(FromPortList({usb, plain}, {false, {}, {}}).size(), 2u);
    EXPECT_EQ(FromPortList({usb}, {true, {"0403:6001"}, "1-1."}).size(), 1u);
    EXPECT_EQ(FromPortList({usb}, {true, {"1a86:7523"}, {}}).size(), 0u);
    EXPECT_EQ(FromPortList({usb}, {true, {}, "2-"}).size(), 0u);
}

}  // namespace
}  // namespace korvane::station
