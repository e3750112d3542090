// The engine's playback control over the real platform: seeking through the
// segment's tempo map, master tempo and volume, the enumerated port, and the
// paths DirectMusic cannot take.
#include "tests/tessarine/engine/engine_fixture.h"

#include "tests/support/recording_port.h"

#include <limits>

namespace {

using dmusic::CTempoChange;

class CEngineControlTest : public CEngineTest {};

// 120 quarter-note beats... at 120 bpm: a 120-second song (184320 units)
// with a note at its start and one at 30 s.
dmusic::CSegmentModel LongSong() { return MakeModel({{0, 120.0}}, {{0, 384, 69}, {46080, 384, 69}}, 184320); }

}  // namespace

// A seek while playing: the capture starts again at the new place, and
// playing stays set although the segment was stopped and started again.
TEST_F(CEngineControlTest, SeekRestartsTheCaptureAndKeepsPlaying)
{
    // Rate 3: the restart's own steps take real time, which a faster clock
    // would turn into lead-in on a slow (sanitizer) build.
    CScopedClockRate fast(3.0);
    const std::string song = Write("long.mid", testsupport::WriteStandardMidi(LongSong()));
    const std::string sine = Write("sine.dls", testsupport::WriteSineDls(0, 0));
    CMidiMusic engine(nullptr, true);
    OpenAndPlay(engine, song, sine.c_str());
    EXPECT_NEAR(engine.GetLength(), 120.0, 1e-9);
    // Let two seconds of the start reach the capture.
    Sleep(2000);
    ASSERT_TRUE(engine.SeekToTime(30.0));
    // The new start point is 46080 units: exactly 30 s.
    EXPECT_DOUBLE_EQ(engine.GetPlayPosition(), 30.0);
    for (int tenth = 0; tenth < 30; ++tenth) {
        ASSERT_TRUE(engine.IsPlaying()) << "at " << tenth / 10.0 << " s after the seek";
        Sleep(100);
    }
    // Three seconds on, less the 1.1 s lead-in of the restart.
    EXPECT_NEAR(engine.GetPlayPosition(), 31.9, 0.2);

    // The capture holds only what followed the seek: the note at 30 s comes
    // after the 1.1 s lead-in, not after the two seconds played before.
    std::vector<int16_t> samples;
    std::vector<char> block(size_t(configOutputBuffer.value));
    for (int32_t offset = 0; offset < 176400 * 3;) {
        CHostFile* file = nullptr;
        ASSERT_TRUE(engine.BeginCaptureRead(offset, &file));
        const uint32_t got = file->Read(block.data(), uint32_t(block.size()));
        file->Release();
        engine.EndCaptureRead();
        samples.insert(samples.end(), reinterpret_cast<int16_t*>(block.data()),
                       reinterpret_cast<int16_t*>(block.data() + got));
        offset += int32_t(got);
    }
    // Nothing of the old place comes first, and the note is not pushed back
    // by the two seconds played before the seek (it would sound near 3.1 s).
    // How long the restart itself takes in real time varies with the load.
    const std::vector<double> onsets = FindOnsets(samples);
    ASSERT_FALSE(onsets.empty());
    EXPECT_GT(onsets.front(), 1.0);
    EXPECT_LT(onsets.front(), 2.6);

    const size_t threads = CountThreads();
    EXPECT_EQ(engine.Stop(), S_OK);
    EXPECT_FALSE(engine.IsPlaying());
    EXPECT_LE(SettledThreadCount(threads - 1), threads - 1) << "the notification thread was not joined";
    EXPECT_EQ(engine.GetPlayPosition(), 0.0);
}

