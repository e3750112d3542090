// Standard MIDI files through the loader: lengths worked out by hand from
// the files' bytes, the shared damaged and hostile files, and the parts of
// the format a careless reader gets wrong (running status, SMPTE time,
// format 2 sequencing, tempo maps).
#include <dmerror.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/dmusic/loader_formats.h"

#include "loader_fixture.h"
#include "tests/support/chunk_writer.h"

namespace dmusictest {
namespace {

using dmusic::EMidiEventKind;
using testsupport::CSmfBuilder;

struct CSharedFile {
    const char* name;
    double seconds;  // from the file's ticks by hand (96 per quarter unless noted, 120 per minute)
    int notes;
};

class SmfFiles : public CLoaderTest {};

TEST_F(SmfFiles, SharedFilesLoadWithTheirHandComputedLengths)
{
    const CSharedFile files[] = {
        // A quarter-note rest, eight quarter notes: 9 quarters.
        {"test-2-tracks-type-0.mid", 4.5, 16},
        {"test-2-tracks-type-1.mid", 4.5, 16},
        // Format 2 plays its two 9-quarter tracks one after the other.
        {"test-2-tracks-type-2.mid", 9.0, 16},
        // Eight quarter notes of a C major scale.
        {"test-corrupt-file-extra-byte.mid", 4.0, 8},
        {"test-corrupt-file-missing-byte.mid", 4.0, 8},
        {"test-illegal-message-all.mid", 4.0, 8},
        {"test-non-midi-track.mid", 4.0, 8},
        {"test-running-status-metaevent.mid", 4.0, 8},
        {"test-running-status-sysex.mid", 4.0, 8},
        {"test-smpte-offset.mid", 4.0, 8},
        // Eight quarters with four-byte delta times.
        {"test-vlq-4-byte.mid", 4.0, 8},
        // One quarter note and a half-note rest before the end of track.
        {"test-track-length.mid", 1.5, 1},
        // 1590 ticks at 100 per quarter and 90 per minute: 10.6 s.
        {"test-karaoke-kar.mid", 10.6, 29},
        // Only an end of track.
        {"test-empty.mid", 0.0, 0},
    };
    for (const CSharedFile& file : files) {
        SCOPED_TRACE(file.name);
        HRESULT hr = E_FAIL;
        IDirectMusicSegment* segment = LoadSegment(SharedMidi(file.name), &hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_NE(segment, nullptr);
        auto model = dmusic::GetSegmentModel(segment);
        ASSERT_TRUE(model);
        EXPECT_NEAR(model->LengthInSeconds(), file.seconds, 0.001);
        EXPECT_EQ(CountNotes(*model), file.notes);
        MUSIC_TIME length = -1;
        EXPECT_EQ(segment->GetLength(&length), S_OK);
        EXPECT_EQ(length, model->length);
        segment->Release();
    }
}

TEST_F(SmfFiles, FilesThatAreNotMidiFailWithLoaderErrors)
{
    HRESULT hr = S_OK;
    EXPECT_EQ(LoadSegment(SharedMidi("test-not-a-midi-file.mid"), &hr), nullptr);
    EXPECT_EQ(hr, DMUS_E_UNSUPPORTED_STREAM);
    EXPECT_EQ(LoadSegment(SharedMidi("test-empty-file.mid"), &hr), nullptr);
    EXPECT_EQ(hr, DMUS_E_UNSUPPORTED_STREAM);
    // A header and nothing after it: the format, but nothing to play.
    EXPECT_EQ(LoadSegmentBytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}, &hr), nullptr);
    EXPECT_EQ(hr, DMUS_E_INVALIDFILE);
    EXPECT_EQ(LoadSegmentBytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0}, &hr), nullptr);
    EXPECT_EQ(hr, DMUS_E_INVALIDFILE);
}

