// The DirectSound object: initialisation, the checks on buffer descriptions,
// cooperative levels and the primary buffer.
#include "tests/platform/dsound/dsound_fixture.h"

namespace {

TEST(DirectSoundDevice, RefusesEverythingBeforeInitialize)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IDirectSound* device = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound,
                                     reinterpret_cast<void**>(&device)));
    WAVEFORMATEX format = PcmFormat();
    DSBUFFERDESC desc = Description(DSBCAPS_LOCSOFTWARE, 176400, &format);
    IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(1);
    EXPECT_EQ(DSERR_UNINITIALIZED, device->CreateSoundBuffer(&desc, &buffer, nullptr));
    EXPECT_EQ(nullptr, buffer);
    DSCAPS caps{};
    caps.dwSize = sizeof(caps);
    EXPECT_EQ(DSERR_UNINITIALIZED, device->GetCaps(&caps));
    EXPECT_EQ(DSERR_UNINITIALIZED, device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY));
    EXPECT_EQ(DSERR_UNINITIALIZED, device->Compact());
    DWORD speakers = 0;
    EXPECT_EQ(DSERR_UNINITIALIZED, device->GetSpeakerConfig(&speakers));

    const GUID unknownDevice = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(DSERR_NODRIVER, device->Initialize(&unknownDevice));
    EXPECT_EQ(DS_OK, device->Initialize(&DSDEVID_DefaultPlayback));
    EXPECT_EQ(DSERR_ALREADYINITIALIZED, device->Initialize(nullptr));
    EXPECT_EQ(DS_OK, device->GetCaps(&caps));
    EXPECT_EQ(0u, caps.dwMaxHwMixingAllBuffers);
    EXPECT_EQ(DSBFREQUENCY_MAX, caps.dwMaxSecondarySampleRate);
    EXPECT_EQ(0u, device->Release());
    CoUninitialize();
}

TEST(DirectSoundDevice, ClassRefusesAggregationAndIsNoVersion8Object)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int outerStorage = 0;
    IUnknown* outerObject = reinterpret_cast<IUnknown*>(&outerStorage);
    IDirectSound* device = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_DirectSound, outerObject, CLSCTX_ALL, IID_IUnknown,
                                                      reinterpret_cast<void**>(&device)));
    ASSERT_EQ(DS_OK, DirectSoundCreate(nullptr, &device, nullptr));
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, device->QueryInterface(IID_IDirectSound8, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(S_OK, device->QueryInterface(IID_IUnknown, &other));
    EXPECT_EQ(static_cast<void*>(device), other);
    EXPECT_EQ(1u, device->Release());
    EXPECT_EQ(0u, device->Release());
    CoUninitialize();
}

