// The FluidSynth synthesizer core: timbres, DLS precedence, event timing,
// reverb, gain and releasing notes.
#include "platform/dmusic/synth.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

#include "tests/platform/dmusic/synth_test_support.h"

using dmusic::CSynthesizer;
using dmusic::CSynthOptions;
using synth_test::BuildSineDls;
using synth_test::MeanSquare;
using synth_test::TonePower;

namespace {

constexpr uint32_t kNoteOnA4 = 0x90 | (69 << 8) | (100 << 16);
constexpr uint32_t kNoteOffA4 = 0x80 | (69 << 8);

std::vector<int16_t> RenderFrames(CSynthesizer& synth, uint32_t frames)
{
    std::vector<int16_t> out(2 * size_t(frames));
    // Odd piece sizes, as a sink renders them.
    uint32_t done = 0;
    while (done < frames) {
        uint32_t piece = std::min<uint32_t>(frames - done, 1000 + done % 333);
        synth.Render(out.data() + 2 * size_t(done), piece);
        done += piece;
    }
    return out;
}

// Harmonic power (2nd to 5th) against the fundamental's.
double HarmonicRatio(const std::vector<int16_t>& audio, size_t begin, size_t end)
{
    double fundamental = TonePower(audio, begin, end, 440.0);
    double harmonics = 0;
    for (int h = 2; h <= 5; ++h) harmonics += TonePower(audio, begin, end, 440.0 * h);
    return harmonics / fundamental;
}

int LoadSine(CSynthesizer& synth, bool drums = false)
{
    auto dls = BuildSineDls(0, 0, drums);
    std::string error;
    int id = synth.LoadCollection(dls.data(), dls.size(), &error);
    EXPECT_GE(id, 0) << error;
    return id;
}

}  // namespace

TEST(SynthCore, SineCollectionReplacesThePianoWithAPure440)
{
    CSynthOptions options;
    options.chorus = false;  // its modulation would put sidebands beside the tone
    CSynthesizer synth(options);
    ASSERT_TRUE(synth.HasGeneralMidi()) << synth.LoadError();
    LoadSine(synth);
    synth.QueueMessage(0, 1, 0xC0);  // program 0: the collection's, not the piano
    synth.QueueMessage(0, 1, kNoteOnA4);
    auto audio = RenderFrames(synth, 66150);
    EXPECT_LT(HarmonicRatio(audio, 11025, 55125), 0.0001);
    EXPECT_NEAR(synth_test::ZeroCrossingFrequency(audio, 11025, 55125), 440.0, 0.2);
    // Over one second, 437 and 443 Hz fall on the window's nulls for a true 440.
    double at440 = TonePower(audio, 11025, 55125, 440.0);
    EXPECT_GT(at440, 100.0 * TonePower(audio, 11025, 55125, 437.0));
    EXPECT_GT(at440, 100.0 * TonePower(audio, 11025, 55125, 443.0));
}

TEST(SynthCore, GeneralMidiPianoHasHarmonicsAndUnloadBringsItBack)
{
    CSynthesizer synth(CSynthOptions{});
    ASSERT_TRUE(synth.HasGeneralMidi());
    synth.QueueMessage(0, 1, kNoteOnA4);
    auto piano = RenderFrames(synth, 22050);
    EXPECT_GT(HarmonicRatio(piano, 2205, 13230), 0.001);

    int id = LoadSine(synth);
    ASSERT_TRUE(synth.UnloadCollection(id));
    EXPECT_FALSE(synth.UnloadCollection(id));
    int64_t now = synth.RenderedFrames();
    synth.QueueMessage(now, 1, kNoteOffA4);
    synth.QueueMessage(now + 44100, 1, kNoteOnA4);
    auto again = RenderFrames(synth, 66150);
    EXPECT_GT(HarmonicRatio(again, 46305, 57330), 0.001);
}

TEST(SynthCore, DrumChannelUsesTheCollectionsDrumInstrument)
{
    CSynthesizer synth(CSynthOptions{});
    LoadSine(synth, true);
    // Channel 10 (index 9) plays the drum kit: program 0 of the drum bank
    // is now the sine; channel 1 keeps the GM piano.
    synth.QueueMessage(0, 1, 0x99 | (69 << 8) | (100 << 16));
    auto drums = RenderFrames(synth, 22050);
    EXPECT_GT(TonePower(drums, 2205, 13230, 440.0), 1000.0);
    EXPECT_LT(HarmonicRatio(drums, 2205, 13230), 0.0001);
}

TEST(SynthCore, EventsLandWithinHalfABlockOfTheirFrame)
{
    CSynthesizer synth(CSynthOptions{});
    LoadSine(synth);
    for (int64_t frame : {5000, 20031, 30000}) {
        synth.QueueMessage(frame, 1, kNoteOnA4);
        synth.QueueMessage(frame + 4000, 1, kNoteOffA4);
    }
    auto audio = RenderFrames(synth, 44100);
    for (long frame : {5000L, 20031L, 30000L}) {
        long onset = synth_test::FindToneOnset(audio, size_t(frame - 2000));
        EXPECT_NEAR(onset, frame, 40) << "note at " << frame;
    }
    // An event for a frame already rendered sounds at once, not never.
    synth.QueueMessage(100, 1, kNoteOnA4);
    auto late = RenderFrames(synth, 4410);
    EXPECT_GT(MeanSquare(late, 2000, 4410), 10000.0);
}