TEST_F(SmfFiles, EveryPrefixOfEverySharedFileLoadsOrFailsCleanly)
{
    // Cut anywhere, a file either still gives a consistent model or an SDK
    // error; run under AddressSanitizer this also proves no read past the cut.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TESSARINE_TESTDATA_DIR "/midi")) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ++files;
        for (size_t cut = 0; cut <= bytes.size(); ++cut) {
            const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + cut);
            dmusic::CSegmentModel model;
            const HRESULT hr = dmusic::ReadMusicFile(prefix.data(), prefix.size(), model);
            if (FAILED(hr)) {
                EXPECT_TRUE(hr == DMUS_E_UNSUPPORTED_STREAM || hr == DMUS_E_INVALIDFILE) << entry.path() << " " << cut;
                continue;
            }
            EXPECT_GE(model.length, 0);
            for (const auto& e : model.events) {
                EXPECT_TRUE(e.kind != EMidiEventKind::Note || e.duration > 0);
            }
        }
    }
    EXPECT_GE(files, 17);
}

TEST_F(SmfFiles, RunningStatusSurvivesMetaAndSysexAndNotesPairUp)
{
    CSmfBuilder smf(0, 96);
    smf.AddTrack()
        .Event(0, {0x91, 60, 100})
        .Event(96, {60, 0})  // a note-off in running status
        .Meta(0, 0x01, "text")
        .Event(0, {62, 90})  // still running after the meta event
        .Event(0, {0xF0, 3, 0x7E, 0x7F, 0xF7})
        .Event(48, {62, 0})  // and after the sysex
        .Event(0, {0xB1, 7, 99})
        .Event(0, {0xE1, 0x00, 0x40})
        .End(48);
    auto model = ModelOf(smf.Build());
    ASSERT_EQ(CountNotes(*model), 2);
    const auto& events = model->events;
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].kind, EMidiEventKind::Note);
    EXPECT_EQ(events[0].pchannel, 1u);
    EXPECT_EQ(events[0].duration, 768);
    EXPECT_EQ(events[1].kind, EMidiEventKind::Note);
    EXPECT_EQ(events[1].data1, 62);
    EXPECT_EQ(events[1].data2, 90);
    EXPECT_EQ(events[1].time, 768);
    EXPECT_EQ(events[1].duration, 384);
    EXPECT_EQ(events[2].kind, EMidiEventKind::Sysex);
    EXPECT_EQ(events[2].sysex, (std::vector<BYTE>{0xF0, 0x7E, 0x7F, 0xF7}));
    EXPECT_EQ(events[3].kind, EMidiEventKind::ControlChange);
    EXPECT_EQ(events[3].data2, 99);
    EXPECT_EQ(events[4].kind, EMidiEventKind::PitchBend);
    EXPECT_EQ(events[4].bend, 8192);
    EXPECT_EQ(model->length, 768 + 384 + 384 + 1);
}

// Ticks that do not fall on a unit play at the unit before them, and the
// segment runs one unit past the file's last time, so that an event there
// still plays: a file without an end of track whose last event is a
// controller, at 123 ticks a quarter (768 / 123 units a tick).
TEST_F(SmfFiles, TicksDropTheirFractionAndTheLastEventStaysInside)
{
    CSmfBuilder smf(1, 123);
    smf.AddTrack().NoteOn(4, 1, 60, 64).NoteOn(4, 1, 62, 64).NoteOff(4, 1, 60).NoteOff(8, 1, 62);
    smf.AddTrack().NoteOn(4, 1, 64, 64).NoteOff(96, 1, 64).Event(4, {0xB1, 7, 64});
    auto model = ModelOf(smf.Build());
    ASSERT_TRUE(model);
    struct CRow {
        EMidiEventKind kind;
        MUSIC_TIME time;
        MUSIC_TIME duration;
        int data1;
    };
    const CRow rows[] = {
        {EMidiEventKind::Note, 24, 50, 60},          // ticks 4 to 12
        {EMidiEventKind::Note, 24, 600, 64},         // ticks 4 to 100
        {EMidiEventKind::Note, 49, 75, 62},          // ticks 8 to 20
        {EMidiEventKind::ControlChange, 649, 0, 7},  // tick 104, 649.37 units
    };
    ASSERT_EQ(model->events.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(model->events[i].kind, rows[i].kind);
        EXPECT_EQ(model->events[i].time, rows[i].time);
        if (rows[i].kind == EMidiEventKind::Note) EXPECT_EQ(model->events[i].duration, rows[i].duration);
        EXPECT_EQ(model->events[i].data1, rows[i].data1);
    }
    EXPECT_EQ(model->length, 650);
}

