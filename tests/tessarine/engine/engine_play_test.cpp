// The engine over the real platform in default-port mode: load a file, play
// it with the clock run fast, and read what the synthesiser rendered through
// the capture store.
#include "tests/tessarine/engine/engine_fixture.h"

#include "tests/platform/dmusic/synth_test_support.h"
#include "tests/support/forwarding_performance.h"

#include <platform/clock.h>

#include <cstring>

namespace {

using dmusic::CTempoChange;

struct CPlayCase {
    const char* name;
    std::vector<CTempoChange> tempos;
    std::vector<CNoteSpec> notes;
    MUSIC_TIME length;
    double lengthSeconds;        // what GetLength gives
    double lastOnsetAfterFirst;  // seconds from the first note's onset to the last's
    double pitch;                // Hz of the first note
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
        // The engine's thread held up before its request arrives, while the
        // synthesizer runs on.
        REFERENCE_TIME from = 0, now = 0;
        GetTime(&from, nullptr);
        for (now = from; now < from + heldUp; GetTime(&now, nullptr))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (flags & DMUS_SEGF_REFTIME) return CForwardingPerformance::PlaySegment(segment, flags, start + delay, state);
        // Asked in music time: the same moment, later by the delay.
        REFERENCE_TIME at = 0;
        MUSIC_TIME later = 0;
        MusicToReferenceTime(MUSIC_TIME(start), &at);
        ReferenceToMusicTime(at + delay, &later);
        return CForwardingPerformance::PlaySegment(segment, flags, later, state);
    }
    static inline REFERENCE_TIME delay = 0;
    static inline REFERENCE_TIME heldUp = 0;  // in the clock's time
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
    const std::string song =
        Write("song.mid", testsupport::WriteStandardMidi(MakeModel({{0, 120.0}}, {{0, 384, 69}}, 768)));
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
        REFERENCE_TIME heldUp;
    };
    // Held up for longer than the capture may hold (the 2 s song and 5 s):
    // what the synthesizer wrote meanwhile is silence before the music.
    const Row rows[] = {{"fixed rate", "8", 0, 0},
                        {"following", "max", 0, 0},
                        {"fixed rate, late", "8", 7000000, 0},
                        {"following, late", "max", 7000000, 0},
                        {"fixed rate, held up past the capture's limit", "8", 0, 100000000},
                        {"following, held up past the capture's limit", "max", 0, 100000000}};
    const std::string song =
        Write("song.mid", testsupport::WriteStandardMidi(MakeModel({{0, 120.0}}, {{768, 384, 69}}, 4 * 768)));
    for (const Row& row : rows) {
        const double rate = platform::GetClockRate();
        ASSERT_TRUE(platform::SetClockSpeed(row.speed));
        platform::ScopedComClassReplacement replacement(CLSID_DirectMusicPerformance, CLateStartPerformance::Create);
        CLateStartPerformance::previous = replacement.Previous();
        CLateStartPerformance::delay = row.late;
        CLateStartPerformance::heldUp = row.heldUp;
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
        CPlayCase{
            "TempoChange", {{0, 120.0}, {4 * 768, 40.0}}, {{0, 384, 69}, {7 * 768, 384, 69}}, 8 * 768, 8.0, 6.5, 440.0},
        CPlayCase{"HigherNote", {{0, 90.0}}, {{0, 768, 81}}, 3 * 768, 2.0, 0.0, 880.0}),
    [](const auto& info) { return std::string(info.param.name); });

// A loader whose segments only record the parameters set on them, and
// refuse the audio path forms when told to, as a DirectMusic older than
// audio paths does.
// The IUnknown part of a one-interface COM object made by new.
template <class Interface, const IID& interfaceId> class CPlainUnknown : public Interface {
public:
    virtual ~CPlainUnknown() = default;
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        *object = IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, interfaceId) ? this : nullptr;
        if (!*object) return E_NOINTERFACE;
        this->AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++references; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = --references;
        if (left == 0) delete this;
        return left;
    }

private:
    ULONG references = 1;
};

