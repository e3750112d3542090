// Helpers for the sound device's tests: an initialised device made through
// COM, and the PCM format the component plays.
#pragma once

#include <dsound.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "tests/platform/kernel/scoped_clock_rate.h"

inline WAVEFORMATEX CdFormat()
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.nAvgBytesPerSec = 176400;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    return format;
}

inline DSBUFFERDESC Description(DWORD flags, DWORD bytes, WAVEFORMATEX* format)
{
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = flags;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = format;
    return desc;
}

class DirectSoundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound,
                                         reinterpret_cast<void**>(&device)));
        ASSERT_EQ(DS_OK, device->Initialize(nullptr));
        ASSERT_EQ(DS_OK, device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY));
    }
    void TearDown() override
    {
        if (device != nullptr)
            device->Release();
        CoUninitialize();
    }

    // A secondary buffer in the component's format; the test owns it.
    IDirectSoundBuffer* MakeBuffer(DWORD flags, DWORD bytes)
    {
        WAVEFORMATEX format = CdFormat();
        DSBUFFERDESC desc = Description(flags, bytes, &format);
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(DS_OK, device->CreateSoundBuffer(&desc, &buffer, nullptr));
        return buffer;
    }

    IDirectSound* device = nullptr;
};
