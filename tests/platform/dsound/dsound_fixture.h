// Helpers for the sound device's tests: an initialised device made through
// COM; buffers take the PCM format the component plays (PcmFormat).
#pragma once

#include <dsound.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "tessarine/frame/pcm_format.h"
#include "tests/platform/kernel/scoped_clock_rate.h"

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
        if (device != nullptr) device->Release();
        CoUninitialize();
    }

    // A secondary buffer in the component's format; the test owns it.
    IDirectSoundBuffer* MakeBuffer(DWORD flags, DWORD bytes)
    {
        WAVEFORMATEX format = PcmFormat();
        DSBUFFERDESC desc = Description(flags, bytes, &format);
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(DS_OK, device->CreateSoundBuffer(&desc, &buffer, nullptr));
        return buffer;
    }

    IDirectSound* device = nullptr;
};
