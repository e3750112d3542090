// The performance while a segment plays, read from what reaches the emulated
// MIDI output: notes go out where the tempo map, the master tempo and the
// repeats put them, a master-tempo change moves what has not been sent, bands
// send only what they set, Stop's notifications come at the stop, and the
// tempo parameter follows the playing segment.
#include <dmerror.h>
#include <dmusicc.h>
#include <dmusicf.h>
#include <dmusici.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/dmusic/segment_model.h"
#include "tests/platform/dmusic/perf_fixture.h"
#include "tests/support/music_writer.h"

using perf_test::CNotice;
using synth_test::CClockRate;
using testsupport::CRecordedMessage;
using testsupport::CRecordedNote;

namespace {

constexpr REFERENCE_TIME kMs = 10000;

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

// A note as it should reach the output: on and length in milliseconds.
CRecordedNote Sent(REFERENCE_TIME onMs, REFERENCE_TIME lengthMs, BYTE key = 60)
{
    return {onMs * kMs, lengthMs * kMs, 1, 0, key, 100};
}

class PerfPlaying : public perf_test::CPerformanceTest {
protected:
    PerfPlaying() : CPerformanceTest(perf_test::EPort::Recording) {}

    void SetUp() override
    {
        CPerformanceTest::SetUp();
        // The external port has no latency: events go out this far ahead.
        ASSERT_EQ(performance->SetPrepareTime(100), S_OK);
        // Held long enough that a test fetches every message.
        ASSERT_EQ(performance->SetNotificationHandle(event, 1000000000), S_OK);
        ASSERT_EQ(performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE), S_OK);
    }

    // Loads the model as a segment file (bands included).
    IDirectMusicSegment* Load(const dmusic::CSegmentModel& model)
    {
        return CPerformanceTest::Load(testsupport::WriteSegmentFile(model));
    }

    // Plays the segment on a fresh recording a little ahead of now; returns
    // the time asked for.
    REFERENCE_TIME Play(IDirectMusicSegment* segment, IDirectMusicSegmentState** state = nullptr)
    {
        Drain();
        recorder->Clear();
        const REFERENCE_TIME start = platform::ClockNow100ns() + 200 * kMs;
        EXPECT_EQ(performance->PlaySegment(segment, DMUS_SEGF_REFTIME, start, state), S_OK);
        return start;
    }

    // Waits for the music to stop: when it started, and how long after that
    // it stopped.
    struct CPlayed {
        REFERENCE_TIME start = -1, length = -1;
    };
    CPlayed WaitForTheEnd()
    {
        CPlayed played;
        const REFERENCE_TIME deadline = platform::ClockNow100ns() + 600 * 10000000LL;
        while (played.length < 0 && platform::ClockNow100ns() < deadline) {
            WaitForSingleObject(event, 100);
            for (const CNotice& notice : Drain()) {
                if (notice.option == DMUS_NOTIFICATION_MUSICSTARTED) played.start = notice.at;
                if (notice.option == DMUS_NOTIFICATION_MUSICSTOPPED) played.length = notice.at - played.start;
            }
        }
        return played;
    }
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

// Each note goes out at the time the tempo map, the master tempo and the
// segment's repeats put it, for as long as its duration lasts there; a note
// that would outlast the music ends with it.
TEST_F(PerfPlaying, NotesGoOutAtTheirTempoMapTimes)
{
    struct Row {
        const char* name;
        std::vector<dmusic::CTempoChange> tempos;
        std::vector<dmusic::CMidiEvent> events;
        MUSIC_TIME length;
        float masterTempo;
        DWORD repeats;
        MUSIC_TIME loopStart, loopEnd;  // 0, 0: the whole segment
        std::vector<CRecordedNote> sent;
        REFERENCE_TIME endMs;
    };
    const Row rows[] = {
        {"one tempo", {{0, 120.0}}, {Note(768, 60, 768)}, 3072, 1.0f, 0, 0, 0, {Sent(500, 500)}, 2000},
        {"tempo change before the note",
         {{0, 120.0}, {768, 60.0}},
         {Note(1536, 60, 768)},
         3072,
         1.0f,
         0,
         0,
         0,
         {Sent(1500, 1000)},
         3500},
        {"master tempo 2",
         {{0, 120.0}, {768, 60.0}},
         {Note(1536, 60, 768)},
         3072,
         2.0f,
         0,
         0,
         0,
         {Sent(750, 500)},
         1750},
        {"tempo change inside the note",
         {{0, 120.0}, {1152, 60.0}},
         {Note(768, 60, 768)},
         1536,
         1.0f,
         0,
         0,
         0,
         {Sent(500, 750)},
         1250},
        {"note outlasting the music",
         {{0, 120.0}},
         {Note(384, 62, 768)},
         768,
         1.0f,
         0,
         0,
         0,
         {Sent(250, 250, 62)},
         500},
        {"two repeats",
         {{0, 120.0}},
         {Note(384, 60)},
         768,
         1.0f,
         2,
         0,
         0,
         {Sent(250, 125), Sent(750, 125), Sent(1250, 125)},
         1500},
        {"loop over the second beat",
         {{0, 120.0}},
         {Note(384, 60), Note(1152, 64)},
         1536,
         1.0f,
         1,
         768,
         1536,
         {Sent(250, 125), Sent(750, 125, 64), Sent(1250, 125, 64)},
         1500},
    };
    CClockRate rate(32);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dmusic::CSegmentModel model;
        model.length = row.length;
        model.tempos = row.tempos;
        model.events = row.events;
        IDirectMusicSegment* segment = Load(model);
        ASSERT_NE(segment, nullptr);
        if (row.loopEnd) {
            ASSERT_EQ(segment->SetLoopPoints(row.loopStart, row.loopEnd), S_OK);
        }
        ASSERT_EQ(segment->SetRepeats(row.repeats), S_OK);
        float factor = row.masterTempo;
        ASSERT_EQ(performance->SetGlobalParam(GUID_PerfMasterTempo, &factor, sizeof(factor)), S_OK);
        Play(segment);
        const CPlayed played = WaitForTheEnd();
        EXPECT_EQ(played.length, row.endMs * kMs);
        EXPECT_EQ(recorder->Notes(played.start), row.sent);
    }
}