TEST_F(DirectSoundTest, CreateSoundBufferRefusesBadDescriptions)
{
    WAVEFORMATEX format = PcmFormat();
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(DSERR_INVALIDPARAM, device->CreateSoundBuffer(nullptr, &buffer, nullptr));
    DSBUFFERDESC desc = Description(0, 176400, &format);
    EXPECT_EQ(DSERR_INVALIDPARAM, device->CreateSoundBuffer(&desc, nullptr, nullptr));

    desc.dwSize = 36 + 1;
    EXPECT_EQ(DSERR_INVALIDPARAM, device->CreateSoundBuffer(&desc, &buffer, nullptr));
    desc = Description(0, 0, &format);
    EXPECT_EQ(DSERR_INVALIDPARAM, device->CreateSoundBuffer(&desc, &buffer, nullptr));
    desc = Description(0, DSBSIZE_MAX + 1, &format);
    EXPECT_EQ(DSERR_INVALIDPARAM, device->CreateSoundBuffer(&desc, &buffer, nullptr));
    desc = Description(0, 176400, nullptr);
    EXPECT_EQ(DSERR_INVALIDPARAM, device->CreateSoundBuffer(&desc, &buffer, nullptr));
    desc = Description(DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE, 176400, &format);
    EXPECT_EQ(DSERR_INVALIDPARAM, device->CreateSoundBuffer(&desc, &buffer, nullptr));
    // There is no hardware to place a buffer in.
    desc = Description(DSBCAPS_LOCHARDWARE, 176400, &format);
    EXPECT_EQ(DSERR_INVALIDCALL, device->CreateSoundBuffer(&desc, &buffer, nullptr));
    desc = Description(DSBCAPS_CTRLFX, 176400, &format);
    EXPECT_EQ(DSERR_DS8_REQUIRED, device->CreateSoundBuffer(&desc, &buffer, nullptr));

    WAVEFORMATEX inconsistent = PcmFormat();
    inconsistent.nBlockAlign = 3;
    desc = Description(0, 176400, &inconsistent);
    EXPECT_EQ(DSERR_BADFORMAT, device->CreateSoundBuffer(&desc, &buffer, nullptr));
    WAVEFORMATEX odd = PcmFormat();
    odd.wFormatTag = 0x55;
    desc = Description(0, 176400, &odd);
    EXPECT_EQ(DSERR_BADFORMAT, device->CreateSoundBuffer(&desc, &buffer, nullptr));

    int outerStorage = 0;
    IUnknown* outerObject = reinterpret_cast<IUnknown*>(&outerStorage);
    desc = Description(0, 176400, &format);
    EXPECT_EQ(DSERR_NOAGGREGATION, device->CreateSoundBuffer(&desc, &buffer, outerObject));
    EXPECT_EQ(nullptr, buffer);

    // The DirectX 3 description without guid3DAlgorithm is still accepted.
    DSBUFFERDESC1 old{};
    old.dwSize = sizeof(DSBUFFERDESC1);
    old.dwBufferBytes = 4000;
    old.lpwfxFormat = &format;
    ASSERT_EQ(DS_OK, device->CreateSoundBuffer(reinterpret_cast<LPCDSBUFFERDESC>(&old), &buffer, nullptr));
    DSBCAPS caps{};
    caps.dwSize = sizeof(caps);
    EXPECT_EQ(DS_OK, buffer->GetCaps(&caps));
    EXPECT_EQ(4000u, caps.dwBufferBytes);
    EXPECT_EQ(DWORD(DSBCAPS_LOCSOFTWARE), caps.dwFlags);
    EXPECT_EQ(DSERR_ALREADYINITIALIZED, buffer->Initialize(device, reinterpret_cast<LPCDSBUFFERDESC>(&old)));
    buffer->Release();
}

TEST_F(DirectSoundTest, PrimaryBufferIsOneObjectWithLevelChecks)
{
    DSBUFFERDESC desc = Description(DSBCAPS_PRIMARYBUFFER, 0, nullptr);
    IDirectSoundBuffer* primary = nullptr;
    IDirectSoundBuffer* again = nullptr;
    ASSERT_EQ(DS_OK, device->CreateSoundBuffer(&desc, &primary, nullptr));
    ASSERT_EQ(DS_OK, device->CreateSoundBuffer(&desc, &again, nullptr));
    EXPECT_EQ(primary, again);
    again->Release();

    WAVEFORMATEX format = PcmFormat();
    DSBUFFERDESC sized = Description(DSBCAPS_PRIMARYBUFFER, 1000, nullptr);
    EXPECT_EQ(DSERR_INVALIDPARAM, device->CreateSoundBuffer(&sized, &again, nullptr));

    // A primary buffer plays only looping; its format needs the priority level.
    EXPECT_EQ(DSERR_INVALIDPARAM, primary->Play(0, 0, 0));
    EXPECT_EQ(DS_OK, primary->SetFormat(&format));
    WAVEFORMATEX read{};
    EXPECT_EQ(DS_OK, primary->GetFormat(&read, sizeof(read), nullptr));
    EXPECT_EQ(44100u, read.nSamplesPerSec);
    EXPECT_EQ(DS_OK, device->SetCooperativeLevel(nullptr, DSSCL_NORMAL));
    EXPECT_EQ(DSERR_PRIOLEVELNEEDED, primary->SetFormat(&format));
    EXPECT_EQ(DSERR_PRIOLEVELNEEDED, device->Compact());
    LPVOID audio = nullptr;
    DWORD bytes = 0;
    EXPECT_EQ(DSERR_PRIOLEVELNEEDED, primary->Lock(0, 4, &audio, &bytes, nullptr, nullptr, 0));
    IDirectSoundBuffer* duplicate = nullptr;
    EXPECT_EQ(DSERR_INVALIDCALL, device->DuplicateSoundBuffer(primary, &duplicate));
    EXPECT_EQ(nullptr, duplicate);
    primary->Release();

    IDirectSoundBuffer* secondary = MakeBuffer(0, 4000);
    ASSERT_NE(nullptr, secondary);
    EXPECT_EQ(DSERR_INVALIDCALL, secondary->SetFormat(&format));
    secondary->Release();
}

