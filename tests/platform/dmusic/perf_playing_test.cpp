// The performance while a segment plays, on the emulated MIDI output (whose
// counters show what reached it): Stop's notifications come at the stop,
// bands apply only what they set, the tempo parameter follows the playing
// segment, and a master-tempo change takes effect at once.
#include <dmerror.h>
#include <dmusicc.h>
#include <dmusicf.h>
#include <dmusici.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <platform/clock.h>

#include <string>
#include <unistd.h>
#include <vector>

#include "platform/dmusic/port.h"
#include "platform/dmusic/segment_model.h"
#include "tests/platform/dmusic/synth_test_buffer.h"
#include "tests/support/music_writer.h"

using synth_test::CClockRate;

namespace {

dmusic::CMidiEvent Note(MUSIC_TIME time, BYTE key, MUSIC_TIME duration = 192)
{
    dmusic::CMidiEvent note;
    note.time = time;
    note.kind = dmusic::EMidiEventKind::Note;
    note.data1 = key;
    note.data2 = 100;
    note.duration = duration;
    return note;
}

class PerfPlaying : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_ALL, IID_IDirectMusicPerformance,
                                   reinterpret_cast<void**>(&performance)),
                  S_OK);
        ASSERT_EQ(performance->Init(&music, &directSound, nullptr), S_OK);
        DMUS_PORTPARAMS8 params{};
        params.dwSize = sizeof(DMUS_PORTPARAMS7);
        ASSERT_EQ(music->CreatePort(dmusic::GUID_PlatformMidiOutPort, &params, &port, nullptr), S_OK);
        ASSERT_EQ(port->Activate(TRUE), S_OK);
        ASSERT_EQ(performance->AddPort(port), S_OK);
        ASSERT_EQ(performance->AssignPChannelBlock(0, port, 1), S_OK);
        // The external port has no latency: events go out this far ahead.
        ASSERT_EQ(performance->SetPrepareTime(100), S_OK);
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        // Held long enough that a test fetches every message.
        ASSERT_EQ(performance->SetNotificationHandle(event, 1000000000), S_OK);
        ASSERT_EQ(performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE), S_OK);
    }

    void TearDown() override
    {
        if (performance) {
            performance->RemoveNotificationType(GUID_NULL);
            performance->Stop(nullptr, nullptr, 0, 0);
            performance->CloseDown();
        }
        if (event) CloseHandle(event);
        for (IDirectMusicSegment* segment : segments) segment->Release();
        if (port) port->Release();
        if (music) music->Release();
        if (performance) performance->Release();
        CoUninitialize();
    }

    // Loads the model as a segment file (bands included).
    IDirectMusicSegment* Load(const dmusic::CSegmentModel& model)
    {
        auto bytes = testsupport::WriteSegmentFile(model);
        char name[] = "/tmp/perf-playing-XXXXXX";
        int fd = mkstemp(name);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        close(fd);
        IDirectMusicLoader* loader = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_ALL, IID_IDirectMusicLoader,
                                   reinterpret_cast<void**>(&loader)),
                  S_OK);
        DMUS_OBJECTDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
        desc.guidClass = CLSID_DirectMusicSegment;
        for (size_t i = 0; name[i]; ++i) desc.wszFileName[i] = WCHAR(name[i]);
        IDirectMusicSegment* loaded = nullptr;
        EXPECT_EQ(loader->GetObject(&desc, IID_IDirectMusicSegment, reinterpret_cast<void**>(&loaded)), S_OK);
        unlink(name);
        loader->Release();
        if (loaded) segments.push_back(loaded);
        return loaded;
    }

    // Options of the notifications queued now, oldest first, with their times.
    std::vector<std::pair<DWORD, REFERENCE_TIME>> Drain()
    {
        std::vector<std::pair<DWORD, REFERENCE_TIME>> got;
        DMUS_NOTIFICATION_PMSG* message = nullptr;
        while (performance->GetNotificationPMsg(&message) == S_OK && message) {
            got.emplace_back(message->dwNotificationOption, message->rtTime);
            performance->FreePMsg(reinterpret_cast<DMUS_PMSG*>(message));
        }
        return got;
    }

    static void Wait(double seconds)
    {
        platform::SleepUntil100ns(platform::ClockNow100ns() + REFERENCE_TIME(seconds * 1e7));
    }
    static void WaitUntil(REFERENCE_TIME at) { platform::SleepUntil100ns(at); }

    synth_test::CNullDirectSound directSound;
    IDirectMusicPerformance* performance = nullptr;
    IDirectMusic* music = nullptr;
    IDirectMusicPort* port = nullptr;
    std::vector<IDirectMusicSegment*> segments;
    HANDLE event = nullptr;
};

