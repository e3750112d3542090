// The segment's own operations: length, repeats, start and loop points, and
// the parameters with their group bits, track indexes and DirectMusic's
// results, as the engine calls them (all groups, ANYTRACK, then index 0).
#include <dmerror.h>

#include "loader_fixture.h"
#include "tests/support/chunk_writer.h"

namespace dmusictest {
namespace {

using testsupport::CSmfBuilder;

class SegmentParams : public CLoaderTest {
protected:
    void SetUp() override
    {
        CLoaderTest::SetUp();
        CSmfBuilder smf(1, 96);
        // 3/4; 120 for four quarters, then 80.
        smf.AddTrack().Meta(0, 0x58, testsupport::ByteVector{3, 2, 24, 8}).Tempo(0, 500000).Tempo(384, 750000).End(384);
        smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(768, 0, 60);
        segment = LoadSegmentBytes(smf.Build());
        ASSERT_NE(segment, nullptr);
    }
    void TearDown() override
    {
        if (segment) segment->Release();
        CLoaderTest::TearDown();
    }
    IDirectMusicSegment* segment = nullptr;
};

TEST_F(SegmentParams, TempoAtATimeAndHowLongItHolds)
{
    DMUS_TEMPO_PARAM tempo = {};
    MUSIC_TIME next = -1;
    ASSERT_EQ(segment->GetParam(GUID_TempoParam, 0xFFFFFFFF, DMUS_SEG_ANYTRACK, 2000, &next, &tempo), S_OK);
    EXPECT_DOUBLE_EQ(tempo.dblTempo, 120.0);
    EXPECT_EQ(tempo.mtTime, -2000);  // the change took effect at 0
    EXPECT_EQ(next, 3072 - 2000);    // until the change to 80
    ASSERT_EQ(segment->GetParam(GUID_TempoParam, 1, 0, 4000, &next, &tempo), S_OK);
    EXPECT_DOUBLE_EQ(tempo.dblTempo, 80.0);
    EXPECT_EQ(tempo.mtTime, 3072 - 4000);
    EXPECT_EQ(next, 0);  // no later change
    // Without the next-time output, as the engine asks.
    EXPECT_EQ(segment->GetParam(GUID_TempoParam, 0xFFFFFFFF, DMUS_SEG_ANYTRACK, 2000, nullptr, &tempo), S_OK);
    // No track in group 2, no second tempo track.
    EXPECT_EQ(segment->GetParam(GUID_TempoParam, 2, 0, 0, nullptr, &tempo), DMUS_E_TRACK_NOT_FOUND);
    EXPECT_EQ(segment->GetParam(GUID_TempoParam, 0xFFFFFFFF, 1, 0, nullptr, &tempo), DMUS_E_TRACK_NOT_FOUND);
    EXPECT_EQ(segment->GetParam(GUID_TempoParam, 0xFFFFFFFF, 0, 0, nullptr, nullptr), E_POINTER);
}

TEST_F(SegmentParams, FileWithoutTempoHasNoTempoTrack)
{
    CSmfBuilder smf(0, 96);
    smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60);
    IDirectMusicSegment* plain = LoadSegmentBytes(smf.Build());
    ASSERT_NE(plain, nullptr);
    DMUS_TEMPO_PARAM tempo = {};
    EXPECT_EQ(plain->GetParam(GUID_TempoParam, 0xFFFFFFFF, DMUS_SEG_ANYTRACK, 2000, nullptr, &tempo),
              DMUS_E_TRACK_NOT_FOUND);
    EXPECT_EQ(tempo.dblTempo, 0.0);  // left alone: the engine falls back to 120
    // A tempo set on the segment makes one.
    tempo.dblTempo = 100.0;
    EXPECT_EQ(plain->SetParam(GUID_TempoParam, 0xFFFFFFFF, DMUS_SEG_ALLTRACKS, 0, &tempo), S_OK);
    tempo = {};
    EXPECT_EQ(plain->GetParam(GUID_TempoParam, 0xFFFFFFFF, DMUS_SEG_ANYTRACK, 2000, nullptr, &tempo), S_OK);
    EXPECT_DOUBLE_EQ(tempo.dblTempo, 100.0);
    plain->Release();
}

TEST_F(SegmentParams, TimeSignatureAndSetOnlyParameters)
{
    DMUS_TIMESIGNATURE signature = {};
    ASSERT_EQ(segment->GetParam(GUID_TimeSignature, 0xFFFFFFFF, DMUS_SEG_ANYTRACK, 100, nullptr, &signature), S_OK);
    EXPECT_EQ(signature.bBeatsPerMeasure, 3);
    EXPECT_EQ(signature.bBeat, 4);
    EXPECT_EQ(signature.mtTime, -100);

    int value = 0;
    for (const GUID* type : {&GUID_StandardMIDIFile, &GUID_Download, &GUID_Unload, &GUID_ConnectToDLSCollection})
        EXPECT_EQ(segment->GetParam(*type, 0xFFFFFFFF, DMUS_SEG_ANYTRACK, 0, nullptr, &value), DMUS_E_GET_UNSUPPORTED);
    EXPECT_EQ(segment->GetParam(GUID_ChordParam, 0xFFFFFFFF, DMUS_SEG_ANYTRACK, 0, nullptr, &value),
              DMUS_E_TRACK_NOT_FOUND);

    // The engine's retry: all tracks first, then index 0; both accepted here.
    EXPECT_EQ(segment->SetParam(GUID_StandardMIDIFile, 0xFFFFFFFF, DMUS_SEG_ALLTRACKS, 0, nullptr), S_OK);
    EXPECT_EQ(segment->SetParam(GUID_StandardMIDIFile, 0xFFFFFFFF, 0, 0, nullptr), S_OK);
    EXPECT_EQ(segment->SetParam(GUID_StandardMIDIFile, 0xFFFFFFFF, 3, 0, nullptr), DMUS_E_TRACK_NOT_FOUND);
    EXPECT_TRUE(dmusic::GetSegmentModel(segment)->standardMidiFile);
    EXPECT_EQ(segment->SetParam(GUID_Download, 0xFFFFFFFF, DMUS_SEG_ALLTRACKS, 0, nullptr), E_POINTER);
    EXPECT_EQ(segment->SetParam(GUID_ConnectToDLSCollection, 0xFFFFFFFF, 0, 0, nullptr), E_POINTER);
}

// The performance's handler sees the download with the segment's model.
struct CDownloadRecord {
    static inline int calls = 0;
    static inline bool lastUnload = false;
    static inline IUnknown* lastTarget = nullptr;
    static HRESULT Handler(IUnknown* target, const std::shared_ptr<const dmusic::CSegmentModel>& model, bool unload)
    {
        ++calls;
        lastUnload = unload;
        lastTarget = target;
        return model ? S_OK : E_FAIL;
    }
};

TEST_F(SegmentParams, DownloadAndUnloadReachThePerformanceHandler)
{
    const auto previous = dmusic::GetSegmentDownloadHandler();
    dmusic::SetSegmentDownloadHandler(&CDownloadRecord::Handler);
    IUnknown* target = loader;  // any object stands in for the performance
    EXPECT_EQ(segment->SetParam(GUID_Download, 0xFFFFFFFF, DMUS_SEG_ALLTRACKS, 0, target), S_OK);
    EXPECT_EQ(CDownloadRecord::calls, 1);
    EXPECT_FALSE(CDownloadRecord::lastUnload);
    EXPECT_EQ(CDownloadRecord::lastTarget, target);
    EXPECT_TRUE(dmusic::GetSegmentModel(segment)->downloaded);
    EXPECT_EQ(segment->SetParam(GUID_Unload, 0xFFFFFFFF, DMUS_SEG_ALLTRACKS, 0, target), S_OK);
    EXPECT_TRUE(CDownloadRecord::lastUnload);
    EXPECT_FALSE(dmusic::GetSegmentModel(segment)->downloaded);
    dmusic::SetSegmentDownloadHandler(previous);
}

TEST_F(SegmentParams, LengthRepeatsStartAndLoopPoints)
{
    MUSIC_TIME length = 0;
    ASSERT_EQ(segment->GetLength(&length), S_OK);
    EXPECT_EQ(length, 8 * 768 + 1);
    EXPECT_EQ(segment->SetStartPoint(length + 1), DMUS_E_OUT_OF_RANGE);
    EXPECT_EQ(segment->SetStartPoint(-1), DMUS_E_OUT_OF_RANGE);
    EXPECT_EQ(segment->SetStartPoint(1536), S_OK);
    MUSIC_TIME start = 0;
    EXPECT_EQ(segment->GetStartPoint(&start), S_OK);
    EXPECT_EQ(start, 1536);
    // The snapshot the performance takes carries the start point.
    EXPECT_EQ(dmusic::GetSegmentModel(segment)->startPoint, 1536);
    EXPECT_EQ(segment->SetLength(1000), DMUS_E_OUT_OF_RANGE);  // before the start point
    EXPECT_EQ(segment->SetLength(4000), S_OK);
    EXPECT_EQ(segment->GetLength(&length), S_OK);
    EXPECT_EQ(length, 4000);

    DWORD repeats = 7;
    EXPECT_EQ(segment->SetRepeats(DMUS_SEG_REPEAT_INFINITE), S_OK);
    EXPECT_EQ(segment->GetRepeats(&repeats), S_OK);
    EXPECT_EQ(repeats, DMUS_SEG_REPEAT_INFINITE);

    EXPECT_EQ(segment->SetLoopPoints(100, 5000), DMUS_E_OUT_OF_RANGE);
    EXPECT_EQ(segment->SetLoopPoints(768, 3072), S_OK);
    MUSIC_TIME loopStart = 0, loopEnd = 0;
    EXPECT_EQ(segment->GetLoopPoints(&loopStart, &loopEnd), S_OK);
    EXPECT_EQ(loopStart, 768);
    EXPECT_EQ(loopEnd, 3072);
}

TEST_F(SegmentParams, CloneKeepsTheRangeAndTheTempoInEffect)
{
    IDirectMusicSegment* part = nullptr;
    ASSERT_EQ(segment->Clone(3072, 0, &part), S_OK);
    auto model = dmusic::GetSegmentModel(part);
    EXPECT_EQ(model->length, 3072 + 1);  // to the segment's end
    ASSERT_FALSE(model->tempos.empty());
    EXPECT_EQ(model->tempos[0].time, 0);
    EXPECT_DOUBLE_EQ(model->tempos[0].bpm, 80.0);
    EXPECT_EQ(CountNotes(*model), 0);  // the only note starts before the clone
    part->Release();
}

TEST_F(SegmentParams, InterfacesAndClassTable)
{
    IUnknown* unknown = nullptr;
    ASSERT_EQ(segment->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    IDirectMusicObject* object = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IDirectMusicObject, reinterpret_cast<void**>(&object)), S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(segment->QueryInterface(IID_IDirectMusicLoader, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    DMUS_OBJECTDESC desc = {};
    desc.dwSize = sizeof desc;
    EXPECT_EQ(object->GetDescriptor(&desc), S_OK);
    EXPECT_TRUE(IsEqualGUID(desc.guidClass, CLSID_DirectMusicSegment));
    object->Release();
    unknown->Release();

    for (const GUID* clsid : {&CLSID_DirectMusicSegment, &CLSID_DirectMusicCollection, &CLSID_DirectMusicLoader}) {
        IUnknown* made = nullptr;
        EXPECT_EQ(CoCreateInstance(*clsid, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&made)), S_OK);
        if (made) made->Release();
        EXPECT_EQ(CoCreateInstance(*clsid, reinterpret_cast<IUnknown*>(segment), CLSCTX_ALL, IID_IUnknown,
                                   reinterpret_cast<void**>(&made)),
                  CLASS_E_NOAGGREGATION);
    }
}

}  // namespace
}  // namespace dmusictest
