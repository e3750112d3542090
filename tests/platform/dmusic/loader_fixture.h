// Shared set-up for the loader tests: COM on the test thread, a loader, a
// scratch folder for files the tests write, and loading helpers.
#pragma once

#include <gtest/gtest.h>
#include <objbase.h>
#include <dmusici.h>
#include <dmusicf.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/dmusic/segment_model.h"

namespace dmusictest {

inline std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

inline std::string SharedMidi(const std::string& name) { return TESSARINE_TESTDATA_DIR "/midi/" + name; }

class CLoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        initialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_ALL, IID_IDirectMusicLoader,
                                   reinterpret_cast<void**>(&loader)),
                  S_OK);
        scratch = std::filesystem::temp_directory_path() /
                  ("dmusic_loader_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(scratch);
    }
    void TearDown() override
    {
        if (loader) loader->Release();
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
        if (initialized) CoUninitialize();
    }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const auto path = scratch / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path.string();
    }

    static DMUS_OBJECTDESC Descriptor(REFCLSID clsid, const std::string& path,
                                      DWORD valid = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH)
    {
        DMUS_OBJECTDESC desc = {};
        desc.dwSize = sizeof desc;
        desc.dwValidData = valid;
        desc.guidClass = clsid;
        const std::u16string wide = Wide(path);
        for (size_t i = 0; i < wide.size() && i + 1 < DMUS_MAX_FILENAME; ++i) desc.wszFileName[i] = wide[i];
        return desc;
    }

    // Loads a segment from a full path; null with the result in hr on failure.
    IDirectMusicSegment* LoadSegment(const std::string& path, HRESULT* hr = nullptr)
    {
        DMUS_OBJECTDESC desc = Descriptor(CLSID_DirectMusicSegment, path);
        IDirectMusicSegment* segment = nullptr;
        const HRESULT result = loader->GetObject(&desc, IID_IDirectMusicSegment, reinterpret_cast<void**>(&segment));
        if (hr) *hr = result;
        return segment;
    }
    IDirectMusicSegment* LoadSegmentBytes(const std::vector<uint8_t>& bytes, HRESULT* hr = nullptr)
    {
        DMUS_OBJECTDESC desc = Descriptor(CLSID_DirectMusicSegment, "", DMUS_OBJ_CLASS | DMUS_OBJ_MEMORY);
        desc.pbMemData = const_cast<BYTE*>(bytes.data());
        desc.llMemLength = LONGLONG(bytes.size());
        IDirectMusicSegment* segment = nullptr;
        const HRESULT result = loader->GetObject(&desc, IID_IDirectMusicSegment, reinterpret_cast<void**>(&segment));
        if (hr) *hr = result;
        return segment;
    }
    // The model behind bytes loaded as a segment (fails the test when they do not load).
    std::shared_ptr<const dmusic::CSegmentModel> ModelOf(const std::vector<uint8_t>& bytes)
    {
        HRESULT hr = E_FAIL;
        IDirectMusicSegment* segment = LoadSegmentBytes(bytes, &hr);
        EXPECT_EQ(hr, S_OK);
        if (!segment) return std::make_shared<dmusic::CSegmentModel>();
        auto model = dmusic::GetSegmentModel(segment);
        segment->Release();
        return model;
    }

    static int CountNotes(const dmusic::CSegmentModel& model)
    {
        int notes = 0;
        for (const auto& e : model.events) notes += e.kind == dmusic::EMidiEventKind::Note;
        return notes;
    }

    bool initialized = false;
    IDirectMusicLoader* loader = nullptr;
    std::filesystem::path scratch;
};

}  // namespace dmusictest
