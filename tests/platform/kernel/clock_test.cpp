#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "scoped_clock_rate.h"

namespace {

using std::chrono::steady_clock;

TEST(Clock, RateChangeKeepsTimePassedAndNeverStepsBack)
{
    int64_t before = platform::ClockNow100ns();
    int64_t last = before;
    for (double rate : {50.0, 0.5, 1000.0, 1.0}) {
        CScopedClockRate scoped(rate);
        for (int i = 0; i < 1000; ++i) {
            int64_t now = platform::ClockNow100ns();
            ASSERT_GE(now, last);
            last = now;
        }
    }
    EXPECT_GE(platform::ClockNow100ns(), last);
}

TEST(Clock, FastRateAdvancesPlatformTimeFasterThanRealTime)
{
    CScopedClockRate scoped(100.0);
    DWORD startTicks = timeGetTime();
    int64_t start100ns = platform::ClockNow100ns();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    // 30 real ms are at least 3000 platform ms at rate 100.
    EXPECT_GE(timeGetTime() - startTicks, 3000u);
    EXPECT_GE(platform::ClockNow100ns() - start100ns, 3000 * 10000);
    EXPECT_GE(GetTickCount() - startTicks, 3000u);
}

TEST(Clock, RejectsRatesThatCannotRunTheClock)
{
    double rate = platform::GetClockRate();
    platform::SetClockRate(0.0);
    platform::SetClockRate(-2.0);
    platform::SetClockRate(std::strtod("nan", nullptr));
    EXPECT_EQ(platform::GetClockRate(), rate);
}

TEST(Clock, PerformanceCounterCountsPlatformTime)
{
    LARGE_INTEGER frequency{}, first{}, second{};
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 10000000);
    CScopedClockRate scoped(200.0);
    ASSERT_TRUE(QueryPerformanceCounter(&first));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(QueryPerformanceCounter(&second));
    EXPECT_GE(second.QuadPart - first.QuadPart, 2 * frequency.QuadPart);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
}

TEST(Clock, PlatformToRealSecondsDividesByTheRate)
{
    CScopedClockRate scoped(4.0);
    EXPECT_DOUBLE_EQ(platform::PlatformToRealSeconds(10000000), 0.25);
}

TEST(Clock, SleepCountsPlatformMilliseconds)
{
    CScopedClockRate scoped(1000.0);
    auto realStart = steady_clock::now();
    int64_t start = platform::ClockNow100ns();
    Sleep(3000);
    EXPECT_GE(platform::ClockNow100ns() - start, 3000 * 10000);
    // Counted in real time the sleep would take three seconds.
    EXPECT_LT(RealSecondsSince(realStart), 1.5);
}

TEST(Clock, SleepUntilWaitsForThePlatformDeadline)
{
    CScopedClockRate scoped(1000.0);
    int64_t deadline = platform::ClockNow100ns() + 2000 * 10000;
    platform::SleepUntil100ns(deadline);
    EXPECT_GE(platform::ClockNow100ns(), deadline);
    // A deadline already passed returns at once.
    platform::SleepUntil100ns(0);
}

TEST(Clock, RateChangeDuringSleepTakesEffectForThatSleep)
{
    CScopedClockRate scoped(1.0);
    std::atomic<bool> woke{false};
    auto realStart = steady_clock::now();
    std::thread sleeper([&] {
        Sleep(30000);
        woke = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(woke);
    // The rest of the sleep is well under a real millisecond at this rate; a
    // sleep that kept its first real deadline would last thirty seconds.
    platform::SetClockRate(100000.0);
    sleeper.join();
    EXPECT_TRUE(woke);
    EXPECT_LT(RealSecondsSince(realStart), 5.0);
}

TEST(Clock, SlowingTheClockDuringSleepLengthensIt)
{
    CScopedClockRate scoped(1000.0);
    std::atomic<bool> woke{false};
    int64_t start = platform::ClockNow100ns();
    std::thread sleeper([&] {
        Sleep(2000);
        woke = true;
    });
    platform::SetClockRate(10.0);
    sleeper.join();
    // However the rate changed, the sleep lasted its platform time.
    EXPECT_GE(platform::ClockNow100ns() - start, 2000 * 10000);
}

// Run in a child process with TESSARINE_CLOCK_RATE set, as the rate is read
// once when the clock starts.
TEST(ClockEnvironment, InitialRateComesFromEnvironment)
{
    const char* expected = std::getenv("TESSARINE_EXPECTED_RATE");
    if (expected == nullptr) GTEST_SKIP() << "runs in a child process only";
    EXPECT_DOUBLE_EQ(platform::GetClockRate(), std::strtod(expected, nullptr));
}

int RunChildWithRate(const char* rateText, const char* expectedRate)
{
    std::string rate = std::string("TESSARINE_CLOCK_RATE=") + rateText;
    std::string expected = std::string("TESSARINE_EXPECTED_RATE=") + expectedRate;
    std::string filter = "--gtest_filter=ClockEnvironment.InitialRateComesFromEnvironment";
    char* argv[] = {const_cast<char*>("clock_child"), filter.data(), nullptr};
    char* envp[] = {rate.data(), expected.data(), nullptr};
    pid_t child;
    if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv, envp) != 0) return -1;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Clock, EnvironmentSetsTheInitialRateWhenItIsAPositiveNumber)
{
    EXPECT_EQ(RunChildWithRate("8", "8"), 0);
    EXPECT_EQ(RunChildWithRate("0.25", "0.25"), 0);
    EXPECT_EQ(RunChildWithRate("-3", "1"), 0);
    EXPECT_EQ(RunChildWithRate("fast", "1"), 0);
    EXPECT_EQ(RunChildWithRate("", "1"), 0);
}

}  // namespace