dmusic::CSegmentModel BeatNotes(int beats, double bpm)
{
    dmusic::CSegmentModel model;
    model.length = beats * 768;
    model.tempos = {{0, bpm}};
    // A note half a beat into every beat, so none falls on a beat boundary.
    for (int beat = 0; beat < beats; ++beat) model.events.push_back(Note(beat * 768 + 384, 60));
    return model;
}

}  // namespace

// Stop then PlaySegment: the stopped state's notifications go to the types
// registered at the stop, and nothing of the old segment reaches a listener
// that registers afterwards.
TEST_F(PerfPlaying, StopNotifiesAtTheStopOnly)
{
    struct Row {
        const char* name;
        bool registeredAtStop;
        size_t stoppedAtOnce;  // MUSICSTOPPED queued when Stop returns
    };
    for (const Row& row : {Row{"registered", true, 1}, Row{"removed first", false, 0}}) {
        SCOPED_TRACE(row.name);
        CClockRate rate(8);
        IDirectMusicSegment* segment = Load(BeatNotes(8, 120.0));
        ASSERT_NE(segment, nullptr);
        performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE);
        ASSERT_EQ(performance->PlaySegment(segment, 0, 0, nullptr), S_OK);
        Wait(1.0);
        auto started = Drain();
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].first, DWORD(DMUS_NOTIFICATION_MUSICSTARTED));

        if (!row.registeredAtStop) performance->RemoveNotificationType(GUID_NULL);
        ASSERT_EQ(performance->Stop(segment, nullptr, 0, DMUS_SEGF_REFTIME), S_OK);
        auto atStop = Drain();
        EXPECT_EQ(atStop.size(), row.stoppedAtOnce);
        if (!atStop.empty()) {
            EXPECT_EQ(atStop[0].first, DWORD(DMUS_NOTIFICATION_MUSICSTOPPED));
        }

        // What a seek does: play again at once, with a fresh registration.
        performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE);
        ASSERT_EQ(performance->PlaySegment(segment, 0, 0, nullptr), S_OK);
        Wait(1.0);
        auto after = Drain();
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(after[0].first, DWORD(DMUS_NOTIFICATION_MUSICSTARTED));
        performance->RemoveNotificationType(GUID_NULL);
        performance->Stop(nullptr, nullptr, 0, 0);
        Drain();
    }
}

