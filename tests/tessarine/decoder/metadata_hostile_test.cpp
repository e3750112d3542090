// Malformed and hostile files: every scan ends without reading past the file,
// asking for more than it holds, wrapping a size, or looping; what was found
// before the damage stays.
#include "tessarine/decoder/metadata.h"

#include "tests/support/chunk_writer.h"
#include "tests/support/memory_host_file.h"

#include <gtest/gtest.h>

using testsupport::ByteVector;
using testsupport::CChunkWriter;
using testsupport::CMemoryHostFile;
using testsupport::CRecordingFileInfo;
using Fields = std::vector<CRecordingFileInfo::CField>;

namespace {

// Runs the extraction and checks the file was only read and sought, and never
// asked for more bytes at once than it holds.
Fields ExtractHostile(const ByteVector& bytes)
{
    CMemoryHostFile file(bytes);
    CRecordingFileInfo info;
    EXPECT_TRUE(ExtractMetadata(&info, &file));
    EXPECT_LE(file.largestReadRequest, std::max<size_t>(bytes.size(), 1));
    EXPECT_EQ(file.writeCalls + file.closeCalls + file.releaseCalls + file.truncateCalls, 0);
    EXPECT_EQ(file.GetPosition(), 0);
    return info.RecordedFields();
}

CChunkWriter Filler(size_t count) { return CChunkWriter().Fill(count, 0x01); }

// A track header whose size claims more than any file here holds: its
// events run to the file's end.
CChunkWriter OverlongTrack() { return CChunkWriter().Text("MTrk").Be32(0xFFFFFFF0); }

}  // namespace

// 0xFFFFFFFC would wrap to 0 if 4 were added to it in 32 bits, 0xFFFFFFF8 if 8 were.
TEST(ExtractMetadataHostile, SizesNearTwoToThe32AreSkipped)
{
    CChunkWriter file;
    file.Raw(Filler(200))
        .FourCc("DISP")
        .Le32(0xFFFFFFFF)
        .Le32(1)
        .Text("huge")
        .FourCc("DISP")
        .Le32(0xFFFFFFFC)
        .Le32(1)
        .Text("wrap")
        .FourCc("DISP")
        .Le32(3)
        .Le32(1)
        .Text("tiny")
        .Chunk("DISP", CChunkWriter().Le32(1).Text("kept"))
        .FourCc("LIST")
        .Le32(0xFFFFFFFF)
        .FourCc("INFO")
        .Chunk("INAM", "before")
        .FourCc("ICMT")
        .Le32(0xFFFFFFF8)
        .Text("never read")
        .Raw(Filler(200))
        .List("INFO", CChunkWriter().Chunk("IART", "next list"))
        .Raw(Filler(200));
    const Fields expected = {{"misc01", "kept"}, {"name", "before"}, {"artist", "next list"}};
    EXPECT_EQ(ExtractHostile(file.Bytes()), expected);
}

// A list claiming more than the file holds is walked over what is there.
TEST(ExtractMetadataHostile, ListRunningPastTheEnd)
{
    CChunkWriter file;
    file.Raw(Filler(200)).FourCc("LIST").Le32(100000).FourCc("INFO").Chunk("INAM", "only").Chunk("IART", "last");
    EXPECT_EQ(ExtractHostile(file.Bytes()), (Fields{{"name", "only"}, {"artist", "last"}}));

    // Cut inside the second subchunk's header, then inside its data.
    ByteVector cut = file.Bytes();
    cut.resize(cut.size() - 8);
    EXPECT_EQ(ExtractHostile(cut), (Fields{{"name", "only"}}));
    cut.resize(cut.size() - 3);
    EXPECT_EQ(ExtractHostile(cut), (Fields{{"name", "only"}}));
}

// A subchunk running past its list's end ends that list's walk: the bytes
// after the list are not taken as its subchunks.
TEST(ExtractMetadataHostile, SubchunkOverrunningItsListEndsTheWalk)
{
    CChunkWriter inner;
    inner.Chunk("INAM", "inside");
    CChunkWriter file;
    file.Raw(Filler(200))
        .FourCc("LIST")
        .Le32(uint32_t(inner.Size() + 4 - 2))
        .FourCc("INFO")
        .Raw(inner)
        .Chunk("IART", "outside the list")
        .Raw(Filler(200));
    EXPECT_EQ(ExtractHostile(file.Bytes()), (Fields{{"name", "inside"}}));
}

