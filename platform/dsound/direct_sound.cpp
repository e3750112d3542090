// The DirectSound object: one software device with a primary buffer and any
// number of secondary buffers, registered for CLSID_DirectSound.
#include "platform/dsound/direct_sound.h"

#include <platform/com_registry.h>

#include <algorithm>
#include <new>

#include "platform/dsound/sound_buffer.h"

namespace platform::dsound {
namespace {

// The device mixes up to this rate, as the SDK's DSBFREQUENCY_MAX.
constexpr DWORD minimumRate = DSBFREQUENCY_MIN;
constexpr DWORD maximumRate = DSBFREQUENCY_MAX;

// The speaker configuration belongs to the system, not to one object.
std::atomic<DWORD> speakerConfig{DSSPEAKER_COMBINED(DSSPEAKER_STEREO, DSSPEAKER_GEOMETRY_WIDE)};

// Only one device object at a time may hold the write-primary level.
std::mutex writePrimaryLock;
CDeviceState* writePrimaryOwner = nullptr;

// The primary buffer's format until SetFormat: the SDK's default of
// 22050 Hz, 8 bits, stereo.
const WAVEFORMATEX defaultPrimaryFormat = {WAVE_FORMAT_PCM, 2, 22050, 44100, 2, 8, 0};

HRESULT CreateDevice(LPUNKNOWN outer, REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    CDirectSound* device = new (std::nothrow) CDirectSound;
    if (device == nullptr) return E_OUTOFMEMORY;
    HRESULT result = device->QueryInterface(iid, object);
    device->Release();
    return result;
}

platform::ComClassRegistration registration(CLSID_DirectSound, CreateDevice);

}  // namespace

bool IsSupportedFormat(const WAVEFORMATEX* format)
{
    if (format == nullptr) return false;
    if (format->nChannels == 0 || format->nChannels > 8) return false;
    if (format->nSamplesPerSec < minimumRate || format->nSamplesPerSec > maximumRate) return false;
    switch (format->wFormatTag) {
    case WAVE_FORMAT_PCM:
        if (format->wBitsPerSample != 8 && format->wBitsPerSample != 16 && format->wBitsPerSample != 24 &&
            format->wBitsPerSample != 32)
            return false;
        break;
    case 3:  // IEEE float
        if (format->wBitsPerSample != 32) return false;
        break;
    case 0xFFFE:  // extensible: the extra part holds at least the sub-format
        if (format->cbSize < 22 || format->wBitsPerSample % 8 != 0 || format->wBitsPerSample == 0) return false;
        break;
    default: return false;
    }
    DWORD block = DWORD(format->nChannels) * format->wBitsPerSample / 8;
    return format->nBlockAlign == block && format->nAvgBytesPerSec == format->nSamplesPerSec * block;
}

CDirectSound::CDirectSound() : state(std::make_shared<CDeviceState>()) {}

CDirectSound::~CDirectSound()
{
    std::lock_guard<std::mutex> guard(writePrimaryLock);
    if (writePrimaryOwner == state.get()) writePrimaryOwner = nullptr;
}

bool CDirectSound::IsInitialized()
{
    std::lock_guard<std::mutex> guard(state->lock);
    return state->initialized;
}

void* CDirectSound::Find(REFIID riid)
{
    // An object of CLSID_DirectSound is not a DirectSound 8 object.
    return IsEqualIID(riid, IID_IDirectSound) ? static_cast<IDirectSound*>(this) : nullptr;
}

STDMETHODIMP CDirectSound::Initialize(LPCGUID device)
{
    if (device != nullptr && !IsEqualGUID(*device, GUID_NULL) && !IsEqualGUID(*device, DSDEVID_DefaultPlayback) &&
        !IsEqualGUID(*device, DSDEVID_DefaultVoicePlayback))
        return DSERR_NODRIVER;
    std::lock_guard<std::mutex> guard(state->lock);
    if (state->initialized) return DSERR_ALREADYINITIALIZED;
    state->initialized = true;
    return DS_OK;
}

STDMETHODIMP CDirectSound::SetCooperativeLevel(HWND, DWORD level)
{
    if (!IsInitialized()) return DSERR_UNINITIALIZED;
    if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    {
        std::lock_guard<std::mutex> guard(writePrimaryLock);
        if (level == DSSCL_WRITEPRIMARY) {
            if (writePrimaryOwner != nullptr && writePrimaryOwner != state.get()) return DSERR_ALLOCATED;
            writePrimaryOwner = state.get();
        } else if (writePrimaryOwner == state.get()) {
            writePrimaryOwner = nullptr;
        }
    }
    std::vector<CDirectSoundBuffer*> secondaries;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        DWORD previous = state->cooperativeLevel.exchange(level);
        if (level == DSSCL_WRITEPRIMARY && previous != DSSCL_WRITEPRIMARY) {
            for (CDirectSoundBuffer* buffer : state->buffers)
                if (!buffer->IsPrimary() && buffer->TryAddRef()) secondaries.push_back(buffer);
        }
    }
    // Writing the primary buffer directly leaves no room for mixing.
    for (CDirectSoundBuffer* buffer : secondaries) {
        buffer->MarkLost();
        buffer->Release();
    }
    return DS_OK;
}