// A band sets an instrument only when it says so; volume and pan alone leave
// the instrument as it was.
TEST_F(PerfPlaying, BandsApplyOnlyWhatTheySet)
{
    struct Row {
        const char* name;
        bool setsProgram;
        int volume, pan;
        uint64_t messages;  // channel messages other than notes
    };
    const Row rows[] = {
        {"program only", true, -1, -1, 3},      // bank MSB, bank LSB, program
        {"program and volume", true, 90, -1, 4},
        {"volume only", false, 90, -1, 1},
        {"volume and pan", false, 90, 20, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CClockRate rate(8);
        dmusic::CSegmentModel model;
        model.length = 768;
        dmusic::CPatchChange band;
        band.program = 24;
        band.setsProgram = row.setsProgram;
        band.volume = row.volume;
        band.pan = row.pan;
        model.patches.push_back(band);
        model.events.push_back(Note(384, 64));
        IDirectMusicSegment* segment = Load(model);
        ASSERT_NE(segment, nullptr);
        const dmusic::CMidiOutCounts before = dmusic::GetMidiOutCounts();
        ASSERT_EQ(performance->PlaySegment(segment, 0, 0, nullptr), S_OK);
        Wait(1.5);
        const dmusic::CMidiOutCounts after = dmusic::GetMidiOutCounts();
        EXPECT_EQ(after.otherMessages - before.otherMessages, row.messages);
        EXPECT_EQ(after.notesOn - before.notesOn, 1u);
        EXPECT_EQ(after.notesOff - before.notesOff, 1u);
    }
}

// The performance's tempo parameter reads the playing segment's tempo map at
// the asked performance time, whenever the segment was started.
TEST_F(PerfPlaying, TempoParamFollowsThePlayingSegment)
{
    CClockRate rate(8);
    dmusic::CSegmentModel model = BeatNotes(8, 120.0);
    model.tempos.push_back({4 * 768, 40.0});
    IDirectMusicSegment* segment = Load(model);
    ASSERT_NE(segment, nullptr);
    DMUS_TEMPO_PARAM tempo{};
    EXPECT_EQ(performance->GetParam(GUID_TempoParam, 0xFFFFFFFF, 0, 0, nullptr, &tempo), DMUS_E_NOT_FOUND);

    struct Row {
        double delayBeforePlay;  // seconds between Init and PlaySegment
        MUSIC_TIME intoSegment;
        double bpm;
        MUSIC_TIME next;
    };
    const Row rows[] = {
        {0.0, 0, 120.0, 4 * 768},
        {0.7, 0, 120.0, 4 * 768},
        {0.7, 1000, 120.0, 4 * 768 - 1000},
        {2.3, 4 * 768, 40.0, 0},
        {0.1, 5 * 768, 40.0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.delayBeforePlay);
        SCOPED_TRACE(row.intoSegment);
        Wait(row.delayBeforePlay);
        IDirectMusicSegmentState* state = nullptr;
        ASSERT_EQ(performance->PlaySegment(segment, 0, 0, &state), S_OK);
        MUSIC_TIME start = 0;
        ASSERT_EQ(state->GetStartTime(&start), S_OK);
        MUSIC_TIME next = -1;
        tempo = {};
        ASSERT_EQ(performance->GetParam(GUID_TempoParam, 0xFFFFFFFF, 0, start + row.intoSegment, &next, &tempo), S_OK);
        EXPECT_DOUBLE_EQ(tempo.dblTempo, row.bpm);
        EXPECT_EQ(next, row.next);
        state->Release();
        performance->Stop(nullptr, nullptr, 0, 0);
    }
}

// A master-tempo change while a segment plays moves what has not been sent
// yet: the music ends earlier or later to match.
TEST_F(PerfPlaying, MasterTempoChangeAppliesWhilePlaying)
{
    struct Row {
        float factor;
        double endSeconds;  // from the segment's start
    };
    // Eight beats at 120 bpm (4 s), notes at 0.25 s + 0.5 s k. The change at
    // 1 s finds the notes up to 0.75 s sent; from 1.25 s the remaining 2.75 s
    // take 2.75 / factor.
    for (const Row& row : {Row{1.0f, 4.0}, Row{2.0f, 1.25 + 2.75 / 2.0}, Row{0.5f, 1.25 + 2.75 / 0.5}}) {
        SCOPED_TRACE(row.factor);
        CClockRate rate(8);
        IDirectMusicSegment* segment = Load(BeatNotes(8, 120.0));
        ASSERT_NE(segment, nullptr);
        Drain();
        const dmusic::CMidiOutCounts before = dmusic::GetMidiOutCounts();
        IDirectMusicSegmentState* state = nullptr;
        ASSERT_EQ(performance->PlaySegment(segment, DMUS_SEGF_REFTIME, platform::ClockNow100ns() + 2000000, &state),
                  S_OK);
        const REFERENCE_TIME start = platform::ClockNow100ns() + 2000000;
        WaitUntil(start + 10000000);
        float factor = row.factor;
        ASSERT_EQ(performance->SetGlobalParam(GUID_PerfMasterTempo, &factor, sizeof(factor)), S_OK);
        WaitUntil(start + REFERENCE_TIME((row.endSeconds + 0.5) * 1e7));
        auto notices = Drain();
        ASSERT_EQ(notices.size(), 3u);
        EXPECT_EQ(notices[2].first, DWORD(DMUS_NOTIFICATION_MUSICSTOPPED));
        EXPECT_NEAR(double(notices[2].second - start) / 1e7, row.endSeconds, 0.02);
        EXPECT_EQ(dmusic::GetMidiOutCounts().notesOn - before.notesOn, 8u);
        state->Release();
        float normal = 1.0f;
        performance->SetGlobalParam(GUID_PerfMasterTempo, &normal, sizeof(normal));
    }
}
