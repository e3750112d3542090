// The decoder over the real engine and platform: information, captured
// audio, silence for an enumerated port, seeking, failed opens, and the
// temporary copies they leave (none).
#include "tests/tessarine/decoder/decoder_fixture.h"

#include "host/objects/archive_file_system.h"
#include "platform/com_registry.h"
#include "platform/dmusic/port.h"
#include "tests/support/forwarding_performance.h"
#include "tests/support/zip_writer.h"
#include "tessarine/frame/globals.h"

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstring>

#include <atomic>
#include <thread>

namespace {

constexpr double bytesPerSecond = 176400.0;

struct CInfoRow {
    const char* name;
    const char* fileName;  // in the test folder; a zip member when member is set
    const char* member;
    float masterTempo;
    double length;  // seconds reported
    const char* title;
    bool xmi = false;  // the song as an XMI file rather than a MIDI file
};

class CDecoderInfoTest : public CDecoderTest, public ::testing::WithParamInterface<CInfoRow> {};

// Each kind of path opens for information, reports the playing time and
// its fields in order, and leaves no copy behind once the instance goes.
TEST_P(CDecoderInfoTest, ReportsLengthAndFields)
{
    const CInfoRow& row = GetParam();
    configMasterTempo.value = row.masterTempo;
    std::string path;
    const std::vector<uint8_t> song = row.xmi ? testsupport::WriteXmi(SongModel(4)) : Song(4);
    if (row.member) {
        const std::string zip = (folder / row.fileName).string();
        ASSERT_TRUE(testsupport::WriteZip(zip, {{"readme.txt", {'h', 'i'}}, {row.member, song}}));
        path = "archive://" + zip + "|" + row.member;
    } else {
        path = Write(row.fileName, song);
    }
    {
        COpenedDecoder opened;
        ASSERT_TRUE(opened.Open(path, OPEN_TRACK_INFO));
        EXPECT_NEAR(opened.info.GetLength(), row.length, 1e-3);
        const auto& fields = opened.info.Fields();
        ASSERT_GE(fields.size(), 3u);
        EXPECT_EQ(fields[0], (std::pair<std::string, std::string>("codec", "midi")));
        EXPECT_EQ(fields[1], (std::pair<std::string, std::string>("compression", "none")));
        EXPECT_EQ(fields.back(), (std::pair<std::string, std::string>("title", row.title)));
        // Only a MIDI file without a native path is played from a copy; an
        // XMI file reaches DirectMusic from memory.
        EXPECT_EQ(host.CountConsoleLines("Attempting temp file strategy"), row.member && !row.xmi ? 1u : 0u);
        // Information alone plays nothing, so a seek is refused, whatever the log switch.
        configLog.value = 0;
        EXPECT_FALSE(opened.decoder->SeekTrack(1.0));
        EXPECT_EQ(host.CountConsoleLines("A seek command was issued too soon.", 3), 1u);
    }
    EXPECT_EQ(CountTempFiles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CDecoderInfoTest,
    ::testing::Values(CInfoRow{"Plain", "song.mid", nullptr, 0.0f, 2.0, "song"},
                      CInfoRow{"Accents", "\xC3\xA9t\xC3\xA9 d\xC3\xA9j\xC3\xA0.mid", nullptr, 0.0f, 2.0,
                               "\xC3\xA9t\xC3\xA9 d\xC3\xA9j\xC3\xA0"},
                      CInfoRow{"CjkAndEmoji", "\xE6\x9B\xB2\xF0\x9F\x8E\xB5.mid", nullptr, 0.0f, 2.0,
                               "\xE6\x9B\xB2\xF0\x9F\x8E\xB5"},
                      CInfoRow{"ArchiveMember", "songs.zip", "inner/tune.mid", 0.0f, 2.0, "tune"},
                      CInfoRow{"DoubleTempo", "fast.mid", nullptr, 2.0f, 1.0, "fast"},
                      CInfoRow{"HalfTempo", "slow.mid", nullptr, 0.5f, 4.0, "slow"},
                      CInfoRow{"TempoOutOfRange", "odd.mid", nullptr, 200.0f, 2.0, "odd"},
                      CInfoRow{"Xmi", "song.xmi", nullptr, 0.0f, 2.0, "song", true},
                      CInfoRow{"XmiArchiveMember", "songs.zip", "inner/tune.xmi", 0.0f, 2.0, "tune", true},
                      CInfoRow{"XmiUnderAMidiName", "disguised.mid", nullptr, 2.0f, 1.0, "disguised", true}),
    [](const auto& info) { return std::string(info.param.name); });

struct CFailRow {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t flags;
    const char* logged = "Attempting temp file strategy";  // the reason, logged once
};

// The song's XMI file without its last note's duration and what follows.
std::vector<uint8_t> CutXmi()
{
    std::vector<uint8_t> bytes = testsupport::WriteXmi(CDecoderTest::SongModel(4));
    bytes.resize(bytes.size() - 8);
    return bytes;
}

class CDecoderFailTest : public CDecoderTest, public ::testing::WithParamInterface<CFailRow> {};

// A file the engine cannot load fails its open, after trying a copy, and
// the copy is gone as soon as the open has failed.
TEST_P(CDecoderFailTest, FailedOpenLeavesNoCopy)
{
    const CFailRow& row = GetParam();
    const std::string path = Write("bad.mid", row.bytes);
    COpenedDecoder opened;
    EXPECT_FALSE(opened.Open(path, row.flags));
    EXPECT_EQ(host.CountConsoleLines(row.logged), 1u);
    EXPECT_EQ(CountTempFiles(), 0u);
    EXPECT_TRUE(std::filesystem::exists(path));
    int32_t last = 0;
    EXPECT_EQ(DecodeAll(opened.decoder, &last), 0u);
    EXPECT_EQ(last, -1);
}

INSTANTIATE_TEST_SUITE_P(Files, CDecoderFailTest,
                         ::testing::Values(CFailRow{"Empty", {}, OPEN_TRACK_INFO},
                                           CFailRow{"NotMidi", {'R', 'I', 'F', 'F', 0, 0}, OPEN_TRACK_DECODE},
                                           CFailRow{
                                               "Text", {'h', 'e', 'l', 'l', 'o'}, OPEN_TRACK_INFO | OPEN_TRACK_DECODE},
                                           // A copy would not help: DirectMusic reads no XMI.
                                           CFailRow{"CutXmi", CutXmi(), OPEN_TRACK_INFO | OPEN_TRACK_DECODE,
                                                    "The XMI file cannot be played: "}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CDecodeRow {
    const char* name;
    int32_t outputPort;
    double seekTo;  // negative: no seek
    int opens;      // opens for decoding on the same instance
    int32_t block;  // "MIDIOutputBuffer"; 0: the fixture's
    const char* fileName = "song.mid";
};

class CDecoderDecodeTest : public CDecoderTest, public ::testing::WithParamInterface<CDecodeRow> {};

// Captured audio runs to the song's length plus its 1.1 s lead-in, within a
// block; silence for an enumerated port lasts exactly as long, while every
// note from the start point on reaches the port. A seek to s takes s off
// either, and a second open starts afresh.
TEST_P(CDecoderDecodeTest, HandsOutTheSongsLength)
{
    const CDecodeRow& row = GetParam();
    // A seek's restart takes real time, which a fast clock turns into
    // lead-in on a slow (sanitizer) build: seeks run at rate 3.
    CScopedClockRate fast(row.seekTo >= 0 ? 3.0 : 8.0);
    configOutputPort.value = row.outputPort;
    if (row.block != 0) configOutputBuffer.value = row.block;
    const std::string path = Write(row.fileName, Song(6));  // 3 seconds, a note each half second
    COpenedDecoder opened;
    uint64_t bytes = 0, nonZero = 0;
    int32_t last = 0;
    dmusic::CMidiOutCounts before;
    for (int open = 0; open < row.opens; ++open) {
        before = dmusic::GetMidiOutCounts();
        ASSERT_TRUE(opened.Open(path, OPEN_TRACK_DECODE));
        if (row.seekTo >= 0) {
            ASSERT_TRUE(opened.decoder->SeekTrack(row.seekTo));
            // What reached the port before the seek is not counted.
            before = dmusic::GetMidiOutCounts();
        }
        bytes = DecodeAll(opened.decoder, &last, 100000, &nonZero);
    }
    const dmusic::CMidiOutCounts after = dmusic::GetMidiOutCounts();
    EXPECT_EQ(last, 0);
    EXPECT_EQ(bytes % 4, 0u);
    // Played from its own path, whatever its name: no copy was needed.
    EXPECT_EQ(host.CountConsoleLines("Attempting temp file strategy"), 0u);
    const double seek = std::max(0.0, row.seekTo);
    const double expected = (3.0 - seek + 1.1) * bytesPerSecond;
    if (row.outputPort == -1) {
        // The track ends at the first block that starts at or past the length.
        EXPECT_GE(double(bytes), expected - 4.0);
        EXPECT_LT(double(bytes), expected + configOutputBuffer.value);
    } else {
        EXPECT_NEAR(double(bytes), expected, 4.0);
        EXPECT_EQ(nonZero, 0u);
        const uint64_t notes = uint64_t(6 - std::ceil(seek * 2.0));
        EXPECT_EQ(after.notesOn - before.notesOn, notes);
        EXPECT_EQ(after.notesOff - before.notesOff, notes);
        // The silence ended by stopping the engine, so a seek is refused.
        EXPECT_FALSE(opened.decoder->SeekTrack(0.5));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CDecoderDecodeTest,
    ::testing::Values(CDecodeRow{"Capture", -1, -1.0, 1, 0}, CDecodeRow{"CaptureSeek", -1, 1.5, 1, 0},
                      CDecodeRow{"CaptureReopened", -1, -1.0, 2, 0}, CDecodeRow{"Silence", 1, -1.0, 1, 176400},
                      CDecodeRow{"SilenceSmallBlocks", 1, -1.0, 1, 0}, CDecodeRow{"SilenceSeek", 1, 1.0, 1, 176400},
                      CDecodeRow{"SilenceReopened", 1, -1.0, 2, 176400},
                      CDecodeRow{"CaptureNonAsciiPath", -1, -1.0, 1, 0,
                                 "\xC3\xA9t\xC3\xA9 \xE6\x9B\xB2\xF0\x9F\x8E\xB5.mid"}),
    [](const auto& info) { return std::string(info.param.name); });

// Reads that find nothing yet in the fresh capture of a seek (a block
// setting of 0 makes the store answer at once) leave the lead-in to the
// first audio, which adds it once.
TEST_F(CDecoderTest, LeadInCountedOnceAcrossEmptyReads)
{
    CScopedClockRate fast(3.0);
    const std::string path = Write("song.mid", Song(6));  // 3 seconds
    COpenedDecoder opened;
    ASSERT_TRUE(opened.Open(path, OPEN_TRACK_DECODE));
    ASSERT_TRUE(opened.decoder->SeekTrack(1.0));
    const uint32_t block = uint32_t(configOutputBuffer.value);
    configOutputBuffer.value = 0;
    uint64_t bytes = 0;
    int32_t result = 1;
    for (int i = 0; i < 100000 && result == 1; ++i) {
        void* data = nullptr;
        uint32_t got = 0, rate = 0, bits = 0, channels = 0;
        result = opened.decoder->DecodeBlock(&data, &got, &rate, &bits, &channels);
        if (result != 1) break;
        bytes += got;
        if (got == 0 && bytes == 0) Sleep(5);
        // Once the music arrives, reads wait for whole blocks again.
        if (bytes > 0) configOutputBuffer.value = int32_t(block);
    }
    EXPECT_EQ(result, 0);
    // A setting of 0 is taken as a whole second now, so empty reads come
    // only when the fresh capture has nothing yet; whether they came or not,
    // the lead-in is added once.
    EXPECT_EQ(host.CountConsoleLines("Wait increased MIDI song length by 1.1 seconds"), 1u);
    const double expected = (2.0 + 1.1) * bytesPerSecond;
    EXPECT_GE(double(bytes), expected - 4.0);
    EXPECT_LT(double(bytes), expected + block);
}

// A capture file whose seeks to its end fail (the store cannot put it back
// after a read), or that opens another file than the one named (what a link
// put in place of the name would give). It forwards everything else to the
// host's own file.
class CFaultyCaptureFile final : public CHostFile {
public:
    explicit CFaultyCaptureFile(CHostFile* real) : real(real) {}
    int32_t Release() override
    {
        const int32_t left = real->Release();
        if (left == 0) delete this;
        return left;
    }
    int32_t AddRef() override { return real->AddRef(); }
    CHostService* QueryClass(const GUID*) override { return nullptr; }
    const char* GetPath() override { return real->GetPath(); }
    int32_t Open(const char* path, int32_t mode) override
    {
        return real->Open(openInstead.empty() ? path : openInstead.c_str(), mode);
    }
    uint32_t Read(void* buffer, uint32_t count) override { return real->Read(buffer, count); }
    uint32_t Write(const void* buffer, uint32_t count) override { return real->Write(buffer, count); }
    int64_t GetSize() override { return real->GetSize(); }
    int64_t GetPosition() override { return real->GetPosition(); }
    int32_t Truncate() override { return real->Truncate(); }
    int32_t Seek(int64_t offset) override { return real->Seek(offset); }
    int32_t SeekFrom(int64_t offset, int32_t origin) override
    {
        return failEndSeeks && origin == HOST_SEEK_END ? 0 : real->SeekFrom(offset, origin);
    }
    int32_t CanSeek() override { return real->CanSeek(); }
    int32_t IsEndOfFile() override { return real->IsEndOfFile(); }
    int32_t Flush() override { return real->Flush(); }
    int64_t GetModificationTime() override { return real->GetModificationTime(); }
    const char* GetContentType() override { return real->GetContentType(); }
    int32_t IsStream() override { return real->IsStream(); }
    void Close() override
    {
        real->Close();
        delete this;
    }

    static inline bool failEndSeeks = false;
    static inline std::string openInstead;

private:
    CHostFile* real;
};

// A host whose first file system claims the capture files and hands out
// CFaultyCaptureFile over the host's own; everything else is the host's.
class CFaultyCaptureHost final : public CHostInterface, public CHostFileSystem {
public:
    explicit CFaultyCaptureHost(CHostInterface* real) : real(real) {}
    CHostService* EnumerateService(const GUID* cls, int32_t index) override
    {
        if (!cls || !IsEqualGUID(*cls, CLSID_HostFileSystem)) return real->EnumerateService(cls, index);
        if (index == 0) return static_cast<CHostFileSystem*>(this);
        return real->EnumerateService(cls, index - 1);
    }
    int32_t GetHostVersion() override { return real->GetHostVersion(); }
    HWND GetMainWindow() override { return real->GetMainWindow(); }

    int32_t Release() override { return 1; }
    int32_t AddRef() override { return 1; }
    CHostService* QueryClass(const GUID*) override { return nullptr; }
    int32_t GetCanonicalPath(const char*, CHostString*) override { return 0; }
    int32_t ClaimsPath(const char* path) override { return std::strstr(path, "KTDM") != nullptr; }
    int32_t GetNativePath(const char* path, CHostString* out) override { return Local()->GetNativePath(path, out); }
    CHostFile* CreateFileObject(const char* path) override
    {
        CHostFile* file = Local()->CreateFileObject(path);
        return file ? new CFaultyCaptureFile(file) : nullptr;
    }
    int32_t FileExists(const char* path) override { return Local()->FileExists(path); }
    int32_t RemoveFile(const char* path) override { return Local()->RemoveFile(path); }

private:
    CHostFileSystem* Local()
    {
        auto* local = static_cast<CHostFileSystem*>(real->EnumerateService(&CLSID_HostFileSystem, 0));
        local->Release();  // the host keeps it
        return local;
    }
    CHostInterface* real;
};

// Records the port each AddPort is given, so a test can stop its
// synthesizer in the middle of a song.
class CPortKeepingPerformance final : public CForwardingPerformance {
public:
    using CForwardingPerformance::CForwardingPerformance;
    STDMETHOD(AddPort)(IDirectMusicPort* port) override
    {
        lastPort = port;
        return CForwardingPerformance::AddPort(port);
    }
    static inline platform::ClassFactoryFunction previous = nullptr;
    static inline IDirectMusicPort* lastPort = nullptr;
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        return CreateForwardingPerformance<CPortKeepingPerformance>(outer, iid, object);
    }
};

enum class ECaptureFault { FullTemporaryFolder, MissingTemporaryFolder, ReplacedCaptureFile, SynthesizerStalls };

struct CCaptureFaultRow {
    const char* name;
    ECaptureFault fault;
    const char* said;  // what the user is told, at severity 3
};

class CDecoderCaptureFaultTest : public CDecoderTest, public ::testing::WithParamInterface<CCaptureFaultRow> {
protected:
    // Decodes a 20-second song while the fault strikes; true when the decode
    // failed with -1 short of the song, telling the user why.
    bool FailsAndSaysWhy(const std::string& path, const CCaptureFaultRow& row)
    {
        COpenedDecoder opened;
        if (!opened.Open(path, OPEN_TRACK_DECODE)) return false;
        int32_t last = 1;
        uint64_t bytes = 0;
        if (row.fault == ECaptureFault::SynthesizerStalls) {
            bytes = DecodeAll(opened.decoder, &last, 10);  // a second of audio
            if (last != 1 || !CPortKeepingPerformance::lastPort) return false;
            CPortKeepingPerformance::lastPort->Activate(FALSE);
        }
        bytes += DecodeAll(opened.decoder, &last, 20000);
        return last == -1 && bytes < 20 * uint64_t(bytesPerSecond) && host.CountConsoleLines(row.said, 3) == 1;
    }
};

// A capture that cannot hold the song (its folder is full or missing) or
// that the synthesizer stops filling fails the decode and says why, instead
// of ending the track early, or in silence, as if it had been whole.
TEST_P(CDecoderCaptureFaultTest, FailedCaptureFailsTheDecode)
{
    const CCaptureFaultRow& row = GetParam();
    CScopedClockRate fast(20.0);
    const std::string path = Write("song.mid", Song(40));
    switch (row.fault) {
    case ECaptureFault::FullTemporaryFolder:
        // In a child process whose files cannot pass 400,000 bytes.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        EXPECT_EXIT(
            {
                std::signal(SIGXFSZ, SIG_IGN);
                rlimit limit{};
                limit.rlim_cur = limit.rlim_max = 400000;
                setrlimit(RLIMIT_FSIZE, &limit);
                std::_Exit(FailsAndSaysWhy(path, row) ? 0 : 4);
            },
            ::testing::ExitedWithCode(0), "");
        break;
    case ECaptureFault::MissingTemporaryFolder:
        setenv("TMPDIR", (folder / "no-such-folder").c_str(), 1);
        EXPECT_TRUE(FailsAndSaysWhy(path, row));
        break;
    case ECaptureFault::ReplacedCaptureFile: {
        // Another user's file, which the store must neither write nor empty.
        const std::string victim = Write("victim.txt", {'k', 'e', 'e', 'p'});
        CFaultyCaptureFile::openInstead = victim;
        CFaultyCaptureHost replacing(host.Interface());
        velmora_get_interface(&replacing, nullptr);
        EXPECT_TRUE(FailsAndSaysWhy(path, row));
        velmora_get_interface(host.Interface(), nullptr);
        CFaultyCaptureFile::openInstead.clear();
        std::ifstream in(victim, std::ios::binary);
        const std::string kept(std::istreambuf_iterator<char>(in), {});
        EXPECT_TRUE(kept == "keep") << kept.size() << " bytes";
        break;
    }
    case ECaptureFault::SynthesizerStalls: {
        platform::ScopedComClassReplacement replacement(CLSID_DirectMusicPerformance, CPortKeepingPerformance::Create);
        CPortKeepingPerformance::previous = replacement.Previous();
        EXPECT_TRUE(FailsAndSaysWhy(path, row));
        CPortKeepingPerformance::lastPort = nullptr;
        break;
    }
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, CDecoderCaptureFaultTest,
                         ::testing::Values(CCaptureFaultRow{"FullTemporaryFolder", ECaptureFault::FullTemporaryFolder,
                                                            "no room for the capture in TMPDIR"},
                                           CCaptureFaultRow{"MissingTemporaryFolder",
                                                            ECaptureFault::MissingTemporaryFolder,
                                                            "the capture file could not be made in TMPDIR"},
                                           CCaptureFaultRow{"ReplacedCaptureFile", ECaptureFault::ReplacedCaptureFile,
                                                            "the capture file could not be made in TMPDIR"},
                                           CCaptureFaultRow{"SynthesizerStalls", ECaptureFault::SynthesizerStalls,
                                                            "the synthesizer delivered no audio for 10 seconds"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A capture the store cannot put back after a read fails the block with -1,
// never an exception in the host, and says why at severity 3.
TEST_F(CDecoderTest, EndCaptureReadErrorGivesMinusOne)
{
    CScopedClockRate fast(8.0);
    const std::string path = Write("song.mid", Song(2));
    CFaultyCaptureFile::failEndSeeks = true;
    CFaultyCaptureHost failing(host.Interface());
    velmora_get_interface(&failing, nullptr);
    {
        COpenedDecoder opened;
        ASSERT_TRUE(opened.Open(path, OPEN_TRACK_DECODE));
        void* data = nullptr;
        uint32_t bytes = 0, rate = 0, bits = 0, channels = 0;
        EXPECT_EQ(opened.decoder->DecodeBlock(&data, &bytes, &rate, &bits, &channels), -1);
        EXPECT_EQ(
            host.CountConsoleLines("Decoding stopped after 0.000 s of audio: error seeking to offset location", 3), 1u);
    }
    velmora_get_interface(host.Interface(), nullptr);
    CFaultyCaptureFile::failEndSeeks = false;
    EXPECT_EQ(CountTempFiles(), 0u);
}

// A copy made for a track without a native path goes with the instance,
// also when the instance opened the track twice.
TEST_F(CDecoderTest, CopiesGoWithTheInstance)
{
    const std::string zip = (folder / "songs.zip").string();
    ASSERT_TRUE(testsupport::WriteZip(zip, {{"a.mid", Song(2)}}));
    const std::string path = "archive://" + zip + "|a.mid";
    for (int opens = 1; opens <= 2; ++opens) {
        COpenedDecoder opened;
        for (int i = 0; i < opens; ++i) {
            ASSERT_TRUE(opened.Open(path, OPEN_TRACK_INFO));
            EXPECT_EQ(CountTempFiles(), 1u) << "open " << i + 1 << " of " << opens;
        }
        opened.Release();
        EXPECT_EQ(CountTempFiles(), 0u) << opens << " opens";
    }
}

// A performance whose PlaySegment refuses, so the music never starts.
class CRefusingPlayPerformance final : public CForwardingPerformance {
public:
    using CForwardingPerformance::CForwardingPerformance;
    STDMETHOD(PlaySegment)(IDirectMusicSegment*, DWORD, LONGLONG, IDirectMusicSegmentState** state) override
    {
        if (state) *state = nullptr;
        return E_FAIL;
    }
    static inline platform::ClassFactoryFunction previous = nullptr;
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        return CreateForwardingPerformance<CRefusingPlayPerformance>(outer, iid, object);
    }
};

// A COM error inside the open, or a start that fails, becomes a failed open,
// never an exception in the host or a track of silence, and takes any copy
// with it.
TEST_F(CDecoderTest, EngineErrorsFailTheOpen)
{
    struct Row {
        const char* name;
        platform::ClassFactoryFunction create;
        platform::ClassFactoryFunction* previous;
        const char* logged;  // the line the open's failure leaves in the log
    };
    const Row rows[] = {
        {"performance already initialised", CInitialisedPerformance::Create, &CInitialisedPerformance::previous,
         "Opening the track failed: a DirectX call returned E_POINTER"},
        {"PlaySegment refused", CRefusingPlayPerformance::Create, &CRefusingPlayPerformance::previous, nullptr},
    };
    const std::string zip = (folder / "songs.zip").string();
    ASSERT_TRUE(testsupport::WriteZip(zip, {{"a.mid", Song(2)}}));
    const std::string paths[] = {Write("song.mid", Song(2)), "archive://" + zip + "|a.mid"};
    for (const Row& row : rows) {
        platform::ScopedComClassReplacement replacement(CLSID_DirectMusicPerformance, row.create);
        *row.previous = replacement.Previous();
        for (const std::string& path : paths) {
            for (uint32_t flags : {uint32_t(OPEN_TRACK_DECODE), uint32_t(OPEN_TRACK_DECODE | OPEN_TRACK_INFO)}) {
                host.ClearConsoleLines();
                COpenedDecoder opened;
                EXPECT_FALSE(opened.Open(path, flags)) << row.name << ": " << path << " flags " << flags;
                EXPECT_EQ(CountTempFiles(), 0u) << row.name << ": " << path;
                EXPECT_EQ(DecodeAll(opened.decoder), 0u) << row.name;
                EXPECT_FALSE(opened.decoder->SeekTrack(1.0)) << row.name;
                EXPECT_EQ(host.CountConsoleLines(row.logged ? row.logged : " failed: "), row.logged ? 1u : 0u)
                    << row.name;
            }
        }
    }
}

// Records the hold time each SetNotificationHandle asks for.
class CHoldRecordingPerformance final : public CForwardingPerformance {
public:
    using CForwardingPerformance::CForwardingPerformance;
    STDMETHOD(SetNotificationHandle)(HANDLE handle, REFERENCE_TIME minimum) override
    {
        if (handle) holds.push_back(minimum);
        return CForwardingPerformance::SetNotificationHandle(handle, minimum);
    }
    static inline platform::ClassFactoryFunction previous = nullptr;
    static inline std::vector<REFERENCE_TIME> holds;
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        return CreateForwardingPerformance<CHoldRecordingPerformance>(outer, iid, object);
    }
};

// "MIDIPadBefore" seconds, read at the start of playback, is the hold time
// of the notifications, in 100-nanosecond units.
TEST_F(CDecoderTest, HoldTimeComesFromPadBefore)
{
    const struct {
        int32_t seconds;
        REFERENCE_TIME hold;
    } rows[] = {{100, 1000000000}, {0, 0}, {7, 70000000}};
    const std::string path = Write("song.mid", Song(2));
    platform::ScopedComClassReplacement replacement(CLSID_DirectMusicPerformance, CHoldRecordingPerformance::Create);
    CHoldRecordingPerformance::previous = replacement.Previous();
    for (const auto& row : rows) {
        configPadBefore.value = row.seconds;
        CHoldRecordingPerformance::holds.clear();
        COpenedDecoder opened;
        ASSERT_TRUE(opened.Open(path, OPEN_TRACK_DECODE)) << row.seconds;
        EXPECT_EQ(CHoldRecordingPerformance::holds, std::vector<REFERENCE_TIME>{row.hold}) << row.seconds;
    }
}

// Sets "MIDIOutputPort" while the engine makes its performance, as the page
// may while a track opens.
struct CPortChangingPerformance {
    static inline platform::ClassFactoryFunction previous = nullptr;
    static inline int32_t newPort = 0;
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        configOutputPort.value = newPort;
        return previous(outer, iid, object);
    }
};

// An open takes the output port it started with, whatever the setting
// becomes meanwhile: the port it looks up matches the engine it made, and
// the music goes there (the emulated external port counts what it gets).
TEST_F(CDecoderTest, PortChangedDuringTheOpenIsNotSeen)
{
    CScopedClockRate fast(8.0);
    const struct {
        int32_t port, changedTo;
        uint64_t notesToThePort;
    } rows[] = {{1, -1, 2}, {-1, 1, 0}};
    const std::string path = Write("song.mid", Song(2));
    for (const auto& row : rows) {
        configOutputPort.value = row.port;
        CPortChangingPerformance::newPort = row.changedTo;
        platform::ScopedComClassReplacement replacement(CLSID_DirectMusicPerformance, CPortChangingPerformance::Create);
        CPortChangingPerformance::previous = replacement.Previous();
        const uint64_t before = dmusic::GetMidiOutCounts().notesOn;
        COpenedDecoder opened;
        ASSERT_TRUE(opened.Open(path, OPEN_TRACK_DECODE)) << row.port;
        // The lead-in and the song play out while nothing is read.
        Sleep(3000);
        EXPECT_EQ(dmusic::GetMidiOutCounts().notesOn - before, row.notesToThePort) << row.port;
    }
}

// The page may replace the custom DLS path while the player opens tracks:
// every open reads a whole path, never a freed one (the sanitizer builds
// see any read of freed memory or any unguarded read).
TEST_F(CDecoderTest, CustomDlsPathReplacedWhileTracksOpen)
{
    CScopedClockRate fast(8.0);
    configUseCustomDls.value = 1;
    const std::string path = Write("song.mid", Song(2));
    const std::string paths[] = {(folder / std::string(300, 'a')).string() + ".dls",
                                 (folder / std::string(200, 'b')).string() + ".dls"};
    std::atomic<bool> done{false};
    std::thread page([&] {
        for (size_t i = 0; !done; ++i) configCustomDls.SetText(paths[i % 2].c_str());
    });
    for (int open = 0; open < 8; ++open) {
        COpenedDecoder opened;
        EXPECT_TRUE(opened.Open(path, OPEN_TRACK_DECODE)) << open;
    }
    done = true;
    page.join();
}

}  // namespace

// A host asked to stop while the clock crawls runs the clock on: every wait
// of the component is counted in platform time, so the open, a block and
// the teardown end at once, whatever each was waiting for.
TEST_F(CDecoderTest, WaitsEndWhenTheClockIsRunOn)
{
    enum class EStage { Open, Block };
    const struct {
        const char* name;
        EStage stage;
        int32_t port;
    } rows[] = {{"open waiting for the music", EStage::Open, -1},
                {"block waiting for the capture", EStage::Block, -1},
                {"silence paced by the clock", EStage::Block, 1}};
    const std::string path = Write("song.mid", Song(8));
    for (const auto& row : rows) {
        configOutputPort.value = row.port;
        configOutputBuffer.value = 176400;
        std::atomic<bool> done{false};
        bool ended = false;
        {
            CScopedClockRate crawl(8.0);
            // The instance is made, used and released on one thread, as a host does.
            std::unique_ptr<COpenedDecoder> opened;
            if (row.stage == EStage::Block) {
                opened = std::make_unique<COpenedDecoder>();
                ASSERT_TRUE(opened->Open(path, OPEN_TRACK_DECODE)) << row.name;
                DecodeAll(opened->decoder, nullptr, 1);
            }
            platform::SetClockRate(1e-6);
            std::thread worker([&] {
                if (row.stage == EStage::Open) {
                    opened = std::make_unique<COpenedDecoder>();
                    opened->Open(path, OPEN_TRACK_DECODE);
                } else {
                    DecodeAll(opened->decoder, nullptr, 3);
                }
                if (row.stage == EStage::Open) opened.reset();
                done = true;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_FALSE(done.load()) << row.name << ": it did not wait";
            const auto start = std::chrono::steady_clock::now();
            platform::SetClockRate(1e4);  // what the host does when asked to stop
            // Without the run-on the waits would last years; a minute is a hang.
            while (!done.load() && RealSecondsSince(start) < 60.0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ended = done.load();
            if (!ended) platform::SetClockRate(1e6);  // faster still, so the join cannot hang
            worker.join();
            opened.reset();
        }
        EXPECT_TRUE(ended) << row.name;
        EXPECT_EQ(CountTempFiles(), 0u) << row.name;
    }
}
