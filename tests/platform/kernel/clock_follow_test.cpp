// The clock that follows the sinks: time as the least fresh published time,
// the fall-back to real time, waits woken by a publish, and speed parsing.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "scoped_clock_rate.h"

namespace {

using std::chrono::steady_clock;

constexpr int64_t kMs = 10000;

// Follows the sinks for a test and puts the previous pace back.
class CScopedFollowing {
public:
    CScopedFollowing() : rate(1.0) { platform::SetClockFollowsSinks(true); }

private:
    CScopedClockRate rate;
};

struct CPublish {
    int source;        // index into the row's sources
    int64_t offsetMs;  // published time, from the row's start
    int delayMs;       // real time waited before publishing
};

TEST(ClockFollowingSinks, TimeIsTheLeastFreshPublishedTime)
{
    struct Row {
        const char* what;
        std::vector<CPublish> publishes;
        int waitMs;  // real time waited before reading
        int64_t leastMs, mostMs;
    };
    const Row rows[] = {
        {"one sink", {{0, 500, 0}}, 0, 500, 500},
        {"the least of two", {{0, 300, 0}, {1, 900, 0}}, 0, 300, 300},
        {"never back", {{0, 700, 0}, {0, 200, 0}}, 0, 700, 700},
        {"a sink gone quiet is left out", {{1, 100, 0}, {0, 800, 40}}, 0, 800, 800},
        // Nothing published for 80 ms: after the 20 ms of grace, real time.
        {"none fresh runs at real time", {{0, 100, 0}}, 80, 100 + 40, 100 + 80 + 200},
    };
    for (const Row& row : rows) {
        CScopedFollowing following;
        std::vector<int> sources = {platform::RegisterTimeSource(), platform::RegisterTimeSource()};
        const int64_t base = platform::ClockNow100ns();
        for (const CPublish& publish : row.publishes) {
            std::this_thread::sleep_for(std::chrono::milliseconds(publish.delayMs));
            platform::PublishTime(sources[size_t(publish.source)], base + publish.offsetMs * kMs);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(row.waitMs));
        const int64_t now = platform::ClockNow100ns() - base;
        EXPECT_GE(now, row.leastMs * kMs) << row.what;
        EXPECT_LE(now, row.mostMs * kMs) << row.what;
        for (int source : sources) platform::UnregisterTimeSource(source);
    }
}

TEST(ClockFollowingSinks, APublishWakesTheWaitsWhoseTimeHasCome)
{
    CScopedFollowing following;
    const int source = platform::RegisterTimeSource();
    platform::PublishTime(source, platform::ClockNow100ns());
    const int64_t start = platform::ClockNow100ns();
    std::atomic<bool> woke{false};
    auto realStart = steady_clock::now();
    std::thread sleeper([&] {
        Sleep(30000);  // 30 s of platform time
        woke = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // The sink keeps publishing, so time never falls back to real time.
    for (int64_t t = 1; t <= 31 && !woke; ++t) {
        platform::PublishTime(source, start + t * 1000 * kMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    sleeper.join();
    EXPECT_TRUE(woke);
    EXPECT_GE(platform::ClockNow100ns() - start, 30000 * kMs);
    EXPECT_LT(RealSecondsSince(realStart), 5.0);
    platform::UnregisterTimeSource(source);
}

TEST(ClockSpeed, TakesMaxOrARate)
{
    struct Row {
        const char* text;
        bool accepted;
        bool follows;
        double rate;
    };
    const Row rows[] = {
        {"max", true, true, 1.0},    {"8", true, false, 8.0}, {"0.5", true, false, 0.5}, {"0", false, false, 1.0},
        {"fast", false, false, 1.0}, {"", false, false, 1.0}, {"8x", false, false, 1.0}, {"-3", false, false, 1.0},
    };
    for (const Row& row : rows) {
        CScopedClockRate scoped(1.0);
        EXPECT_EQ(platform::SetClockSpeed(row.text), row.accepted) << row.text;
        EXPECT_EQ(platform::ClockFollowsSinks(), row.follows) << row.text;
        EXPECT_EQ(platform::GetClockRate(), row.rate) << row.text;
    }
    EXPECT_FALSE(platform::SetClockSpeed(nullptr));
}

}  // namespace
