// Secondary buffers: real memory behind Lock and Unlock, the checks on their
// arguments, controls that exist only when asked for, and duplicates.
#include "tests/platform/dsound/dsound_fixture.h"

#include <cstring>

namespace {

TEST_F(DirectSoundTest, LockGivesOneOrTwoRegionsOfRealMemory)
{
    IDirectSoundBuffer* buffer = MakeBuffer(0, 1000);
    ASSERT_NE(nullptr, buffer);
    LPVOID first = nullptr;
    LPVOID second = nullptr;
    DWORD firstBytes = 0;
    DWORD secondBytes = 0;
    ASSERT_EQ(DS_OK, buffer->Lock(0, 1000, &first, &firstBytes, &second, &secondBytes, 0));
    EXPECT_EQ(1000u, firstBytes);
    EXPECT_EQ(nullptr, second);
    EXPECT_EQ(0u, secondBytes);
    for (int i = 0; i < 1000; ++i) static_cast<BYTE*>(first)[i] = BYTE(i);
    ASSERT_EQ(DS_OK, buffer->Unlock(first, 1000, nullptr, 0));
    BYTE* base = static_cast<BYTE*>(first);

    // Straddling the end: the rest continues at the start.
    ASSERT_EQ(DS_OK, buffer->Lock(900, 200, &first, &firstBytes, &second, &secondBytes, 0));
    EXPECT_EQ(base + 900, first);
    EXPECT_EQ(100u, firstBytes);
    EXPECT_EQ(base, second);
    EXPECT_EQ(100u, secondBytes);
    EXPECT_EQ(BYTE(950), static_cast<BYTE*>(first)[50]);  // what was written stays
    EXPECT_EQ(BYTE(10), static_cast<BYTE*>(second)[10]);
    ASSERT_EQ(DS_OK, buffer->Unlock(first, 100, second, 100));

    // Without a place for the second region the lock stops at the end.
    ASSERT_EQ(DS_OK, buffer->Lock(900, 200, &first, &firstBytes, nullptr, nullptr, 0));
    EXPECT_EQ(100u, firstBytes);
    ASSERT_EQ(DS_OK, buffer->Unlock(first, 100, nullptr, 0));

    ASSERT_EQ(DS_OK, buffer->Lock(500, 4, &first, &firstBytes, &second, &secondBytes, DSBLOCK_ENTIREBUFFER));
    EXPECT_EQ(base + 500, first);
    EXPECT_EQ(500u, firstBytes);
    EXPECT_EQ(500u, secondBytes);
    ASSERT_EQ(DS_OK, buffer->Unlock(first, 500, second, 500));

    // A stopped buffer's write cursor is its play cursor.
    ASSERT_EQ(DS_OK, buffer->SetCurrentPosition(200));
    ASSERT_EQ(DS_OK, buffer->Lock(0, 8, &first, &firstBytes, &second, &secondBytes, DSBLOCK_FROMWRITECURSOR));
    EXPECT_EQ(base + 200, first);
    ASSERT_EQ(DS_OK, buffer->Unlock(first, 8, nullptr, 0));
    buffer->Release();
}

TEST_F(DirectSoundTest, LockAndUnlockRefuseBadArguments)
{
    IDirectSoundBuffer* buffer = MakeBuffer(0, 1000);
    ASSERT_NE(nullptr, buffer);
    LPVOID first = nullptr;
    LPVOID second = nullptr;
    DWORD firstBytes = 0;
    DWORD secondBytes = 0;
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->Lock(1000, 4, &first, &firstBytes, &second, &secondBytes, 0));
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->Lock(0, 1001, &first, &firstBytes, &second, &secondBytes, 0));
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->Lock(0, 0, &first, &firstBytes, &second, &secondBytes, 0));
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->Lock(0, 4, nullptr, &firstBytes, &second, &secondBytes, 0));
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->Lock(0, 4, &first, &firstBytes, &second, nullptr, 0));
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->Lock(0, 4, &first, &firstBytes, &second, &secondBytes, 0x80));

    ASSERT_EQ(DS_OK, buffer->Lock(100, 50, &first, &firstBytes, &second, &secondBytes, 0));
    BYTE local[4];
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->Unlock(local, 4, nullptr, 0));   // not from Lock
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->Unlock(first, 51, nullptr, 0));  // more than locked
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->Unlock(nullptr, 0, nullptr, 0));
    EXPECT_EQ(DS_OK, buffer->Unlock(first, 20, nullptr, 0));               // less is fine
    EXPECT_EQ(DSERR_INVALIDPARAM, buffer->Unlock(first, 20, nullptr, 0));  // but only once
    buffer->Release();
}

