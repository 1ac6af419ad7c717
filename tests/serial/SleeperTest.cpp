// The real-time sleeper: a stop request from another thread ends a sleep at once.
#include <gtest/gtest.h>

#include <thread>

#include "serial/Sleeper.h"

namespace korvane::serial {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(StoppableSleeperTest, StopFromAnotherThreadWakesALongSleepAtOnce)
{
    StoppableSleeper sleeper;
    const auto start = Clock::now();
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        sleeper.RequestStop();
    });
    EXPECT_THROW(sleeper.Sleep(10s), StopRequested);
    stopper.join();
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_TRUE(sleeper.StopWasRequested());
}

TEST(StoppableSleeperTest, StopIsRememberedUntilReset)
{
    StoppableSleeper sleeper;
    EXPECT_NO_THROW(sleeper.CheckStop());
    sleeper.RequestStop();
    EXPECT_THROW(sleeper.CheckStop(), StopRequested);
    EXPECT_THROW(sleeper.Sleep(0ms), StopRequested);

    sleeper.Reset();
    EXPECT_FALSE(sleeper.StopWasRequested());
    const auto start = Clock::now();
    EXPECT_NO_THROW(sleeper.Sleep(20ms));
    EXPECT_GE(Clock::now() - start, 20ms);
}

}  // namespace
}  // namespace korvane::serial