class CRecordingSegment final : public CPlainUnknown<IDirectMusicSegment, IID_IDirectMusicSegment> {
public:
    // The bytes a segment was loaded from are still there as it goes.
    ~CRecordingSegment() override
    {
        if (memoryPointer) memoryIntactAtRelease = std::memcmp(memoryPointer, memory.data(), memory.size()) == 0;
    }
    STDMETHOD(SetParam)(REFGUID type, DWORD, DWORD, MUSIC_TIME, void*) override
    {
        const bool audioPath =
            IsEqualGUID(type, GUID_DownloadToAudioPath) || IsEqualGUID(type, GUID_UnloadFromAudioPath);
        if (IsEqualGUID(type, GUID_DownloadToAudioPath)) sent.push_back("DownloadToAudioPath");
        if (IsEqualGUID(type, GUID_UnloadFromAudioPath)) sent.push_back("UnloadFromAudioPath");
        if (IsEqualGUID(type, GUID_Download)) sent.push_back("Download");
        if (IsEqualGUID(type, GUID_Unload)) sent.push_back("Unload");
        standardMidiFiles += IsEqualGUID(type, GUID_StandardMIDIFile);
        return audioPath && !knowsAudioPaths ? DMUS_E_TYPE_UNSUPPORTED : S_OK;
    }
#define REFUSE(name, ...)                                                                                              \
    STDMETHOD(name)(__VA_ARGS__) override { return E_NOTIMPL; }
    REFUSE(GetLength, MUSIC_TIME*)
    REFUSE(SetLength, MUSIC_TIME)
    REFUSE(GetRepeats, DWORD*)
    REFUSE(SetRepeats, DWORD)
    REFUSE(GetDefaultResolution, DWORD*)
    REFUSE(SetDefaultResolution, DWORD)
    REFUSE(GetTrack, REFGUID, DWORD, DWORD, IDirectMusicTrack**)
    REFUSE(GetTrackGroup, IDirectMusicTrack*, DWORD*)
    REFUSE(InsertTrack, IDirectMusicTrack*, DWORD)
    REFUSE(RemoveTrack, IDirectMusicTrack*)
    REFUSE(InitPlay, IDirectMusicSegmentState**, IDirectMusicPerformance*, DWORD)
    REFUSE(GetGraph, IDirectMusicGraph**)
    REFUSE(SetGraph, IDirectMusicGraph*)
    REFUSE(AddNotificationType, REFGUID)
    REFUSE(RemoveNotificationType, REFGUID)
    REFUSE(GetParam, REFGUID, DWORD, DWORD, MUSIC_TIME, MUSIC_TIME*, void*)
    REFUSE(Clone, MUSIC_TIME, MUSIC_TIME, IDirectMusicSegment**)
    REFUSE(SetStartPoint, MUSIC_TIME)
    REFUSE(GetStartPoint, MUSIC_TIME*)
    REFUSE(SetLoopPoints, MUSIC_TIME, MUSIC_TIME)
    REFUSE(GetLoopPoints, MUSIC_TIME*, MUSIC_TIME*)
    REFUSE(SetPChannelsUsed, DWORD, DWORD*)
    static inline bool knowsAudioPaths = true;
    static inline std::vector<std::string> sent;
    static inline int standardMidiFiles = 0;
    // What the last GetObject by a memory descriptor was given: the pointer and a copy.
    static inline const BYTE* memoryPointer = nullptr;
    static inline std::vector<uint8_t> memory;
    static inline bool memoryIntactAtRelease = false;
};

