// Performance notifications: the hold time drops what nobody fetched,
// removing every type (GUID_NULL) silences the queue, and a Stop ends the
// music with a stopped notification at the stop.
#include <dmusicc.h>
#include <dmusici.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <platform/clock.h>

#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/dmusic/segment_model.h"
#include "tests/platform/dmusic/synth_test_buffer.h"
#include "tests/support/music_writer.h"

using synth_test::CClockRate;

namespace {

class PerfNotification : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_ALL, IID_IDirectMusicPerformance,
                                   reinterpret_cast<void**>(&performance)),
                  S_OK);
        ASSERT_EQ(performance->Init(&music, &directSound, nullptr), S_OK);
        DMUS_PORTPARAMS8 params{};
        params.dwSize = sizeof(params);
        ASSERT_EQ(music->CreatePort(CLSID_DirectMusicSynth, &params, &port, nullptr), S_OK);
        ASSERT_EQ(port->SetDirectSound(&directSound, &buffer), S_OK);
        ASSERT_EQ(port->Activate(TRUE), S_OK);
        ASSERT_EQ(performance->AddPort(port), S_OK);
        ASSERT_EQ(performance->AssignPChannelBlock(0, port, 1), S_OK);

        // Two seconds at 120 bpm with one note.
        dmusic::CSegmentModel model;
        model.length = 768 * 4;
        model.events.push_back({0, 0, dmusic::EMidiEventKind::Note, 60, 100, 8192, 768, {}});
        segment = Load(model);
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }

    IDirectMusicSegment* Load(const dmusic::CSegmentModel& model)
    {
        IDirectMusicSegment* loaded = nullptr;
        auto bytes = testsupport::WriteStandardMidi(model);
        char name[] = "/tmp/perf-notification-XXXXXX";
        int fd = mkstemp(name);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        close(fd);
        IDirectMusicLoader* loader = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_ALL, IID_IDirectMusicLoader,
                                   reinterpret_cast<void**>(&loader)),
                  S_OK);
        if (!loader) return nullptr;
        DMUS_OBJECTDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
        desc.guidClass = CLSID_DirectMusicSegment;
        for (size_t i = 0; name[i]; ++i) desc.wszFileName[i] = WCHAR(name[i]);
        EXPECT_EQ(loader->GetObject(&desc, IID_IDirectMusicSegment, reinterpret_cast<void**>(&loaded)), S_OK);
        unlink(name);
        loader->Release();
        return loaded;
    }

    void TearDown() override
    {
        if (performance) {
            performance->RemoveNotificationType(GUID_NULL);
            performance->Stop(nullptr, nullptr, 0, 0);
            if (port) port->SetDirectSound(nullptr, nullptr);
            performance->CloseDown();
        }
        if (event) CloseHandle(event);
        if (segment) segment->Release();
        if (port) port->Release();
        if (music) music->Release();
        if (performance) performance->Release();
        CoUninitialize();
    }

    int Drain()
    {
        int count = 0;
        DMUS_NOTIFICATION_PMSG* message = nullptr;
        while (performance->GetNotificationPMsg(&message) == S_OK) {
            last = message->dwNotificationOption;
            lastTime = message->rtTime;
            performance->FreePMsg(reinterpret_cast<DMUS_PMSG*>(message));
            ++count;
        }
        return count;
    }

    void Wait(double seconds) { platform::SleepUntil100ns(platform::ClockNow100ns() + REFERENCE_TIME(seconds * 1e7)); }

    synth_test::CNullDirectSound directSound;
    synth_test::CRecordingBuffer buffer{176400};
    IDirectMusicPerformance* performance = nullptr;
    IDirectMusic* music = nullptr;
    IDirectMusicPort* port = nullptr;
    IDirectMusicSegment* segment = nullptr;
    HANDLE event = nullptr;
    DWORD last = 0xFFFF;
    REFERENCE_TIME lastTime = 0;
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
    EXPECT_EQ(Drain(), 0);
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
    EXPECT_EQ(Drain(), 0);
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
    EXPECT_EQ(Drain(), 1);
    EXPECT_EQ(last, DWORD(DMUS_NOTIFICATION_MUSICSTARTED));
    REFERENCE_TIME stopAt = platform::ClockNow100ns();
    MUSIC_TIME musicAtStop = 0;
    ASSERT_EQ(performance->GetTime(nullptr, &musicAtStop), S_OK);
    ASSERT_EQ(performance->Stop(segment, nullptr, 0, DMUS_SEGF_REFTIME), S_OK);
    Wait(0.5);
    EXPECT_EQ(performance->IsPlaying(segment, nullptr), S_FALSE);
    EXPECT_EQ(Drain(), 1);
    EXPECT_EQ(last, DWORD(DMUS_NOTIFICATION_MUSICSTOPPED));
    // At the port's latency (its write-ahead, 240 ms at rate 8), long before the segment's end.
    EXPECT_GE(lastTime, stopAt);
    EXPECT_LT(lastTime - stopAt, 5000000);
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
    CClockRate rate(8);
    IDirectMusicSegment* empty = Load(dmusic::CSegmentModel{});
    ASSERT_NE(empty, nullptr);
    MUSIC_TIME length = -1;
    empty->GetLength(&length);
    EXPECT_EQ(length, 0);
    ASSERT_EQ(performance->SetNotificationHandle(event, 0), S_OK);
    ASSERT_EQ(performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE), S_OK);
    ASSERT_EQ(performance->PlaySegment(empty, 0, 0, nullptr), S_OK);
    Wait(1.0);
    DMUS_NOTIFICATION_PMSG* message = nullptr;
    ASSERT_EQ(performance->GetNotificationPMsg(&message), S_OK);
    EXPECT_EQ(message->dwNotificationOption, DWORD(DMUS_NOTIFICATION_MUSICSTARTED));
    performance->FreePMsg(reinterpret_cast<DMUS_PMSG*>(message));
    ASSERT_EQ(performance->GetNotificationPMsg(&message), S_OK);
    EXPECT_EQ(message->dwNotificationOption, DWORD(DMUS_NOTIFICATION_MUSICSTOPPED));
    performance->FreePMsg(reinterpret_cast<DMUS_PMSG*>(message));
    empty->Release();
}
