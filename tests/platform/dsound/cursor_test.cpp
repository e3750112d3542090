// The play cursor: it follows the platform clock at the buffer's byte rate,
// in whole blocks, wraps when looping and stops at the end otherwise.
#include "tests/platform/dsound/dsound_fixture.h"

#include <platform/clock.h>

#include <thread>

namespace {

// Platform time the cursor needs for bytes at 176400 bytes per second.
int64_t TicksFor(int64_t bytes) { return bytes * 10000000 / 176400; }

TEST_F(DirectSoundTest, CursorFollowsTheClockInWholeBlocksAndWraps)
{
    CScopedClockRate rate(50);
    IDirectSoundBuffer* buffer = MakeBuffer(DSBCAPS_GETCURRENTPOSITION2, 176400);
    ASSERT_NE(nullptr, buffer);
    DWORD play = 1;
    DWORD write = 1;
    ASSERT_EQ(DS_OK, buffer->GetCurrentPosition(&play, &write));
    EXPECT_EQ(0u, play);
    EXPECT_EQ(0u, write);

    ASSERT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));
    DWORD status = 0;
    EXPECT_EQ(DS_OK, buffer->GetStatus(&status));
    EXPECT_EQ(DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING), status);
    bool wrapped = false;
    DWORD previous = 0;
    // About two and a half laps of platform time.
    int64_t end = platform::ClockNow100ns() + TicksFor(176400 * 5 / 2);
    while (platform::ClockNow100ns() < end) {
        ASSERT_EQ(DS_OK, buffer->GetCurrentPosition(&play, &write));
        EXPECT_EQ(0u, play % 4);
        EXPECT_LT(play, 176400u);
        // The write cursor runs a little ahead, wrapping with the play cursor.
        DWORD lead = (write + 176400 - play) % 176400;
        EXPECT_GT(lead, 0u);
        EXPECT_LT(lead, 176400u / 20);
        if (play < previous) wrapped = true;
        previous = play;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(wrapped);

    ASSERT_EQ(DS_OK, buffer->Stop());
    ASSERT_EQ(DS_OK, buffer->GetCurrentPosition(&play, &write));
    EXPECT_EQ(play, write);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    DWORD stopped = 0;
    ASSERT_EQ(DS_OK, buffer->GetCurrentPosition(&stopped, nullptr));
    EXPECT_EQ(play, stopped);
    EXPECT_EQ(DS_OK, buffer->GetStatus(&status));
    EXPECT_EQ(0u, status);
    buffer->Release();
}

TEST_F(DirectSoundTest, OneShotBufferStopsAtItsEnd)
{
    CScopedClockRate rate(50);
    IDirectSoundBuffer* buffer = MakeBuffer(0, 17640);  // 100 ms
    ASSERT_NE(nullptr, buffer);
    ASSERT_EQ(DS_OK, buffer->SetCurrentPosition(8822));  // taken down to a whole block
    DWORD play = 0;
    ASSERT_EQ(DS_OK, buffer->GetCurrentPosition(&play, nullptr));
    EXPECT_EQ(8820u, play);
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->SetCurrentPosition(17640));
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, 0));
    DWORD status = 0;
    EXPECT_EQ(DS_OK, buffer->GetStatus(&status));
    EXPECT_EQ(DWORD(DSBSTATUS_PLAYING), status);
    platform::SleepUntil100ns(platform::ClockNow100ns() + TicksFor(17640));
    EXPECT_EQ(DS_OK, buffer->GetStatus(&status));
    EXPECT_EQ(0u, status);
    ASSERT_EQ(DS_OK, buffer->GetCurrentPosition(&play, nullptr));
    EXPECT_EQ(0u, play);
    buffer->Release();
}

TEST_F(DirectSoundTest, ChangedFrequencyScalesThePace)
{
    CScopedClockRate rate(20);
    IDirectSoundBuffer* normal = MakeBuffer(DSBCAPS_CTRLFREQUENCY, 176400 * 4);
    IDirectSoundBuffer* fast = MakeBuffer(DSBCAPS_CTRLFREQUENCY, 176400 * 4);
    ASSERT_NE(nullptr, normal);
    ASSERT_NE(nullptr, fast);
    ASSERT_EQ(DS_OK, fast->SetFrequency(88200));
    ASSERT_EQ(DS_OK, normal->Play(0, 0, DSBPLAY_LOOPING));
    ASSERT_EQ(DS_OK, fast->Play(0, 0, DSBPLAY_LOOPING));
    platform::SleepUntil100ns(platform::ClockNow100ns() + TicksFor(176400));
    DWORD slowCursor = 0;
    DWORD fastCursor = 0;
    ASSERT_EQ(DS_OK, normal->GetCurrentPosition(&slowCursor, nullptr));
    ASSERT_EQ(DS_OK, fast->GetCurrentPosition(&fastCursor, nullptr));
    ASSERT_GT(slowCursor, 0u);
    double ratio = double(fastCursor) / double(slowCursor);
    EXPECT_GT(ratio, 1.8);
    EXPECT_LT(ratio, 2.2);
    normal->Release();
    fast->Release();
}

// Bytes per second of platform time, measured over about 0.8 platform
// seconds; the bounds are loose so that a slow machine does not fail them.
double MeasuredByteRate(IDirectSoundBuffer* buffer, double clockRate)
{
    CScopedClockRate rate(clockRate);
    EXPECT_EQ(DS_OK, buffer->SetCurrentPosition(0));
    EXPECT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));
    DWORD start = 0;
    int64_t startTime = platform::ClockNow100ns();
    EXPECT_EQ(DS_OK, buffer->GetCurrentPosition(&start, nullptr));
    platform::SleepUntil100ns(startTime + 8000000);
    DWORD end = 0;
    EXPECT_EQ(DS_OK, buffer->GetCurrentPosition(&end, nullptr));
    int64_t endTime = platform::ClockNow100ns();
    EXPECT_EQ(DS_OK, buffer->Stop());
    return double(end - start) * 1e7 / double(endTime - startTime);
}

TEST_F(DirectSoundTest, CursorAdvancesAtTheByteRateOfPlatformTime)
{
    IDirectSoundBuffer* buffer = MakeBuffer(DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCSOFTWARE, 176400 * 10);
    ASSERT_NE(nullptr, buffer);
    for (double clockRate : {1.0, 16.0}) {
        double measured = MeasuredByteRate(buffer, clockRate);
        EXPECT_NEAR(measured / 176400.0, 1.0, 0.05) << "at clock rate " << clockRate;
    }
    buffer->Release();
}

}  // namespace
