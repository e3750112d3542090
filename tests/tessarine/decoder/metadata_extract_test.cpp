// ExtractMetadata over files made here and the shared karaoke file: the exact
// field names, values and order, and the file left as it was found.
#include "tessarine/decoder/metadata.h"

#include "tests/support/chunk_writer.h"
#include "tests/support/memory_host_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using testsupport::ByteVector;
using testsupport::CChunkWriter;
using testsupport::CMemoryHostFile;
using testsupport::CRecordingFileInfo;
using testsupport::CSmfBuilder;
using testsupport::CSmfTrack;
using testsupport::MakeRmid;
using Fields = std::vector<CRecordingFileInfo::CField>;

namespace {

void ExpectUntouched(const CMemoryHostFile& file)
{
    EXPECT_EQ(file.writeCalls, 0);
    EXPECT_EQ(file.closeCalls, 0);
    EXPECT_EQ(file.releaseCalls, 0);
    EXPECT_EQ(file.truncateCalls, 0);
    EXPECT_EQ(file.openCalls, 0);
}

Fields Extract(const ByteVector& bytes, bool expectResult = true)
{
    CMemoryHostFile file(bytes);
    CRecordingFileInfo info;
    EXPECT_EQ(ExtractMetadata(&info, &file), expectResult);
    ExpectUntouched(file);
    return info.RecordedFields();
}

// A format 1 file with every kind of meta event the extraction tells apart.
ByteVector MakeSongSmf()
{
    CSmfBuilder smf(1, 96);
    smf.AddTrack()
        .Meta(0, 3, "Conductor")
        .Meta(0, 2, "(c) 2026 Example Music")
        .Meta(0, 1, "Intro text")
        .Tempo(0, 500000)
        .Meta(0, 6, "Verse marker")
        .Meta(0, 7, "Cue point")
        .Meta(0, 0x7F, "sequencer data");
    smf.AddTrack()
        .Meta(0, 3, "Piano")
        .Meta(0, 4, "Acoustic Grand")
        .ProgramChange(0, 0, 0)
        .NoteOn(0, 0, 60, 100)
        .Meta(0, 5, "La")
        .NoteOff(96, 0, 60)
        // The byte before the marker is the delta 0x60: not a meta event here.
        .Meta(96, 1, "after a delta of 96")
        // A delta of 128 ends in 0x00 and is found.
        .Meta(128, 1, "after a delta of 128")
        .Meta(0, 1, std::string_view("cut\0hidden", 10));
    // The last 80 bytes are never searched for meta events: a track of notes
    // keeps the texts above out of them.
    CSmfTrack& notes = smf.AddTrack();
    for (uint8_t key = 60; key < 80; ++key) notes.NoteOn(0, 1, key, 90).NoteOff(48, 1, key);
    return smf.Build();
}

const Fields songFields = {
    {"track01", "Conductor"},
    {"copyright", "(c) 2026 Example Music"},
    {"text01", "Intro text"},
    {"misc01", "Cue point"},
    {"track02", "Piano"},
    {"instrument01", "Acoustic Grand"},
    {"text02", "after a delta of 128"},
    {"text03", "cut"},
};

CChunkWriter TextDisp(std::string_view text) { return CChunkWriter().Chunk("DISP", CChunkWriter().Le32(1).Text(text)); }

}  // namespace

TEST(ExtractMetadata, FormatOneSmfGivesMetaTextsInOrder) { EXPECT_EQ(Extract(MakeSongSmf()), songFields); }

// The meta events come first, DISP goes on with the shared misc counter, the
// INFO list comes last, and both copyrights appear, the meta event's first.
TEST(ExtractMetadata, RmidGivesMetaThenDispThenInfo)
{
    CChunkWriter extra;
    extra
        .List("INFO", CChunkWriter()
                          .Chunk("INAM", "Song Name")
                          .Chunk("ICOP", "RIFF copyright")
                          .Chunk("IART", "Artist")
                          .Chunk("IXYZ", "unknown id")
                          .Chunk("ISFT", "Sequencer 1.0"))
        .Raw(TextDisp("Display title"));
    Fields expected = songFields;
    expected.push_back({"misc02", "Display title"});
    expected.push_back({"name", "Song Name"});
    expected.push_back({"copyright", "RIFF copyright"});
    expected.push_back({"artist", "Artist"});
    expected.push_back({"software", "Sequencer 1.0"});
    EXPECT_EQ(Extract(MakeRmid(MakeSongSmf(), extra)), expected);
}

// Bytes that read as meta events: 0x00 0xFF, a text type, a length, text.
CChunkWriter FakeMetaEvents()
{
    CChunkWriter junk;
    junk.Fill(12, 0x11).U8(0x00).U8(0xFF).U8(0x01).U8(0x04).U8(0x09).U8(0x02).U8(0xFC).U8(0x03);
    junk.Fill(12, 0x22).U8(0x00).U8(0xFF).U8(0x02).U8(0x02).U8(0x04).U8(0xF8);
    junk.Fill(12, 0x33).U8(0x00).U8(0xFF).U8(0x03).U8(0x03).Text("abc").Fill(12, 0x44);
    return junk;
}

