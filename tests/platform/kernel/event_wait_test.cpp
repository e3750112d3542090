#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "scoped_clock_rate.h"

namespace {

using std::chrono::steady_clock;

// Waits (in real time, briefly polling) until value reaches expected.
bool ReachesWithin(const std::atomic<int>& value, int expected, double realSeconds)
{
    auto start = steady_clock::now();
    while (value.load() < expected) {
        if (RealSecondsSince(start) > realSeconds) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
            ++released;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(released, 0);
    for (int round = 1; round <= 4; ++round) {
        ASSERT_TRUE(SetEvent(event));
        ASSERT_TRUE(ReachesWithin(released, round, 10.0));
        // Nobody else may pass on the same signal.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(released, round);
    }
    for (auto& waiter : waiters) waiter.join();
    // Every signal was taken: the event is reset again.
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Event, PendingSignalLetsTheNextWaitPassOnce)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetEvent(event);
    SetEvent(event);  // signals do not add up
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    HANDLE initiallySet = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(initiallySet, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(initiallySet, 0), WAIT_TIMEOUT);
    CloseHandle(event);
    CloseHandle(initiallySet);
}

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSetUntilReset)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
            ++released;
        });
    SetEvent(event);
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released, 3);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ResetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Event, SameNameGivesTheSameEvent)
{
    HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "kernel-test-shared");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE second = CreateEventA(nullptr, TRUE, FALSE, "kernel-test-shared");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    const WCHAR wideName[] = u"kernel-test-shared";
    HANDLE third = CreateEventW(nullptr, TRUE, FALSE, wideName);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_NE(first, second);
    SetEvent(first);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(third, 0), WAIT_OBJECT_0);
    HANDLE other = CreateEventA(nullptr, TRUE, FALSE, "kernel-test-other");
    EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_TIMEOUT);
    for (HANDLE handle : {first, second, third, other}) CloseHandle(handle);
    // Once every handle is closed the name is free again.
    HANDLE fresh = CreateEventA(nullptr, TRUE, FALSE, "kernel-test-shared");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT);
    CloseHandle(fresh);
}

TEST(WaitAny, ReturnsTheIndexOfTheSignalledObjectAndTakesOnlyIt)
{
    HANDLE events[3];
    for (HANDLE& event : events) event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    SetEvent(events[1]);
    SetEvent(events[2]);
    // The lowest signalled index wins; the other keeps its signal.
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        SetEvent(events[1]);
    });
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    setter.join();
    for (HANDLE event : events) CloseHandle(event);
}

TEST(WaitAll, NeedsEveryObjectAndTakesNoneUntilThen)
{
    HANDLE events[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    SetEvent(events[0]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_OBJECT_0) << "a failed wait-all took a signal";
    SetEvent(events[0]);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        SetEvent(events[1]);
    });
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, INFINITE), WAIT_OBJECT_0);
    setter.join();
    EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(events[1], 0), WAIT_TIMEOUT);
    // One object named twice cannot be waited for all at once.
    HANDLE twice[2] = {events[0], events[0]};
    EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    for (HANDLE event : events) CloseHandle(event);
}

TEST(Wait, TimeOutIsCountedInPlatformTime)
{
    CScopedClockRate scoped(1000.0);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE pair[2] = {event, event};
    auto realStart = steady_clock::now();
    int64_t start = platform::ClockNow100ns();
    EXPECT_EQ(WaitForSingleObject(event, 4000), WAIT_TIMEOUT);
    EXPECT_GE(platform::ClockNow100ns() - start, 4000 * 10000);
    start = platform::ClockNow100ns();
    EXPECT_EQ(WaitForMultipleObjects(2, pair, FALSE, 3000), WAIT_TIMEOUT);
    EXPECT_GE(platform::ClockNow100ns() - start, 3000 * 10000);
    // Seven platform seconds; counted in real time the waits would take that long.
    EXPECT_LT(RealSecondsSince(realStart), 3.5);
    CloseHandle(event);
}

TEST(Wait, PlatformDeadlineWaitEndsAtTheDeadlineOrTheSignal)
{
    CScopedClockRate scoped(1000.0);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    int64_t deadline = platform::ClockNow100ns() + 1500 * 10000 + 5;
    EXPECT_EQ(platform::WaitForObjectsUntil100ns(1, &event, false, deadline), WAIT_TIMEOUT);
    EXPECT_GE(platform::ClockNow100ns(), deadline);
    EXPECT_EQ(platform::WaitForObjectsUntil100ns(1, &event, false, 0), WAIT_TIMEOUT) << "a passed deadline";
    std::thread setter([&] { SetEvent(event); });
    EXPECT_EQ(platform::WaitForObjectsUntil100ns(1, &event, false, -1), WAIT_OBJECT_0);
    setter.join();
    CloseHandle(event);
    EXPECT_EQ(platform::WaitForObjectsUntil100ns(1, &event, false, 0), WAIT_FAILED);
}

TEST(Wait, RateChangeDuringAWaitTakesEffectForThatWait)
{
    CScopedClockRate scoped(1.0);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> result{0xDEAD};
    auto realStart = steady_clock::now();
    std::thread waiter([&] { result = WaitForSingleObject(event, 30000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    platform::SetClockRate(100000.0);
    waiter.join();
    EXPECT_EQ(result, WAIT_TIMEOUT);
    EXPECT_LT(RealSecondsSince(realStart), 5.0);
    CloseHandle(event);
}

TEST(Wait, BadHandlesFailWithInvalidHandle)
{
    HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    HANDLE good = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    int local = 0;
    for (HANDLE bad : {static_cast<HANDLE>(nullptr), closed, INVALID_HANDLE_VALUE, static_cast<HANDLE>(&local)}) {
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        HANDLE mixed[2] = {good, bad};
        SetLastError(0);
        EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED) << "a bad handle after a signalled one";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(0);
        EXPECT_FALSE(SetEvent(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(ResetEvent(bad));
        EXPECT_FALSE(CloseHandle(bad));
    }
    EXPECT_EQ(WaitForMultipleObjects(0, &good, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, &good, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(1, nullptr, FALSE, 0), WAIT_FAILED);
    CloseHandle(good);
}

TEST(Wait, ClosingAHandleThatIsWaitedOnDoesNotBreakTheWait)
{
    CScopedClockRate scoped(1000.0);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<DWORD> result{0xDEAD};
    std::thread waiter([&] { result = WaitForSingleObject(event, 2000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    waiter.join();
    // The wait either ran into its time-out or began after the close.
    EXPECT_TRUE(result == WAIT_TIMEOUT || result == WAIT_FAILED) << result;
}

TEST(LastError, IsKeptPerThread)
{
    SetLastError(1234);
    DWORD seenByOther = 99;
    std::thread other([&] {
        seenByOther = GetLastError();
        SetLastError(5678);
    });
    other.join();
    EXPECT_EQ(seenByOther, 0u);
    EXPECT_EQ(GetLastError(), 1234u);
}

}  // namespace