TEST_F(DirectSoundTest, ControlsExistOnlyWhenAskedFor)
{
    IDirectSoundBuffer* plain = MakeBuffer(DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCSOFTWARE, 176400);
    IDirectSoundBuffer* full = MakeBuffer(DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY, 176400);
    ASSERT_NE(nullptr, plain);
    ASSERT_NE(nullptr, full);
    LONG value = 1;
    DWORD frequency = 0;
    EXPECT_EQ(DSERR_CONTROLUNAVAIL, plain->SetPan(0));
    EXPECT_EQ(DSERR_CONTROLUNAVAIL, plain->GetPan(&value));
    EXPECT_EQ(DSERR_CONTROLUNAVAIL, plain->SetVolume(0));
    EXPECT_EQ(DSERR_CONTROLUNAVAIL, plain->GetVolume(&value));
    EXPECT_EQ(DSERR_CONTROLUNAVAIL, plain->SetFrequency(22050));
    EXPECT_EQ(DSERR_CONTROLUNAVAIL, plain->GetFrequency(&frequency));

    EXPECT_EQ(DS_OK, full->SetPan(-2500));
    EXPECT_EQ(DS_OK, full->GetPan(&value));
    EXPECT_EQ(-2500, value);
    EXPECT_EQ(DSERR_INVALIDPARAM, full->SetPan(DSBPAN_RIGHT + 1));
    EXPECT_EQ(DS_OK, full->SetVolume(-600));
    EXPECT_EQ(DS_OK, full->GetVolume(&value));
    EXPECT_EQ(-600, value);
    EXPECT_EQ(DSERR_INVALIDPARAM, full->SetVolume(1));
    EXPECT_EQ(DS_OK, full->GetFrequency(&frequency));
    EXPECT_EQ(44100u, frequency);
    EXPECT_EQ(DS_OK, full->SetFrequency(22050));
    EXPECT_EQ(DS_OK, full->GetFrequency(&frequency));
    EXPECT_EQ(22050u, frequency);
    EXPECT_EQ(DSERR_INVALIDPARAM, full->SetFrequency(DSBFREQUENCY_MAX + 1));
    EXPECT_EQ(DS_OK, full->SetFrequency(DSBFREQUENCY_ORIGINAL));
    EXPECT_EQ(DS_OK, full->GetFrequency(&frequency));
    EXPECT_EQ(44100u, frequency);

    WAVEFORMATEX format{};
    DWORD written = 0;
    EXPECT_EQ(DS_OK, plain->GetFormat(nullptr, 0, &written));
    EXPECT_EQ(sizeof(WAVEFORMATEX), written);
    EXPECT_EQ(DSERR_INVALIDPARAM, plain->GetFormat(&format, 4, &written));
    EXPECT_EQ(DS_OK, plain->GetFormat(&format, sizeof(format), &written));
    WAVEFORMATEX expected = PcmFormat();
    EXPECT_EQ(0, std::memcmp(&expected, &format, sizeof(format)));

    // Play's reserved word and priority are for deferred buffers only.
    EXPECT_EQ(DSERR_INVALIDPARAM, plain->Play(1, 0, DSBPLAY_LOOPING));
    EXPECT_EQ(DSERR_INVALIDPARAM, plain->Play(0, 5, DSBPLAY_LOOPING));
    EXPECT_EQ(DSERR_INVALIDPARAM, plain->Play(0, 0, DSBPLAY_LOOPING | DSBPLAY_LOCHARDWARE));
    void* notify = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, plain->QueryInterface(IID_IDirectSoundNotify, &notify));
    EXPECT_EQ(E_NOINTERFACE, plain->QueryInterface(IID_IDirectSoundBuffer8, &notify));
    EXPECT_EQ(nullptr, notify);
    plain->Release();
    full->Release();
}

TEST_F(DirectSoundTest, DuplicateSharesMemoryButNotPlayState)
{
    IDirectSoundBuffer* original = MakeBuffer(0, 4000);
    ASSERT_NE(nullptr, original);
    IDirectSoundBuffer* duplicate = nullptr;
    EXPECT_EQ(DSERR_INVALIDPARAM, device->DuplicateSoundBuffer(nullptr, &duplicate));
    ASSERT_EQ(DS_OK, device->DuplicateSoundBuffer(original, &duplicate));
    LPVOID audio = nullptr;
    DWORD bytes = 0;
    ASSERT_EQ(DS_OK, original->Lock(0, 4, &audio, &bytes, nullptr, nullptr, 0));
    std::memcpy(audio, "abcd", 4);
    ASSERT_EQ(DS_OK, original->Unlock(audio, 4, nullptr, 0));
    ASSERT_EQ(DS_OK, duplicate->Lock(0, 4, &audio, &bytes, nullptr, nullptr, 0));
    EXPECT_EQ(0, std::memcmp(audio, "abcd", 4));
    ASSERT_EQ(DS_OK, duplicate->Unlock(audio, 4, nullptr, 0));

    ASSERT_EQ(DS_OK, duplicate->SetCurrentPosition(400));
    DWORD play = 1;
    EXPECT_EQ(DS_OK, original->GetCurrentPosition(&play, nullptr));
    EXPECT_EQ(0u, play);
    original->Release();
    // The duplicate keeps the memory alive on its own.
    ASSERT_EQ(DS_OK, duplicate->Lock(0, 4, &audio, &bytes, nullptr, nullptr, 0));
    EXPECT_EQ(0, std::memcmp(audio, "abcd", 4));
    ASSERT_EQ(DS_OK, duplicate->Unlock(audio, 4, nullptr, 0));
    duplicate->Release();
}

TEST_F(DirectSoundTest, BufferOutlivesItsDevice)
{
    IDirectSoundBuffer* buffer = MakeBuffer(0, 4000);
    ASSERT_NE(nullptr, buffer);
    device->Release();
    device = nullptr;
    EXPECT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));
    EXPECT_EQ(DS_OK, buffer->Stop());
    EXPECT_EQ(0u, buffer->Release());
}

}  // namespace