// An IFF chunk with a big-endian size, as XMI and SMF have them.
CChunkWriter BigEndianChunk(std::string_view id, const CChunkWriter& body)
{
    return CChunkWriter().FourCc(id).Be32(uint32_t(body.Size())).Raw(body);
}

// Meta events are searched for only in the event chunks (SMF tracks, XMI
// EVNT): what looks like one in an embedded DLS, an XMI's timbres or a
// segment's binary chunks is no tag.
TEST(ExtractMetadata, MetaEventsComeOnlyFromEventChunks)
{
    const CChunkWriter dls = CChunkWriter().Riff(
        "DLS ",
        CChunkWriter().List("wvpl", CChunkWriter().List("wave", CChunkWriter().Chunk("data", FakeMetaEvents()))));
    CChunkWriter xmiEvents;
    xmiEvents.U8(0x00).U8(0xFF).U8(0x03).U8(0x04).Text("Lead").U8(0x10);
    xmiEvents.U8(0x90).U8(60).U8(100).U8(0x20).U8(0x00).U8(0xFF).U8(0x01).U8(0x03).Text("end").Fill(100, 0x01);
    CChunkWriter xmiSequence;
    xmiSequence.Text("XMID").Raw(BigEndianChunk("TIMB", FakeMetaEvents())).Raw(BigEndianChunk("EVNT", xmiEvents));
    const CChunkWriter xmi =
        CChunkWriter()
            .Raw(
                BigEndianChunk("FORM", CChunkWriter().Text("XDIR").Raw(BigEndianChunk("INFO", CChunkWriter().Le16(1)))))
            .Raw(BigEndianChunk("CAT ", CChunkWriter().Text("XMID").Raw(BigEndianChunk("FORM", xmiSequence))));
    const CChunkWriter segment = CChunkWriter().Riff(
        "DMSG", CChunkWriter().Chunk("segh", FakeMetaEvents()).Chunk("guid", FakeMetaEvents()).Fill(100, 0x01));
    const struct {
        const char* name;
        ByteVector bytes;
        Fields expected;
    } rows[] = {
        {"bare SMF", MakeSongSmf(), songFields},
        {"RMID with a DLS", MakeRmid(MakeSongSmf(), dls), songFields},
        {"XMI", xmi, {{"track01", "Lead"}, {"text01", "end"}}},
        {"segment", segment, {}},
    };
    for (const auto& row : rows) EXPECT_EQ(Extract(row.bytes), row.expected) << row.name;
}

TEST(ExtractMetadata, EveryInfoIdHasItsField)
{
    const std::pair<const char*, const char*> table[] = {
        {"IARL", "archival"},   {"IART", "artist"},   {"ICMS", "commissioner"}, {"ICMT", "comment"},
        {"ICOP", "copyright"},  {"ICRD", "created"},  {"IENG", "engineer"},     {"IGNR", "genre"},
        {"IKEY", "keywords"},   {"IMED", "medium"},   {"INAM", "name"},         {"IPRD", "product"},
        {"ISBJ", "subject"},    {"ISFT", "software"}, {"ISRC", "source"},       {"ISRF", "source_form"},
        {"ITCH", "technician"},
    };
    CChunkWriter body;
    Fields expected;
    for (const auto& [id, field] : table) {
        body.Chunk(id, std::string("value of ") + id);
        expected.push_back({field, std::string("value of ") + id});
    }
    EXPECT_EQ(Extract(CChunkWriter().List("INFO", body).Bytes()), expected);
}

TEST(ExtractMetadata, TwoInfoListsGiveTheirFieldsInFileOrder)
{
    CChunkWriter file;
    file.List("INFO", CChunkWriter().Chunk("INAM", "First").Chunk("IGNR", "Jazz"))
        .Chunk("junk", ByteVector(200, 0x01))
        .List("INFO", CChunkWriter().Chunk("INAM", "Second").Chunk("ICMT", "Note"));
    const Fields expected = {{"name", "First"}, {"genre", "Jazz"}, {"name", "Second"}, {"comment", "Note"}};
    EXPECT_EQ(Extract(file.Bytes()), expected);
}

// An odd subchunk followed by its pad, one followed directly by the next ID,
// and an odd last subchunk whose pad the list size leaves out.
TEST(ExtractMetadata, OddSubchunksWithAndWithoutPad)
{
    CChunkWriter body;
    body.Chunk("INAM", "abc").Chunk("IART", "xyz", false).Chunk("ICMT", "even").Chunk("IKEY", "odd", false);
    CChunkWriter file;
    file.FourCc("LIST").Le32(uint32_t(body.Size() + 4)).FourCc("INFO").Raw(body).U8(0);
    file.Chunk("pad?", ByteVector(170, 0x01)).List("INFO", CChunkWriter().Chunk("ISBJ", "after"));
    const Fields expected = {
        {"name", "abc"}, {"artist", "xyz"}, {"comment", "even"}, {"keywords", "odd"}, {"subject", "after"}};
    EXPECT_EQ(Extract(file.Bytes()), expected);
}

