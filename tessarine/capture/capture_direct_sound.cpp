// CCaptureDirectSound: a thin wrapper over a real DirectSound object whose
// CreateSoundBuffer hands out capture buffers instead of real ones.
#include "tessarine/capture/capture_direct_sound.h"

#include "tessarine/frame/log.h"

#include <new>

CCaptureDirectSound::CCaptureDirectSound(IDirectSound* realDirectSound) : realDirectSound(realDirectSound) {}

CCaptureDirectSound::~CCaptureDirectSound()
{
    LogLine("Removing Secondary DirectSound Buffer");
    if (referenceCount != 0) LogLine("Non zero reference count");
    lastCreatedBuffer.Release();
    realDirectSound.Release();
}

STDMETHODIMP CCaptureDirectSound::QueryInterface(REFIID riid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_CCaptureDirectSound) ||
        IsEqualIID(riid, IID_IDirectSound)) {
        *object = static_cast<IDirectSound*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CCaptureDirectSound::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&referenceCount)); }

STDMETHODIMP_(ULONG) CCaptureDirectSound::Release()
{
    LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CCaptureDirectSound::CreateSoundBuffer(LPCDSBUFFERDESC description, LPDIRECTSOUNDBUFFER* buffer,
                                                    LPUNKNOWN outer)
{
    HRESULT result = realDirectSound->CreateSoundBuffer(description, buffer, outer);
    if (FAILED(result) || buffer == nullptr || *buffer == nullptr) return result;
    // The primary buffer has no ring to capture from; it goes to the caller
    // as it is and leaves the capture buffer in place.
    if (description == nullptr || (description->dwFlags & DSBCAPS_PRIMARYBUFFER)) return result;
    CCaptureSoundBuffer* capture = nullptr;
    try {
        capture = new CCaptureSoundBuffer(*buffer, description);
    } catch (const std::bad_alloc&) {
        (*buffer)->Release();
        *buffer = nullptr;
        return DSERR_OUTOFMEMORY;
    }
    *buffer = capture;
    CComReference<CCaptureSoundBuffer> kept;
    if (SUCCEEDED(capture->QueryInterface(IID_CCaptureSoundBuffer, kept.ReceiveVoid())))
        lastCreatedBuffer = std::move(kept);
    return result;
}

STDMETHODIMP CCaptureDirectSound::GetCaps(LPDSCAPS caps) { return realDirectSound->GetCaps(caps); }

STDMETHODIMP CCaptureDirectSound::DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate)
{
    return realDirectSound->DuplicateSoundBuffer(original, duplicate);
}

STDMETHODIMP CCaptureDirectSound::SetCooperativeLevel(HWND window, DWORD level)
{
    return realDirectSound->SetCooperativeLevel(window, level);
}

STDMETHODIMP CCaptureDirectSound::Compact() { return realDirectSound->Compact(); }

STDMETHODIMP CCaptureDirectSound::GetSpeakerConfig(LPDWORD config) { return realDirectSound->GetSpeakerConfig(config); }

STDMETHODIMP CCaptureDirectSound::SetSpeakerConfig(DWORD config) { return realDirectSound->SetSpeakerConfig(config); }

STDMETHODIMP CCaptureDirectSound::Initialize(LPCGUID device) { return realDirectSound->Initialize(device); }

HRESULT STDMETHODCALLTYPE CCaptureDirectSound::VerifyCertification(LPDWORD) { return E_NOTIMPL; }
