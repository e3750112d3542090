// The engine over the real platform in default-port mode: load a file, play
// it with the clock run fast, and read what the synthesiser rendered through
// the capture store.
#include "tests/tessarine/engine/engine_fixture.h"

#include "tests/platform/dmusic/synth_test_support.h"
#include "tests/support/forwarding_performance.h"

#include <platform/clock.h>

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

// A performance that places every segment later than asked, as one does
// when its clock ran on past the prepare time before the request came.
class CLateStartPerformance final : public CForwardingPerformance {
public:
    using CForwardingPerformance::CForwardingPerformance;
    STDMETHOD(PlaySegment)(IDirectMusicSegment* segment, DWORD flags, LONGLONG start,
                           IDirectMusicSegmentState** state) override
    {
        lastFlags = flags;
        if (flags & DMUS_SEGF_REFTIME) return CForwardingPerformance::PlaySegment(segment, flags, start + delay, state);
        // Asked in music time: the same moment, later by the delay.
        REFERENCE_TIME at = 0;
        MUSIC_TIME later = 0;
        MusicToReferenceTime(MUSIC_TIME(start), &at);
        ReferenceToMusicTime(at + delay, &later);
        return CForwardingPerformance::PlaySegment(segment, flags, later, state);
    }
    static inline REFERENCE_TIME delay = 0;
    static inline DWORD lastFlags = 0;
    static inline platform::ClassFactoryFunction previous = nullptr;
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        return CreateForwardingPerformance<CLateStartPerformance>(outer, iid, object);
    }
};

// Counts the ports the engine asks the performance to remove, and the
// absent ones among them: a DirectMusic may take the pointer as it is.
class CRemovePortPerformance final : public CForwardingPerformance {
public:
    using CForwardingPerformance::CForwardingPerformance;
    STDMETHOD(RemovePort)(IDirectMusicPort* port) override
    {
        ++(port ? removed : removedAbsent);
        return CForwardingPerformance::RemovePort(port);
    }
    static inline int removed = 0;
    static inline int removedAbsent = 0;
    static inline platform::ClassFactoryFunction previous = nullptr;
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        return CreateForwardingPerformance<CRemovePortPerformance>(outer, iid, object);
    }
};

// The capture may take the whole song and five seconds more however long
// the song: past 2^31 bytes (3 h 22 min) and 2^32 bytes (6 h 46 min) too.
TEST_F(CEngineTest, CaptureLimitHoldsTheWholeSong)
{
    const struct {
        const char* name;
        int64_t seconds;
    } rows[] = {{"three seconds", 3}, {"four hours", 4 * 3600}, {"seven hours", 7 * 3600}};
    CScopedClockRate fast(8.0);
    for (const auto& row : rows) {
        // At 120 a minute: two quarters a second.
        const MUSIC_TIME length = MUSIC_TIME(row.seconds * 2 * 768);
        const std::string song =
            Write("long.mid", testsupport::WriteStandardMidi(MakeModel({{0, 120.0}}, {{0, 384, 69}}, length)));
        CMidiMusic engine(nullptr, true);
        DMUS_PORTCAPS caps;
        ASSERT_GE(engine.FindOutputPort(0xFFFFFFFF, &caps), 0) << row.name;
        ASSERT_TRUE(engine.CreateOutputPort(nullptr, &caps, true)) << row.name;
        ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str())) << row.name;
        ASSERT_NEAR(engine.GetLength(), double(row.seconds), 1e-6) << row.name;
        ASSERT_TRUE(engine.Play()) << row.name;
        // A start the performance placed late adds its skip, under a second.
        const int64_t whole = (row.seconds + 5) * 176400;
        EXPECT_GE(engine.GetCaptureLimit(), whole - 4) << row.name;
        EXPECT_LT(engine.GetCaptureLimit(), whole + 176400) << row.name;
        engine.Stop();
    }
}

// An engine opened for information has no port; its teardown removes the
// port it has and never an absent one.
TEST_F(CEngineTest, TeardownRemovesOnlyAPortItHas)
{
    const std::string song = Write("song.mid", testsupport::WriteStandardMidi(MakeModel({{0, 120.0}}, {{0, 384, 69}}, 768)));
    for (const bool withPort : {false, true}) {
        platform::ScopedComClassReplacement replacement(CLSID_DirectMusicPerformance, CRemovePortPerformance::Create);
        CRemovePortPerformance::previous = replacement.Previous();
        CRemovePortPerformance::removed = CRemovePortPerformance::removedAbsent = 0;
        {
            CMidiMusic engine(nullptr, true);
            if (withPort) {
                DMUS_PORTCAPS caps;
                ASSERT_GE(engine.FindOutputPort(0xFFFFFFFF, &caps), 0);
                ASSERT_TRUE(engine.CreateOutputPort(nullptr, &caps, true));
            }
            ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str()));
        }
        EXPECT_EQ(CRemovePortPerformance::removedAbsent, 0) << withPort;
        EXPECT_EQ(CRemovePortPerformance::removed, withPort ? 1 : 0);
    }
}

// What is read of the capture holds the start delay of silence and then the
// music, at a fixed rate and with the clock following the synthesizer,
// however late the performance placed the segment.
TEST_F(CEngineTest, MusicStartsAfterTheStartDelayInWhatIsRead)
{
    struct Row {
        const char* name;
        const char* speed;
        REFERENCE_TIME late;
    };
    const Row rows[] = {{"fixed rate", "8", 0}, {"following", "max", 0}, {"fixed rate, late", "8", 7000000},
                        {"following, late", "max", 7000000}};
    const std::string song = Write("song.mid", testsupport::WriteStandardMidi(MakeModel({{0, 120.0}}, {{768, 384, 69}}, 4 * 768)));
    for (const Row& row : rows) {
        const double rate = platform::GetClockRate();
        ASSERT_TRUE(platform::SetClockSpeed(row.speed));
        platform::ScopedComClassReplacement replacement(CLSID_DirectMusicPerformance, CLateStartPerformance::Create);
        CLateStartPerformance::previous = replacement.Previous();
        CLateStartPerformance::delay = row.late;
        {
            CMidiMusic engine(nullptr, true);
            DMUS_PORTCAPS caps;
            ASSERT_GE(engine.FindOutputPort(0xFFFFFFFF, &caps), 0) << row.name;
            ASSERT_TRUE(engine.CreateOutputPort(nullptr, &caps, true)) << row.name;
            ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str())) << row.name;
            ASSERT_TRUE(engine.Play()) << row.name;
            EXPECT_DOUBLE_EQ(engine.GetCaptureLeadIn(), 1.1) << row.name;
            // A music-time start, which a DirectMusic that reads every start
            // as music time also places right.
            EXPECT_EQ(CLateStartPerformance::lastFlags & DMUS_SEGF_REFTIME, 0u) << row.name;
            const std::vector<double> onsets = FindOnsets(ReadWholeCapture(engine));
            ASSERT_FALSE(onsets.empty()) << row.name;
            // The note at 0.5 s, within the onset search's 10 ms and the attack.
            EXPECT_NEAR(onsets.front(), 1.6, 0.015) << row.name;
            engine.Stop();
        }
        platform::SetClockRate(rate);
    }
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