TEST(ExtractMetadata, DispOfOtherTypesAddsNothingButTheSearchGoesOn)
{
    CChunkWriter file;
    file.Fill(100, 0x01)
        .Chunk("DISP", CChunkWriter().Le32(8).Raw(ByteVector(40, 0x02)))
        // A size below 4 cannot hold its type: skipped.
        .FourCc("DISP")
        .Le32(2)
        .Le32(1)
        .Raw(TextDisp("first"))
        .Fill(200, 0x01)
        .Raw(TextDisp(std::string_view("sec\0ond", 7)));
    const Fields expected = {{"misc01", "first"}, {"misc02", "sec"}};
    EXPECT_EQ(Extract(file.Bytes()), expected);
}

// The last chunk of a file is read even when nothing follows its data.
TEST(ExtractMetadata, DispEndingTheFileIsRead)
{
    CChunkWriter file;
    file.Fill(200, 0x01).Raw(TextDisp("last"));
    EXPECT_EQ(Extract(file.Bytes()), (Fields{{"misc01", "last"}}));
}

// The counter is raised before the length is checked: an event skipped for its
// length leaves a gap.
TEST(ExtractMetadata, SkippedEventLeavesAGapInTheNumbering)
{
    CSmfBuilder smf;
    CSmfTrack& track = smf.AddTrack();
    track.Meta(0, 1, "one");
    track.events.Vlq(0).U8(0xFF).U8(1).Vlq(0x0FFFFFFF).Text("short");
    track.Meta(0, 1, "three").Meta(0, 3, "name");
    track.events.Fill(100, 0x01);
    const Fields expected = {{"text01", "one"}, {"text03", "three"}, {"track01", "name"}};
    EXPECT_EQ(Extract(smf.Build()), expected);
}

TEST(ExtractMetadata, SharedKaraokeFile)
{
    std::ifstream in(TESSARINE_TESTDATA_DIR "/midi/test-karaoke-kar.mid", std::ios::binary);
    ASSERT_TRUE(in) << "missing shared test file";
    const ByteVector bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Fields expected = {
        {"track01", "Karaoke .KAR Test"},
        {"copyright", "https://jazz-soft.net"},
        {"text01", "Testing Karaoke in .kar format.\n"},
        {"track02", "Lyrics"},
        {"text02", "@TMary Was A Little Lame"},
        {"text03", "\\Ma"},
    };
    EXPECT_EQ(Extract(bytes), expected);
}

TEST(ExtractMetadata, SmallFileGivesItsMetaFields)
{
    CSmfBuilder smf(0, 96);
    smf.AddTrack().Meta(0, 3, "Tiny");
    const ByteVector bytes = smf.Build();
    ASSERT_LE(bytes.size(), 80u);
    const Fields expected = {{"track01", "Tiny"}};
    EXPECT_EQ(Extract(bytes), expected);
}

// A file copied before (standing at its end) still shows its tags, and is
// left where it stood.
TEST(ExtractMetadata, ScansFromTheStartAndRestoresThePosition)
{
    CMemoryHostFile file(MakeSongSmf());
    ASSERT_EQ(file.SeekFrom(0, HOST_SEEK_END), 1);
    const int64_t end = file.GetPosition();
    CRecordingFileInfo info;
    EXPECT_TRUE(ExtractMetadata(&info, &file));
    EXPECT_EQ(info.RecordedFields(), songFields);
    EXPECT_EQ(file.GetPosition(), end);
    EXPECT_EQ(info.setFieldCalls, 0);
    ExpectUntouched(file);
}

TEST(ExtractMetadata, UnsearchableFilesAreRefusedUnread)
{
    CRecordingFileInfo info;
    EXPECT_FALSE(ExtractMetadata(&info, nullptr));
    EXPECT_FALSE(ExtractMetadata(nullptr, nullptr));

    CMemoryHostFile stream(MakeSongSmf());
    stream.isStream = true;
    EXPECT_FALSE(ExtractMetadata(&info, &stream));
    CMemoryHostFile noSeek(MakeSongSmf());
    noSeek.canSeek = false;
    EXPECT_FALSE(ExtractMetadata(&info, &noSeek));
    CMemoryHostFile badSize(MakeSongSmf());
    badSize.ReportSize(-5);
    EXPECT_FALSE(ExtractMetadata(&info, &badSize));
    CMemoryHostFile badPosition(MakeSongSmf());
    badPosition.ReportPosition(-1);
    EXPECT_FALSE(ExtractMetadata(&info, &badPosition));

    EXPECT_TRUE(info.RecordedFields().empty());
    for (const CMemoryHostFile* file : {&stream, &noSeek, &badSize, &badPosition}) {
        EXPECT_EQ(file->readCalls, 0);
        ExpectUntouched(*file);
    }
}
