// Helpers for the capture tests: the real platform device, the component's
// buffer description, a test host, and a recording buffer for the calls the
// wrapper changes on their way.
#pragma once

#include "tessarine/capture/capture_direct_sound.h"
#include "tessarine/frame/config.h"
#include "tessarine/frame/pcm_format.h"
#include "tests/platform/dsound/dsound_fixture.h"
#include "tests/platform/kernel/scoped_clock_rate.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::vector<BYTE> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

// Records what reaches the "real" buffer; Lock can be made to fail.
class CRecordingBuffer : public IDirectSoundBuffer {
public:
    STDMETHOD(QueryInterface)(REFIID riid, void** object) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirectSoundBuffer)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++references; }
    STDMETHOD_(ULONG, Release)() override { return --references; }
    STDMETHOD(GetCaps)(LPDSBCAPS) override { return DS_OK; }
    STDMETHOD(GetCurrentPosition)(LPDWORD play, LPDWORD write) override
    {
        *play = 1234;
        *write = 5678;
        return DS_OK;
    }
    STDMETHOD(GetFormat)(LPWAVEFORMATEX, DWORD, LPDWORD) override { return DS_OK; }
    STDMETHOD(GetVolume)(LPLONG) override { return DS_OK; }
    STDMETHOD(GetPan)(LPLONG) override
    {
        ++panCalls;
        return DS_OK;
    }
    STDMETHOD(GetFrequency)(LPDWORD) override { return DS_OK; }
    STDMETHOD(GetStatus)(LPDWORD) override { return DS_OK; }
    STDMETHOD(Initialize)(LPDIRECTSOUND, LPCDSBUFFERDESC desc) override
    {
        initializeFlags = desc->dwFlags;
        return DS_OK;
    }
    STDMETHOD(Lock)(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2, LPDWORD bytes2,
                    DWORD flags) override
    {
        ++lockCalls;
        lastLockOffset = offset;
        lastLockBytes = bytes;
        lastLockFlags = flags;
        if (failLock) return DSERR_INVALIDPARAM;
        *audio1 = memory;
        *bytes1 = bytes;
        *audio2 = nullptr;
        *bytes2 = 0;
        return DS_OK;
    }
    STDMETHOD(Play)(DWORD, DWORD, DWORD flags) override
    {
        playFlags = flags;
        return DS_OK;
    }
    STDMETHOD(SetCurrentPosition)(DWORD position) override
    {
        lastPosition = position;
        return DS_OK;
    }
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX) override { return DS_OK; }
    STDMETHOD(SetVolume)(LONG) override { return DS_OK; }
    STDMETHOD(SetPan)(LONG) override
    {
        ++panCalls;
        return DS_OK;
    }
    STDMETHOD(SetFrequency)(DWORD) override { return DS_OK; }
    STDMETHOD(Stop)() override { return DS_OK; }
    STDMETHOD(Unlock)(LPVOID, DWORD, LPVOID, DWORD) override
    {
        ++unlockCalls;
        return unlockResult;
    }
    STDMETHOD(Restore)() override { return DS_OK; }

    ULONG references = 1;
    DWORD initializeFlags = 0xFFFFFFFF;
    DWORD playFlags = 0xFFFFFFFF;
    DWORD lastPosition = 0xFFFFFFFF;
    DWORD lastLockOffset = 0, lastLockBytes = 0, lastLockFlags = 0;
    int lockCalls = 0, unlockCalls = 0, panCalls = 0;
    bool failLock = false;
    HRESULT unlockResult = DS_OK;
    BYTE memory[1 << 16] = {};
};

// A test host, logging on, and the capture object over the real device at
// a fast clock.
class CaptureTest : public DirectSoundTest {
protected:
    void SetUp() override
    {
        previousLog = configLog.value;
        previousBlock = configOutputBuffer.value;
        configLog.value = 1;
        DirectSoundTest::SetUp();
        if (!HasFatalFailure()) capture = new CCaptureDirectSound(device);
    }
    void TearDown() override
    {
        if (capture != nullptr) capture->Release();
        DirectSoundTest::TearDown();
        configLog.value = previousLog;
        configOutputBuffer.value = previousBlock;
    }

    // A capture buffer with an N-byte ring, as the engine makes it.
    // The flags are the engine's own unless a test asks for others.
    CCaptureSoundBuffer* MakeCaptureBuffer(DWORD ring, IDirectSoundBuffer** interfaceOut = nullptr,
                                           DWORD flags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCSOFTWARE |
                                                         DSBCAPS_CTRLPOSITIONNOTIFY)
    {
        WAVEFORMATEX format = PcmFormat();
        DSBUFFERDESC desc = Description(flags, ring, &format);
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(DS_OK, capture->CreateSoundBuffer(&desc, &buffer, nullptr));
        if (interfaceOut != nullptr)
            *interfaceOut = buffer;
        else if (buffer != nullptr)
            buffer->Release();  // the wrapper keeps the last one alive
        return capture->GetCaptureBuffer();
    }
    // The store of such a buffer.
    CCaptureStore* MakeCaptureStore(DWORD ring, IDirectSoundBuffer** interfaceOut = nullptr)
    {
        CCaptureSoundBuffer* buffer = MakeCaptureBuffer(ring, interfaceOut);
        return buffer != nullptr ? &buffer->Store() : nullptr;
    }

    CTestHost host;
    CCaptureDirectSound* capture = nullptr;
    CScopedClockRate clockRate{50};
    int32_t previousLog = 0;
    int32_t previousBlock = 0;
};