// Seconds go to music time through the tempo map and the master tempo; a
// target outside the song is held to it.
TEST_F(CEngineControlTest, SeekFollowsTheTempoMap)
{
    struct Row {
        const char* name;
        std::vector<CTempoChange> tempos;
        MUSIC_TIME length;
        float masterTempo;  // 0: none set
        double lengthSeconds;
        double target;
        double position;  // right after the seek: the start point in seconds
    };
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {"one tempo", {{0, 120.0}}, 184320, 0, 120.0, 30.0, 30.0},
        {"no tempo event", {}, 92160, 0, 60.0, 15.0, 15.0},
        {"before the start", {{0, 120.0}}, 184320, 0, 120.0, -5.0, 0.0},
        {"past the end", {{0, 120.0}}, 184320, 0, 120.0, 1e12, 120.0},
        {"infinite", {{0, 120.0}}, 184320, 0, 120.0, inf, 120.0},
        {"not a number", {{0, 120.0}}, 184320, 0, 120.0, nan, 0.0},
        // Four beats at 120 (2 s), then four at 40 (6 s).
        {"after a tempo change", {{0, 120.0}, {3072, 40.0}}, 6144, 0, 8.0, 5.0, 5.0},
        {"before a tempo change", {{0, 120.0}, {3072, 40.0}}, 6144, 0, 8.0, 1.5, 1.5},
        {"master tempo 2", {{0, 120.0}, {3072, 40.0}}, 6144, 2.0f, 4.0, 2.5, 2.5},
        {"master tempo 0.5", {{0, 60.0}}, 7680, 0.5f, 20.0, 10.0, 10.0},
        {"first tempo late", {{768, 60.0}}, 2304, 0, 0.5 + 2.0, 1.5, 1.5},
    };
    CScopedClockRate fast(8.0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string song =
            Write("seek.mid", testsupport::WriteStandardMidi(MakeModel(row.tempos, {{0, 384, 69}}, row.length)));
        CMidiMusic engine(nullptr, false);
        DMUS_PORTCAPS caps;
        ASSERT_GE(engine.FindOutputPort(1, &caps), 0);
        ASSERT_TRUE(engine.CreateOutputPort(nullptr, &caps, false));
        ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str()));
        if (row.masterTempo != 0) {
            ASSERT_EQ(engine.SetMasterTempoVolume(0, row.masterTempo), S_OK);
        }
        EXPECT_NEAR(engine.GetLength(), row.lengthSeconds, 1e-9);
        ASSERT_TRUE(engine.Play());
        ASSERT_TRUE(engine.SeekToTime(row.target));
        EXPECT_NEAR(engine.GetPlayPosition(), row.position, 1e-3);
        EXPECT_TRUE(engine.IsPlaying());
        engine.Stop();
    }
}

// The master volume is a percentage, sent as hundredths of a decibel; a
// tempo DirectMusic would refuse is not sent and does not block the volume.
TEST_F(CEngineControlTest, MasterTempoAndVolume)
{
    struct Row {
        int32_t volume;
        float tempo;
        LONG sentVolume;  // what the performance holds afterwards
        float sentTempo;
        double lengthSeconds;  // of a 60-second song
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Row rows[] = {
        {100, 0.0f, 0, 1.0f, 60.0},     {50, 0.0f, -602, 1.0f, 60.0},   {10, 0.0f, -2000, 1.0f, 60.0},
        {1, 0.0f, -4000, 1.0f, 60.0},   {250, 0.0f, 0, 1.0f, 60.0},     {0, 2.0f, 0, 2.0f, 30.0},
        {-20, 0.5f, 0, 0.5f, 120.0},    {50, 1.5f, -602, 1.5f, 40.0},   {50, nan, -602, 1.0f, 60.0},
        {50, 0.001f, -602, 1.0f, 60.0}, {50, 500.0f, -602, 1.0f, 60.0}, {0, 0.0f, 0, 1.0f, 60.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.volume << "% at " << row.tempo);
        CPerformanceSpy spy;
        const std::string song = Write("minute.mid", testsupport::WriteStandardMidi(MakeModel({}, {}, 92160)));
        CMidiMusic engine(nullptr, true);
        ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str()));
        host.ClearConsoleLines();
        EXPECT_EQ(engine.SetMasterTempoVolume(row.volume, row.tempo), S_OK);
        EXPECT_EQ(host.CountConsoleLines("Warning"), 0u);
        LONG volume = 1;
        float tempo = 0;
        ASSERT_EQ(spy.Get()->GetGlobalParam(GUID_PerfMasterVolume, &volume, sizeof(volume)), S_OK);
        ASSERT_EQ(spy.Get()->GetGlobalParam(GUID_PerfMasterTempo, &tempo, sizeof(tempo)), S_OK);
        EXPECT_EQ(volume, row.sentVolume);
        EXPECT_FLOAT_EQ(tempo, row.sentTempo);
        EXPECT_NEAR(engine.GetLength(), row.lengthSeconds, 1e-4);
    }
}

