// The engine over the real platform in default-port mode: load a file, play
// it with the clock run fast, and read what the synthesiser rendered through
// the capture store.
#include "tests/tessarine/engine/engine_fixture.h"

#include "tests/platform/dmusic/synth_test_support.h"

namespace {

using dmusic::CTempoChange;

struct CPlayCase {
    const char* name;
    std::vector<CTempoChange> tempos;
    std::vector<CNoteSpec> notes;
    MUSIC_TIME length;
    double lengthSeconds;          // what GetLength gives
    double lastOnsetAfterFirst;    // seconds from the first note's onset to the last's
    double pitch;                  // Hz of the first note
};

class CEnginePlayTest : public CEngineTest, public ::testing::WithParamInterface<CPlayCase> {};

TEST_P(CEnginePlayTest, CapturesTheFileAtItsTempoMap)
{
    const CPlayCase& row = GetParam();
    CScopedClockRate fast(8.0);
    const std::string song =
        Write("song.mid", testsupport::WriteStandardMidi(MakeModel(row.tempos, row.notes, row.length)));
    const std::string sine = Write("sine.dls", testsupport::WriteSineDls(0, 0));

    CMidiMusic engine(nullptr, true);
    DMUS_PORTCAPS caps;
    ASSERT_GE(engine.FindOutputPort(0xFFFFFFFF, &caps), 0);
    ASSERT_TRUE(engine.CreateOutputPort(nullptr, &caps, true));
    ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str()));
    // A Standard MIDI file stores whole microseconds per quarter.
    EXPECT_NEAR(engine.GetLength(), row.lengthSeconds, 1e-5);
    ASSERT_TRUE(engine.LoadCollection(sine.c_str()));
    ASSERT_TRUE(engine.Play());
    EXPECT_TRUE(engine.IsPlaying());

    const std::vector<int16_t> samples = ReadWholeCapture(engine);
    // The store takes the song and five seconds more, in whole seconds.
    const double capturedSeconds = double(samples.size()) / 2 / 44100.0;
    EXPECT_LE(capturedSeconds, row.lengthSeconds + 5.0);
    EXPECT_GT(capturedSeconds, row.lengthSeconds + 4.0);

    const std::vector<double> onsets = FindOnsets(samples);
    ASSERT_EQ(onsets.size(), row.notes.size());
    EXPECT_NEAR(onsets.back() - onsets.front(), row.lastOnsetAfterFirst, 0.02);
    const size_t firstFrame = size_t(onsets.front() * 44100.0) + 2205;
    EXPECT_NEAR(synth_test::ZeroCrossingFrequency(samples, firstFrame, firstFrame + 8820), row.pitch, 3.0);
    EXPECT_EQ(engine.Stop(), S_OK);
    EXPECT_FALSE(engine.IsPlaying());
}

INSTANTIATE_TEST_SUITE_P(
    Files, CEnginePlayTest,
    ::testing::Values(
        CPlayCase{"OneNote", {{0, 120.0}}, {{768, 768, 69}}, 4 * 768, 2.0, 0.0, 440.0},
        CPlayCase{"TempoChange", {{0, 120.0}, {4 * 768, 40.0}}, {{0, 384, 69}, {7 * 768, 384, 69}}, 8 * 768, 8.0, 6.5,
                  440.0},
        CPlayCase{"HigherNote", {{0, 90.0}}, {{0, 768, 81}}, 3 * 768, 2.0, 0.0, 880.0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
