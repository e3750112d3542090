// velmora info and velmora decode as a user runs them: what they print,
// their exit status, the audio they write, and that no temporary file is
// left behind.
#include "tests/host/host_test_support.h"
#include "tests/support/music_writer.h"
#include "tests/support/zip_writer.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string Example(const std::string& name) { return std::string(TESSARINE_SOURCE_DIR) + "/examples/" + name; }
std::string Shared(const std::string& name) { return std::string(TESSARINE_TESTDATA_DIR) + "/midi/" + name; }

// The left channel of a 16-bit stereo file.
std::vector<int16_t> ReadLeft(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    // Read in blocks: a stream written into a pipe does not know its length.
    std::vector<int16_t> frames, block(size_t(4096) * size_t(info.channels));
    for (sf_count_t got; (got = sf_readf_short(file, block.data(), 4096)) > 0;)
        frames.insert(frames.end(), block.begin(), block.begin() + got * info.channels);
    sf_close(file);
    std::vector<int16_t> left;
    for (size_t i = 0; i < frames.size(); i += size_t(info.channels)) left.push_back(frames[i]);
    return left;
}

std::string ReadFileBytes(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return {};
    std::string bytes;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

// Seconds of the first sample above the threshold, or -1.
double FirstSound(const std::vector<int16_t>& left)
{
    for (size_t i = 0; i < left.size(); ++i)
        if (std::abs(left[i]) > 300) return double(i) / 44100.0;
    return -1;
}

double Pitch(const std::vector<int16_t>& left, double from, double seconds)
{
    const size_t first = size_t(from * 44100), last = std::min(left.size(), first + size_t(seconds * 44100));
    int crossings = 0;
    size_t firstCrossing = 0, lastCrossing = 0;
    for (size_t i = first + 1; i < last; ++i)
        if (left[i - 1] < 0 && left[i] >= 0) {
            if (crossings++ == 0) firstCrossing = i;
            lastCrossing = i;
        }
    return crossings < 2 ? 0 : double(crossings - 1) * 44100.0 / double(lastCrossing - firstCrossing);
}

// The MIDI note (36..96) strongest over frames from..from+seconds, by
// Goertzel power at each note's frequency; -1 in silence.
int StrongestNote(const std::vector<int16_t>& left, double from, double seconds)
{
    const size_t first = size_t(from * 44100), last = std::min(left.size(), first + size_t(seconds * 44100));
    int best = -1;
    double bestPower = 1e9;  // below this it is silence
    for (int note = 36; note <= 96; ++note) {
        const double frequency = 440.0 * std::pow(2.0, (note - 69) / 12.0);
        const double coefficient = 2 * std::cos(2 * M_PI * frequency / 44100);
        double s1 = 0, s2 = 0;
        for (size_t i = first; i < last; ++i) {
            const double s0 = left[i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = note;
        }
    }
    return best;
}

// A Standard MIDI file of forty notes whose track has the name given.
std::string NamedSong(const std::string& name)
{
    std::string track = std::string("\0\xFF\x03", 3) + char(name.size()) + name;
    for (int i = 0; i < 40; ++i) track += std::string("\0\x90\x3C\x40\x18\x80\x3C\0", 8);
    track += std::string("\0\xFF\x2F\0", 4);
    const uint32_t length = uint32_t(track.size());
    return std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk", 18) + char(length >> 24) + char(length >> 16) +
           char(length >> 8) + char(length) + track;
}

// A 7z archive whose header is encrypted (AES, coder 06F10701) and so
// cannot be listed without the password: signature header (CRCs included),
// 16 packed bytes, the encoded header naming the coder.
const std::string headerEncrypted7z(
    "7z\xBC\xAF\x27\x1C\x00\x04\x56\xFA\x27\x6B\x10\0\0\0\0\0\0\0\x18\0\0\0\0\0\0\0\x90\x2F\x44\x89"
    "ZZZZZZZZZZZZZZZZ\x17\x06\x00\x01\x09\x10\x00\x07\x0B\x01\x00\x01\x24\x06\xF1\x07\x01\x02\x03\x00\x0C\x10\0\0",
    72);

class TrackCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(folder / "tmp"); }

    CRun Run(const std::vector<std::string>& arguments)
    {
        return RunVelmora("TMPDIR=" + Quote(folder / "tmp") + " VELMORA_CONFIG=" + Quote(folder / "velmora.cfg"),
                          arguments, folder / "stderr");
    }

    size_t CountFiles(const std::string& sub)
    {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder / sub)) ++count;
        return count;
    }

    void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
    }

    // velmora with this test's settings and temporary folder, for a script.
    std::string Velmora()
    {
        return "env TMPDIR=" + Quote(folder / "tmp") + " VELMORA_CONFIG=" + Quote(folder / "velmora.cfg") + " " +
               Quote(BinaryFolder() + "/bin/velmora");
    }

    // Runs a shell script in the scratch folder; the status is what it
    // exits with, the error text what it wrote to the file "stderr".
    CRun RunScript(const std::string& script)
    {
        return RunShell("cd " + Quote(folder.Path()) + " && { " + script + "\n}", folder / "stderr");
    }

    // Hidden ".velmora-" files: outputs that never took their name.
    size_t CountPartials()
    {
        size_t count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.Path()))
            count += entry.path().filename().string().rfind(".velmora-", 0) == 0;
        return count;
    }

    CScratchFolder folder;
};

