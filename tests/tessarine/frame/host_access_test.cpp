// The routines over the host's file systems, console and audio chunks, and
// the UTF-8/UTF-16 conversions.
#include "fake_host.h"

#include "tessarine/frame/host_access.h"

#include <array>

namespace {

class HostFileAccess : public CFakeHostTest {
protected:
    void SetUp() override
    {
        CFakeHostTest::SetUp();
        declining.canonicalPrefix = "";
        canonicalising.canonicalPrefix = "file://";
        claiming.claimPrefix = "file://";
        claiming.file = &file;
        host.fileSystems = {&declining, &canonicalising, &claiming, &last};
    }
    void ExpectAllReleased()
    {
        for (auto* fs : host.fileSystems) EXPECT_EQ(fs->refCount, 1);
    }

    CScriptedFileSystem declining, canonicalising, claiming, last;
    CMemoryFile file;
};

TEST_F(HostFileAccess, OpenUsesFirstCanonicalFormAndFirstClaimingSystem)
{
    CHostFile* opened = OpenHostFile("/tmp/a.mid", HOST_OPEN_READWRITE);
    ASSERT_EQ(opened, &file);
    EXPECT_EQ(file.openedPath, "file:///tmp/a.mid");
    EXPECT_EQ(file.openedMode, 3);
    ASSERT_EQ(claiming.createdFor.size(), 1u);
    EXPECT_EQ(claiming.createdFor[0], "file:///tmp/a.mid");
    // Canonicalising stops at the first that answers; claiming stops at the claimer.
    EXPECT_TRUE(claiming.canonicalAsked.empty());
    EXPECT_TRUE(last.claimAsked.empty());
    EXPECT_EQ(declining.claimAsked.size(), 1u);
    ExpectAllReleased();
}

TEST_F(HostFileAccess, FailedOpenClosesTheObjectAndGivesNull)
{
    file.openSucceeds = 0;
    EXPECT_EQ(OpenHostFile("/x", 1), nullptr);
    EXPECT_EQ(file.closeCount, 1);
    ExpectAllReleased();
}

TEST_F(HostFileAccess, NoClaimOrNoFileObjectGivesNullAndReleasesAll)
{
    claiming.file = nullptr;
    EXPECT_EQ(OpenHostFile("/x", 1), nullptr);
    ExpectAllReleased();
    claiming.claimPrefix = "zip://";
    EXPECT_EQ(OpenHostFile("/x", 1), nullptr);
    EXPECT_EQ(RemoveHostFile("/x"), 0);
    ExpectAllReleased();
}

TEST_F(HostFileAccess, PathStaysUnchangedWhenNoSystemCanonicalises)
{
    canonicalising.canonicalPrefix = "";
    claiming.claimPrefix = "/";
    ASSERT_EQ(OpenHostFile("/plain", 1), &file);
    EXPECT_EQ(file.openedPath, "/plain");
    ExpectAllReleased();
}

TEST_F(HostFileAccess, RemoveGivesTheHostResultForTheCanonicalForm)
{
    claiming.removeResult = 7;
    EXPECT_EQ(RemoveHostFile("/tmp/KTDM1.tmp"), 7);
    ASSERT_EQ(claiming.removed.size(), 1u);
    EXPECT_EQ(claiming.removed[0], "file:///tmp/KTDM1.tmp");
    ExpectAllReleased();
}

TEST_F(HostFileAccess, NativePathFallsBackToThePathUnchanged)
{
    CHostStringBuffer receiver;
    // The claimer is asked about the path itself, without canonicalising.
    ResolveNativePath("file:///a.mid", &receiver);
    EXPECT_STREQ(receiver.GetText(), "file:///a.mid");
    EXPECT_TRUE(declining.canonicalAsked.empty());

    claiming.nativePrefix = "C:";
    ResolveNativePath("file:///a.mid", &receiver);
    EXPECT_STREQ(receiver.GetText(), "C:file:///a.mid");

    ResolveNativePath("archive://x.zip|a.mid", &receiver);
    EXPECT_STREQ(receiver.GetText(), "archive://x.zip|a.mid");
    ExpectAllReleased();
}

TEST_F(HostFileAccess, WithoutHostNothingIsFound)
{
    velmora_get_interface(nullptr, nullptr);
    EXPECT_EQ(OpenHostFile("/x", 1), nullptr);
    EXPECT_EQ(RemoveHostFile("/x"), 0);
    CHostStringBuffer receiver;
    ResolveNativePath("/x", &receiver);
    EXPECT_STREQ(receiver.GetText(), "/x");
    ConsoleOutput(1, "dropped");
}

// ---- CopyFileData ------------------------------------------------------------

TEST(CopyFileData, CopiesInPiecesOfOneMebibyte)
{
    CMemoryFile source, destination;
    source.data.resize(3000000);
    for (size_t i = 0; i < source.data.size(); ++i) source.data[i] = uint8_t(i * 7);
    EXPECT_EQ(CopyFileData(&source, &destination, 3000000), 3000000);
    EXPECT_EQ(source.readSizes, (std::vector<uint32_t>{1048576, 1048576, 902848}));
    EXPECT_EQ(destination.data, source.data);
}

TEST(CopyFileData, CountZeroReadsNothing)
{
    CMemoryFile source, destination;
    source.data.resize(10);
    EXPECT_EQ(CopyFileData(&source, &destination, 0), 0);
    EXPECT_TRUE(source.readSizes.empty());
}

TEST(CopyFileData, EarlyEndOfSourceGivesBytesWrittenSoFar)
{
    CMemoryFile source, destination;
    source.data.resize(1500000);
    EXPECT_EQ(CopyFileData(&source, &destination, 3000000), 1500000);
    source.position = 0;
    source.readLimit = 1;
    source.readSizes.clear();
    destination.data.clear();
    EXPECT_EQ(CopyFileData(&source, &destination, 3000000), 1048576);
    EXPECT_EQ(source.readSizes.size(), 2u);
}

TEST(CopyFileData, ShortWritesAreCompletedSoNoBytesGoMissing)
{
    CMemoryFile source, destination;
    source.data.resize(1000);
    for (size_t i = 0; i < source.data.size(); ++i) source.data[i] = uint8_t(i);
    destination.writeLimit = 300;
    EXPECT_EQ(CopyFileData(&source, &destination, 1000), 1000);
    EXPECT_EQ(destination.data, source.data);

    destination.data.clear();
    destination.writeLimit = 0;
    source.position = 0;
    EXPECT_EQ(CopyFileData(&source, &destination, 1000), 0);
}

// ---- ConsoleOutput -----------------------------------------------------------

using ConsoleOutputTest = CFakeHostTest;

TEST_F(ConsoleOutputTest, NamesTheComponentAndReleasesTheConsole)
{
    CRecordingConsole console;
    ConsoleOutput(3, "no console yet");  // dropped silently
    host.console = &console;
    ConsoleOutput(3, "A seek command was issued too soon.");
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_EQ(console.lines[0].severity, 3);
    EXPECT_EQ(console.lines[0].text, "A seek command was issued too soon.");
    EXPECT_EQ(console.lines[0].source, "");
    EXPECT_EQ(console.refCount, 1);
}

// ---- FillAudioChunk ------------------------------------------------------------

class CFakeChunk final : public CHostAudioChunk {
public:
    uint32_t GetSampleRate() override { return rate; }
    double* GetBuffer() override { return samples.data(); }
    uint32_t GetCapacity() override { return uint32_t(samples.size()); }
    double* SetCapacity(uint32_t count) override
    {
        if (!canGrow) return nullptr;
        samples.resize(count);
        return samples.data();
    }
    uint32_t GetChannels() override { return channels; }
    void SetSampleRate(uint32_t value) override { rate = value; }
    uint32_t GetSampleCount() override { return frames; }
    void SetChannels(uint32_t value) override { channels = value; }
    void Reset() override {}
    void SetSampleCount(uint32_t value) override { frames = value; }

