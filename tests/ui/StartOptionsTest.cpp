// The program's start options: which window, which pacing for its upgrades,
// and what is refused.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "app/StartOptions.h"

namespace korvane::app {
namespace {

TEST(StartOptionsTest, TheServiceStartWaitsPatientlyUnlessExactTimingIsAsked)
{
    using Action = StartOptions::Action;
    using firmware::Pacing;
    struct Case {
        std::vector<std::string_view> args;
        Action action;
        bool service;
        Pacing pacing;
    };
    const std::vector<Case> cases{
        {{}, Action::Run, false, Pacing::Exact},
        {{"--service"}, Action::Run, true, Pacing::Patient},
        {{"--service", "--exact-timing"}, Action::Run, true, Pacing::Exact},
        {{"--exact-timing", "--service"}, Action::Run, true, Pacing::Exact},
        {{"--exact-timing"}, Action::Run, false, Pacing::Exact},
        {{"-platform", "offscreen", "--service"}, Action::Run, true, Pacing::Patient},
        {{"--service", "--patient"}, Action::Refuse, true, Pacing::Patient},
        {{"--service", "--help"}, Action::Help, true, Pacing::Patient},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string_view("(none)") : c.args.back());
        const StartOptions options = ParseStartOptions(c.args);
        EXPECT_EQ(options.action, c.action);
        EXPECT_EQ(options.service, c.service);
        EXPECT_EQ(JobPacing(options), c.pacing);
    }
    // The usage names both options, so the window's pacing is never a guess.
    const std::string usage = UsageText();
    EXPECT_NE(usage.find("--exact-timing"), std::string::npos);
    EXPECT_NE(usage.find("patiently"), std::string::npos);
}

}  // namespace
}  // namespace korvane::app