// With "MIDIOutputPort" = 1 the music goes to the enumerated port, and there
// is no capture to read.
TEST_F(CEngineControlTest, EnumeratedPortPlaysWithoutCapture)
{
    CScopedClockRate fast(8.0);
    const std::string song =
        Write("notes.mid",
              testsupport::WriteStandardMidi(MakeModel({}, {{0, 384, 60}, {768, 384, 64}, {1536, 384, 67}}, 2304)));
    testsupport::CRecordingPort recorder;  // outlives the engine's performance
    CMidiMusic engine(nullptr, false);
    DMUS_PORTCAPS caps;
    ASSERT_EQ(engine.FindOutputPort(1, &caps), S_OK);
    ASSERT_TRUE(engine.CreateOutputPort(nullptr, &caps, false));
    ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str()));
    ASSERT_TRUE(engine.LoadCollection(nullptr));
    ASSERT_TRUE(engine.Play());
    const DWORD start = timeGetTime();
    CHostFile* file = reinterpret_cast<CHostFile*>(1);
    EXPECT_FALSE(engine.BeginCaptureRead(0, &file));
    EXPECT_EQ(file, nullptr);
    EXPECT_LT(timeGetTime() - start, 50u) << "BeginCaptureRead waited";
    EXPECT_FALSE(engine.IsCaptureEnded());
    engine.EndCaptureRead();
    // The song (1.5 s) and the one-second hold after its stop.
    for (int i = 0; i < 40 && engine.IsPlaying(); ++i) Sleep(100);
    EXPECT_FALSE(engine.IsPlaying());
    // Each note a beat (half a second) after the one before, for half a beat.
    std::vector<testsupport::CRecordedNote> notes = recorder.Notes(0);
    ASSERT_EQ(notes.size(), 3u);
    const REFERENCE_TIME first = notes[0].on;
    for (testsupport::CRecordedNote& note : notes) note.on -= first;
    EXPECT_EQ(notes,
              (std::vector<testsupport::CRecordedNote>{
                  {0, 2500000, 1, 0, 60, 110}, {5000000, 2500000, 1, 0, 64, 110}, {10000000, 2500000, 1, 0, 67, 110}}));
}

// A seek once the music has stopped only moves the start point: the
// capture keeps what was played, and the engine does not claim to play.
TEST_F(CEngineControlTest, SeekAfterTheMusicStoppedChangesNothing)
{
    CScopedClockRate fast(8.0);
    const std::string song = Write("note.mid", testsupport::WriteStandardMidi(MakeModel({}, {{0, 384, 69}}, 4 * 768)));
    for (const bool stopped : {true, false}) {
        SCOPED_TRACE(stopped ? "stopped" : "ended");
        CMidiMusic engine(nullptr, true);
        OpenAndPlay(engine, song);
        if (stopped) {
            Sleep(600);  // past the note
            ASSERT_EQ(engine.Stop(), S_OK);
        } else {
            for (int i = 0; i < 100 && engine.IsPlaying(); ++i) Sleep(100);
        }
        ASSERT_FALSE(engine.IsPlaying());
        EXPECT_TRUE(engine.SeekToTime(0.1));
        EXPECT_FALSE(engine.IsPlaying());
        // The note still sounds 1.1 s into the capture.
        const std::vector<double> onsets = FindOnsets(ReadWholeCapture(engine));
        ASSERT_EQ(onsets.size(), 1u);
        EXPECT_NEAR(onsets.front(), 1.1, 0.015);
    }
}

// Paths that do not fit DirectMusic's file-name field, or are not UTF-8,
// are refused with a line; what fits is tried, and the song loaded before
// is gone either way.
TEST_F(CEngineControlTest, OverlongPathsAreRefused)
{
    struct Row {
        const char* name;
        std::string path;
        bool refused;  // "too long" line
    };
    const std::string folder259 = "/" + std::string(250, 'd') + "/";  // 252 bytes
    const Row rows[] = {
        {"259 units", folder259 + std::string(7, 'f'), false},
        {"260 units", folder259 + std::string(8, 'f'), true},
        {"far too long", "/" + std::string(5000, 'x'), true},
        // 130 two-byte characters: 260 bytes but 130 units.
        {"multi-byte, fits",
         "/" +
             [] {
                 std::string s;
                 for (int i = 0; i < 129; ++i) s += "\xC3\xA9";
                 return s;
             }(),
         false},
        {"multi-byte, too long",
         "/" +
             [] {
                 std::string s;
                 for (int i = 0; i < 259; ++i) s += "\xC3\xA9";
                 return s;
             }(),
         true},
        {"empty", "", false},
        {"not UTF-8", "/music/song\xFF.mid", true},
    };
    const std::string song = Write("song.mid", testsupport::WriteStandardMidi(MakeModel({}, {{0, 384, 69}}, 768)));
    CMidiMusic engine(nullptr, false);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str()));
        ASSERT_GT(engine.GetLength(), 0.0);
        host.ClearConsoleLines();
        EXPECT_FALSE(engine.LoadMidiFromFile(true, row.path.c_str()));
        EXPECT_EQ(host.CountConsoleLines("The path cannot be given to DirectMusic"), row.refused ? 1u : 0u);
        EXPECT_EQ(host.CountConsoleLines("Loader->GetSegment"), row.refused ? 0u : 1u);
        EXPECT_EQ(engine.GetLength(), 0.0);
    }
}