    std::vector<double> samples;
    bool canGrow = true;
    uint32_t rate = 99, channels = 99, frames = 99;
};

TEST(FillAudioChunk, ScalesSigned16BitLittleEndianSamples)
{
    CFakeChunk chunk;
    const uint8_t pcm[8] = {0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00, 0xFF, 0xFF};
    ASSERT_TRUE(FillAudioChunk(&chunk, pcm, sizeof pcm, 44100, 2, 16));
    EXPECT_EQ(chunk.frames, 2u);
    EXPECT_EQ(chunk.rate, 44100u);
    EXPECT_EQ(chunk.channels, 2u);
    ASSERT_EQ(chunk.samples.size(), 4u);
    EXPECT_EQ(chunk.samples[0], -1.0);
    EXPECT_EQ(chunk.samples[1], 32767.0 / 32768.0);
    EXPECT_EQ(chunk.samples[2], 0.0);
    EXPECT_EQ(chunk.samples[3], -1.0 / 32768.0);
}

TEST(FillAudioChunk, UsesTheBufferItHasWhenLargeEnough)
{
    CFakeChunk chunk;
    chunk.samples.assign(16, 5.0);
    chunk.canGrow = false;
    const uint8_t pcm[4] = {0x00, 0x40, 0x00, 0xC0};
    ASSERT_TRUE(FillAudioChunk(&chunk, pcm, sizeof pcm, 22050, 1, 16));
    EXPECT_EQ(chunk.frames, 2u);
    EXPECT_EQ(chunk.samples[0], 0.5);
    EXPECT_EQ(chunk.samples[1], -0.5);
    EXPECT_EQ(chunk.samples[2], 5.0);
}

TEST(FillAudioChunk, ChunkThatCannotGrowIsEmptiedAndFails)
{
    CFakeChunk chunk;
    chunk.canGrow = false;
    const uint8_t pcm[8] = {};
    EXPECT_FALSE(FillAudioChunk(&chunk, pcm, sizeof pcm, 44100, 2, 16));
    EXPECT_EQ(chunk.frames, 0u);
    EXPECT_EQ(chunk.rate, 0u);
    EXPECT_EQ(chunk.channels, 0u);
}

TEST(FillAudioChunk, ZeroChannelsOrOtherSampleWidthsFailInsteadOfDividingByZero)
{
    CFakeChunk chunk;
    const uint8_t pcm[8] = {};
    EXPECT_FALSE(FillAudioChunk(&chunk, pcm, sizeof pcm, 44100, 0, 16));
    EXPECT_EQ(chunk.channels, 0u);
    EXPECT_FALSE(FillAudioChunk(&chunk, pcm, sizeof pcm, 44100, 2, 8));
}

// ---- UTF-16 / UTF-8 ------------------------------------------------------------

// Output buffers sit between guard bytes that must survive.
template <class T, size_t N> struct CGuarded {
    CGuarded() { before.fill(T(0x5A)), data.fill(T(0x5A)), after.fill(T(0x5A)); }
    bool Intact() const
    {
        for (T v : before)
            if (v != T(0x5A)) return false;
        for (T v : after)
            if (v != T(0x5A)) return false;
        return true;
    }
    std::array<T, 8> before;
    std::array<T, N> data;
    std::array<T, 8> after;
};

std::vector<uint8_t> Bytes(const char* text, uint32_t count) { return std::vector<uint8_t>(text, text + count); }

TEST(Utf16ToUtf8, SurrogatePairAndLoneSurrogate)
{
    char out[16];
    const WCHAR pair[] = {0xD83C, 0xDFB5, 0};
    ASSERT_EQ(ConvertUtf16ToUtf8(pair, 10, out), 4u);
    EXPECT_EQ(Bytes(out, 5), Bytes("\xF0\x9F\x8E\xB5", 5));

    const WCHAR lone[] = {0xDC00, 0};
    ASSERT_EQ(ConvertUtf16ToUtf8(lone, 10, out), 3u);
    EXPECT_EQ(Bytes(out, 4), Bytes("\xED\xB0\x80", 4));

    // A high surrogate whose partner lies beyond the budget stands alone.
    ASSERT_EQ(ConvertUtf16ToUtf8(pair, 1, out), 3u);
    EXPECT_EQ(Bytes(out, 4), Bytes("\xED\xA0\xBC", 4));
}

TEST(Utf16ToUtf8, StopsAtBudgetOrNulAndStaysInsideItsBuffer)
{
    // Three-byte characters fill exactly 3 bytes per unit plus the NUL.
    const WCHAR text[] = {0x20AC, 0x20AC, 0x20AC, 0x20AC};
    CGuarded<char, 3 * 3 + 1> out;
    EXPECT_EQ(ConvertUtf16ToUtf8(text, 3, out.data.data()), 9u);
    EXPECT_EQ(out.data[9], 0);
    EXPECT_TRUE(out.Intact());

    const WCHAR mixed[] = {u'a', 0x00E9, 0, u'b'};
    char small[8];
    EXPECT_EQ(ConvertUtf16ToUtf8(mixed, 4, small), 3u);
    EXPECT_STREQ(small, "a\xC3\xA9");
    EXPECT_EQ(ConvertUtf16ToUtf8(mixed, 0, small), 0u);
    EXPECT_EQ(small[0], 0);
}

TEST(Utf8ToUtf16, FourByteSequenceGivesSurrogatePair)
{
    WCHAR out[8];
    ASSERT_EQ(ConvertUtf8ToUtf16("\xF0\x9F\x8E\xB5", 100, out), 2u);
    EXPECT_EQ(out[0], 0xD83C);
    EXPECT_EQ(out[1], 0xDFB5);
    EXPECT_EQ(out[2], 0);
}

TEST(Utf8ToUtf16, InvalidSequencesEndTheConversionKeepingWhatCameBefore)
{
    WCHAR out[16];
    EXPECT_EQ(ConvertUtf8ToUtf16("\xC0\x80", 100, out), 0u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(ConvertUtf8ToUtf16("ab\xC1\xBFz", 100, out), 2u);
    EXPECT_EQ(out[2], 0);
    // Continuation byte as lead, a missing continuation, a NUL inside a sequence.
    EXPECT_EQ(ConvertUtf8ToUtf16("a\x80", 100, out), 1u);
    EXPECT_EQ(ConvertUtf8ToUtf16("a\xC3z", 100, out), 1u);
    EXPECT_EQ(ConvertUtf8ToUtf16("a\xE2\x82", 100, out), 1u);
    // Beyond the last code point, and five-byte forms.
    EXPECT_EQ(ConvertUtf8ToUtf16("a\xF4\x90\x80\x80", 100, out), 1u);
    EXPECT_EQ(ConvertUtf8ToUtf16("a\xF8\x88\x80\x80\x80", 100, out), 1u);
    // Longer overlong forms are refused as well.
    EXPECT_EQ(ConvertUtf8ToUtf16("a\xE0\x80\xAF", 100, out), 1u);
    EXPECT_EQ(ConvertUtf8ToUtf16("a\xF0\x8F\xBF\xBF", 100, out), 1u);
}

TEST(Utf8ToUtf16, SequenceCutByTheBudgetIsNotRead)
{
    CGuarded<WCHAR, 4 + 1> out;
    // "a" then a two-byte sequence that the budget of 2 cuts in half.
    EXPECT_EQ(ConvertUtf8ToUtf16("a\xC3\xA9", 2, out.data.data()), 1u);
    EXPECT_EQ(out.data[1], 0);
    // One unit per byte plus the NUL is enough for plain text filling the budget.
    EXPECT_EQ(ConvertUtf8ToUtf16("abcdef", 4, out.data.data()), 4u);
    EXPECT_EQ(out.data[4], 0);
    EXPECT_TRUE(out.Intact());
}

TEST(Utf8ToUtf16, RoundTripOfMixedText)
{
    const char* text = "K\xC3\xBCnstler \xE2\x82\xAC \xF0\x9F\x8E\xB5!";
    WCHAR wide[64];
    const uint32_t units = ConvertUtf8ToUtf16(text, 64, wide);
    char back[3 * 64 + 1];
    EXPECT_EQ(ConvertUtf16ToUtf8(wide, units, back), std::strlen(text));
    EXPECT_STREQ(back, text);
}

}  // namespace