TEST(SynthCore, ReverbLengthensTheTail)
{
    double tails[2];
    for (bool reverb : {false, true}) {
        CSynthOptions options;
        options.reverb = reverb;
        options.chorus = false;
        CSynthesizer synth(options);
        synth.QueueMessage(0, 1, 0xC0 | (115 << 8));  // woodblock: short and dry
        synth.QueueMessage(0, 1, 0x90 | (76 << 8) | (127 << 16));
        synth.QueueMessage(4410, 1, 0x80 | (76 << 8));
        auto audio = RenderFrames(synth, 88200);
        // From 0.2 s after the note's end, when the dry sound has died away.
        tails[reverb] = MeanSquare(audio, 13230, 30870);
    }
    EXPECT_GT(tails[1], 20.0 * tails[0] + 1.0);
}

TEST(SynthCore, DenseChordsStayBelowFullScale)
{
    CSynthesizer synth(CSynthOptions{});
    for (uint32_t channel = 0; channel < 16; ++channel) {
        // Sixteen channels of four-note chords at the usual volume, as dense
        // as the loudest real music.
        synth.QueueMessage(0, 1, 0xB0 | channel | (7 << 8) | (100 << 16));
        synth.QueueMessage(0, 1, 0xC0 | channel | ((channel * 8 + 1) << 8));
        for (uint32_t note = 48; note < 64; note += 5)
            synth.QueueMessage(0, 1, 0x90 | channel | (note << 8) | (100 << 16));
    }
    auto audio = RenderFrames(synth, 44100);
    EXPECT_LT(synth_test::PeakAbs(audio), 32767);
    EXPECT_GT(synth_test::PeakAbs(audio), 3000);
}

TEST(SynthCore, AllNotesOffReleasesHeldNotesAndDropsLaterEvents)
{
    CSynthesizer synth(CSynthOptions{});
    synth.QueueMessage(0, 1, 0xB0 | (64 << 8) | (127 << 16));  // sustain pedal down
    synth.QueueMessage(0, 1, 0xC0 | (48 << 8));                // strings: they hold
    synth.QueueMessage(0, 1, kNoteOnA4);
    synth.QueueMessage(0, 1, kNoteOffA4);
    synth.QueueMessage(60000, 1, kNoteOnA4);  // would start after the release
    synth.QueueAllNotesOff(22050);
    auto audio = RenderFrames(synth, 44100 * 4);
    EXPECT_GT(MeanSquare(audio, 11025, 22050), 1000.0);
    EXPECT_LT(MeanSquare(audio, 44100 * 3, 44100 * 4), 1.0);
    EXPECT_EQ(synth.QueuedEvents(), 0u);
    EXPECT_EQ(synth.ActiveVoices(), 0);
}

TEST(SynthCore, ChannelGroupsAreSeparateAndUnknownGroupsIgnored)
{
    CSynthOptions options;
    options.channelGroups = 2;
    CSynthesizer synth(options);
    LoadSine(synth);
    synth.QueueMessage(0, 1, 0xC0 | (40 << 8));                // group 1, channel 1: violin
    synth.QueueMessage(0, 2, kNoteOnA4);                       // group 2 keeps program 0: sine
    synth.QueueMessage(0, 3, 0x90 | (40 << 8) | (100 << 16));  // no group 3
    auto audio = RenderFrames(synth, 22050);
    EXPECT_LT(HarmonicRatio(audio, 2205, 13230), 0.0001);
}

TEST(SynthCore, DamagedCollectionIsRefusedAndLeavesNoTemporaryFile)
{
    char folder[] = "/tmp/synth-core-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const char* previous = std::getenv("TMPDIR");
    std::string kept = previous ? previous : "";
    setenv("TMPDIR", folder, 1);
    CSynthesizer synth(CSynthOptions{});
    std::vector<uint8_t> junk(200, 0x41);
    std::string error;
    EXPECT_LT(synth.LoadCollection(junk.data(), junk.size(), &error), 0);
    EXPECT_FALSE(error.empty());
    EXPECT_LT(synth.LoadCollection(nullptr, 0, &error), 0);
    EXPECT_GE(LoadSine(synth), 0);
    if (previous)
        setenv("TMPDIR", kept.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(rmdir(folder), 0) << "something was left in " << folder;
    synth.QueueMessage(0, 1, 0xC0 | (1 << 8));  // a GM program the sine does not replace
    synth.QueueMessage(0, 1, kNoteOnA4);
    auto audio = RenderFrames(synth, 11025);
    EXPECT_GT(MeanSquare(audio, 2205, 11025), 1000.0);
}

// However long the synth ran silent before its first note (a player slow to
// start its music), the music after it is the same, reverb and chorus too.
// (Segments start on the synth's blocks, so the first notes here do.)
TEST(SynthCore, SilenceBeforeTheFirstNoteLeavesTheMusicAlone)
{
    std::vector<std::vector<int16_t>> songs;
    for (uint32_t silent : {0u, 6400u, 132288u, 440960u}) {
        CSynthOptions options;
        options.reverb = true;
        options.chorus = true;
        CSynthesizer synth(options);
        RenderFrames(synth, silent);
        for (uint32_t message : {0xB0u | (91 << 8) | (127 << 16), 0xB0u | (93 << 8) | (127 << 16), 0xC0u | (48 << 8)})
            synth.QueueMessage(silent, 1, message);  // full reverb and chorus sends, strings
        synth.QueueMessage(silent, 1, kNoteOnA4);
        synth.QueueMessage(silent + 22050, 1, kNoteOffA4);
        songs.push_back(RenderFrames(synth, 88200));
        EXPECT_GT(MeanSquare(songs.back(), 44100, 88200), 1.0) << "no tail after " << silent << " silent frames";
    }
    for (size_t row = 1; row < songs.size(); ++row) EXPECT_TRUE(songs[row] == songs[0]) << "row " << row;
}
