// The capture wrappers as COM objects: interfaces and their one count, the
// calls changed on the way to the real buffer, and what is passed through.
#include "tests/tessarine/capture/capture_fixture.h"

#include <cstring>

namespace {

TEST_F(CaptureTest, QueryInterfaceFollowsTheRulesAndSharesOneCount)
{
    IDirectSoundBuffer* buffer = nullptr;
    MakeCaptureBuffer(176400, &buffer);
    ASSERT_NE(nullptr, buffer);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, buffer->QueryInterface(IID_IDirectSoundBuffer8, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, buffer->QueryInterface(IID_IUnknown, nullptr));
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, capture->QueryInterface(IID_IDirectSound8, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, capture->QueryInterface(IID_IDirectSound, nullptr));
    ASSERT_EQ(S_OK, capture->QueryInterface(IID_CCaptureDirectSound, &object));
    EXPECT_EQ(static_cast<IDirectSound*>(capture), object);
    capture->Release();

    // Counts: the caller's and the wrapper's lastCreatedBuffer.
    IDirectSoundNotify* notify = nullptr;
    ASSERT_EQ(S_OK, buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify)));
    EXPECT_NE(static_cast<void*>(notify), static_cast<void*>(buffer));
    IDirectSoundBuffer* back = nullptr;
    ASSERT_EQ(S_OK, notify->QueryInterface(IID_IDirectSoundBuffer, reinterpret_cast<void**>(&back)));
    EXPECT_EQ(buffer, back);
    EXPECT_EQ(5u, notify->AddRef());
    EXPECT_EQ(6u, buffer->AddRef());
    EXPECT_EQ(5u, notify->Release());
    EXPECT_EQ(4u, notify->Release());
    EXPECT_EQ(3u, back->Release());
    ASSERT_EQ(S_OK, buffer->QueryInterface(IID_CCaptureSoundBuffer, &object));
    EXPECT_EQ(static_cast<IDirectSoundBuffer*>(capture->GetCaptureBuffer()), object);
    EXPECT_EQ(3u, buffer->Release());
    EXPECT_EQ(2u, buffer->Release());
    EXPECT_EQ(1u, buffer->Release());  // the wrapper's

    // Over a real buffer made without position notification there is none.
    MakeCaptureBuffer(176400, &buffer, DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCSOFTWARE);
    ASSERT_NE(nullptr, buffer);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, buffer->QueryInterface(IID_IDirectSoundNotify, &object));
    EXPECT_EQ(nullptr, object);
    buffer->Release();
}

TEST_F(CaptureTest, ChangedCallsReachTheRealBufferChanged)
{
    CRecordingBuffer real;
    WAVEFORMATEX format = PcmFormat();
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCSOFTWARE;
    desc.dwBufferBytes = 4096;
    desc.lpwfxFormat = &format;
    real.AddRef();  // the wrapper takes this one over
    CCaptureSoundBuffer* buffer = new CCaptureSoundBuffer(&real, &desc);

    EXPECT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING | DSBPLAY_LOCHARDWARE));
    EXPECT_EQ(DWORD(DSBPLAY_LOOPING), real.playFlags);
    desc.dwFlags = 0x5;
    EXPECT_EQ(DS_OK, buffer->Initialize(nullptr, &desc));
    EXPECT_EQ(0x8u, real.initializeFlags);
    EXPECT_EQ(DS_OK, buffer->Initialize(nullptr, nullptr));
    EXPECT_EQ(0x8u, real.initializeFlags);

    LONG pan = 0;
    EXPECT_EQ(DSERR_CONTROLUNAVAIL, buffer->GetPan(&pan));
    EXPECT_EQ(DSERR_CONTROLUNAVAIL, buffer->SetPan(0));
    EXPECT_EQ(0, real.panCalls);
    EXPECT_EQ(E_NOTIMPL, buffer->SetFX(0, nullptr, nullptr));
    EXPECT_EQ(E_NOTIMPL, buffer->AcquireResources(0, 0, nullptr));
    EXPECT_EQ(E_NOTIMPL, buffer->GetObjectInPath(GUID_NULL, 0, GUID_NULL, nullptr));
    // The real buffer has no notify interface: its answer is returned.
    EXPECT_EQ(E_NOINTERFACE, buffer->SetNotificationPositions(0, nullptr));

    // Lock never reaches the real buffer; Unlock locks it again at the same
    // offset with the same flags, and the caller's pointers are not looked at.
    LPVOID audio1 = nullptr;
    LPVOID audio2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    EXPECT_EQ(DS_OK, buffer->Lock(4000, 200, &audio1, &bytes1, &audio2, &bytes2, DSBLOCK_FROMWRITECURSOR));
    EXPECT_EQ(0, real.lockCalls);
    EXPECT_EQ(96u, bytes1);
    EXPECT_EQ(104u, bytes2);
    real.unlockResult = DSERR_INVALIDCALL;
    EXPECT_EQ(DSERR_INVALIDCALL, buffer->Unlock(nullptr, 96, nullptr, 104));
    EXPECT_EQ(4000u, real.lastLockOffset);
    EXPECT_EQ(200u, real.lastLockBytes);
    EXPECT_EQ(DWORD(DSBLOCK_FROMWRITECURSOR), real.lastLockFlags);

    // A refused repeat Lock gives DS_OK and no real Unlock.
    real.failLock = true;
    EXPECT_EQ(DS_OK, buffer->Lock(100, 8, &audio1, &bytes1, nullptr, nullptr, 0));
    EXPECT_EQ(DS_OK, buffer->Unlock(audio1, bytes1, nullptr, 0));
    EXPECT_EQ(1, real.unlockCalls);
    EXPECT_EQ(0u, real.lastLockFlags);

    // An Unlock without a Lock leaves no lock it never took.
    EXPECT_EQ(DS_OK, buffer->Unlock(nullptr, 0, nullptr, 0));

    DWORD play = 0;
    DWORD write = 0;
    EXPECT_EQ(DS_OK, buffer->GetCurrentPosition(&play, &write));
    EXPECT_EQ(1234u, play);
    EXPECT_EQ(5678u, write);
    EXPECT_EQ(0u, buffer->Release());
    EXPECT_EQ(1u, real.references);
}