STDMETHODIMP CDirectSound::CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer)
{
    if (buffer == nullptr) return DSERR_INVALIDPARAM;
    *buffer = nullptr;
    if (!IsInitialized()) return DSERR_UNINITIALIZED;
    if (desc == nullptr) return DSERR_INVALIDPARAM;
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    if (desc->dwSize != sizeof(DSBUFFERDESC) && desc->dwSize != sizeof(DSBUFFERDESC1)) return DSERR_INVALIDPARAM;
    DWORD flags = desc->dwFlags;
    if ((flags & DSBCAPS_LOCHARDWARE) && (flags & (DSBCAPS_LOCSOFTWARE | DSBCAPS_LOCDEFER))) return DSERR_INVALIDPARAM;
    if ((flags & DSBCAPS_LOCSOFTWARE) && (flags & DSBCAPS_LOCDEFER)) return DSERR_INVALIDPARAM;

    if (flags & DSBCAPS_PRIMARYBUFFER) {
        if (desc->dwBufferBytes != 0 || desc->lpwfxFormat != nullptr) return DSERR_INVALIDPARAM;
        if (flags &
            (DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_CTRLFX | DSBCAPS_LOCDEFER | DSBCAPS_STATIC))
            return DSERR_INVALIDPARAM;
        if (flags & DSBCAPS_LOCHARDWARE) return DSERR_INVALIDCALL;
        {
            std::lock_guard<std::mutex> guard(state->lock);
            // There is one primary buffer; asking again gives it again.
            if (state->primary != nullptr) {
                if (state->primary->Flags() != flags) return DSERR_INVALIDCALL;
                if (state->primary->TryAddRef()) {
                    *buffer = state->primary;
                    return DS_OK;
                }
            }
        }
        CDirectSoundBuffer* primary = nullptr;
        try {
            primary = new CDirectSoundBuffer(state, flags, &defaultPrimaryFormat, 0);
        } catch (const std::bad_alloc&) {
            return DSERR_OUTOFMEMORY;
        }
        std::lock_guard<std::mutex> guard(state->lock);
        state->primary = primary;
        *buffer = primary;
        return DS_OK;
    }

    const WAVEFORMATEX* format = desc->lpwfxFormat;
    if (format == nullptr) return DSERR_INVALIDPARAM;
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
    if (!IsSupportedFormat(format)) return DSERR_BADFORMAT;
    if ((flags & DSBCAPS_CTRL3D) && (format->nChannels != 1 || (flags & DSBCAPS_CTRLPAN))) return DSERR_INVALIDPARAM;
    if (flags & DSBCAPS_CTRLFX) {
        // Effects need a DirectSound 8 object, and at least 150 ms of audio.
        return DSERR_DS8_REQUIRED;
    }
    if (flags & DSBCAPS_LOCHARDWARE) return DSERR_INVALIDCALL;  // the device has no hardware voices
    try {
        *buffer = new CDirectSoundBuffer(state, flags, format, desc->dwBufferBytes);
    } catch (const std::bad_alloc&) {
        return DSERR_OUTOFMEMORY;
    }
    return DS_OK;
}