TEST(ExtractMetadataHostile, TruncatedMetaEventLengthEndsThePhase)
{
    CChunkWriter head;
    head.List("INFO", CChunkWriter().Chunk("INAM", "kept")).Raw(Filler(200)).Raw(OverlongTrack());
    head.U8(0x00).U8(0xFF).U8(0x03).U8(0x04).Text("Name");
    // The length's continuation byte is the last byte of the file.
    const ByteVector truncated = CChunkWriter().Raw(head).Raw(Filler(100)).U8(0x00).U8(0xFF).U8(0x01).U8(0x81).Bytes();
    EXPECT_EQ(ExtractHostile(truncated), (Fields{{"track01", "Name"}, {"name", "kept"}}));

    // Cut just after the marker: no type byte.
    const ByteVector noType = CChunkWriter().Raw(head).Raw(Filler(100)).U8(0x00).U8(0xFF).Bytes();
    EXPECT_EQ(ExtractHostile(noType), (Fields{{"track01", "Name"}, {"name", "kept"}}));

    // Data shorter than its length.
    const ByteVector shortData =
        CChunkWriter().Raw(head).Raw(Filler(100)).U8(0x00).U8(0xFF).U8(0x01).U8(0x7F).Text("abc").Bytes();
    EXPECT_EQ(ExtractHostile(shortData), (Fields{{"track01", "Name"}, {"name", "kept"}}));
}

TEST(ExtractMetadataHostile, LengthThatNeverEnds)
{
    CChunkWriter file;
    file.Raw(Filler(100)).Raw(OverlongTrack()).U8(0x00).U8(0xFF).U8(0x01).Fill(5000, 0x80);
    EXPECT_TRUE(ExtractHostile(file.Bytes()).empty());
}

// Five length bytes hold more than 32 bits: 0x100000003 must not become 3.
TEST(ExtractMetadataHostile, OverlongLengthDoesNotWrapToASmallOne)
{
    CChunkWriter file;
    file.Raw(Filler(100))
        .Raw(OverlongTrack())
        .U8(0x00)
        .U8(0xFF)
        .U8(0x01)
        .U8(0x90)
        .U8(0x80)
        .U8(0x80)
        .U8(0x80)
        .U8(0x03)
        .Text("abc")
        .U8(0x00)
        .U8(0xFF)
        .U8(0x01)
        .U8(0x02)
        .Text("ok")
        .Raw(Filler(100));
    EXPECT_EQ(ExtractHostile(file.Bytes()), (Fields{{"text02", "ok"}}));
}

TEST(ExtractMetadataHostile, FilesFullOfPatternsEnd)
{
    ByteVector markers = OverlongTrack().Bytes();
    for (int i = 0; i < 3000; ++i) {
        markers.push_back(0x00);
        markers.push_back(0xFF);
    }
    EXPECT_TRUE(ExtractHostile(markers).empty());

    CChunkWriter lists;
    for (int i = 0; i < 1000; ++i) lists.Text("LIST");
    EXPECT_TRUE(ExtractHostile(lists.Bytes()).empty());

    CChunkWriter disps;
    for (int i = 0; i < 1000; ++i) disps.Text("DISP");
    EXPECT_TRUE(ExtractHostile(disps.Bytes()).empty());

    CChunkWriter tracks;
    for (int i = 0; i < 1000; ++i) tracks.Text(i % 2 ? "MTrk" : "EVNT");
    EXPECT_TRUE(ExtractHostile(tracks.Bytes()).empty());

    EXPECT_TRUE(ExtractHostile({}).empty());
}

// A read failing part-way through keeps what was found before it.
TEST(ExtractMetadataHostile, ReadFaultKeepsEarlierFields)
{
    CChunkWriter bytes;
    bytes.Raw(Filler(200)).Chunk("DISP", CChunkWriter().Le32(1).Text("early")).Raw(Filler(300));
    bytes.Chunk("DISP", CChunkWriter().Le32(1).Text("late")).Raw(Filler(200));
    CMemoryHostFile file(bytes.Bytes());
    file.failReadsAt = 400;
    CRecordingFileInfo info;
    EXPECT_TRUE(ExtractMetadata(&info, &file));
    EXPECT_EQ(info.RecordedFields(), (Fields{{"misc01", "early"}}));
    EXPECT_EQ(file.writeCalls + file.closeCalls + file.releaseCalls, 0);
}
