// The capture store over the real platform buffer: the file receives the
// written stream in whole halves, the limit caps it, the reader's waits end
// on data, on a pending signal, at the cap or after a stall, and clearing
// and destruction leave nothing behind.
#include "tests/tessarine/capture/capture_fixture.h"

#include <platform/clock.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <thread>

namespace {

// Writes a stream of distinct bytes through contiguous Locks.
class CStreamWriter {
public:
    explicit CStreamWriter(IDirectSoundBuffer* buffer, DWORD ring) : buffer(buffer), ring(ring) {}

    void Write(DWORD bytes)
    {
        LPVOID audio1 = nullptr;
        LPVOID audio2 = nullptr;
        DWORD bytes1 = 0;
        DWORD bytes2 = 0;
        ASSERT_EQ(DS_OK, buffer->Lock(offset, bytes, &audio1, &bytes1, &audio2, &bytes2, 0));
        ASSERT_EQ(bytes, bytes1 + bytes2);
        Fill(static_cast<BYTE*>(audio1), bytes1);
        Fill(static_cast<BYTE*>(audio2), bytes2);
        buffer->Unlock(audio1, bytes1, audio2, bytes2);
        offset = (offset + bytes) % ring;
    }

    std::vector<BYTE> stream;
    DWORD offset = 0;

private:
    void Fill(BYTE* region, DWORD length)
    {
        for (DWORD i = 0; i < length; ++i) {
            BYTE value = BYTE((stream.size() * 7 + stream.size() / 251) & 0xFF);
            region[i] = value;
            stream.push_back(value);
        }
    }

    IDirectSoundBuffer* buffer;
    DWORD ring;
};

void ExpectFileIsStreamPrefix(const std::string& path, const std::vector<BYTE>& stream, DWORD ring)
{
    std::vector<BYTE> file = ReadWholeFile(path);
    EXPECT_EQ(0u, file.size() % ring);
    ASSERT_LE(file.size(), stream.size());
    // Everything up to the last completed half, no gap and no repeat.
    EXPECT_GT(file.size() + ring * 2, stream.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), stream.begin()));
}

TEST_F(CaptureTest, FileIsTheWrittenStreamUpToTheLastCompletedHalf)
{
    const DWORD ring = 4000;
    IDirectSoundBuffer* buffer = nullptr;
    CCaptureStore* store = MakeCaptureStore(ring, &buffer);
    store->SetDataLimit(0x7FFFFFFF);
    std::mt19937 random(20261208);
    for (int round = 0; round < 3; ++round) {
        CStreamWriter writer(buffer, ring);
        if (round > 0) {
            store->ClearCapture();
            // After the clear the first half holds zeros below the first Lock.
        }
        std::uniform_int_distribution<DWORD> length(1, ring - 1);
        for (int i = 0; i < 400; ++i) {
            // Mostly short Locks, some that straddle the end, some of the whole ring.
            DWORD bytes = (i % 37 == 0) ? ring : length(random);
            writer.Write(bytes);
            if (bytes == ring) writer.Write(length(random));  // same offset again: no wrap
        }
        if (round == 0) {
            ExpectFileIsStreamPrefix(store->GetTempFileName(), writer.stream, ring);
        } else {
            // The ring starts over at offset 0 after a clear.
            std::vector<BYTE> file = ReadWholeFile(store->GetTempFileName());
            ASSERT_GE(file.size(), ring * 10u);
            EXPECT_EQ(0u, file.size() % ring);
            EXPECT_TRUE(std::equal(file.begin() + ring, file.end(), writer.stream.begin() + ring));
        }
    }
    buffer->Release();
}

TEST_F(CaptureTest, LocksFromSeveralThreadsInTurnKeepTheStream)
{
    const DWORD ring = 4096;
    IDirectSoundBuffer* buffer = nullptr;
    CCaptureStore* store = MakeCaptureStore(ring, &buffer);
    store->SetDataLimit(0x7FFFFFFF);
    CStreamWriter writer(buffer, ring);
    for (int thread = 0; thread < 8; ++thread) {
        std::thread worker([&] {
            for (int i = 0; i < 50; ++i) writer.Write(DWORD(100 + 37 * i + thread));
        });
        worker.join();
    }
    ExpectFileIsStreamPrefix(store->GetTempFileName(), writer.stream, ring);
    buffer->Release();
}

