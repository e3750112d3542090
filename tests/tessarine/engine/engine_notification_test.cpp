// What each performance notification does to the engine's playing flag, and
// how long the handler holds the notification thread.
#include "tests/tessarine/engine/engine_fixture.h"

namespace {

class CEngineNotificationTest : public CEngineTest {};

}  // namespace

TEST_F(CEngineNotificationTest, NotificationsSetAndClearPlaying)
{
    struct Row {
        const char* name;
        bool withMessage;
        DWORD option;
        bool playingBefore;
        bool playingAfter;
        DWORD heldMs;  // platform time the handler took
    };
    const Row rows[] = {
        {"started", true, DMUS_NOTIFICATION_MUSICSTARTED, false, true, 0},
        {"stopped", true, DMUS_NOTIFICATION_MUSICSTOPPED, true, false, 1000},
        {"almost at the end", true, DMUS_NOTIFICATION_MUSICALMOSTEND, true, true, 0},
        {"almost at the end, not playing", true, DMUS_NOTIFICATION_MUSICALMOSTEND, false, false, 0},
        {"no message", false, 0, true, true, 0},
    };
    CScopedClockRate fast(50.0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CMidiMusic engine(nullptr, false);
        DMUS_NOTIFICATION_PMSG message{};
        message.dwSize = sizeof(message);
        message.guidNotificationType = GUID_NOTIFICATION_PERFORMANCE;
        if (row.playingBefore) {
            message.dwNotificationOption = DMUS_NOTIFICATION_MUSICSTARTED;
            engine.HandleNotification(&message);
        }
        ASSERT_EQ(engine.IsPlaying(), row.playingBefore);
        message.dwNotificationOption = row.option;
        const DWORD start = timeGetTime();
        engine.HandleNotification(row.withMessage ? &message : nullptr);
        const DWORD held = timeGetTime() - start;
        EXPECT_EQ(engine.IsPlaying(), row.playingAfter);
        EXPECT_GE(held, row.heldMs);
        EXPECT_LT(held, row.heldMs + 500);
    }
}
