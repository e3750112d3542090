// Every format the writer makes, read back through the loader: a segment file
// made from a MIDI file gives the same notes, tempo map and length;
// RMID carries its DLS; DLS collections list their instruments; segment-file
// details (header fields, bands, skipped tracks, grown items) survive.
#include <dmerror.h>

#include "loader_fixture.h"
#include "tests/support/chunk_writer.h"
#include "tests/support/music_writer.h"

namespace dmusictest {
namespace {

using dmusic::CMidiEvent;
using dmusic::CSegmentModel;
using dmusic::EMidiEventKind;
using testsupport::CSmfBuilder;

// Four bars of 4/4 at 480 per quarter: two at 100 per minute, two at 150.
// By hand: 8 × 0.6 s + 8 × 0.4 s = 8.0 s.
std::vector<uint8_t> TempoChangeSong()
{
    CSmfBuilder smf(1, 480);
    smf.AddTrack().Meta(0, 0x58, testsupport::ByteVector{4, 2, 24, 8}).Tempo(0, 600000).Tempo(3840, 400000).End(3840);
    auto& melody = smf.AddTrack();
    melody.ProgramChange(0, 0, 73).Event(0, {0xB0, 7, 100});
    const uint8_t keys[] = {72, 74, 76, 77, 79, 77, 76, 74, 72, 76, 79, 84, 79, 76, 74, 72};
    for (uint8_t key : keys) melody.NoteOn(0, 0, key, 96).NoteOff(480, 0, key);
    auto& bass = smf.AddTrack();
    for (int bar = 0; bar < 4; ++bar) bass.NoteOn(0, 1, bar % 2 ? 43 : 48, 80).NoteOff(1920, 1, bar % 2 ? 43 : 48);
    bass.Event(0, {0xE1, 0x00, 0x50}).End();
    return smf.Build();
}

std::vector<CMidiEvent> Notes(const CSegmentModel& model)
{
    std::vector<CMidiEvent> notes;
    for (const auto& e : model.events)
        if (e.kind == EMidiEventKind::Note) notes.push_back(e);
    return notes;
}

class FormatsRoundTrip : public CLoaderTest {};

// The song's length runs one unit past its end of track, at its last tempo.
constexpr double kOneUnit = 60.0 / (150 * 768);

TEST_F(FormatsRoundTrip, SegmentFileFromAMidiFileKeepsNotesTempoMapAndLength)
{
    auto midi = ModelOf(TempoChangeSong());
    EXPECT_NEAR(midi->LengthInSeconds(), 8.0 + kOneUnit, 1e-9);
    auto segment = ModelOf(testsupport::WriteSegmentFile(*midi, true));
    EXPECT_EQ(segment->format, dmusic::ESourceFormat::Segment);
    EXPECT_EQ(segment->length, midi->length);
    EXPECT_NEAR(segment->LengthInSeconds(), 8.0 + kOneUnit, 1e-9);
    ASSERT_EQ(segment->tempos.size(), midi->tempos.size());
    for (size_t i = 0; i < midi->tempos.size(); ++i) {
        EXPECT_EQ(segment->tempos[i].time, midi->tempos[i].time);
        EXPECT_DOUBLE_EQ(segment->tempos[i].bpm, midi->tempos[i].bpm);
    }
    const auto a = Notes(*midi), b = Notes(*segment);
    ASSERT_EQ(a.size(), 20u);
    ASSERT_EQ(b.size(), a.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(b[i].time, a[i].time);
        EXPECT_EQ(b[i].duration, a[i].duration);
        EXPECT_EQ(b[i].data1, a[i].data1);
        EXPECT_EQ(b[i].data2, a[i].data2);
        EXPECT_EQ(b[i].pchannel, a[i].pchannel);
    }
    EXPECT_EQ(segment->events.size(), midi->events.size());  // program, volume and bend too
    EXPECT_EQ(segment->TimeSignatureAt(0).beatsPerMeasure, 4);

    // And back to a MIDI file once more.
    auto again = ModelOf(testsupport::WriteStandardMidi(*segment));
    EXPECT_EQ(again->length, midi->length);
    EXPECT_EQ(Notes(*again).size(), a.size());
}

TEST_F(FormatsRoundTrip, RmidCarriesItsMidiDataAndCollection)
{
    const auto dls = testsupport::WriteSineDls(5, 1, "Flute");
    const auto rmid = testsupport::WriteRmid(TempoChangeSong(), {{"INAM", "Scale"}, {"IART", "Tester"}},
                                             "A scale in two tempos", dls);
    auto model = ModelOf(rmid);
    EXPECT_EQ(model->format, dmusic::ESourceFormat::Rmid);
    EXPECT_NEAR(model->LengthInSeconds(), 8.0 + kOneUnit, 1e-9);
    EXPECT_EQ(model->name, u"Scale");
    ASSERT_TRUE(model->embeddedCollection);
    ASSERT_EQ(model->embeddedCollection->instruments.size(), 1u);
    EXPECT_EQ(model->embeddedCollection->instruments[0].patch, (1u << 16) | 5u);
    EXPECT_EQ(model->embeddedCollection->bytes, dls);

    // An RMID whose data chunk is not MIDI has nothing to play.
    HRESULT hr = S_OK;
    EXPECT_EQ(LoadSegmentBytes(testsupport::WriteRmid({1, 2, 3, 4}), &hr), nullptr);
    EXPECT_EQ(hr, DMUS_E_INVALIDFILE);
}

TEST_F(FormatsRoundTrip, CollectionsListTheirInstruments)
{
    DMUS_OBJECTDESC desc =
        Descriptor(CLSID_DirectMusicCollection, Write("sine.dls", testsupport::WriteSineDls(12, 0, "Bell")));
    IDirectMusicCollection* collection = nullptr;
    ASSERT_EQ(loader->GetObject(&desc, IID_IDirectMusicCollection, reinterpret_cast<void**>(&collection)), S_OK);
    DWORD patch = 0;
    WCHAR name[3] = {};
    EXPECT_EQ(collection->EnumInstrument(0, &patch, name, 3), S_OK);
    EXPECT_EQ(patch, 12u);
    EXPECT_EQ(std::u16string(name), u"Be");  // cut to fit, terminated
    EXPECT_EQ(collection->EnumInstrument(1, &patch, name, 3), S_FALSE);
    IDirectMusicInstrument* instrument = nullptr;
    EXPECT_EQ(collection->GetInstrument(13, &instrument), DMUS_E_INVALIDPATCH);
    ASSERT_EQ(collection->GetInstrument(12, &instrument), S_OK);
    EXPECT_EQ(instrument->SetPatch(0x80), DMUS_E_INVALIDPATCH);
    EXPECT_EQ(instrument->SetPatch(0x80000000 | 7), S_OK);
    std::shared_ptr<const dmusic::CCollectionData> data;
    DWORD original = 0, current = 0;
    ASSERT_TRUE(dmusic::GetInstrumentSource(instrument, data, original, current));
    EXPECT_EQ(original, 12u);
    EXPECT_EQ(current, 0x80000007u);
    EXPECT_EQ(data, dmusic::GetCollectionData(collection));
    instrument->Release();

    // Connecting it to a segment hands the segment's model the collection.
    IDirectMusicSegment* segment = LoadSegmentBytes(TempoChangeSong());
    ASSERT_EQ(segment->SetParam(GUID_ConnectToDLSCollection, 0xFFFFFFFF, DMUS_SEG_ALLTRACKS, 0, collection), S_OK);
    EXPECT_EQ(dmusic::GetSegmentModel(segment)->connectedCollection, data);
    segment->Release();
    collection->Release();

    HRESULT hr = S_OK;
    DMUS_OBJECTDESC broken =
        Descriptor(CLSID_DirectMusicCollection,
                   Write("broken.dls",
                         testsupport::CChunkWriter().Riff(
                             "DLS ", testsupport::CChunkWriter().Chunk("colh", testsupport::CChunkWriter().Le32(0)))));
    hr = loader->GetObject(&broken, IID_IDirectMusicCollection, reinterpret_cast<void**>(&collection));
    EXPECT_EQ(hr, DMUS_E_INVALIDFILE);
}

TEST_F(FormatsRoundTrip, SegmentFileHeaderBandsAndSizes)
{
    CSegmentModel model;
    model.length = 4 * 768;
    model.repeats = 2;
    model.startPoint = 768;
    model.loopStart = 768;
    model.loopEnd = 2 * 768;
    model.name = u"Bands";
    model.tempos = {{0, 90.0}};
    model.timeSignatures = {{0, 6, 8, 2}};
    dmusic::CPatchChange piano;
    piano.pchannel = 3;
    piano.program = 1;
    piano.bankMsb = 121;
    piano.volume = 90;
    piano.pan = 20;
    dmusic::CPatchChange pan;
    pan.time = 1536;
    pan.pchannel = 3;
    pan.setsProgram = false;
    pan.pan = 100;
    model.patches = {piano, pan};
    CMidiEvent note;
    note.kind = EMidiEventKind::Note;
    note.pchannel = 19;  // a performance channel beyond the first group
    note.data1 = 64;
    note.data2 = 100;
    note.duration = 700;
    model.events = {note};
    CMidiEvent sysex;
    sysex.kind = EMidiEventKind::Sysex;
    sysex.time = 10;
    sysex.sysex = {0xF0, 0x41, 0x10, 0xF7};
    model.events.push_back(sysex);

    auto read = ModelOf(testsupport::WriteSegmentFile(model, true));
    EXPECT_EQ(read->length, model.length);
    EXPECT_EQ(read->repeats, 2u);
    EXPECT_EQ(read->startPoint, 768);
    EXPECT_EQ(read->loopEnd, 1536);
    EXPECT_EQ(read->name, u"Bands");
    // 6/8 at 90 per minute: four quarters take 4 × 60 / 90 s.
    EXPECT_NEAR(read->LengthInSeconds(), 4 * 60.0 / 90, 1e-9);
    EXPECT_EQ(read->TimeSignatureAt(0).beat, 8);
    ASSERT_EQ(read->patches.size(), 2u);
    EXPECT_EQ(read->patches[0].program, 1);
    EXPECT_EQ(read->patches[0].bankMsb, 121);
    EXPECT_EQ(read->patches[0].volume, 90);
    EXPECT_EQ(read->patches[0].pan, 20);
    EXPECT_FALSE(read->patches[1].setsProgram);
    EXPECT_EQ(read->patches[1].pan, 100);
    EXPECT_EQ(read->patches[1].volume, -1);
    ASSERT_EQ(read->events.size(), 2u);
    EXPECT_EQ(read->events[0].pchannel, 19u);
    EXPECT_EQ(read->events[0].duration, 700);
    EXPECT_EQ(read->events[1].sysex, sysex.sysex);

    // Items larger than this reader knows (a later version's) are stepped over whole.
    testsupport::CChunkWriter items;
    items.Le32(24);
    for (int i = 0; i < 2; ++i)
        items.Le32(i * 768).Le32(100).Le32(0).Le16(0).U8(0x90).U8(60 + i).U8(90).U8(0).Le16(0).Le32(0xDEADBEEF);
    testsupport::CChunkWriter track, trkh;
    trkh.Raw(&CLSID_DirectMusicSeqTrack, 16).Le32(0).Le32(1).FourCc("seqt").Le32(0);
    track.Chunk("trkh", trkh).Chunk("seqt", testsupport::CChunkWriter().Chunk("evtl", items));
    testsupport::CChunkWriter body;
    body.Chunk("segh", testsupport::CChunkWriter().Le32(0).Le32(1536).Le32(0).Le32(0).Le32(0).Le32(0));
    body.List("trkl", testsupport::CChunkWriter().Riff("DMTK", track));
    auto grown = ModelOf(testsupport::CChunkWriter().Riff("DMSG", body).data);
    ASSERT_EQ(Notes(*grown).size(), 2u);
    EXPECT_EQ(Notes(*grown)[1].time, 768);
    EXPECT_EQ(Notes(*grown)[1].data1, 61);

    HRESULT hr = S_OK;
    EXPECT_EQ(LoadSegmentBytes(testsupport::CChunkWriter().Riff("DMSG", testsupport::CChunkWriter()).data, &hr),
              nullptr);
    EXPECT_EQ(hr, DMUS_E_INVALIDFILE);
}

TEST_F(FormatsRoundTrip, SequenceCurvesBecomeControllerSteps)
{
    testsupport::CChunkWriter curves;
    curves.Le32(32);
    // A linear volume swell 0 -> 127 over a quarter note from 768, on channel 2.
    curves.Le32(768).Le32(768).Le32(0).Le32(2).Le16(0).Le16(0).Le16(127).Le16(0);
    curves.U8(DMUS_CURVET_CCCURVE).U8(DMUS_CURVES_LINEAR).U8(7).U8(0).Le16(0).Le16(0);
    // An instant pitch bend to full up at 100.
    curves.Le32(100).Le32(0).Le32(0).Le32(2).Le16(0).Le16(0).Le16(16383).Le16(0);
    curves.U8(DMUS_CURVET_PBCURVE).U8(DMUS_CURVES_INSTANT).U8(0).U8(0).Le16(0).Le16(0);
    testsupport::CChunkWriter track, trkh;
    trkh.Raw(&CLSID_DirectMusicSeqTrack, 16).Le32(0).Le32(1).FourCc("seqt").Le32(0);
    track.Chunk("trkh", trkh).Chunk("seqt", testsupport::CChunkWriter().Chunk("curl", curves));
    testsupport::CChunkWriter body;
    body.Chunk("segh", testsupport::CChunkWriter().Le32(0).Le32(3072).Le32(0).Le32(0).Le32(0).Le32(0));
    body.List("trkl", testsupport::CChunkWriter().Riff("DMTK", track));
    auto model = ModelOf(testsupport::CChunkWriter().Riff("DMSG", body).data);
    ASSERT_EQ(model->events.size(), 1u + 9u);  // the bend, then the swell in eighths of its length
    EXPECT_EQ(model->events[0].kind, EMidiEventKind::PitchBend);
    EXPECT_EQ(model->events[0].time, 100);
    EXPECT_EQ(model->events[0].bend, 16383);
    EXPECT_EQ(model->events[1].kind, EMidiEventKind::ControlChange);
    EXPECT_EQ(model->events[1].data1, 7);
    EXPECT_EQ(model->events[1].data2, 0);
    EXPECT_EQ(model->events[1].time, 768);
    EXPECT_EQ(model->events[9].data2, 127);
    EXPECT_EQ(model->events[9].time, 1536);
    EXPECT_EQ(model->events[5].data2, 64);  // halfway
}

TEST_F(FormatsRoundTrip, AbsurdTemposAreHeldToWhatDirectMusicPlays)
{
    // Found by fuzzing: a tempo item holding a denormal double made the length infinite.
    CSegmentModel model;
    model.length = 768;
    model.tempos = {{0, 1e-320}};
    auto slow = ModelOf(testsupport::WriteSegmentFile(model));
    ASSERT_EQ(slow->tempos.size(), 1u);
    EXPECT_DOUBLE_EQ(slow->tempos[0].bpm, 1.0);
    EXPECT_DOUBLE_EQ(slow->LengthInSeconds(), 60.0);
    model.tempos = {{0, 5000.0}};
    EXPECT_DOUBLE_EQ(ModelOf(testsupport::WriteSegmentFile(model))->tempos[0].bpm, 1000.0);
}

}  // namespace
}  // namespace dmusictest