STDMETHODIMP CDirectSound::GetCaps(LPDSCAPS caps)
{
    if (!IsInitialized()) return DSERR_UNINITIALIZED;
    if (caps == nullptr || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
    std::memset(caps, 0, sizeof(DSCAPS));
    caps->dwSize = sizeof(DSCAPS);
    caps->dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
                    DSCAPS_CONTINUOUSRATE | DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO | DSCAPS_SECONDARY8BIT |
                    DSCAPS_SECONDARY16BIT | DSCAPS_CERTIFIED;
    caps->dwMinSecondarySampleRate = minimumRate;
    caps->dwMaxSecondarySampleRate = maximumRate;
    caps->dwPrimaryBuffers = 1;
    caps->dwPlayCpuOverheadSwBuffers = 1;
    return DS_OK;
}

STDMETHODIMP CDirectSound::DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate)
{
    if (duplicate == nullptr) return DSERR_INVALIDPARAM;
    *duplicate = nullptr;
    if (!IsInitialized()) return DSERR_UNINITIALIZED;
    if (original == nullptr) return DSERR_INVALIDPARAM;
    CDirectSoundBuffer* source = dynamic_cast<CDirectSoundBuffer*>(original);
    if (source == nullptr) return DSERR_INVALIDPARAM;
    if (source->IsPrimary()) return DSERR_INVALIDCALL;
    try {
        *duplicate = new CDirectSoundBuffer(*source);
    } catch (const std::bad_alloc&) {
        return DSERR_OUTOFMEMORY;
    }
    return DS_OK;
}

STDMETHODIMP CDirectSound::Compact()
{
    if (!IsInitialized()) return DSERR_UNINITIALIZED;
    if (state->cooperativeLevel.load() < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
    return DS_OK;
}

STDMETHODIMP CDirectSound::GetSpeakerConfig(LPDWORD config)
{
    if (!IsInitialized()) return DSERR_UNINITIALIZED;
    if (config == nullptr) return DSERR_INVALIDPARAM;
    *config = speakerConfig.load();
    return DS_OK;
}

STDMETHODIMP CDirectSound::SetSpeakerConfig(DWORD config)
{
    if (!IsInitialized()) return DSERR_UNINITIALIZED;
    DWORD speakers = DSSPEAKER_CONFIG(config);
    DWORD geometry = DSSPEAKER_GEOMETRY(config);
    if (speakers > 9 || (config & 0xFF00FF00) != 0) return DSERR_INVALIDPARAM;
    if (speakers == DSSPEAKER_STEREO && geometry != 0 &&
        (geometry < DSSPEAKER_GEOMETRY_MIN || geometry > DSSPEAKER_GEOMETRY_MAX))
        return DSERR_INVALIDPARAM;
    speakerConfig.store(config);
    return DS_OK;
}

}  // namespace platform::dsound

extern "C" HRESULT WINAPI DirectSoundCreate(LPCGUID lpGuid, LPDIRECTSOUND* ppDS, LPUNKNOWN pUnkOuter)
{
    if (ppDS == nullptr) return DSERR_INVALIDPARAM;
    *ppDS = nullptr;
    if (pUnkOuter != nullptr) return DSERR_NOAGGREGATION;
    auto* device = new (std::nothrow) platform::dsound::CDirectSound;
    if (device == nullptr) return DSERR_OUTOFMEMORY;
    HRESULT result = device->Initialize(lpGuid);
    if (FAILED(result)) {
        device->Release();
        return result;
    }
    *ppDS = device;
    return DS_OK;
}
