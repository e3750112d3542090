// dmrender over real files: refused files, the shared test files without
// stuck notes, a DLS sine against the GM piano, reverb, the silent MIDI port,
// the same notes at every speed and under load, non-ASCII file names; and
// its stream writer, which keeps the music alone whenever it learns its ends.
#include <dsound.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cmath>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/dmusic/segment_model.h"
#include "platform/dmusic/synth.h"
#include "platform/tools/stream_writer.h"
#include "tests/platform/dmusic/synth_test_support.h"
#include "tests/support/music_writer.h"

namespace fs = std::filesystem;

namespace {

struct CWav {
    int rate = 0, channels = 0, bits = 0;
    std::vector<int16_t> samples;
};

bool ReadWav(const std::string& path, CWav* wav)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) || std::memcmp(bytes.data() + 8, "WAVE", 4))
        return false;
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, &bytes[at], 4);
        return v;
    };
    auto u16 = [&](size_t at) {
        uint16_t v;
        std::memcpy(&v, &bytes[at], 2);
        return v;
    };
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = u32(at + 4);
        if (at + 8 + size > bytes.size()) size = uint32_t(bytes.size() - at - 8);
        if (!std::memcmp(&bytes[at], "fmt ", 4)) {
            wav->channels = u16(at + 10);
            wav->rate = int(u32(at + 12));
            wav->bits = u16(at + 22);
        } else if (!std::memcmp(&bytes[at], "data", 4)) {
            wav->samples.resize(size / 2);
            std::memcpy(wav->samples.data(), &bytes[at + 8], size / 2 * 2);
        }
        at += 8 + size + (size & 1);
    }
    return wav->rate != 0;
}