TEST_F(TrackCommandsTest, InfoPrintsLengthThenFieldsAndGoesOnPastBadFiles)
{
    const CRun run = Run({"info", Example("morning_walk.rmi"), folder / "missing.mid", Example("morning_walk.sgt")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("velmora: " + (folder / "missing.mid") + ": cannot open: no such file\n"), std::string::npos)
        << run.err;
    const char* const expected =
        "length=20.787705\ncodec=midi\ncompression=none\ntrack01=Morning Walk\nmisc01=Morning Walk\n"
        "name=Morning Walk\nartist=The tessarine developers\ncopyright=Public domain\ngenre=Example\n"
        "comment=Eight bars in C major with a ritardando.\nsoftware=make_music_examples\ntitle=morning_walk\n";
    EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("==> " + Example("morning_walk.sgt") + " <==\nlength=20.78655"), std::string::npos);

    const CRun json = Run({"info", "--json", Example("morning_walk.mid")});
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"length\": 20.787705"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("{\"name\": \"title\", \"value\": \"morning_walk\"}"), std::string::npos) << json.out;
    EXPECT_EQ(CountFiles("tmp"), 0u);
}

TEST_F(TrackCommandsTest, BadUsageIsStatusTwoAndWritesNothing)
{
    const std::string song = Example("morning_walk.mid");
    const std::vector<std::vector<std::string>> rows = {
        {"decode", song},
        {"decode", song, "-o", folder / "out.mp3"},
        {"decode", song, "-o", folder / "out.wav", "--format", "mp3"},
        {"decode", song, "-o", folder / "out.wav", "--from", "-1"},
        {"decode", song, "-o", folder / "out.wav", "--set", "MIDINoSuchThing=1"},
        {"decode", song, "-o", folder / "out.wav", "--set", "MIDIOutputPort=x"},
        {"decode", song, "-o", folder / "out.wav", "--json"},
        {"info", song, "-o", folder / "out.wav"},
    };
    for (const auto& row : rows) {
        const CRun run = Run(row);
        EXPECT_EQ(run.status, 2) << row.back() << ": " << run.err;
    }
    EXPECT_EQ(CountFiles("tmp"), 0u);
    EXPECT_FALSE(std::filesystem::exists(folder / "out.wav"));
}

// Every damaged shared file plays what it can or fails with a message, and
// leaves neither a temporary file nor a half-written output.
TEST_F(TrackCommandsTest, DamagedFilesPlayOrFailCleanly)
{
    std::filesystem::create_directories(folder / "out");
    const char* const rows[] = {
        "test-corrupt-file-extra-byte.mid", "test-corrupt-file-missing-byte.mid", "test-empty-file.mid",
        "test-not-a-midi-file.mid",         "test-illegal-message-all.mid",       "test-empty.mid"};
    for (const char* name : rows) {
        const std::string out = folder / ("out/" + std::string(name) + ".wav");
        const CRun run = Run({"decode", Shared(name), "-o", out, "--speed", "16"});
        EXPECT_TRUE(run.status == 0 || run.status == 1) << name;
        if (run.status == 1) {
            EXPECT_NE(run.err.find("cannot open"), std::string::npos) << name << ": " << run.err;
            EXPECT_FALSE(std::filesystem::exists(out)) << name;
        } else {
            EXPECT_GT(ReadLeft(out).size(), 0u) << name;
        }
        EXPECT_EQ(CountFiles("tmp"), 0u) << name;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder / "out"))
        EXPECT_EQ(entry.path().extension(), ".wav") << entry.path();
}

