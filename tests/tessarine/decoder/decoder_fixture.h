// Helpers for the decoder tests: a test host, a private temporary folder
// (where the component's copies and captures land, so a test can count
// them), short songs written from segment models, and one decoder instance
// opened on a file the way the host opens it.
#pragma once

#include "tessarine/decoder/decoder_service.h"
#include "tessarine/frame/config.h"
#include "tessarine/frame/host_access.h"
#include "tests/platform/kernel/scoped_clock_rate.h"
#include "tests/support/music_writer.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class CDecoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() /
                 ("decoder-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(folder / "tmp");
        previousTemp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        setenv("TMPDIR", (folder / "tmp").c_str(), 1);
        saved = host.SaveSettings();
        configLog.value = 1;
        configOutputBuffer.value = 17640;  // a tenth of a second
    }
    void TearDown() override
    {
        host.Component()->LoadSettings(saved.data(), uint32_t(saved.size()));
        if (previousTemp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", previousTemp.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

public:
    // A song of the given quarters at 120 a minute, one note per quarter.
    static std::vector<uint8_t> Song(int quarters) { return testsupport::WriteStandardMidi(SongModel(quarters)); }
    static dmusic::CSegmentModel SongModel(int quarters)
    {
        dmusic::CSegmentModel model;
        model.length = quarters * 768;
        model.tempos = {{0, 120.0}};
        for (int i = 0; i < quarters; ++i) {
            dmusic::CMidiEvent note;
            note.time = i * 768;
            note.kind = dmusic::EMidiEventKind::Note;
            note.data1 = BYTE(60 + i % 12);
            note.data2 = 100;
            note.duration = 600;
            model.events.push_back(note);
        }
        model.patches.push_back(dmusic::CPatchChange{});
        return model;
    }

protected:
    size_t CountTempFiles() const
    {
        size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder / "tmp")) ++count;
        return count;
    }

    // Bytes the decoder hands out until it ends (or -1 comes), at most limit
    // calls; nonZero receives how many of them are not 0.
    static uint64_t DecodeAll(CMidiDecoderService* decoder, int32_t* last = nullptr, int limit = 100000,
                              uint64_t* nonZero = nullptr)
    {
        uint64_t total = 0, loud = 0;
        int32_t result = 1;
        for (int i = 0; i < limit && result == 1; ++i) {
            void* data = nullptr;
            uint32_t bytes = 0, rate = 0, bits = 0, channels = 0;
            result = decoder->DecodeBlock(&data, &bytes, &rate, &bits, &channels);
            if (result != 1) continue;
            total += bytes;
            const uint8_t* block = static_cast<const uint8_t*>(data);
            loud += uint64_t(std::count_if(block, block + bytes, [](uint8_t byte) { return byte != 0; }));
        }
        if (last) *last = result;
        if (nonZero) *nonZero = loud;
        return total;
    }

    CTestHost host;
    std::filesystem::path folder;
    std::string previousTemp;
    std::vector<uint8_t> saved;
    static inline int counter = 0;
};

// One decoder with the host file it was opened on; both go at the end.
class COpenedDecoder {
public:
    COpenedDecoder() : decoder(CMidiDecoderService::Create()) {}
    ~COpenedDecoder()
    {
        if (decoder) decoder->Release();
        if (file) file->Close();
    }
    COpenedDecoder(const COpenedDecoder&) = delete;
    COpenedDecoder& operator=(const COpenedDecoder&) = delete;

    bool Open(const std::string& path, uint32_t flags)
    {
        if (file) file->Close();
        info = CFileInfo(path);
        file = OpenHostFile(path.c_str(), HOST_OPEN_READ);
        return decoder->OpenTrack(file, &info, flags);
    }
    void Release()
    {
        decoder->Release();
        decoder = nullptr;
    }

    CMidiDecoderService* decoder;
    CHostFile* file = nullptr;
    CFileInfo info;
};