TEST_F(CaptureTest, LimitCapsTheFileAtWholeHalvesAndWakesTheReader)
{
    const DWORD ring = 1000;
    configOutputBuffer.value = 400;
    IDirectSoundBuffer* buffer = nullptr;
    CCaptureStore* store = MakeCaptureStore(ring, &buffer);
    CStreamWriter writer(buffer, ring);
    // With no limit yet every half is dropped and nothing counts as the end.
    for (int i = 0; i < 6; ++i) writer.Write(500);
    EXPECT_EQ(0u, ReadWholeFile(store->GetTempFileName()).size());
    EXPECT_GE(host.CountConsoleLines("All Data Ready"), 2u);
    EXPECT_FALSE(store->IsCaptureEnded());

    store->SetDataLimit(3500);
    CComReference<CCaptureReader> file;
    std::thread reader([&] {
        // Waits for more than the capped file will ever hold.
        file = store->BeginRead(3000);
        file->Finish();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the reader wait
    for (int i = 0; i < 20; ++i) writer.Write(500);
    reader.join();
    EXPECT_NE(nullptr, file.Get());
    EXPECT_EQ(3000u, ReadWholeFile(store->GetTempFileName()).size());
    EXPECT_TRUE(store->IsCaptureEnded());
    // Later waits return at once with what is there.
    CComReference<CCaptureReader> again = store->BeginRead(3000);
    char byte = 0;
    EXPECT_EQ(0u, again->Read(&byte, 1));
    again->Finish();

    // A higher limit lets the capture go on.
    store->SetDataLimit(10000);
    EXPECT_FALSE(store->IsCaptureEnded());
    for (int i = 0; i < 4; ++i) writer.Write(500);
    EXPECT_EQ(5000u, ReadWholeFile(store->GetTempFileName()).size());
    buffer->Release();
}

TEST_F(CaptureTest, WaitsPassOnDataOrPendingSignalAndReadsWhatIsThere)
{
    const DWORD ring = 1000;
    configOutputBuffer.value = 300;
    IDirectSoundBuffer* buffer = nullptr;
    CCaptureStore* store = MakeCaptureStore(ring, &buffer);
    store->SetDataLimit(100000);
    CStreamWriter writer(buffer, ring);
    writer.Write(600);
    writer.Write(600);  // straddles the end of the ring
    writer.Write(100);  // wraps: one half appended, 1000 > 2 x 300 beyond offset 0: signal
    ASSERT_EQ(1000u, ReadWholeFile(store->GetTempFileName()).size());
    EXPECT_EQ(1u, host.CountConsoleLines("Data Ready", 1) - host.CountConsoleLines("All Data Ready"));

    // Enough data: no wait, no log.
    host.ClearConsoleLines();
    CComReference<CCaptureReader> file = store->BeginRead(0);
    std::vector<char> block(300);
    EXPECT_EQ(300u, file->Read(block.data(), 300));
    EXPECT_EQ(0, std::memcmp(block.data(), writer.stream.data(), 300));
    file->Finish();
    EXPECT_EQ(0u, host.CountConsoleLines("Waiting for data"));

    // Not enough data, but the signal is still pending: passes at once.
    file = store->BeginRead(900);
    EXPECT_EQ(1u, host.CountConsoleLines("Waiting for data"));
    EXPECT_EQ(1u, host.CountConsoleLines("Wait Finished"));
    EXPECT_EQ(100u, file->Read(block.data(), 300));
    file->Finish();
    // The file position is back at the end for the writer.
    writer.Write(900);
    writer.Write(10);
    EXPECT_EQ(2000u, ReadWholeFile(store->GetTempFileName()).size());
    buffer->Release();
}

TEST_F(CaptureTest, WaitWithNothingAppendedFailsAfterTenSecondsOfPlatformTime)
{
    CScopedClockRate fast(1000);
    configOutputBuffer.value = 176400;
    CCaptureStore* store = MakeCaptureStore(176400);
    store->SetDataLimit(1000000);
    DWORD start = timeGetTime();
    try {
        store->BeginRead(0);
        ADD_FAILURE() << "the wait returned";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ("error waiting for MIDI event", error.what());
    }
    EXPECT_GE(timeGetTime() - start, captureStallTimeout - 50);
    // The lock was left: another thread can write.
    std::thread writer([&] {
        CCaptureRegion first{}, second{};
        store->BeginWrite(0, 4, 0, first, second);
        store->EndWrite();
    });
    writer.join();

    // The idle time between two tick counts. A writer may stamp its append
    // between the reader's two readings: that is no time idle, not 49 days.
    struct {
        DWORD last, now, idle;
    } const rows[] = {
        {1000, 1000, 0},
        {1000, 11000, 10000},
        {1010, 1000, 0},
        {0xFFFFFF00u, 0x100, 0x200},
    };
    for (const auto& row : rows) EXPECT_EQ(row.idle, CaptureIdleTime(row.last, row.now)) << row.last << " " << row.now;
}

TEST_F(CaptureTest, OutOfRangeLocksStayInsideTheDoubleBuffer)
{
    const DWORD ring = 1000;
    CCaptureStore* store = MakeCaptureStore(ring);
    const BYTE* base = store->GetDoubleBuffer();
    CCaptureRegion first{}, second{};
    for (DWORD offset : {ring, ring + 10, 0xFFFFFFFFu}) {
        for (DWORD bytes : {DWORD(0), DWORD(1), ring, ring + 1, 0xFFFFFFFFu}) {
            store->BeginWrite(offset, bytes, 0, first, second);
            EXPECT_GE(first.pointer, base);
            EXPECT_LE(first.pointer + first.length, base + 2 * ring);
            if (second.length > 0) {
                EXPECT_GE(second.pointer, base);
                EXPECT_LE(second.pointer + second.length, base + 2 * ring);
            }
            EXPECT_LE(first.length + second.length, ring);
            store->EndWrite();
        }
    }
}

TEST_F(CaptureTest, ClearCaptureEmptiesFileBufferAndSignal)
{
    const DWORD ring = 1000;
    configOutputBuffer.value = 100;
    IDirectSoundBuffer* buffer = nullptr;
    CCaptureStore* store = MakeCaptureStore(ring, &buffer);
    store->SetDataLimit(100000);
    CStreamWriter writer(buffer, ring);
    for (int i = 0; i < 5; ++i) writer.Write(700);
    ASSERT_GT(ReadWholeFile(store->GetTempFileName()).size(), 0u);
    ASSERT_EQ(DS_OK, buffer->SetCurrentPosition(800));
    store->ClearCapture();
    EXPECT_EQ(0u, ReadWholeFile(store->GetTempFileName()).size());
    for (DWORD i = 0; i < 2 * ring; ++i) ASSERT_EQ(0, store->GetDoubleBuffer()[i]) << i;
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(store->GetDataReadyEvent(), 0));
    DWORD play = 0;
    ASSERT_EQ(DS_OK, buffer->GetCurrentPosition(&play, nullptr));
    EXPECT_EQ(0u, play);  // moved back to the start
    // lastLockOffset is 0: the next Lock anywhere is no wrap.
    CCaptureRegion first{}, second{};
    store->BeginWrite(600, 10, 0, first, second);
    store->EndWrite();
    EXPECT_EQ(0u, ReadWholeFile(store->GetTempFileName()).size());
    buffer->Release();
}

// The capture file is the one made when the store was created, readable by
// its owner only, however often the capture is cleared: it is never removed
// and made again by name, which would open it to a planted link.
TEST_F(CaptureTest, CaptureFileStaysPrivateAndInPlaceAcrossClears)
{
    const struct {
        const char* name;
        int clears;
    } rows[] = {{"created", 0}, {"cleared once", 1}, {"cleared three times", 3}};
    const mode_t previousMask = umask(022);
    for (const auto& row : rows) {
        IDirectSoundBuffer* buffer = nullptr;
        CCaptureStore* store = MakeCaptureStore(1000, &buffer);
        const std::string path = store->GetTempFileName();
        struct stat created {};
        ASSERT_EQ(0, lstat(path.c_str(), &created)) << row.name;
        store->SetDataLimit(100000);
        CStreamWriter writer(buffer, 1000);
        for (int clear = 0; clear < row.clears; ++clear) {
            for (int i = 0; i < 4; ++i) writer.Write(700);
            store->ClearCapture();
        }
        for (int i = 0; i < 4; ++i) writer.Write(700);
        struct stat now {};
        ASSERT_EQ(0, lstat(path.c_str(), &now)) << row.name;
        EXPECT_TRUE(S_ISREG(now.st_mode)) << row.name;
        EXPECT_EQ(0600u, now.st_mode & 07777) << row.name;
        EXPECT_EQ(created.st_dev, now.st_dev) << row.name;
        EXPECT_EQ(created.st_ino, now.st_ino) << row.name;
        // And it still takes the stream from the start after the clears.
        EXPECT_GE(ReadWholeFile(path).size(), 1000u) << row.name;
        EXPECT_FALSE(store->IsCaptureEnded()) << row.name;
        buffer->Release();
    }
    umask(previousMask);
}

// A capture goes on past 2^31 and 2^32 bytes (3 h 22 min and 6 h 46 min of
// audio): the file is made sparse up to just below the mark, and the halves
// after it are appended, waited for and read back at their 64-bit offsets.
TEST_F(CaptureTest, CaptureHoldsHalvesPastThirtyTwoBitOffsets)
{
    const struct {
        const char* name;
        int64_t before;  // bytes already captured
    } rows[] = {{"up to 2^31", (int64_t{1} << 31) - 1000},
                {"across 2^31", (int64_t{1} << 31) - 1500},
                {"up to 2^32", (int64_t{1} << 32) - 2000},
                {"seven hours in", int64_t{7} * 3600 * 176400}};
    const DWORD ring = 1000;
    configOutputBuffer.value = 400;
    for (const auto& row : rows) {
        IDirectSoundBuffer* buffer = nullptr;
        CCaptureStore* store = MakeCaptureStore(ring, &buffer);
        const std::string path = store->GetTempFileName();
        ASSERT_EQ(0, truncate(path.c_str(), off_t(row.before))) << row.name;
        store->SetDataLimit(row.before + 3 * ring);
        EXPECT_EQ(row.before + 3 * ring, store->GetDataLimit()) << row.name;
        CStreamWriter writer(buffer, ring);
        for (int i = 0; i < 12; ++i) writer.Write(500);
        struct stat status {};
        ASSERT_EQ(0, stat(path.c_str(), &status)) << row.name;
        EXPECT_EQ(row.before + 3 * ring, int64_t(status.st_size)) << row.name;
        EXPECT_TRUE(store->IsCaptureEnded()) << row.name;  // capped at the limit
        for (int64_t offset : {row.before, row.before + 1100, row.before + 2600}) {
            CComReference<CCaptureReader> file = store->BeginRead(offset);
            std::vector<BYTE> block(400);
            const uint32_t got = file->Read(block.data(), 400);
            EXPECT_EQ(std::min<int64_t>(400, row.before + 3 * ring - offset), int64_t(got)) << row.name;
            const auto first = writer.stream.begin() + std::ptrdiff_t(offset - row.before);
            EXPECT_TRUE(std::equal(block.begin(), block.begin() + got, first)) << row.name << " at " << offset;
            file->Finish();
        }
        buffer->Release();  // the next row's buffer replaces it in the wrapper
    }
}

// Where a capture begins when it starts at the play cursor: the file holds
// the stream from the byte the cursor names, wherever the writer stands.
struct CStartRow {
    const char* name;
    std::vector<DWORD> locksBefore;  // from offset 0, while nothing is kept
    DWORD cursor;
    size_t firstByte;  // the stream's index the file begins with
};

class CaptureStartTest : public CaptureTest, public ::testing::WithParamInterface<CStartRow> {};

TEST_P(CaptureStartTest, FileBeginsAtThePlayCursor)
{
    const CStartRow& row = GetParam();
    const DWORD ring = 4000;
    IDirectSoundBuffer* buffer = nullptr;
    CCaptureStore* store = MakeCaptureStore(ring, &buffer);
    CStreamWriter writer(buffer, ring);
    ASSERT_EQ(DS_OK, buffer->SetCurrentPosition(row.cursor));
    DWORD play = 0;
    // A cursor read before the writer's last Lock is refused as the start:
    // by then the writer may hold a lap more than the cursor says.
    for (size_t i = 0; i + 1 < row.locksBefore.size(); ++i) writer.Write(row.locksBefore[i]);
    uint64_t locks = 0;
    ASSERT_TRUE(store->ReadPlayCursor(&play, &locks));
    writer.Write(row.locksBefore.back());
    bool moved = false;
    EXPECT_FALSE(store->StartAtPlayCursor(play, 0x7FFFFFFF, &locks, &moved));
    EXPECT_TRUE(moved);
    ASSERT_TRUE(store->ReadPlayCursor(&play, &locks));
    EXPECT_EQ(play, row.cursor);
    ASSERT_TRUE(store->StartAtPlayCursor(play, 0x7FFFFFFF, &locks, &moved));
    EXPECT_FALSE(moved);
    for (int i = 0; i < 12; ++i) writer.Write(1000);
    const std::vector<BYTE> file = ReadWholeFile(store->GetTempFileName());
    ASSERT_GE(file.size(), size_t(ring));
    ASSERT_LE(row.firstByte + file.size(), writer.stream.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), writer.stream.begin() + std::ptrdiff_t(row.firstByte)));
    // Once begun, the start stays where it is.
    EXPECT_FALSE(store->ReadPlayCursor(&play));
    EXPECT_FALSE(store->StartAtPlayCursor(row.cursor, 0x7FFFFFFF));
    buffer->Release();
}