// A zip member plays like the plain file, through a copy that goes again.
TEST_F(TrackCommandsTest, ArchiveMemberDecodesLikeThePlainFile)
{
    const std::string song = ReadWholeFile(Shared("test-2-tracks-type-1.mid"));
    ASSERT_TRUE(testsupport::WriteZip(folder / "songs.zip", {{"notes.txt", "not music"}, {"dir/two.mid", song}}));
    const CRun zipped = Run({"decode", folder / "songs.zip", "-o", folder / "zip.flac"});
    ASSERT_EQ(zipped.status, 0) << zipped.err;
    EXPECT_NE(zipped.err.find("playing dir/two.mid"), std::string::npos) << zipped.err;
    const CRun plain = Run({"decode", Shared("test-2-tracks-type-1.mid"), "-o", folder / "plain.wav"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(CountFiles("tmp"), 0u);

    // The same samples, the start of the music within one of the
    // synthesizer's 64-frame blocks. The end may fall a block apart: the
    // track ends at the first block past the length, and on a slow build the
    // first block's wait stretches that length differently.
    const std::vector<int16_t> a = ReadLeft(folder / "zip.flac"), b = ReadLeft(folder / "plain.wav");
    ASSERT_GT(FirstSound(b), 0);
    EXPECT_LT(std::labs(long(a.size()) - long(b.size())), 44100L);
    size_t fewest = a.size();
    for (long shift = -64; shift <= 64; ++shift) {
        size_t differing = 0;
        for (size_t i = 64; i + 64 < std::min(a.size(), b.size()); ++i) differing += a[i] != b[size_t(long(i) + shift)];
        fewest = std::min(fewest, differing);
    }
    EXPECT_EQ(fewest, 0u);

    const CRun info = Run({"info", "archive://" + (folder / "songs.zip") + "|dir/two.mid"});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("length=4.500651\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("title=two\n"), std::string::npos) << info.out;
}

// The same file at real time and at the default speed (the clock following
// the synthesizer): the same length within a block, and the same notes at
// the same frames, within the synthesizer's 64-frame block. The default runs faster than real
// time. (Checks timing at clock rate 1, so it is one of the retried tests.)
TEST_F(TrackCommandsTest, DefaultSpeedGivesTheSameBytesUnderLoadAndTheFramesOfRealTime)
{
    const std::string song = Shared("test-2-tracks-type-1.mid");
    // The sine instrument, so each note is one clean frequency.
    const std::string dls = folder / "sine.dls";
    WriteBytes(dls, testsupport::WriteSineDls(0, 0));
    const std::vector<std::string> sine = {"--set", "MIDIUseCustomDLS=1", "--set", "MIDICustomDLS=" + dls};
    std::vector<std::string> real = {"decode", song, "-o", folder / "real.wav", "--speed", "1"};
    std::vector<std::string> fast = {"decode", song, "-o", folder / "fast.wav"};
    real.insert(real.end(), sine.begin(), sine.end());
    fast.insert(fast.end(), sine.begin(), sine.end());
    ASSERT_EQ(Run(real).status, 0);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Run(fast).status, 0);
    const double fastSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // A song with many notes, with reverb and chorus (whose sound depends on
    // how long the synth ran before the music), twice at the default speed,
    // once with a busy loop on every core beside it: the same bytes.
    const std::vector<std::string> effects = {"--set", "MIDIReverb=1", "--set", "MIDIChorus=1"};
    std::vector<std::string> walk = {"decode", Example("morning_walk.mid"), "-o", folder / "walk.wav"};
    std::vector<std::string> loaded = {"decode", Example("morning_walk.mid"), "-o", folder / "loaded.wav"};
    walk.insert(walk.end(), effects.begin(), effects.end());
    loaded.insert(loaded.end(), effects.begin(), effects.end());
    ASSERT_EQ(Run(walk).status, 0);
    {
        std::atomic<bool> spin{true};
        std::vector<std::thread> busy(std::max(1u, std::thread::hardware_concurrency()));
        for (std::thread& thread : busy)
            thread = std::thread([&] {
                volatile uint64_t work = 0;
                while (spin) work = work + 1;
            });
        const CRun run = Run(loaded);
        spin = false;
        for (std::thread& thread : busy) thread.join();
        ASSERT_EQ(run.status, 0) << run.err;
    }
    const std::string walkBytes = ReadFileBytes(folder / "walk.wav");
    EXPECT_GT(walkBytes.size(), 20 * 176400u);
    EXPECT_TRUE(walkBytes == ReadFileBytes(folder / "loaded.wav")) << "a decode at max under load gave other bytes";
    const std::vector<int16_t> atReal = ReadLeft(folder / "real.wav"), atFast = ReadLeft(folder / "fast.wav");
    // Every block is whole, so the end is the same block at any speed.
    EXPECT_EQ(atReal.size(), atFast.size());
    EXPECT_LT(fastSeconds, double(atFast.size()) / 44100);
    const double leadReal = FirstSound(atReal), leadFast = FirstSound(atFast);
    ASSERT_GT(leadReal, 0);
    EXPECT_NEAR(leadReal, leadFast, 64.0 / 44100);
    // A window may straddle a note change, so a few may differ by a step.
    int windows = 0, sounding = 0, same = 0;
    for (double at = 0.05; at < 4.4; at += 0.25, ++windows) {
        const int note = StrongestNote(atReal, leadReal + at, 0.2), other = StrongestNote(atFast, leadReal + at, 0.2);
        sounding += note >= 0;
        same += (note < 0) == (other < 0) && std::abs(note - other) <= 1;
    }
    EXPECT_GT(sounding, windows / 2);
    EXPECT_GE(same, windows - 2);
}

// Each format of a two-note song, through the sine instrument: the notes'
// pitches, and a length of the song plus its lead-in.
TEST_F(TrackCommandsTest, EveryFormatDecodesItsNotes)
{
    dmusic::CSegmentModel model;
    model.length = 4 * 768;
    model.tempos = {{0, 120.0}};
    for (const auto& [time, key] : {std::pair<int, BYTE>{0, 69}, {2 * 768, 81}}) {
        dmusic::CMidiEvent note;
        note.time = time;
        note.kind = dmusic::EMidiEventKind::Note;
        note.data1 = key;
        note.data2 = 110;
        note.duration = 768;
        model.events.push_back(note);
    }
    model.patches.push_back(dmusic::CPatchChange{});
    const std::string dls = folder / "sine.dls";
    WriteBytes(dls, testsupport::WriteSineDls(0, 0));
    const std::vector<uint8_t> smf = testsupport::WriteStandardMidi(model);
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> rows = {
        {"song.mid", smf},
        {"song.rmi", testsupport::WriteRmid(smf, {{"INAM", "Two notes"}})},
        {"song.sgt", testsupport::WriteSegmentFile(model)},
        {"song.xmi", testsupport::WriteXmi(model)},
    };
    for (const auto& [name, bytes] : rows) {
        WriteBytes(folder / name, bytes);
        const std::string out = folder / (name + ".wav");
        const CRun run = Run({"decode", folder / name, "-o", out, "--speed", "8", "--set", "MIDIUseCustomDLS=1",
                              "--set", "MIDICustomDLS=" + dls});
        ASSERT_EQ(run.status, 0) << name << ": " << run.err;
        const std::vector<int16_t> left = ReadLeft(out);
        const double lead = FirstSound(left);
        ASSERT_GT(lead, 0.5) << name;
        const double seconds = double(left.size()) / 44100;
        EXPECT_GE(seconds, 2.0 + lead - 0.1) << name;
        EXPECT_LE(seconds, 2.0 + lead + 1.1) << name;
        EXPECT_NEAR(Pitch(left, lead + 0.1, 0.3), 440.0, 3.0) << name;
        EXPECT_NEAR(Pitch(left, lead + 1.1, 0.3), 880.0, 5.0) << name;
    }
    // The overrides were for those runs only.
    EXPECT_EQ(Run({"config", "get", "MIDIUseCustomDLS"}).out, "0\n");
}

// Only what can be read to an end opens: a device, FIFO, socket or folder
// (through a link or an archive's name too) is refused at once, and leaves
// nothing behind.
TEST_F(TrackCommandsTest, OnlyRegularFilesOpen)
{
    std::filesystem::create_symlink("/dev/zero", folder / "zero.mid");
    ASSERT_EQ(mkfifo((folder / "fifo.mid").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((folder / "fifo.zip").c_str(), 0600), 0);
    std::filesystem::create_directories(folder / "folder.mid");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (folder / "socket.mid").c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::vector<std::pair<std::string, std::string>> rows = {
        {folder / "zero.mid", "not a regular file"},
        {folder / "fifo.mid", "not a regular file"},
        {folder / "folder.mid", "not a regular file"},
        {folder / "socket.mid", "not a regular file"},
        {"archive://" + (folder / "fifo.zip") + "|a.mid", "not a regular file"},
    };
    for (const auto& [path, reason] : rows)
        for (const std::string command : {"info", "decode"}) {
            // A guard, not a timing: the old host blocked on a FIFO for ever.
            const CRun run = RunScript("timeout -s KILL 60 " + Velmora() + " " + command + " " + Quote(path) +
                                       (command == "info" ? " --json" : " -o out.wav") + " 2>stderr");
            EXPECT_EQ(run.status, 1) << path;
            EXPECT_NE(run.err.find(reason), std::string::npos) << path << ": " << run.err;
            EXPECT_EQ(CountFiles("tmp"), 0u) << path;
            EXPECT_FALSE(std::filesystem::exists(folder / "out.wav")) << path;
        }
    close(listener);
}

// An output that is not a regular file keeps its kind: a link is written
// through, a FIFO or a device is written into, "-" is standard output; a
// format that cannot stream is refused before anything is written.
TEST_F(TrackCommandsTest, OutputsThatAreNotRegularFilesAreWrittenThrough)
{
    const std::string song = Quote(Shared("test-2-tracks-type-1.mid"));
    std::filesystem::create_symlink("target.wav", folder / "link.wav");
    ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(mknod((folder / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    const struct {
        std::string script;
        int status;
        std::string audio;  // where the audio arrives; empty for none
        std::filesystem::file_type kind;
        std::string node;  // the output, which keeps its kind
    } rows[] = {
        {Velmora() + " decode " + song + " -o link.wav 2>stderr", 0, "target.wav", std::filesystem::file_type::symlink,
         "link.wav"},
        {"timeout 60 cat pipe >got.flac & " + Velmora() + " decode " + song +
             " -o pipe --format flac 2>stderr; s=$?; wait; exit $s",
         0, "got.flac", std::filesystem::file_type::fifo, "pipe"},
        {Velmora() + " decode " + song + " -o - --format ogg 2>stderr >got.ogg", 0, "got.ogg",
         std::filesystem::file_type::fifo, "pipe"},
        {Velmora() + " decode " + song + " -o - --format wav 2>stderr >got.wav", 2, "",
         std::filesystem::file_type::fifo, "pipe"},
        {Velmora() + " decode " + song + " -o pipe --format wav 2>stderr", 1, "", std::filesystem::file_type::fifo,
         "pipe"},
        {root ? Velmora() + " decode " + song + " -o null --format wav 2>stderr" : "", 0, "",
         std::filesystem::file_type::character, "null"},
    };
    for (const auto& row : rows) {
        if (row.script.empty()) continue;  // a device node needs root
        const CRun run = RunScript(row.script);
        EXPECT_EQ(run.status, row.status) << row.script << "\n" << run.err;
        if (!row.audio.empty()) {
            const size_t frames = ReadLeft(folder / row.audio).size();
            EXPECT_GT(frames, 5 * 44100u) << row.script;
            EXPECT_LT(frames, 8 * 44100u) << row.script;
        }
        if (row.status != 0) {
            EXPECT_NE(run.err.find("give --format flac or ogg"), std::string::npos) << run.err;
        }
        EXPECT_EQ(std::filesystem::symlink_status(folder / row.node).type(), row.kind) << row.script;
        EXPECT_EQ(CountPartials(), 0u) << row.script;
        EXPECT_EQ(CountFiles("tmp"), 0u) << row.script;
    }
}

// A decode stopped by INT, TERM or HUP keeps the audio so far as a valid,
// shorter file and removes every temporary; a closed pipe is a clean write
// failure.
TEST_F(TrackCommandsTest, SignalsKeepAValidShorterFileAndRemoveTheTemporaries)
{
    const std::string song = Quote(Example("morning_walk.mid"));
    // At real time, stopped once a second of audio is in the hidden file.
    const std::string stopped = Velmora() + " decode " + song +
                                " -o out.wav --speed 1 2>stderr & p=$!; i=0; while [ $i -lt 600 ] && "
                                "[ $(cat .velmora-* 2>/dev/null | wc -c) -lt 200000 ]; do "
                                "sleep 0.05; i=$((i+1)); done; kill -";
    const struct {
        std::string script;
        std::string message;
        bool keeps;  // out.wav is a valid shorter file
    } rows[] = {
        {stopped + "INT $p; wait $p", "interrupted", true},
        {stopped + "TERM $p; wait $p", "interrupted", true},
        {stopped + "HUP $p; wait $p", "interrupted", true},
        // At a hundredth of real time the open waits over an hour for the
        // music; the interrupt ends it (a stuck run is killed after 60 s).
        {Velmora() + " decode " + song +
             " -o out.wav --speed 0.01 2>stderr & p=$!; sleep 1; kill -INT $p; "
             "( sleep 60; kill -KILL $p ) >/dev/null 2>&1 & k=$!; wait $p; s=$?; kill $k; exit $s",
         "interrupted", false},
        {"{ " + Velmora() + " decode " + song +
             " -o - --format flac --speed 4 2>stderr; echo $? >status; } | "
             "head -c 1000 >/dev/null; exit $(cat status)",
         "cannot write", false},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(folder / "out.wav");
        const CRun run = RunScript(row.script);
        EXPECT_EQ(run.status, 1) << row.script << "\n" << run.err;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        if (row.keeps) {
            const size_t frames = ReadLeft(folder / "out.wav").size();
            EXPECT_GT(frames, 44100u) << row.script;
            EXPECT_LT(frames, 20 * 44100u) << row.script;
        }
        EXPECT_EQ(CountPartials(), 0u) << row.script;
        EXPECT_EQ(CountFiles("tmp"), 0u) << row.script;
    }
}

// The candidates of an archive are picked by name and first bytes before
// any is opened: junk is never tried through the component (each try logs
// "IsThisOurFile"), and the member taken is named.
TEST_F(TrackCommandsTest, ArchivesTryOnlyMembersThatLookLikeMusic)
{
    const std::string song = ReadWholeFile(Shared("test-2-tracks-type-1.mid"));
    std::vector<std::pair<std::string, std::string>> junk;
    for (int i = 0; i < 10000; ++i) junk.push_back({"junk/" + std::to_string(i) + ".mid", "junk " + std::to_string(i)});
    std::vector<std::pair<std::string, std::string>> junkAndSong = junk;
    junkAndSong.push_back({"song.mid", song});
    const struct {
        std::vector<std::pair<std::string, std::string>> members;
        int status;
        std::string member;  // named on stderr; empty for none
        size_t tries;
    } rows[] = {
        {junkAndSong, 0, "song.mid", 1},
        {junk, 1, "", 0},
        {{{"notes.txt", song}, {"bad.mid", "MThd but broken"}, {"dir/two.mid", song}}, 0, "dir/two.mid", 2},
        {{{"a.mid", std::string("RIFF\x04\0\0\0WAVE", 12)}, {"b.rmi", "not music"}, {"c.mid", song}}, 0, "c.mid", 1},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(testsupport::WriteZip(folder / "songs.zip", row.members));
        const CRun run = Run({"--verbose", "info", folder / "songs.zip"});
        const std::string start = run.err.substr(0, 2000);
        EXPECT_EQ(run.status, row.status) << row.member << ": " << start;
        if (!row.member.empty()) {
            EXPECT_NE(run.err.find("songs.zip: member " + row.member + "\n"), std::string::npos) << start;
        }
        size_t tries = 0;
        for (size_t at = run.err.find("IsThisOurFile("); at != std::string::npos;
             at = run.err.find("IsThisOurFile(", at + 1))
            ++tries;
        EXPECT_EQ(tries, row.tries) << row.member;
    }
}

// Names and values that hold control characters or bytes that are not
// UTF-8 print on their one line, escaped: nothing can add a line of its own.
TEST_F(TrackCommandsTest, InfoTextOutputCannotBeSpoofed)
{
    const struct {
        std::string file;
        std::string trackName;
        std::string expected;  // in the output
    } rows[] = {
        {"spoof.mid", "Evil\nlength=99999.000000\ntitle=x", "track01=Evil\\nlength=99999.000000\\ntitle=x\n"},
        {"latin.mid", "caf\xE9 \xC3\xA9", "track01=caf\xEF\xBF\xBD \xC3\xA9\n"},
        {"escape.mid", "\x1B[2J\r\tred\xC2\x9B", "track01=\\x1b[2J\\r\\tred\\u009b\n"},
        {"two\nlines.mid", "plain", "two\\nlines.mid <==\n"},
    };
    for (const auto& row : rows) {
        WriteWholeFile(folder / row.file, NamedSong(row.trackName));
        const CRun run = Run({"info", folder / row.file, Example("morning_walk.mid")});
        EXPECT_EQ(run.status, 0) << row.file << ": " << run.err;
        EXPECT_NE(run.out.find(row.expected), std::string::npos) << run.out;
        // Each file's own length and title lines, and no others.
        for (const char* line : {"\nlength=", "\ntitle="}) {
            size_t count = 0;
            for (size_t at = ("\n" + run.out).find(line); at != std::string::npos;
                 at = ("\n" + run.out).find(line, at + 1))
                ++count;
            EXPECT_EQ(count, 2u) << line << "\n" << run.out;
        }
    }
}

// An output that is the input, or the archive it is in, is refused however
// either is named, and the input stays as it was.
TEST_F(TrackCommandsTest, OutputThatIsTheInputIsRefused)
{
    const std::string song = ReadWholeFile(Shared("test-2-tracks-type-1.mid"));
    WriteWholeFile(folder / "same.mid", song);
    ASSERT_TRUE(testsupport::WriteZip(folder / "songs.zip", {{"a.mid", song}}));
    const std::string zipped = ReadWholeFile(folder / "songs.zip");
    std::filesystem::create_symlink("same.mid", folder / "link.wav");
    std::filesystem::create_hard_link(folder / "same.mid", folder / "hard.wav");
    std::filesystem::create_symlink("songs.zip", folder / "zip.wav");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {folder / "same.mid", folder / "same.mid"},
        {folder / "same.mid", folder / "link.wav"},
        {folder / "same.mid", folder / "hard.wav"},
        {"file://" + (folder / "same.mid"), folder / "./same.mid"},
        {"archive://" + (folder / "songs.zip") + "|a.mid", folder / "songs.zip"},
        {folder / "songs.zip", folder / "zip.wav"},
    };
    for (const auto& [input, output] : rows) {
        const CRun run = Run({"decode", input, "-o", output, "--format", "wav"});
        EXPECT_EQ(run.status, 2) << input << " -> " << output << ": " << run.err;
        EXPECT_NE(run.err.find("is the file to decode"), std::string::npos) << run.err;
        EXPECT_EQ(ReadWholeFile(folder / "same.mid"), song) << output;
        EXPECT_EQ(ReadWholeFile(folder / "songs.zip"), zipped) << output;
        EXPECT_EQ(CountPartials(), 0u);
    }
}

// What cannot be played is named for what it is, and what is larger than
// any song is refused before it is read or copied.
TEST_F(TrackCommandsTest, RefusalsSayWhatIsWrong)
{
    const std::string song = ReadWholeFile(Shared("test-2-tracks-type-1.mid"));
    WriteWholeFile(folder / "empty.kar", "");
    WriteWholeFile(folder / "notes.txt", "a text file\nof two lines\n");
    ASSERT_TRUE(testsupport::WriteZip(folder / "locked.zip", {{"a.mid", song}}, "secret"));
    WriteWholeFile(folder / "locked.7z", headerEncrypted7z);
    std::filesystem::create_symlink("loop2.mid", folder / "loop.mid");
    std::filesystem::create_symlink("loop.mid", folder / "loop2.mid");
    WriteWholeFile(folder / "huge.mid", "MThd");
    std::filesystem::resize_file(folder / "huge.mid", 200u << 20);
    ASSERT_TRUE(testsupport::WriteZip(folder / "bomb.zip", {{"big.mid", "MThd" + std::string(130u << 20, '\0')}}));
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string says;
    } rows[] = {
        {{"info", folder / "empty.kar"}, 1, "the file is empty"},
        {{"info", folder / "notes.txt"}, 1, "not a MIDI, RMID, XMI or segment file, nor an archive"},
        {{"info", folder / "locked.zip"}, 1, "encrypted (a password is needed"},
        {{"info", "archive://" + (folder / "locked.zip") + "|a.mid"}, 1, "encrypted (a password is needed"},
        {{"info", folder / "locked.7z"}, 1, "encrypted (a password is needed"},
        {{"info", folder / "loop.mid"}, 1, "a loop of symbolic links"},
        {{"info", folder / "huge.mid"}, 1, "no MIDI, RMID, XMI or segment file is larger than 128 MiB"},
        {{"decode", folder / "bomb.zip", "-o", folder / "out.wav"}, 1, "no member of the archive could be played"},
        {{"info", "archive://" + (folder / "bomb.zip") + "|big.mid"}, 1, "larger than any MIDI file"},
        {{"decode", Example("morning_walk.mid"), "-o", folder / "out.wav", "--speed", "1000000"},
         2,
         "give a rate from 0.01 to 1000"},
    };
    for (const auto& row : rows) {
        const CRun run = Run(row.arguments);
        EXPECT_EQ(run.status, row.status) << row.arguments[1] << ": " << run.err;
        EXPECT_NE(run.err.find(row.says), std::string::npos) << row.arguments[1] << ": " << run.err;
        EXPECT_EQ(CountFiles("tmp"), 0u) << row.arguments[1];
        EXPECT_FALSE(std::filesystem::exists(folder / "out.wav"));
    }
}

// Member names beyond ASCII (7z keeps them in UTF-16, a zip may flag them
// as UTF-8) are found in the C locale too, and an archive whose own path
// holds '|' plays in both forms.
TEST_F(TrackCommandsTest, ArchiveNamesBeyondAsciiAndBarsPlay)
{
    const std::string song = ReadWholeFile(Shared("test-2-tracks-type-1.mid"));
    const std::string name = "dir/Caf\xC3\xA9 \xE2\x99\xAA.mid";
    const char* const before = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = before ? before : "C";
    std::setlocale(LC_CTYPE, "C.UTF-8");
    const struct {
        std::string archive;
        const char* format;
        std::string member;
    } rows[] = {
        {"songs.7z", "7zip", name},
        {"songs.zip", "zip", name},
        {"a|b.zip", "zip", "song.mid"},
    };
    for (const auto& row : rows) {
        archive* writer = archive_write_new();
        archive_write_set_format_by_name(writer, row.format);
        if (std::string(row.format) == "zip") archive_write_set_options(writer, "zip:hdrcharset=UTF-8");
        ASSERT_EQ(archive_write_open_filename(writer, (folder / row.archive).c_str()), ARCHIVE_OK);
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, row.member.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, la_int64_t(song.size()));
        ASSERT_EQ(archive_write_header(writer, entry), ARCHIVE_OK) << archive_error_string(writer);
        archive_write_data(writer, song.data(), song.size());
        archive_entry_free(entry);
        archive_write_free(writer);
        for (const std::string& path :
             {folder / row.archive, "archive://" + (folder / row.archive) + "|" + row.member}) {
            const CRun run = RunVelmora("env -u LANG -u LC_ALL -u LC_CTYPE TMPDIR=" + Quote(folder / "tmp") +
                                            " VELMORA_CONFIG=" + Quote(folder / "velmora.cfg"),
                                        {"info", path}, folder / "stderr");
            EXPECT_EQ(run.status, 0) << path << ": " << run.err;
            EXPECT_NE(run.out.find("length=4.500651\n"), std::string::npos) << path << ": " << run.out;
        }
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}

// Ctrl-C while the candidates of a large archive are tried ends the run at
// once, with status 1, and leaves no temporary file.
TEST_F(TrackCommandsTest, InterruptStopsAnArchiveScanAndRemovesItsCopies)
{
    std::vector<std::pair<std::string, std::string>> broken;
    for (int i = 0; i < 3000; ++i)
        broken.push_back({std::to_string(i) + ".mid", "MThd but broken " + std::to_string(i)});
    ASSERT_TRUE(testsupport::WriteZip(folder / "broken.zip", broken));
    for (const std::string command : {"info broken.zip", "decode broken.zip -o out.wav"}) {
        // Stopped once the component has tried a member (its lines say so).
        // The stderr of the command before is emptied first, or its lines
        // would send the interrupt before this one has started.
        const CRun run = RunScript(": >stderr; " + Velmora() + " --verbose " + command +
                                   " 2>stderr & p=$!; i=0; while [ $i -lt 600 ] && ! grep -q IsThisOurFile stderr; do "
                                   "sleep 0.05; i=$((i+1)); done; kill -INT $p; wait $p");
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_NE(run.err.find("interrupted"), std::string::npos)
            << command << ": " << run.err.substr(run.err.size() - 300);
        EXPECT_EQ(CountFiles("tmp"), 0u) << command;
        EXPECT_FALSE(std::filesystem::exists(folder / "out.wav"));
    }
}

}  // namespace