// A custom collection that cannot be used is named on the console, with
// the reason, whatever "MIDILog" says, and the default instruments play;
// what FluidSynth and libinstpatch say about it stays off the terminal. A
// file too large for any collection is refused before it is read.
TEST_F(CEngineControlTest, UnusableCollectionIsNamedWithItsReason)
{
    using testsupport::CChunkWriter;
    // A collection the loader takes, whose wave list runs past its end.
    const CChunkWriter overrun = CChunkWriter().Riff("DLS ", CChunkWriter()
                                                                 .Chunk("colh", CChunkWriter().Le32(1))
                                                                 .List("lins", CChunkWriter())
                                                                 .FourCc("LIST")
                                                                 .Le32(1000)
                                                                 .FourCc("wvpl"));
    // One whose region's wave is missing from its pool: read with a warning.
    const CChunkWriter noWave = CChunkWriter().Riff(
        "DLS ",
        CChunkWriter()
            .Chunk("colh", CChunkWriter().Le32(1))
            .List(
                "lins",
                CChunkWriter().List(
                    "ins ",
                    CChunkWriter()
                        .Chunk("insh", CChunkWriter().Le32(1).Le32(0).Le32(0))
                        .List("lrgn",
                              CChunkWriter().List(
                                  "rgn ",
                                  CChunkWriter()
                                      .Chunk("rgnh", CChunkWriter().Le16(0).Le16(127).Le16(0).Le16(127).Le16(0).Le16(0))
                                      .Chunk("wlnk", CChunkWriter().Le16(0).Le16(0).Le32(3).Le32(7))))))
            .Chunk("ptbl", CChunkWriter().Le32(8).Le32(1).Le32(0)));
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        int64_t sparseSize;  // > 0: a file of this size, all holes; -1: no file; -2: no name
        const char* reason;  // null: the collection is used
    } rows[] = {
        {"sine", testsupport::WriteSineDls(0, 0), 0, nullptr},
        {"wave missing from its pool", noWave.data, 0, nullptr},
        {"missing", {}, -1, "it cannot be opened"},
        {"not named", {}, -2, "no file is named"},
        {"text", {'n', 'o', 't', ' ', 'D', 'L', 'S'}, 0, "it is not a DLS collection"},
        {"refused by the synthesizer", overrun.data, 0, "the synthesizer cannot read its instruments"},
        {"600 MB", {}, int64_t{600} << 20, "it is larger than 512 MB"},
    };
    const std::string song = Write("song.mid", testsupport::WriteStandardMidi(LongSong()));
    configLog.value = 0;
    for (const auto& row : rows) {
        const std::string path = row.sparseSize == -2 ? "" : (folder / "custom.dls").string();
        std::filesystem::remove(folder / "custom.dls");
        if (row.sparseSize >= 0) Write("custom.dls", row.bytes);
        if (row.sparseSize > 0) std::filesystem::resize_file(path, uintmax_t(row.sparseSize));
        host.ClearConsoleLines();
        CMidiMusic engine(nullptr, true);
        DMUS_PORTCAPS caps;
        ASSERT_GE(engine.FindOutputPort(0xFFFFFFFF, &caps), 0);
        ASSERT_TRUE(engine.CreateOutputPort(nullptr, &caps, true));
        ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str()));
        testing::internal::CaptureStderr();
        const bool used = engine.LoadCollection(path.c_str());
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(used, row.reason == nullptr) << row.name;
        EXPECT_EQ(printed, "") << row.name;
        EXPECT_EQ(
            host.CountConsoleLines("The custom DLS collection" + (path.empty() ? "" : " " + path) + " was not used", 2),
            row.reason ? 1u : 0u)
            << row.name;
        if (row.reason) {
            EXPECT_EQ(host.CountConsoleLines(row.reason, 2), 1u) << row.name;
        }
        // The default instruments are there to play.
        EXPECT_TRUE(engine.LoadCollection(nullptr)) << row.name;
    }
}
