// Helpers for the engine tests: a COM apartment and a test host around each
// test, files written from segment models into a private folder, and the
// decoder's way of reading the captured PCM.
#pragma once

#include "tessarine/engine/midi_music.h"
#include "tessarine/frame/config.h"
#include "tests/platform/kernel/scoped_clock_rate.h"
#include "tests/support/music_writer.h"
#include "tests/support/test_host.h"

#include <platform/com_registry.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <cstring>
#include <unistd.h>
#include <vector>

// Puts a performance class in the class table that keeps a reference on
// the performance it makes last, so a test can ask it what the engine set.
class CPerformanceSpy {
public:
    CPerformanceSpy() : replacement(CLSID_DirectMusicPerformance, Create) { previous = replacement.Previous(); }
    ~CPerformanceSpy()
    {
        if (last) last->Release();
        last = nullptr;
    }
    IDirectMusicPerformance* Get() const { return last; }

private:
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        const HRESULT result = previous(outer, iid, object);
        if (SUCCEEDED(result)) {
            if (last) last->Release();
            static_cast<IUnknown*>(*object)->QueryInterface(IID_IDirectMusicPerformance,
                                                            reinterpret_cast<void**>(&last));
        }
        return result;
    }
    static inline platform::ClassFactoryFunction previous = nullptr;
    static inline IDirectMusicPerformance* last = nullptr;
    platform::ScopedComClassReplacement replacement;
};

class CEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        folder = std::filesystem::temp_directory_path() /
                 ("engine-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(folder / "tmp");
        // The capture store's files go here, where a test can count them.
        previousTemp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        setenv("TMPDIR", (folder / "tmp").c_str(), 1);
        configLog.value = 1;
        configPadBefore.value = 100;
        configOutputBuffer.value = 16384;
    }
    void TearDown() override
    {
        if (previousTemp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", previousTemp.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        CoUninitialize();
    }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    // Reads the capture the way the decoder does, block after block, until
    // the store takes no more audio. Returns the 16-bit samples (stereo).
    static std::vector<int16_t> ReadWholeCapture(CMidiMusic& engine)
    {
        std::vector<int16_t> samples;
        std::vector<char> block(size_t(configOutputBuffer.value));
        int32_t offset = 0;
        for (int round = 0; round < 100000; ++round) {
            CHostFile* file = nullptr;
            if (!engine.BeginCaptureRead(offset, &file)) {
                ADD_FAILURE() << "the capture read failed at offset " << offset;
                break;
            }
            const uint32_t got = file->Read(block.data(), uint32_t(block.size()));
            file->Release();
            engine.EndCaptureRead();
            const size_t old = samples.size();
            samples.resize(old + got / 2);
            std::memcpy(samples.data() + old, block.data(), (got / 2) * 2);
            offset += int32_t(got);
            if (got == 0 && engine.IsCaptureEnded()) break;
        }
        return samples;
    }

    // Files in the temporary folder the capture store uses.
    size_t CountTempFiles() const
    {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder / "tmp")) ++count;
        return count;
    }

    // Threads of this process right now.
    static size_t CountThreads()
    {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
        return count;
    }

    // The threads of this process right now, by id.
    static std::set<std::string> ThreadIds()
    {
        std::set<std::string> ids;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
            ids.insert(entry.path().filename().string());
        return ids;
    }

    // How many threads not in `before` remain once they have had time to
    // leave: a joined thread leaves the process a moment after its wait.
    static size_t SettledNewThreads(const std::set<std::string>& before)
    {
        size_t added = 0;
        for (int i = 0; i < 200; ++i) {
            const std::set<std::string> now = ThreadIds();
            added =
                size_t(std::count_if(now.begin(), now.end(), [&](const std::string& id) { return !before.count(id); }));
            if (added == 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return added;
    }

    // The thread count once it has come down to at most `expected`: a
    // joined thread leaves the process a moment after its wait is over.
    static size_t SettledThreadCount(size_t expected)
    {
        size_t count = CountThreads();
        for (int i = 0; i < 200 && count > expected; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            count = CountThreads();
        }
        return count;
    }

    // Plays the whole way to the first audio in default-port mode.
    static void OpenAndPlay(CMidiMusic& engine, const std::string& song, const char* collection = nullptr)
    {
        DMUS_PORTCAPS caps;
        ASSERT_GE(engine.FindOutputPort(0xFFFFFFFF, &caps), 0);
        ASSERT_TRUE(engine.CreateOutputPort(nullptr, &caps, true));
        ASSERT_TRUE(engine.LoadMidiFromFile(true, song.c_str()));
        ASSERT_TRUE(engine.LoadCollection(collection));
        ASSERT_TRUE(engine.Play());
    }

    CTestHost host;
    std::filesystem::path folder;
    std::string previousTemp;
    static inline int counter = 0;
};

// A segment model at one or more tempos with the given notes on channel 0.
struct CNoteSpec {
    MUSIC_TIME time;
    MUSIC_TIME duration;
    BYTE key;
};

inline dmusic::CSegmentModel MakeModel(std::vector<dmusic::CTempoChange> tempos, std::vector<CNoteSpec> notes,
                                       MUSIC_TIME length)
{
    dmusic::CSegmentModel model;
    model.length = length;
    model.tempos = std::move(tempos);
    for (const CNoteSpec& note : notes) {
        dmusic::CMidiEvent event;
        event.time = note.time;
        event.kind = dmusic::EMidiEventKind::Note;
        event.data1 = note.key;
        event.data2 = 110;
        event.duration = note.duration;
        model.events.push_back(event);
    }
    dmusic::CPatchChange patch;
    patch.program = 0;
    model.patches.push_back(patch);
    return model;
}

// Seconds (from the capture's start) at which sound begins after at least
// 50 ms of silence, on the left channel.
inline std::vector<double> FindOnsets(const std::vector<int16_t>& samples)
{
    constexpr size_t window = 441;  // 10 ms of frames
    std::vector<double> onsets;
    int quietWindows = 5;
    for (size_t start = 0; start + window * 2 <= samples.size(); start += window * 2) {
        double energy = 0;
        for (size_t i = 0; i < window; ++i) energy += std::abs(double(samples[start + i * 2]));
        const bool loud = energy / window > 300.0;
        if (loud && quietWindows >= 5) {
            size_t frame = start / 2;
            for (size_t i = 0; i < window; ++i)
                if (std::abs(samples[start + i * 2]) > 300) {
                    frame = start / 2 + i;
                    break;
                }
            onsets.push_back(double(frame) / 44100.0);
        }
        quietWindows = loud ? 0 : quietWindows + 1;
    }
    return onsets;
}