bool HaveSoundDevice()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IDirectSound* device = nullptr;
    HRESULT hr =
        CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound, reinterpret_cast<void**>(&device));
    if (device) device->Release();
    CoUninitialize();
    return SUCCEEDED(hr);
}

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveSoundDevice()) GTEST_SKIP() << "no platform DirectSound device in this build";
        char name[] = "/tmp/render-tool-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override
    {
        if (!folder.empty()) fs::remove_all(folder);
    }

    // Runs dmrender; returns its exit status and keeps what it wrote to stderr.
    int Run(const std::string& arguments)
    {
        std::string command =
            std::string(TESSARINE_BINARY_DIR) + "/bin/dmrender " + arguments + " 2>" + folder + "/err";
        int status = std::system(command.c_str());
        std::ifstream err(folder + "/err");
        errors.assign((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Runs dmrender in a process of its own, stopped for pauseMs of real time
    // once it has run for a while; returns its exit status.
    int RunPausing(const std::string& arguments, int pauseMs)
    {
        std::string command =
            "exec " + std::string(TESSARINE_BINARY_DIR) + "/bin/dmrender " + arguments + " 2>" + folder + "/err";
        pid_t child = fork();
        if (child == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (child < 0) return -1;
        if (pauseMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            kill(child, SIGSTOP);
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            kill(child, SIGCONT);
        }
        int status = 0;
        waitpid(child, &status, 0);
        std::ifstream err(folder + "/err");
        errors.assign((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    // One note at 120 bpm: starting at beat 1 (0.5 s) for `beats` beats.
    std::string OneNote(const std::string& name, BYTE program, BYTE key, MUSIC_TIME beats)
    {
        dmusic::CSegmentModel model;
        model.length = 768 * (1 + beats + 1);
        model.events.push_back({0, 0, dmusic::EMidiEventKind::ProgramChange, program, 0, 8192, 0, {}});
        model.events.push_back({768, 0, dmusic::EMidiEventKind::Note, key, 100, 8192, 768 * beats, {}});
        return Write(name, testsupport::WriteStandardMidi(model));
    }

    std::string folder, errors;
};

// Harmonic (2nd to 5th) power against the fundamental's.
double HarmonicRatio(const std::vector<int16_t>& audio, size_t begin, size_t end)
{
    double harmonics = 0;
    for (int h = 2; h <= 5; ++h) harmonics += synth_test::TonePower(audio, begin, end, 440.0 * h);
    return harmonics / synth_test::TonePower(audio, begin, end, 440.0);
}

// The offset, in frames, at which the left channel of `other` best matches
// `reference` over [begin, begin + length), and how well (1 is identical).
std::pair<int, double> BestLag(const std::vector<int16_t>& reference, const std::vector<int16_t>& other, size_t begin,
                               size_t length, int reach)
{
    std::pair<int, double> best{0, -2.0};
    for (int lag = -reach; lag <= reach; ++lag) {
        if (long(begin) + lag < 0 || 2 * (begin + length + size_t(reach)) >= other.size()) break;
        double dot = 0, a = 0, b = 0;
        for (size_t i = begin; i < begin + length; ++i) {
            double x = reference[2 * i], y = other[2 * size_t(long(i) + lag)];
            dot += x * y;
            a += x * x;
            b += y * y;
        }
        double correlation = dot / (std::sqrt(a * b) + 1e-9);
        if (correlation > best.second) best = {lag, correlation};
    }
    return best;
}

}  // namespace

TEST_F(RenderTool, SameNotesAtTheSameFramesAtEverySpeedAndUnderLoad)
{
    const std::string midi = std::string(TESSARINE_TESTDATA_DIR) + "/midi/test-2-tracks-type-1.mid";
    CWav reference;
    ASSERT_EQ(Run(midi + " -o " + folder + "/reference.wav --speed 1"), 0) << errors;
    ASSERT_TRUE(ReadWav(folder + "/reference.wav", &reference));
    const size_t frames = reference.samples.size() / 2;
    ASSERT_GT(frames, size_t(5 * 44100));

    struct Row {
        const char* what;
        const char* speed;
        bool busyCore;
        int pauseMs;
        bool fasterThanRealTime;
    };
    const Row rows[] = {
        {"max", "max", false, 0, true},
        {"16 with a core kept busy", "16", true, 0, false},
        {"16 paused for 250 ms", "16", false, 250, false},
        {"max paused for 250 ms", "max", false, 250, false},
        {"max with a core kept busy", "max", true, 0, false},
    };
    // At max the clock follows what was rendered, so every render there
    // gives the same bytes, reverb and chorus included.
    std::vector<int16_t> maxSamples;
    for (const Row& row : rows) {
        std::atomic<bool> spin{row.busyCore};
        std::thread busy([&] {
            volatile uint64_t work = 0;
            while (spin) work = work + 1;
        });
        auto start = std::chrono::steady_clock::now();
        int status = RunPausing(midi + " -o " + folder + "/out.wav --speed " + row.speed, row.pauseMs);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        spin = false;
        busy.join();
        ASSERT_EQ(status, 0) << row.what << ": " << errors;
        CWav wav;
        ASSERT_TRUE(ReadWav(folder + "/out.wav", &wav)) << row.what;
        // The same length, to a block.
        EXPECT_NEAR(double(wav.samples.size() / 2), double(frames), double(dmusic::kSynthBlockFrames)) << row.what;
        if (std::string(row.speed) == "max") {
            if (maxSamples.empty()) maxSamples = wav.samples;
            EXPECT_TRUE(wav.samples == maxSamples) << row.what << ": other samples than the first render at max";
        }
        if (row.fasterThanRealTime) {
            EXPECT_LT(seconds, double(frames) / 44100) << row.what;
        }
        // Every stretch with sound in it: the same sound, at most a block
        // of the synthesizer away.
        int compared = 0;
        for (size_t begin = 4410; begin + 4410 < frames; begin += 11025) {
            std::vector<int16_t> part(reference.samples.begin() + long(2 * begin),
                                      reference.samples.begin() + long(2 * (begin + 1500)));
            if (synth_test::PeakAbs(part) < 200) continue;
            auto [lag, correlation] = BestLag(reference.samples, wav.samples, begin, 1500, 200);
            EXPECT_LE(std::abs(lag), dmusic::kSynthBlockFrames) << row.what << " at frame " << begin;
            EXPECT_GT(correlation, 0.95) << row.what << " at frame " << begin;
            ++compared;
        }
        EXPECT_GE(compared, 15) << row.what;
    }
}

TEST_F(RenderTool, FileNamesAreReadAsUtf8)
{
    struct Row {
        const char* what;
        std::string name;
        int status;
    };
    const Row rows[] = {
        {"ASCII", "plain.mid", 0},
        {"accented Latin",
         "caf\xC3\xA9 \xC3\xBC"
         "ber.mid",
         0},
        {"outside the BMP", "\xF0\x9F\x8E\xB9 keys.mid", 0},
        {"not UTF-8", "bad\xE9name.mid", 1},
    };
    std::ifstream source(std::string(TESSARINE_TESTDATA_DIR) + "/midi/test-2-tracks-type-0.mid", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    for (const Row& row : rows) {
        std::string path = Write(row.name, bytes);
        std::string out = folder + "/out.wav";
        fs::remove(out);
        EXPECT_EQ(Run("'" + path + "' -o " + out), row.status) << row.what << ": " << errors;
        EXPECT_EQ(fs::exists(out), row.status == 0) << row.what;
        fs::remove(path);
    }
}

TEST_F(RenderTool, RefusedFileExitsWithOneAndSaysWhy)
{
    std::string out = folder + "/out.wav";
    EXPECT_EQ(Run(std::string(TESSARINE_TESTDATA_DIR) + "/midi/test-not-a-midi-file.mid -o " + out), 1);
    EXPECT_NE(errors.find("cannot load"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(Run(folder + "/missing.mid -o " + out), 1);
    EXPECT_NE(errors.find("cannot load"), std::string::npos) << errors;
    EXPECT_EQ(Run("-o " + out), 2);
    EXPECT_EQ(Run(folder + "/x.mid -o " + out + " --reverb maybe"), 2);
}

TEST_F(RenderTool, SharedFilesEndInSilence)
{
    int rendered = 0;
    for (const auto& entry : fs::directory_iterator(std::string(TESSARINE_TESTDATA_DIR) + "/midi")) {
        if (entry.path().extension() != ".mid") continue;
        std::string out = folder + "/out.wav";
        fs::remove(out);
        // Fast, but with room for a busy machine: a sink held up past its
        // write-ahead leaves old ring contents behind the cursor.
        int status = Run(entry.path().string() + " -o " + out + " --speed 4");
        if (status == 1) continue;  // refused by the loader, said so
        ASSERT_EQ(status, 0) << entry.path() << ": " << errors;
        CWav wav;
        ASSERT_TRUE(ReadWav(out, &wav)) << entry.path();
        EXPECT_EQ(wav.rate, 44100);
        EXPECT_EQ(wav.channels, 2);
        EXPECT_EQ(wav.bits, 16);
        ASSERT_GE(wav.samples.size(), size_t(2 * 44100)) << entry.path() << ": a second after the end at least";
        // The last quarter second, most of a second after the music ended,
        // has no note left sounding.
        std::vector<int16_t> tail(wav.samples.end() - 2 * 11025, wav.samples.end());
        EXPECT_LT(synth_test::PeakAbs(tail), 100) << entry.path();
        ++rendered;
    }
    EXPECT_GE(rendered, 10);
}

TEST_F(RenderTool, SineCollectionReplacesThePiano)
{
    std::string midi = OneNote("a4.mid", 0, 69, 2);
    std::string dls = Write("sine.dls", synth_test::BuildSineDls(0, 0, false));
    CWav sine, piano;
    ASSERT_EQ(Run(midi + " -o " + folder + "/sine.wav --dls " + dls + " --reverb off --speed 4"), 0) << errors;
    ASSERT_EQ(Run(midi + " -o " + folder + "/piano.wav --reverb off --speed 4"), 0) << errors;
    ASSERT_TRUE(ReadWav(folder + "/sine.wav", &sine));
    ASSERT_TRUE(ReadWav(folder + "/piano.wav", &piano));
    // The note sounds from 0.5 s to 1.5 s; measure its middle.
    EXPECT_LT(HarmonicRatio(sine.samples, 30870, 57330), 0.0001);
    EXPECT_NEAR(synth_test::ZeroCrossingFrequency(sine.samples, 30870, 57330), 440.0, 0.5);
    EXPECT_GT(HarmonicRatio(piano.samples, 24255, 44100), 0.001);
}

TEST_F(RenderTool, ReverbLengthensTheTailAndTheMidiPortIsSilent)
{
    std::string midi = OneNote("block.mid", 115, 76, 1);
    double tails[2];
    for (bool reverb : {false, true}) {
        CWav wav;
        std::string out = folder + "/block.wav";
        ASSERT_EQ(Run(midi + " -o " + out + " --speed 4 --reverb " + (reverb ? "on" : "off")), 0) << errors;
        ASSERT_TRUE(ReadWav(out, &wav));
        // The woodblock (struck at 0.5 s) dies away within 0.2 s dry; from
        // 0.7 s on only the room is left.
        tails[reverb] = synth_test::MeanSquare(wav.samples, 30870, 48510);
    }
    EXPECT_GT(tails[1], 10.0 * tails[0] + 1.0);

    CWav silent;
    ASSERT_EQ(Run(midi + " -o " + folder + "/port1.wav --speed 4 --port 1"), 0) << errors;
    ASSERT_TRUE(ReadWav(folder + "/port1.wav", &silent));
    EXPECT_NEAR(double(silent.samples.size()) / 2 / 44100, 1.5 + 1.0, 0.05);
    EXPECT_EQ(synth_test::PeakAbs(silent.samples), 0);
    EXPECT_EQ(Run(midi + " -o " + folder + "/port9.wav --port 9"), 1);
}

// At max nothing waits for dmrender's reader of notifications: the sink may
// have written well past the music's end before the reader learns of it.
// The file holds the music's frames all the same, from its first to its last.
TEST(RenderToolWriter, KeepsTheMusicAloneWhenItsEndsAreKnown)
{
    struct Row {
        const char* what;
        int64_t first, firstAfter;  // the first frame, told once this many had come
        int64_t last, lastAfter;    // the frame past the last, once this many had come (-1: never told)
        int64_t total;              // frames the sink writes (whole pieces of 128)
    };
    const Row rows[] = {
        {"both ends told in time", 100, 0, 600, 256, 1024},
        {"the start told late", 100, 384, 600, 384, 1024},
        {"the sink ran on past the end before it was told", 100, 0, 600, 896, 1024},
        {"the sink ran on past the end, the start told late too", 100, 640, 600, 1024, 1024},
        {"an end before the start", 100, 0, 50, 1024, 1024},
        {"no end told", 100, 0, 0, -1, 1024},
    };
    char folder[] = "/tmp/render-writer-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/out.wav";
    for (const Row& row : rows) {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr) << row.what;
        int64_t kept = 0;
        {
            dmrender::CStreamWriter writer(file);
            // Pieces of 128 frames, each sample its frame's number.
            for (int64_t at = 0; at <= row.total; at += 128) {
                if (at == row.firstAfter) writer.SetFirst(row.first);
                if (at == row.lastAfter) writer.SetLast(row.last);
                if (at == row.total) break;
                std::vector<int16_t> piece;
                for (int64_t frame = at; frame < std::min(at + 128, row.total); ++frame)
                    piece.insert(piece.end(), {int16_t(frame), int16_t(-frame)});
                writer.Append(piece.data(), piece.size() / 2);
            }
            kept = writer.Finish();
        }
        sf_close(file);
        const int64_t end = row.lastAfter < 0 ? row.total : std::max(row.first, row.last);
        EXPECT_EQ(kept, end - row.first) << row.what;
        SF_INFO readInfo{};
        SNDFILE* read = sf_open(path.c_str(), SFM_READ, &readInfo);
        ASSERT_NE(read, nullptr) << row.what;
        std::vector<int16_t> samples(size_t(2 * std::max<sf_count_t>(readInfo.frames, 1)));
        const sf_count_t frames = sf_readf_short(read, samples.data(), readInfo.frames);
        sf_close(read);
        ASSERT_EQ(int64_t(frames), end - row.first) << row.what;
        EXPECT_EQ(int64_t(fs::file_size(path)), 44 + 4 * (end - row.first)) << row.what;
        for (int64_t i = 0; i < frames; ++i) {
            ASSERT_EQ(samples[size_t(2 * i)], int16_t(row.first + i)) << row.what << " at frame " << i;
            ASSERT_EQ(samples[size_t(2 * i + 1)], int16_t(-(row.first + i))) << row.what << " at frame " << i;
        }
    }
    fs::remove_all(folder);
}
