// Performance notifications: the hold time drops what nobody fetched,
// removing every type (GUID_NULL) silences the queue, and a Stop ends the
// music with a stopped notification at the stop.
#include <gtest/gtest.h>

#include "platform/dmusic/segment_model.h"
#include "tests/platform/dmusic/perf_fixture.h"
#include "tests/support/music_writer.h"

using synth_test::CClockRate;

namespace {

// On the synth port, with a segment of two seconds at 120 bpm with one note.
class PerfNotification : public perf_test::CPerformanceTest {
protected:
    PerfNotification() : CPerformanceTest(perf_test::EPort::Synth) {}

    void SetUp() override
    {
        CPerformanceTest::SetUp();
        dmusic::CSegmentModel model;
        model.length = 768 * 4;
        model.events.push_back({0, 0, dmusic::EMidiEventKind::Note, 60, 100, 8192, 768, {}});
        segment = Load(testsupport::WriteStandardMidi(model));
    }

    IDirectMusicSegment* segment = nullptr;
};

}  // namespace

TEST_F(PerfNotification, UnfetchedMessagesGoAfterTheHoldTime)
{
    CClockRate rate(8);
    ASSERT_NE(segment, nullptr);
    ASSERT_EQ(performance->SetNotificationHandle(event, 5000000), S_OK);  // half a second
    ASSERT_EQ(performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE), S_OK);
    EXPECT_EQ(performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE), S_FALSE);
    ASSERT_EQ(performance->PlaySegment(segment, 0, 0, nullptr), S_OK);
    Wait(4.0);
    // Started, almost-end and stopped all came, and all are older than the hold.
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(Drain().empty());
}

TEST_F(PerfNotification, RemovingEveryTypeQueuesNothing)
{
    CClockRate rate(8);
    ASSERT_NE(segment, nullptr);
    ASSERT_EQ(performance->SetNotificationHandle(event, 0), S_OK);
    ASSERT_EQ(performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE), S_OK);
    ASSERT_EQ(performance->AddNotificationType(GUID_NOTIFICATION_SEGMENT), S_OK);
    ASSERT_EQ(performance->RemoveNotificationType(GUID_NULL), S_OK);
    EXPECT_EQ(performance->RemoveNotificationType(GUID_NOTIFICATION_SEGMENT), S_FALSE);
    ASSERT_EQ(performance->PlaySegment(segment, 0, 0, nullptr), S_OK);
    Wait(3.5);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(Drain().empty());
}

TEST_F(PerfNotification, StopEndsTheMusicAtTheStop)
{
    CClockRate rate(8);
    ASSERT_NE(segment, nullptr);
    ASSERT_EQ(performance->SetNotificationHandle(event, 0), S_OK);
    ASSERT_EQ(performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE), S_OK);
    IDirectMusicSegmentState* state = nullptr;
    ASSERT_EQ(performance->PlaySegment(segment, 0, 0, &state), S_OK);
    Wait(0.8);
    EXPECT_EQ(performance->IsPlaying(segment, nullptr), S_OK);
    auto atStart = Drain();
    ASSERT_EQ(atStart.size(), 1u);
    EXPECT_EQ(atStart[0].option, DWORD(DMUS_NOTIFICATION_MUSICSTARTED));
    REFERENCE_TIME stopAt = platform::ClockNow100ns();
    MUSIC_TIME musicAtStop = 0;
    ASSERT_EQ(performance->GetTime(nullptr, &musicAtStop), S_OK);
    ASSERT_EQ(performance->Stop(segment, nullptr, 0, DMUS_SEGF_REFTIME), S_OK);
    Wait(0.5);
    EXPECT_EQ(performance->IsPlaying(segment, nullptr), S_FALSE);
    auto stopped = Drain();
    ASSERT_EQ(stopped.size(), 1u);
    EXPECT_EQ(stopped[0].option, DWORD(DMUS_NOTIFICATION_MUSICSTOPPED));
    // At the port's latency (its write-ahead, 240 ms at rate 8), long before the segment's end.
    EXPECT_GE(stopped[0].at, stopAt);
    EXPECT_LT(stopped[0].at - stopAt, 5000000);
    MUSIC_TIME seek = 0, started = 0, musicNow = 0;
    EXPECT_EQ(state->GetSeek(&seek), S_OK);
    EXPECT_EQ(state->GetStartTime(&started), S_OK);
    EXPECT_EQ(performance->GetTime(nullptr, &musicNow), S_OK);
    // Where it stopped (about 0.8 s, 1229 units, in; later on a busy
    // machine), within the port's write-ahead, not where time has got to.
    EXPECT_GT(seek, 512);
    EXPECT_LE(seek, musicAtStop - started + 384);
    EXPECT_LT(seek, musicNow - started - 384);
    state->Release();
}

TEST_F(PerfNotification, EmptySegmentStillStartsAndStops)
{
    // A MIDI file that is only an end of track is one unit long, the unit its
    // end of track is in; a segment file of no length still starts and stops.
    const struct {
        const char* name;
        bool segmentFile;
        MUSIC_TIME length;
        std::vector<DWORD> options;
    } rows[] = {
        {"one unit",
         false,
         1,
         {DMUS_NOTIFICATION_MUSICSTARTED, DMUS_NOTIFICATION_MUSICALMOSTEND, DMUS_NOTIFICATION_MUSICSTOPPED}},
        {"no length", true, 0, {DMUS_NOTIFICATION_MUSICSTARTED, DMUS_NOTIFICATION_MUSICSTOPPED}},
    };
    CClockRate rate(8);
    ASSERT_EQ(performance->SetNotificationHandle(event, 0), S_OK);
    ASSERT_EQ(performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE), S_OK);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const dmusic::CSegmentModel nothing;
        IDirectMusicSegment* empty = Load(row.segmentFile ? testsupport::WriteSegmentFile(nothing, false)
                                                          : testsupport::WriteStandardMidi(nothing));
        ASSERT_NE(empty, nullptr);
        MUSIC_TIME length = -1;
        empty->GetLength(&length);
        EXPECT_EQ(length, row.length);
        ASSERT_EQ(performance->PlaySegment(empty, 0, 0, nullptr), S_OK);
        Wait(1.0);
        std::vector<DWORD> options;
        for (const auto& got : Drain()) options.push_back(got.option);
        EXPECT_EQ(options, row.options);
    }
}