TEST_F(SmfFiles, TempoChangeMidFileFollowsTheTempoMap)
{
    CSmfBuilder smf(1, 480);
    smf.AddTrack().Tempo(0, 500000).Tempo(1920, 1000000).End(1920);  // 120, then 60 per minute
    smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(3840, 0, 60);
    auto model = ModelOf(smf.Build());
    // Four quarters at 120 (2 s) and four at 60 (4 s), and a unit at 60.
    EXPECT_NEAR(model->LengthInSeconds(), 6.0 + 60.0 / (60 * 768), 1e-9);
    EXPECT_EQ(model->length, 8 * 768 + 1);
    ASSERT_EQ(model->tempos.size(), 2u);
    EXPECT_EQ(model->tempos[1].time, 4 * 768);
    EXPECT_DOUBLE_EQ(model->tempos[1].bpm, 60.0);
    EXPECT_EQ(model->MusicToReferenceTime(5 * 768), 30000000);
    EXPECT_EQ(model->ReferenceToMusicTime(30000000), 5 * 768);
    EXPECT_EQ(model->ReferenceToMusicTime(10000000), 2 * 768);
}

TEST_F(SmfFiles, SixEightMeterIsReadAsSixEighths)
{
    CSmfBuilder smf(0, 96);
    // 6/8 (denominator 2^3), 90 quarters per minute, two bars of dotted quarters.
    smf.AddTrack()
        .Meta(0, 0x58, testsupport::ByteVector{6, 3, 36, 8})
        .Tempo(0, 666667)
        .NoteOn(0, 0, 67, 80)
        .NoteOff(144, 0, 67)
        .NoteOn(0, 0, 64, 80)
        .NoteOff(144, 0, 64)
        .NoteOn(0, 0, 60, 80)
        .NoteOff(288, 0, 60)
        .End();
    auto model = ModelOf(smf.Build());
    // Twelve eighths are six quarters: 6 × 60 / 90 = 4 s.
    EXPECT_NEAR(model->LengthInSeconds(), 4.0, 1e-3);
    const auto signature = model->TimeSignatureAt(100);
    EXPECT_EQ(signature.beatsPerMeasure, 6);
    EXPECT_EQ(signature.beat, 8);
}

TEST_F(SmfFiles, SmpteDivisionCountsRealTimeAndIgnoresTempo)
{
    // 25 frames a second, 40 ticks a frame: 1000 ticks a second.
    CSmfBuilder smf(0, 0xE728);
    smf.AddTrack().Tempo(0, 1000000).NoteOn(0, 0, 60, 100).NoteOff(1500, 0, 60).End(500);
    auto model = ModelOf(smf.Build());
    EXPECT_NEAR(model->LengthInSeconds(), 2.0 + 1.0 / 1536, 1e-9);
    EXPECT_EQ(model->length, 3072 + 1);
    ASSERT_EQ(CountNotes(*model), 1);
    EXPECT_EQ(model->events[0].duration, 2304);
    EXPECT_TRUE(model->tempos.empty());
}

TEST_F(SmfFiles, DamagedTracksKeepWhatParsed)
{
    // A track whose length runs past the end of the file, cut mid-event.
    CSmfBuilder smf(0, 96);
    smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).NoteOn(0, 0, 62, 100);
    auto bytes = smf.Build();
    bytes.resize(bytes.size() - 4);  // cut into the end-of-track and the last note
    bytes[18] = 0x7F;                // and claim a huge track length
    auto model = ModelOf(bytes);
    ASSERT_GE(CountNotes(*model), 1);
    EXPECT_EQ(model->events[0].duration, 768);

    // A note never switched off lasts to the end of the segment.
    CSmfBuilder open(0, 96);
    open.AddTrack().NoteOn(0, 0, 60, 100).End(192);
    auto held = ModelOf(open.Build());
    ASSERT_EQ(CountNotes(*held), 1);
    EXPECT_EQ(held->events[0].duration, 1536 + 1);

    // A data byte with no running status is skipped, and the rest still plays.
    CSmfBuilder stray(0, 96);
    stray.AddTrack().Event(0, {0x40}).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60);
    EXPECT_EQ(CountNotes(*ModelOf(stray.Build())), 1);
}

}  // namespace
}  // namespace dmusictest
