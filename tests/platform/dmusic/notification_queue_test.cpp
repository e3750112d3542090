// The notification queue's hold time: at a fixed clock rate the performance's
// time alone drops a message nobody took; while the clock follows the sinks
// (and runs far ahead of a reader the machine holds up) the message also
// waits the hold time in real time.
#include "platform/dmusic/notification_queue.h"

#include <gtest/gtest.h>
#include <platform/clock.h>

#include <chrono>
#include <thread>

TEST(NotificationQueue, HoldTimeCountsRealTimeTooWhileTheClockFollowsTheSinks)
{
    constexpr REFERENCE_TIME kSecond = 10000000;
    const struct {
        const char* what;
        bool follow;
        REFERENCE_TIME hold;
        int realWaitMs;
        bool kept;
    } rows[] = {
        {"fixed rate, platform hold passed", false, kSecond / 2, 0, false},
        {"following, platform hold passed, real hold not", true, 5 * kSecond, 0, true},
        {"following, both holds passed", true, kSecond / 20, 80, false},
    };
    for (const auto& row : rows) {
        platform::SetClockFollowsSinks(row.follow);
        dmusic::CNotificationQueue queue;
        queue.SetHandle(nullptr, row.hold);
        ASSERT_EQ(queue.AddType(GUID_NOTIFICATION_PERFORMANCE), S_OK);
        queue.Post(GUID_NOTIFICATION_PERFORMANCE, DMUS_NOTIFICATION_MUSICSTOPPED, kSecond, 768, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(row.realWaitMs));
        queue.DropExpired(kSecond + 100 * row.hold);
        DMUS_NOTIFICATION_PMSG* message = nullptr;
        EXPECT_EQ(queue.Take(&message), row.kept ? S_OK : S_FALSE) << row.what;
        if (message) dmusic::FreePerformanceMessage(reinterpret_cast<DMUS_PMSG*>(message));
    }
    platform::SetClockFollowsSinks(false);
}