TEST_F(DirectSoundTest, WritePrimaryLevelIsExclusiveAndLosesSecondaryBuffers)
{
    IDirectSoundBuffer* buffer = MakeBuffer(0, 17640);
    ASSERT_NE(nullptr, buffer);
    ASSERT_EQ(DS_OK, buffer->Play(0, 0, DSBPLAY_LOOPING));

    IDirectSound* other = nullptr;
    ASSERT_EQ(DS_OK, DirectSoundCreate(nullptr, &other, nullptr));
    ASSERT_EQ(DS_OK, other->SetCooperativeLevel(nullptr, DSSCL_WRITEPRIMARY));
    EXPECT_EQ(DSERR_ALLOCATED, device->SetCooperativeLevel(nullptr, DSSCL_WRITEPRIMARY));
    EXPECT_EQ(DSERR_INVALIDPARAM, device->SetCooperativeLevel(nullptr, 5));
    other->Release();

    ASSERT_EQ(DS_OK, device->SetCooperativeLevel(nullptr, DSSCL_WRITEPRIMARY));
    DWORD status = 0;
    EXPECT_EQ(DS_OK, buffer->GetStatus(&status));
    EXPECT_EQ(DWORD(DSBSTATUS_BUFFERLOST), status);
    LPVOID audio = nullptr;
    DWORD bytes = 0;
    EXPECT_EQ(DSERR_BUFFERLOST, buffer->Lock(0, 4, &audio, &bytes, nullptr, nullptr, 0));
    EXPECT_EQ(DSERR_BUFFERLOST, buffer->Restore());

    ASSERT_EQ(DS_OK, device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY));
    EXPECT_EQ(DS_OK, buffer->Restore());
    EXPECT_EQ(DS_OK, buffer->GetStatus(&status));
    EXPECT_EQ(0u, status);
    EXPECT_EQ(DS_OK, buffer->Play(0, 0, 0));
    buffer->Release();
}

TEST_F(DirectSoundTest, SpeakerConfigurationIsCheckedAndKept)
{
    DWORD config = 0;
    EXPECT_EQ(DSERR_INVALIDPARAM, device->GetSpeakerConfig(nullptr));
    EXPECT_EQ(DSERR_INVALIDPARAM, device->SetSpeakerConfig(42));
    DWORD previous = 0;
    ASSERT_EQ(DS_OK, device->GetSpeakerConfig(&previous));
    EXPECT_EQ(DS_OK, device->SetSpeakerConfig(DSSPEAKER_HEADPHONE));
    EXPECT_EQ(DS_OK, device->GetSpeakerConfig(&config));
    EXPECT_EQ(DWORD(DSSPEAKER_HEADPHONE), config);
    EXPECT_EQ(DS_OK, device->SetSpeakerConfig(previous));
}

}  // namespace