TEST_F(CaptureTest, RealBufferKeepsItsMemoryAndPositionThroughLockAndUnlock)
{
    IDirectSoundBuffer* buffer = nullptr;
    MakeCaptureBuffer(176400, &buffer);
    ASSERT_NE(nullptr, buffer);
    LPVOID audio1 = nullptr;
    LPVOID audio2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));
    ASSERT_EQ(DS_OK, buffer->Lock(0, 176400, &audio1, &bytes1, &audio2, &bytes2, 0));
    std::memset(audio1, 0x5A, bytes1);
    DWORD play = 0;
    DWORD write = 0;
    ASSERT_EQ(DS_OK, buffer->GetCurrentPosition(&play, &write));
    EXPECT_NE(play, write);  // the real, playing cursors
    ASSERT_EQ(DS_OK, buffer->Unlock(audio1, bytes1, audio2, bytes2));
    const BYTE* store = capture->GetCaptureBuffer()->Store().GetDoubleBuffer();
    EXPECT_EQ(BYTE(0x5A), store[1000]);

    DWORD status = 0;
    EXPECT_EQ(DS_OK, buffer->GetStatus(&status));
    EXPECT_EQ(DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING), status);
    EXPECT_EQ(DS_OK, buffer->Stop());
    buffer->Release();
}

TEST_F(CaptureTest, SecondBufferReplacesTheFirstWhichLivesOnWithItsHolders)
{
    IDirectSoundBuffer* first = nullptr;
    CCaptureSoundBuffer* firstStore = MakeCaptureBuffer(176400, &first);
    std::string firstFile = firstStore->Store().GetTempFileName();
    EXPECT_TRUE(FileExists(firstFile));
    CCaptureSoundBuffer* secondStore = MakeCaptureBuffer(176400);
    EXPECT_NE(firstStore, secondStore);
    EXPECT_NE(firstFile, secondStore->Store().GetTempFileName());
    EXPECT_TRUE(FileExists(firstFile));
    EXPECT_EQ(0u, first->Release());
    EXPECT_FALSE(FileExists(firstFile));

    // The primary buffer goes to the caller unwrapped and keeps the store.
    DSBUFFERDESC primaryDesc{};
    primaryDesc.dwSize = sizeof(primaryDesc);
    primaryDesc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(DS_OK, capture->CreateSoundBuffer(&primaryDesc, &primary, nullptr));
    EXPECT_EQ(secondStore, capture->GetCaptureBuffer());
    primary->Release();

    // A failing real call makes no wrapper.
    DSBUFFERDESC bad{};
    bad.dwSize = 3;
    IDirectSoundBuffer* none = nullptr;
    EXPECT_EQ(DSERR_INVALIDPARAM, capture->CreateSoundBuffer(&bad, &none, nullptr));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(secondStore, capture->GetCaptureBuffer());
}

TEST_F(CaptureTest, LastReleaseLogsRemovalOnlyAndRemovesTheFile)
{
    std::string file = MakeCaptureStore(176400)->GetTempFileName();
    EXPECT_EQ(E_NOTIMPL, capture->VerifyCertification(nullptr));
    host.ClearConsoleLines();
    EXPECT_EQ(0u, capture->Release());
    capture = nullptr;
    EXPECT_EQ(1u, host.CountConsoleLines("Removing Secondary DirectSound Buffer"));
    EXPECT_EQ(0u, host.CountConsoleLines("Non zero reference count"));
    EXPECT_FALSE(FileExists(file));
}

}  // namespace
