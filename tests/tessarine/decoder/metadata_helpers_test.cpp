// The byte builders and in-memory host objects the metadata tests stand on:
// a fault in them would make every other test pass or fail for nothing.
#include "tests/support/chunk_writer.h"
#include "tests/support/memory_host_file.h"

#include <gtest/gtest.h>

using testsupport::ByteVector;
using testsupport::CChunkWriter;
using testsupport::CMemoryHostFile;
using testsupport::CRecordingFileInfo;
using testsupport::CSmfBuilder;

TEST(ChunkWriter, VariableLengthQuantitiesAndByteOrder)
{
    EXPECT_EQ(CChunkWriter().Vlq(0).Bytes(), (ByteVector{0x00}));
    EXPECT_EQ(CChunkWriter().Vlq(0x7F).Bytes(), (ByteVector{0x7F}));
    EXPECT_EQ(CChunkWriter().Vlq(0x80).Bytes(), (ByteVector{0x81, 0x00}));
    EXPECT_EQ(CChunkWriter().Vlq(0x3FFF).Bytes(), (ByteVector{0xFF, 0x7F}));
    EXPECT_EQ(CChunkWriter().Vlq(0x0FFFFFFF).Bytes(), (ByteVector{0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(CChunkWriter().Le32(0x01020304).Be32(0x01020304).Bytes(), (ByteVector{4, 3, 2, 1, 1, 2, 3, 4}));
}

TEST(ChunkWriter, OddChunksArePaddedUnlessAskedNot)
{
    EXPECT_EQ(CChunkWriter().Chunk("INAM", "abc").Bytes(),
              (ByteVector{'I', 'N', 'A', 'M', 3, 0, 0, 0, 'a', 'b', 'c', 0}));
    EXPECT_EQ(CChunkWriter().Chunk("INAM", "abc", false).Size(), 11u);
    const CChunkWriter list = CChunkWriter().List("INFO", CChunkWriter().Chunk("ICOP", "x"));
    // LIST, size = type + padded subchunk (4 + 10), INFO, the subchunk.
    ASSERT_EQ(list.Size(), 22u);
    EXPECT_EQ(list.Bytes()[4], 14);
}

TEST(ChunkWriter, SmfHasHeaderTracksAndEndOfTrack)
{
    CSmfBuilder smf(1, 96);
    smf.AddTrack().Meta(0, 3, "A");
    smf.AddTrack().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60);
    const ByteVector bytes = smf.Build();
    const ByteVector header{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 96};
    ASSERT_GE(bytes.size(), header.size());
    EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
    // First track: 00 FF 03 01 'A', then 00 FF 2F 00.
    const ByteVector track1{'M', 'T', 'r', 'k', 0, 0, 0, 9, 0, 0xFF, 3, 1, 'A', 0, 0xFF, 0x2F, 0};
    EXPECT_TRUE(std::equal(track1.begin(), track1.end(), bytes.begin() + 14));
}

TEST(MemoryHostFile, ReadsSeeksAndInjectedFaults)
{
    CMemoryHostFile file({1, 2, 3, 4, 5, 6});
    uint8_t buffer[8] = {};
    EXPECT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(file.GetPosition(), 4);
    EXPECT_EQ(file.Read(buffer, 8), 2u);
    EXPECT_EQ(file.Read(buffer, 8), 0u);
    EXPECT_EQ(file.readsAtEnd, 1);
    EXPECT_EQ(file.SeekFrom(-3, HOST_SEEK_CURRENT), 1);
    EXPECT_EQ(file.GetPosition(), 3);
    EXPECT_EQ(file.Seek(7), 0);
    EXPECT_EQ(file.GetPosition(), 3);

    file.failReadsAt = 4;
    EXPECT_EQ(file.Read(buffer, 8), 1u);
    EXPECT_EQ(buffer[0], 4);
    EXPECT_EQ(file.Read(buffer, 8), 0u);

    file.ReportSize(0xFFFFFFFFLL);
    EXPECT_EQ(file.GetSize(), 0xFFFFFFFFLL);
    EXPECT_EQ(file.writeCalls + file.closeCalls + file.releaseCalls, 0);
}

TEST(RecordingFileInfo, AddAppendsAndSetReplaces)
{
    CRecordingFileInfo info("dir/song.mid");
    info.SetField("codec", "midi");
    info.AddField("copyright", "a");
    info.AddField("copyright", "b");
    info.SetField("codec", "none");
    ASSERT_EQ(info.RecordedFields().size(), 3u);
    EXPECT_EQ(info.RecordedFields()[0], (CRecordingFileInfo::CField{"codec", "none"}));
    EXPECT_EQ(info.RecordedFields()[2], (CRecordingFileInfo::CField{"copyright", "b"}));
    EXPECT_STREQ(info.GetLocation()->GetPath(), "dir/song.mid");
}
