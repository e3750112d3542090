// FindInFile: distances from the file's position, occurrences across block
// ends, the short searches that find nothing, refusals, the restored position.
#include "tessarine/decoder/metadata.h"

#include "tests/support/chunk_writer.h"
#include "tests/support/memory_host_file.h"

#include <gtest/gtest.h>

#include <cstring>

using testsupport::ByteVector;
using testsupport::CMemoryHostFile;

namespace {

void ExpectUntouched(const CMemoryHostFile& file)
{
    EXPECT_EQ(file.writeCalls, 0);
    EXPECT_EQ(file.closeCalls, 0);
    EXPECT_EQ(file.releaseCalls, 0);
    EXPECT_EQ(file.truncateCalls, 0);
}

}  // namespace

// Filling with the pattern's first byte makes every block full of partial
// matches, so a scan that does not step on from p + 1 or mishandles the
// block's end is caught at some offset.
TEST(FindInFile, FindsEveryOffsetAmongPartialMatches)
{
    const size_t size = 1000;
    for (size_t offset = 0; offset + 4 <= size; ++offset) {
        ByteVector bytes(size, 'L');
        std::memcpy(bytes.data() + offset, "LIST", 4);
        // A decoy missing its last byte just before the real one.
        if (offset >= 3)
            std::memcpy(bytes.data() + offset - 3, "LIS", 3);
        CMemoryHostFile file(bytes);
        ASSERT_EQ(FindInFile(&file, "LIST", 4), int32_t(offset)) << "offset " << offset;
        ASSERT_EQ(file.GetPosition(), 0);
    }
}

TEST(FindInFile, DistanceIsFromTheCurrentPositionWhichIsRestored)
{
    ByteVector bytes(3000, 0x11);
    std::memcpy(bytes.data() + 100, "DISP", 4);
    std::memcpy(bytes.data() + 2500, "DISP", 4);
    CMemoryHostFile file(bytes);

    ASSERT_EQ(file.Seek(50), 1);
    EXPECT_EQ(FindInFile(&file, "DISP", 4), 50);
    EXPECT_EQ(file.GetPosition(), 50);

    ASSERT_EQ(file.Seek(101), 1);
    EXPECT_EQ(FindInFile(&file, "DISP", 4), 2399);
    EXPECT_EQ(file.GetPosition(), 101);

    ASSERT_EQ(file.Seek(2501), 1);
    EXPECT_EQ(FindInFile(&file, "DISP", 4), -1);
    EXPECT_EQ(file.GetPosition(), 2501);
    ExpectUntouched(file);
}

TEST(FindInFile, OccurrenceInTheLastBytesIsFound)
{
    ByteVector bytes(5000, 0);
    std::memcpy(bytes.data() + 4996, "LIST", 4);
    CMemoryHostFile file(bytes);
    EXPECT_EQ(FindInFile(&file, "LIST", 4), 4996);
}

// Up to 40 pattern lengths the block equals the pattern and nothing is found;
// one byte more and the search works.
TEST(FindInFile, SearchOverFortyPatternLengthsOrFewerFindsNothing)
{
    const uint8_t marker[2] = {0x00, 0xFF};
    for (size_t size : {2, 3, 40, 80}) {
        ByteVector bytes(size, 0x22);
        bytes[0] = 0x00;
        bytes[1] = 0xFF;
        CMemoryHostFile file(bytes);
        EXPECT_EQ(FindInFile(&file, marker, 2), -1) << size;
    }
    ByteVector bytes(81, 0x22);
    bytes[0] = 0x00;
    bytes[1] = 0xFF;
    CMemoryHostFile file81(bytes);
    EXPECT_EQ(FindInFile(&file81, marker, 2), 0);

    ByteVector list(160, 0x22);
    std::memcpy(list.data(), "LIST", 4);
    CMemoryHostFile file160(list);
    EXPECT_EQ(FindInFile(&file160, "LIST", 4), -1);
    list.push_back(0x22);
    CMemoryHostFile file161(list);
    EXPECT_EQ(FindInFile(&file161, "LIST", 4), 0);

    // The rest of the file counts, not its whole size.
    ByteVector tail(1000, 0x22);
    std::memcpy(tail.data() + 930, "LIST", 4);
    CMemoryHostFile file(tail);
    ASSERT_EQ(file.Seek(920), 1);
    EXPECT_EQ(FindInFile(&file, "LIST", 4), -1);
}

TEST(FindInFile, BlocksAreAFortiethOfTheRestInWholePatternLengths)
{
    CMemoryHostFile file(ByteVector(4001, 0x33));
    EXPECT_EQ(FindInFile(&file, "LIST", 4), -1);
    // ceil(4001 / 40 / 4) * 4
    EXPECT_EQ(file.largestReadRequest, 104u);
    EXPECT_LE(file.readCalls, 41);
}

TEST(FindInFile, RefusesBadPatternsAndUnsearchableFilesWithoutReading)
{
    CMemoryHostFile file(ByteVector(500, 0x44));
    EXPECT_EQ(FindInFile(&file, nullptr, 4), -1);
    EXPECT_EQ(FindInFile(&file, "LIST", 0), -1);
    EXPECT_EQ(FindInFile(&file, "LIST", MAX_SEARCH_PATTERN_LENGTH + 1), -1);
    EXPECT_EQ(FindInFile(&file, "LIST", 0xFFFFFFFFu), -1);
    EXPECT_EQ(FindInFile(nullptr, "LIST", 4), -1);
    EXPECT_EQ(file.readCalls, 0);

    CMemoryHostFile noSeek(ByteVector(500, 0x44));
    noSeek.canSeek = false;
    EXPECT_EQ(FindInFile(&noSeek, "\x44", 1), -1);
    CMemoryHostFile negative(ByteVector(500, 0x44));
    negative.ReportSize(-1);
    EXPECT_EQ(FindInFile(&negative, "\x44", 1), -1);
    CMemoryHostFile pastEnd(ByteVector(500, 0x44));
    pastEnd.ReportPosition(501);
    EXPECT_EQ(FindInFile(&pastEnd, "\x44", 1), -1);
    EXPECT_EQ(noSeek.readCalls + negative.readCalls + pastEnd.readCalls, 0);
}

// A read that stops short ends the search as at the end of the file, and the
// position still comes back.
TEST(FindInFile, FailingReadEndsTheSearch)
{
    ByteVector bytes(2000, 0x55);
    std::memcpy(bytes.data() + 1500, "LIST", 4);
    CMemoryHostFile file(bytes);
    file.failReadsAt = 1000;
    ASSERT_EQ(file.Seek(10), 1);
    EXPECT_EQ(FindInFile(&file, "LIST", 4), -1);
    EXPECT_EQ(file.GetPosition(), 10);
    file.failReadsAt = -1;
    EXPECT_EQ(FindInFile(&file, "LIST", 4), 1490);
}
