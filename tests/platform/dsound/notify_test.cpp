// Position notification: events are set as the play cursor passes their
// offsets, and the stop events when the buffer stops.
#include "tests/platform/dsound/dsound_fixture.h"

#include <platform/clock.h>

namespace {

class NotifyTest : public DirectSoundTest {
protected:
    void SetUp() override
    {
        DirectSoundTest::SetUp();
        buffer = MakeBuffer(DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GETCURRENTPOSITION2, 176400);
        ASSERT_NE(nullptr, buffer);
        ASSERT_EQ(S_OK, buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify)));
        for (HANDLE& event : events) event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    void TearDown() override
    {
        if (notify != nullptr) notify->Release();
        if (buffer != nullptr) buffer->Release();
        for (HANDLE event : events) CloseHandle(event);
        DirectSoundTest::TearDown();
    }

    IDirectSoundBuffer* buffer = nullptr;
    IDirectSoundNotify* notify = nullptr;
    HANDLE events[3] = {};
};

TEST_F(NotifyTest, WaitingClientWakesAsTheCursorPassesEachPosition)
{
    // A quarter lap is 62 ms here: a busy machine wakes a waiting thread
    // well within that, where at rate 20 its 12 ms were sometimes missed.
    CScopedClockRate rate(4);
    DSBPOSITIONNOTIFY positions[3] = {{44100, events[0]}, {132300, events[1]}, {DSBPN_OFFSETSTOP, events[2]}};
    ASSERT_EQ(DS_OK, notify->SetNotificationPositions(3, positions));
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));
    EXPECT_EQ(DSERR_INVALIDCALL, notify->SetNotificationPositions(0, nullptr));

    for (int lap = 0; lap < 2; ++lap) {
        for (int index = 0; index < 2; ++index) {
            // Generous platform time-outs: a lap takes one platform second.
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[index], 3000)) << "lap " << lap;
            DWORD play = 0;
            ASSERT_EQ(DS_OK, buffer->GetCurrentPosition(&play, nullptr));
            DWORD past = (play + 176400 - positions[index].dwOffset) % 176400;
            // Woken soon after the cursor passed, not a lap later.
            EXPECT_LT(past, 176400u / 4) << "lap " << lap << " position " << index;
        }
    }
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(events[2], 0));
    ASSERT_EQ(DS_OK, buffer->Stop());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[2], 0));
}

TEST_F(NotifyTest, OneShotEndSetsTheStopEvent)
{
    CScopedClockRate rate(20);
    DSBPOSITIONNOTIFY positions[2] = {{176396, events[0]}, {DSBPN_OFFSETSTOP, events[1]}};
    ASSERT_EQ(DS_OK, notify->SetNotificationPositions(2, positions));
    ASSERT_EQ(DS_OK, buffer->SetCurrentPosition(88200));
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[0], 3000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[1], 3000));
    DWORD status = 1;
    ASSERT_EQ(DS_OK, buffer->GetStatus(&status));
    EXPECT_EQ(0u, status);
    // Playing again after the end starts at the beginning and notifies again.
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[0], 3000));
}

TEST_F(NotifyTest, PositionsAreChecked)
{
    DSBPOSITIONNOTIFY outside = {176400, events[0]};
    EXPECT_EQ(DSERR_INVALIDPARAM, notify->SetNotificationPositions(1, &outside));
    DSBPOSITIONNOTIFY noEvent = {0, nullptr};
    EXPECT_EQ(DSERR_INVALIDPARAM, notify->SetNotificationPositions(1, &noEvent));
    EXPECT_EQ(DSERR_INVALIDPARAM, notify->SetNotificationPositions(1, nullptr));
    EXPECT_EQ(DS_OK, notify->SetNotificationPositions(0, nullptr));

    // The notify interface belongs to the buffer and shares its count.
    IDirectSoundBuffer* back = nullptr;
    ASSERT_EQ(S_OK, notify->QueryInterface(IID_IDirectSoundBuffer, reinterpret_cast<void**>(&back)));
    EXPECT_EQ(buffer, back);
    EXPECT_EQ(4u, notify->AddRef());
    EXPECT_EQ(3u, back->Release());
    EXPECT_EQ(2u, back->Release());
}

TEST_F(NotifyTest, StoppingWithoutPassingSignalsOnlyTheStopEvent)
{
    CScopedClockRate rate(20);
    DSBPOSITIONNOTIFY positions[2] = {{176000, events[0]}, {DSBPN_OFFSETSTOP, events[1]}};
    ASSERT_EQ(DS_OK, notify->SetNotificationPositions(2, positions));
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));
    ASSERT_EQ(DS_OK, buffer->Stop());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[1], 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(events[0], 0));
    // Releasing a playing buffer with a notifier running ends it cleanly.
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));
}

}  // namespace
