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
        if (offset >= 3) std::memcpy(bytes.data() + offset - 3, "LIS", 3);
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

// However little of the file is left to search, an occurrence in it is
// found: small files, and the last bytes of any file.
TEST(FindInFile, TheLastFortyPatternLengthsAreSearchedToo)
{
    struct Row {
        size_t size;
        const char* pattern;
        size_t at;     // where the pattern is written
        size_t start;  // where the search starts
        int32_t found;
    };
    const Row rows[] = {
        {3, "\x00\xFF", 1, 0, 1},     {40, "\x00\xFF", 0, 0, 0},    {80, "\x00\xFF", 77, 0, 77},
        {81, "\x00\xFF", 0, 0, 0},    {160, "LIST", 0, 0, 0},       {160, "LIST", 155, 0, 155},
        {161, "LIST", 0, 0, 0},       {1000, "LIST", 930, 920, 10}, {1000, "LIST", 996, 990, 6},
        {1000, "LIST", 990, 995, -1},
    };
    for (const Row& row : rows) {
        const uint32_t length = uint32_t(std::strlen(row.pattern + 1) + 1);  // the marker starts with a NUL
        ByteVector bytes(row.size, 0x22);
        std::memcpy(bytes.data() + row.at, row.pattern, length);
        CMemoryHostFile file(bytes);
        ASSERT_EQ(file.Seek(int64_t(row.start)), 1);
        EXPECT_EQ(FindInFile(&file, row.pattern, length), row.found) << row.size << " " << row.at;
        EXPECT_EQ(file.GetPosition(), int64_t(row.start));
    }
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