INSTANTIATE_TEST_SUITE_P(Writers, CaptureStartTest,
                         ::testing::Values(CStartRow{"AheadInTheSameLap", {3000}, 1000, 1000},
                                           CStartRow{"LockRanIntoTheNextLap", {3800, 400}, 3900, 3900},
                                           CStartRow{"CursorJustPastTheWrap", {3800, 400}, 100, 4100},
                                           CStartRow{"WrappedAheadOfTheCursor", {3800, 400, 300}, 3600, 3600},
                                           CStartRow{"WriterLate", {1000}, 2500, 2500},
                                           CStartRow{"LateWriterRanIntoTheNextLap", {3800, 400}, 1000, 5000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureTest, DestructionRemovesTheFile)
{
    IDirectSoundBuffer* buffer = nullptr;
    CCaptureStore* store = MakeCaptureStore(176400, &buffer);
    std::string path = store->GetTempFileName();
    EXPECT_NE(std::string::npos, path.find("KTDM"));
    EXPECT_TRUE(FileExists(path));
    capture->Release();  // the wrapper's reference goes with it
    capture = nullptr;
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(0u, buffer->Release());
    EXPECT_FALSE(FileExists(path));
}

TEST_F(CaptureTest, MissingTemporaryFolderMakesAStoreThatRefusesToServe)
{
    const char* previous = std::getenv("TMPDIR");
    std::string saved = previous != nullptr ? previous : "";
    setenv("TMPDIR", "/nonexistent/tessarine-capture", 1);
    IDirectSoundBuffer* buffer = nullptr;
    CCaptureStore* store = MakeCaptureStore(1000, &buffer);
    if (previous != nullptr)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    ASSERT_NE(nullptr, store);
    EXPECT_TRUE(store->IsCaptureEnded());
    store->SetDataLimit(100000);
    CStreamWriter writer(buffer, 1000);
    for (int i = 0; i < 5; ++i) writer.Write(700);  // halves go nowhere, nothing crashes
    EXPECT_THROW(store->BeginRead(0), std::runtime_error);
    store->ClearCapture();
    EXPECT_THROW(store->BeginRead(0), std::runtime_error);
    EXPECT_EQ(1u, buffer->Release());  // the wrapper keeps the last one
}

}  // namespace