class CRecordingLoader final : public CPlainUnknown<IDirectMusicLoader, IID_IDirectMusicLoader> {
public:
    STDMETHOD(GetObject)(LPDMUS_OBJECTDESC description, REFIID, LPVOID* object) override
    {
        *object = nullptr;
        if (!IsEqualGUID(description->guidClass, CLSID_DirectMusicSegment)) return DMUS_E_LOADER_FAILEDOPEN;
        validData = description->dwValidData;
        if (validData & DMUS_OBJ_MEMORY) {
            CRecordingSegment::memoryPointer = description->pbMemData;
            CRecordingSegment::memory.assign(description->pbMemData, description->pbMemData + description->llMemLength);
        }
        *object = static_cast<IDirectMusicSegment*>(new CRecordingSegment);
        return S_OK;
    }
    STDMETHOD(SetObject)(LPDMUS_OBJECTDESC) override { return S_OK; }
    STDMETHOD(SetSearchDirectory)(REFGUID, WCHAR*, BOOL) override { return S_OK; }
    STDMETHOD(ScanDirectory)(REFGUID, WCHAR*, WCHAR*) override { return S_OK; }
    STDMETHOD(CacheObject)(IDirectMusicObject*) override { return S_OK; }
    STDMETHOD(ReleaseObject)(IDirectMusicObject*) override { return S_OK; }
    STDMETHOD(ClearCache)(REFGUID) override { return S_OK; }
    STDMETHOD(EnableCache)(REFGUID, BOOL) override { return S_OK; }
    STDMETHOD(EnumObject)(REFGUID, DWORD, LPDMUS_OBJECTDESC) override { return S_FALSE; }
#undef REFUSE
    static inline DWORD validData = 0;
    static HRESULT Create(LPUNKNOWN, REFIID iid, void** object)
    {
        auto* loader = new CRecordingLoader;
        const HRESULT result = loader->QueryInterface(iid, object);
        loader->Release();
        return result;
    }
};

// Instruments go down in the audio path form, which takes a performance
// too (some DirectMusics take GUID_Download and download nothing), and in
// the older form only where the audio path form is not known; unloading
// follows the same form.
TEST_F(CEngineTest, InstrumentsGoDownInTheFormTheDirectMusicKnows)
{
    struct Row {
        bool knowsAudioPaths;
        std::vector<std::string> sent;
    };
    const Row rows[] = {
        {true, {"DownloadToAudioPath", "UnloadFromAudioPath"}},
        {false,
         {"DownloadToAudioPath", "DownloadToAudioPath", "Download", "UnloadFromAudioPath", "UnloadFromAudioPath",
          "Unload"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.knowsAudioPaths);
        platform::ScopedComClassReplacement replacement(CLSID_DirectMusicLoader, CRecordingLoader::Create);
        CRecordingSegment::knowsAudioPaths = row.knowsAudioPaths;
        CRecordingSegment::sent.clear();
        {
            CMidiMusic engine(nullptr, true);
            ASSERT_TRUE(engine.LoadMidiFromFile(true, "/song.mid"));
            EXPECT_TRUE(engine.LoadCollection(nullptr));
        }
        EXPECT_EQ(CRecordingSegment::sent, row.sent);
    }
}

// A converted track goes to DirectMusic by a memory descriptor, as a MIDI
// file, and its bytes stay the engine's until the segment made from them has
// gone, through a second load and the teardown alike.
TEST_F(CEngineTest, MemoryFileOutlivesItsSegment)
{
    platform::ScopedComClassReplacement replacement(CLSID_DirectMusicLoader, CRecordingLoader::Create);
    const std::vector<uint8_t> smf = testsupport::WriteStandardMidi(MakeModel({{0, 120.0}}, {{0, 384, 69}}, 768));
    for (int loads = 1; loads <= 2; ++loads) {
        SCOPED_TRACE(loads);
        CRecordingSegment::memoryIntactAtRelease = false;
        CRecordingSegment::standardMidiFiles = 0;
        {
            CMidiMusic engine(nullptr, true);
            for (int i = 0; i < loads; ++i) ASSERT_TRUE(engine.LoadMidiFromMemory(smf));
            EXPECT_EQ(CRecordingLoader::validData, DWORD(DMUS_OBJ_CLASS | DMUS_OBJ_MEMORY));
            EXPECT_EQ(CRecordingSegment::memory, smf);
            EXPECT_EQ(CRecordingSegment::standardMidiFiles, loads);
            EXPECT_EQ(CRecordingSegment::memoryIntactAtRelease, loads == 2);
        }
        EXPECT_TRUE(CRecordingSegment::memoryIntactAtRelease);
        CRecordingSegment::memoryPointer = nullptr;
    }
    // Nothing to load is no load.
    CMidiMusic engine(nullptr, true);
    EXPECT_FALSE(engine.LoadMidiFromMemory({}));
}

}  // namespace