// A master-tempo change while a segment plays moves what has not been sent
// yet: from the first note not yet sent, the rest goes out at the new pace.
TEST_F(PerfPlaying, MasterTempoChangeAppliesWhilePlaying)
{
    // Eight beats at 120 bpm (4 s), notes at 0.25 s + 0.5 s k for 0.125 s.
    // The change at 0.8 s finds the notes up to 0.75 s sent (100 ms ahead);
    // from 1.25 s the rest takes 1 / factor as long.
    CClockRate rate(8);
    IDirectMusicSegment* segment = Load(BeatNotes(8, 120.0));
    ASSERT_NE(segment, nullptr);
    for (float factor : {1.0f, 2.0f, 0.5f}) {
        SCOPED_TRACE(factor);
        std::vector<CRecordedNote> sent = {Sent(250, 125), Sent(750, 125)};
        for (int k = 2; k < 8; ++k)
            sent.push_back({REFERENCE_TIME((1250 + 500 * (k - 2) / factor) * kMs), REFERENCE_TIME(125 / factor * kMs),
                            1, 0, 60, 100});
        const REFERENCE_TIME end = REFERENCE_TIME((1250 + 2750 / factor) * kMs);
        IDirectMusicSegmentState* state = nullptr;
        const REFERENCE_TIME start = Play(segment, &state);
        WaitUntil(start + 800 * kMs);
        ASSERT_EQ(recorder->NotesOn(), 2u) << "the change came too late to test";
        ASSERT_EQ(performance->SetGlobalParam(GUID_PerfMasterTempo, &factor, sizeof(factor)), S_OK);
        const CPlayed played = WaitForTheEnd();
        EXPECT_EQ(played.length, end);
        EXPECT_EQ(recorder->Notes(played.start), sent);
        state->Release();
        float normal = 1.0f;
        performance->SetGlobalParam(GUID_PerfMasterTempo, &normal, sizeof(normal));
    }
}

// A band sends its bank and program only when it sets an instrument, then
// the volume and pan it sets, at its time and before the note there.
TEST_F(PerfPlaying, BandsSendOnlyWhatTheySet)
{
    const CRecordedMessage bankMsb{0, 1, 0xB0, 0, 0, 0}, bankLsb{0, 1, 0xB0, 0, 32, 0}, program{0, 1, 0xC0, 0, 24, 0},
        volume{0, 1, 0xB0, 0, 7, 90}, pan{0, 1, 0xB0, 0, 10, 20};
    struct Row {
        const char* name;
        bool setsProgram;
        int volume, pan;
        std::vector<CRecordedMessage> sent;
    };
    const Row rows[] = {
        {"program only", true, -1, -1, {bankMsb, bankLsb, program}},
        {"program and volume", true, 90, -1, {bankMsb, bankLsb, program, volume}},
        {"volume only", false, 90, -1, {volume}},
        {"volume and pan", false, 90, 20, {volume, pan}},
    };
    CClockRate rate(32);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
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
        Play(segment);
        const CPlayed played = WaitForTheEnd();
        EXPECT_EQ(played.length, 500 * kMs);
        EXPECT_EQ(recorder->Others(played.start), row.sent);
        EXPECT_EQ(recorder->Notes(played.start), std::vector<CRecordedNote>{Sent(250, 125, 64)});
    }
}

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
        EXPECT_EQ(started[0].option, DWORD(DMUS_NOTIFICATION_MUSICSTARTED));

        if (!row.registeredAtStop) performance->RemoveNotificationType(GUID_NULL);
        ASSERT_EQ(performance->Stop(segment, nullptr, 0, DMUS_SEGF_REFTIME), S_OK);
        auto atStop = Drain();
        EXPECT_EQ(atStop.size(), row.stoppedAtOnce);
        if (!atStop.empty()) {
            EXPECT_EQ(atStop[0].option, DWORD(DMUS_NOTIFICATION_MUSICSTOPPED));
        }

        // What a seek does: play again at once, with a fresh registration.
        performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE);
        ASSERT_EQ(performance->PlaySegment(segment, 0, 0, nullptr), S_OK);
        Wait(1.0);
        auto after = Drain();
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(after[0].option, DWORD(DMUS_NOTIFICATION_MUSICSTARTED));
        performance->RemoveNotificationType(GUID_NULL);
        performance->Stop(nullptr, nullptr, 0, 0);
        Drain();
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
        {0.0, 0, 120.0, 4 * 768}, {0.7, 0, 120.0, 4 * 768}, {0.7, 1000, 120.0, 4 * 768 - 1000},
        {2.3, 4 * 768, 40.0, 0},  {0.1, 5 * 768, 40.0, 0},
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
