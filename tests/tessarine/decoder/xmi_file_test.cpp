// The XMI to MIDI conversion, read back by the platform's MIDI reader: the
// bundled example (three tempos) sounds as its MIDI file does, durations
// become note-offs, the first of several songs is taken, and cut or corrupt
// files fail with a reason.
#include "tessarine/decoder/xmi_file.h"

#include "platform/dmusic/loader_formats.h"
#include "tests/support/chunk_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

using testsupport::ByteVector;
using testsupport::CChunkWriter;

namespace {

ByteVector ReadExample(const char* name)
{
    std::ifstream in(std::string(TESSARINE_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    return ByteVector((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// IFF as XMI has it: big-endian sizes, padded to even.
CChunkWriter Iff(const char* id, const ByteVector& body)
{
    CChunkWriter out;
    out.FourCc(id).Be32(uint32_t(body.size())).Raw(body);
    if (body.size() & 1) out.U8(0);
    return out;
}
CChunkWriter IffForm(const char* id, const char* type, const ByteVector& body)
{
    CChunkWriter typed;
    typed.FourCc(type).Raw(body);
    return Iff(id, typed.data);
}
CChunkWriter Sequence(const CChunkWriter& events)
{
    CChunkWriter parts;
    parts.Raw(Iff("TIMB", CChunkWriter().Le16(1).U8(0).U8(0).data)).Raw(Iff("EVNT", events.data));
    return IffForm("FORM", "XMID", parts.data);
}
// FORM XDIR, then a CAT XMID of the sequences.
ByteVector Xmi(const std::vector<CChunkWriter>& songs)
{
    CChunkWriter forms;
    for (const CChunkWriter& events : songs) forms.Raw(Sequence(events));
    CChunkWriter out;
    out.Raw(IffForm("FORM", "XDIR", Iff("INFO", CChunkWriter().Le16(uint16_t(songs.size())).data).data));
    out.Raw(IffForm("CAT ", "XMID", forms.data));
    return out.data;
}

// Music time of an XMI tick (120 a second at 120 quarters a minute, so 60 a
// quarter), without the fraction of a unit.
MUSIC_TIME TickTime(int64_t tick) { return MUSIC_TIME(tick * 768 / 60); }

struct CNote {
    int64_t tick;
    int64_t duration;  // ticks
    BYTE channel;
    BYTE key;
};

// A MIDI file the conversion must sound like, note for note, within one XMI tick.
struct CReference {
    ByteVector smf;
    double seconds;  // its length, worked out by hand
};

struct CConvertRow {
    const char* name;
    ByteVector xmi;
    std::vector<CNote> notes;  // expected exactly, when there is no reference
    int64_t lengthTicks;
    size_t noteCount;  // with a reference: the notes the example gave before
    std::u16string title;
    std::vector<ByteVector> kept;  // byte runs the MIDI file must hold (meta events, sysex)
    CReference reference;
    BYTE beatsPerMeasure = 4;
};

std::vector<dmusic::CMidiEvent> Notes(const dmusic::CSegmentModel& model)
{
    std::vector<dmusic::CMidiEvent> notes;
    for (const auto& e : model.events)
        if (e.kind == dmusic::EMidiEventKind::Note) notes.push_back(e);
    return notes;
}

std::vector<CConvertRow> ConvertRows()
{
    std::vector<CConvertRow> rows;
    // The example as the platform's own XMI reader read it: 20.7866 s of
    // 24 quarters at 100 a minute, 4 at 84 and 4 at 68, in 2494 ticks.
    rows.push_back({"Example",
                    ReadExample("morning_walk.xmi"),
                    {},
                    2494,
                    102,
                    u"Morning Walk",
                    {},
                    {ReadExample("morning_walk.mid"), 24 * 60.0 / 100 + 4 * 60.0 / 84 + 4 * 60.0 / 68}});

    // Durations: a note ending where the next of its key begins, one of no
    // length, a long one that sets the song's length; note-offs and silent
    // note-ons of the file's own play no part.
    CChunkWriter durations;
    durations.U8(0x90).U8(60).U8(100).Vlq(30);
    durations.U8(0x92).U8(40).U8(90).Vlq(500);
    durations.U8(10).U8(0x91).U8(64).U8(80).Vlq(0);
    durations.U8(20).U8(0x90).U8(60).U8(100).Vlq(20).U8(0x80).U8(60).U8(0).U8(0x90).U8(62).U8(0).Vlq(5);
    durations.U8(100).U8(0xFF).U8(0x2F).U8(0);
    durations.U8(50).U8(0x90).U8(70).U8(100).Vlq(1);  // after the end: not read
    rows.push_back({"DurationsBecomeNoteOffs",
                    Xmi({durations}),
                    {{0, 30, 0, 60}, {0, 500, 2, 40}, {10, 0, 1, 64}, {30, 20, 0, 60}},
                    500,
                    4,
                    u"",
                    {},
                    {}});

    // Trailing intervals count, an end-of-track event is not needed, and
    // meta events but the tempo pass through with the sysex.
    CChunkWriter meta;
    meta.U8(0xFF).U8(0x03).Vlq(4).Text("Tune").U8(0xFF).U8(0x51).U8(3).U8(0x0F).U8(0x42).U8(0x40);
    meta.U8(0xFF).U8(0x58).U8(4).U8(3).U8(2).U8(24).U8(8).U8(0xFF).U8(0x01).U8(5).Text("hello");
    meta.U8(0xF0).Vlq(4).U8(0x41).U8(0x10).U8(0x42).U8(0xF7).U8(0xC3).U8(19).U8(0x93).U8(50).U8(70).Vlq(60);
    meta.U8(127).U8(113);
    rows.push_back({"MetaEventsKeptTempoDropped",
                    Xmi({meta}),
                    {{0, 60, 3, 50}},
                    240,
                    1,
                    u"Tune",
                    {{0xFF, 0x01, 5, 'h', 'e', 'l', 'l', 'o'}, {0xF0, 4, 0x41, 0x10, 0x42, 0xF7}, {0xC3, 19}},
                    {},
                    3});

    CChunkWriter first, second;
    first.U8(0x90).U8(70).U8(100).Vlq(60).U8(60);
    second.U8(0x90).U8(80).U8(100).Vlq(120).U8(120);
    rows.push_back({"FirstOfSeveralSongs", Xmi({first, second}), {{0, 60, 0, 70}}, 60, 1, u"", {}, {}});
    rows.push_back({"BareForm", Sequence(first).data, {{0, 60, 0, 70}}, 60, 1, u"", {}, {}});
    return rows;
}

class XmiConvertTest : public ::testing::TestWithParam<CConvertRow> {};

TEST_P(XmiConvertTest, GivesAMidiFileThatPlaysTheSame)
{
    const CConvertRow& row = GetParam();
    std::vector<uint8_t> smf;
    std::string error;
    ASSERT_TRUE(ConvertXmiToSmf(row.xmi.data(), row.xmi.size(), smf, error)) << error;
    EXPECT_TRUE(error.empty());
    // One track, then an empty chunk that is none: a DirectMusic reading a
    // chunk header past the last track finds it (Wine's memory stream
    // fails a read past the end, and the load with it).
    ASSERT_GE(smf.size(), 30u);
    const size_t trackEnd = 22 + (size_t(smf[18]) << 24 | size_t(smf[19]) << 16 | size_t(smf[20]) << 8 | smf[21]);
    ASSERT_EQ(smf.size(), trackEnd + 8);
    EXPECT_NE(std::string(smf.begin() + long(trackEnd), smf.begin() + long(trackEnd) + 4), "MTrk");
    dmusic::CSegmentModel model;
    ASSERT_EQ(dmusic::ReadStandardMidi(smf.data(), smf.size(), model), S_OK);
    // One tempo, 120 a minute: XMI's clock, whatever tempo the file names.
    ASSERT_EQ(model.tempos.size(), 1u);
    EXPECT_EQ(model.tempos[0].bpm, 120.0);
    EXPECT_EQ(model.name, row.title);
    EXPECT_EQ(model.TimeSignatureAt(0).beatsPerMeasure, row.beatsPerMeasure);
    EXPECT_EQ(model.length, TickTime(row.lengthTicks) + 1);  // a unit past the last time
    for (const ByteVector& run : row.kept)
        EXPECT_NE(std::search(smf.begin(), smf.end(), run.begin(), run.end()), smf.end()) << int(run[0]);

    const auto notes = Notes(model);
    ASSERT_EQ(notes.size(), row.noteCount);
    if (row.reference.smf.empty()) {
        for (size_t i = 0; i < notes.size(); ++i) {
            SCOPED_TRACE(i);
            const CNote& want = row.notes[i];
            EXPECT_EQ(notes[i].time, TickTime(want.tick));
            EXPECT_EQ(notes[i].duration, std::max(1, TickTime(want.tick + want.duration) - TickTime(want.tick)));
            EXPECT_EQ(notes[i].pchannel, want.channel);
            EXPECT_EQ(notes[i].data1, want.key);
        }
        return;
    }
    // Against the MIDI file it was made from: the same seconds within a tick.
    dmusic::CSegmentModel midi;
    ASSERT_EQ(dmusic::ReadStandardMidi(row.reference.smf.data(), row.reference.smf.size(), midi), S_OK);
    EXPECT_NEAR(model.LengthInSeconds(), row.reference.seconds, 1.0 / 120);
    const auto expected = Notes(midi);
    ASSERT_EQ(notes.size(), expected.size());
    for (size_t i = 0; i < notes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(model.SecondsAt(notes[i].time), midi.SecondsAt(expected[i].time), 1.0 / 120);
        EXPECT_NEAR(model.SecondsAt(notes[i].time + notes[i].duration),
                    midi.SecondsAt(expected[i].time + expected[i].duration), 1.0 / 120);
        EXPECT_EQ(notes[i].data1, expected[i].data1);
        EXPECT_EQ(notes[i].data2, expected[i].data2);
        EXPECT_EQ(notes[i].pchannel, expected[i].pchannel);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, XmiConvertTest, ::testing::ValuesIn(ConvertRows()),
                         [](const auto& info) { return std::string(info.param.name); });

struct CFailRow {
    std::string name;
    ByteVector bytes;
};

std::vector<CFailRow> FailRows()
{
    CChunkWriter note;
    note.U8(0x90).U8(60).U8(100).Vlq(60);
    const ByteVector good = Xmi({note});
    CChunkWriter longSong;
    for (int i = 0; i < 0x3FFFFFFF / 13 / 127 + 1; ++i) longSong.U8(127);
    longSong.U8(0x90).U8(60).U8(100).Vlq(1);
    std::vector<CFailRow> rows = {
        {"Empty", {}},
        {"RiffNotIff", testsupport::CChunkWriter().Riff("RMID", CChunkWriter().Chunk("data", "x")).data},
        {"DirectoryOnly", IffForm("FORM", "XDIR", Iff("INFO", CChunkWriter().Le16(0).data).data).data},
        {"NoEventChunk", IffForm("FORM", "XMID", Iff("TIMB", CChunkWriter().Le16(0).data).data).data},
        {"CatalogueWithoutSequence", IffForm("CAT ", "XMID", Iff("JUNK", {1, 2}).data).data},
        {"SystemMessage", Xmi({CChunkWriter(note).U8(0xF4)})},
        {"NoteWithoutDuration", Xmi({CChunkWriter().U8(0x90).U8(60).U8(100)})},
        {"DurationCut", Xmi({CChunkWriter().U8(0x90).U8(60).U8(100).U8(0x81)})},
        {"ChannelEventCut", Xmi({CChunkWriter().U8(0xB0).U8(7)})},
        {"MetaPastTheChunk", Xmi({CChunkWriter().U8(0xFF).U8(0x01).U8(9).Text("abc")})},
        {"SysexPastTheChunk", Xmi({CChunkWriter().U8(0xF0).U8(9).U8(0x41)})},
        {"LongerThanDirectMusicPlays", Xmi({longSong})},
    };
    // A chunk that claims more than the file holds.
    ByteVector oversized = good;
    oversized[oversized.size() - 8] = 0x7F;  // the EVNT size's high byte
    rows.push_back({"EventChunkPastTheEnd", oversized});
    // Cut anywhere short of its last byte's pad, the example is a damaged file.
    const ByteVector example = ReadExample("morning_walk.xmi");
    const size_t whole = example.back() == 0 ? example.size() - 1 : example.size();
    for (size_t cut = 0; cut < whole; cut += cut < 64 ? 1 : 97)
        rows.push_back({"ExampleCutAt" + std::to_string(cut), ByteVector(example.begin(), example.begin() + cut)});
    return rows;
}

class XmiRefuseTest : public ::testing::TestWithParam<CFailRow> {};

TEST_P(XmiRefuseTest, CutOrCorruptFilesFailWithAReason)
{
    const CFailRow& row = GetParam();
    std::vector<uint8_t> smf = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(ConvertXmiToSmf(row.bytes.data(), row.bytes.size(), smf, error));
    EXPECT_TRUE(smf.empty());
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, XmiRefuseTest, ::testing::ValuesIn(FailRows()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
