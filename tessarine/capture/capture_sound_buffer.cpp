// CCaptureSoundBuffer's COM face: nearly every call goes to the real buffer;
// Lock and Unlock are served by the capture store, and hardware placement and
// pan are kept away from the real buffer.
#include "tessarine/capture/capture_sound_buffer.h"

#include "tessarine/frame/log.h"

#include <cstring>

CCaptureSoundBuffer::CCaptureSoundBuffer(IDirectSoundBuffer* real, LPCDSBUFFERDESC description)
    : store(real, description != nullptr ? description->dwBufferBytes : 0)
{
    // Taken over last, so that a failure above leaves the caller's reference
    // with the caller.
    realBuffer = CComReference<IDirectSoundBuffer>::Adopt(real);
}

CCaptureSoundBuffer::~CCaptureSoundBuffer() = default;

void CCaptureSoundBuffer::CloseStore()
{
    LogLine("Capture traffic: %s", traffic.Describe().c_str());
    store.Close();
}

STDMETHODIMP CCaptureSoundBuffer::QueryInterface(REFIID riid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_CCaptureSoundBuffer) ||
        IsEqualIID(riid, IID_IDirectSoundBuffer)) {
        *object = static_cast<IDirectSoundBuffer*>(this);
    } else if (IsEqualIID(riid, IID_IDirectSoundNotify) && RealBufferNotifies()) {
        // Notifications are the real buffer's: it has them only when made
        // with DSBCAPS_CTRLPOSITIONNOTIFY, and then so does the capture.
        *object = static_cast<IDirectSoundNotify*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CCaptureSoundBuffer::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&referenceCount)); }

STDMETHODIMP_(ULONG) CCaptureSoundBuffer::Release()
{
    LONG count = InterlockedDecrement(&referenceCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CCaptureSoundBuffer::GetCaps(LPDSBCAPS caps) { return realBuffer->GetCaps(caps); }

STDMETHODIMP CCaptureSoundBuffer::GetCurrentPosition(LPDWORD play, LPDWORD write)
{
    traffic.Count(CCaptureTraffic::cursorRead);
    return realBuffer->GetCurrentPosition(play, write);
}

STDMETHODIMP CCaptureSoundBuffer::GetFormat(LPWAVEFORMATEX format, DWORD sizeAllocated, LPDWORD sizeWritten)
{
    return realBuffer->GetFormat(format, sizeAllocated, sizeWritten);
}

STDMETHODIMP CCaptureSoundBuffer::GetVolume(LPLONG volume) { return realBuffer->GetVolume(volume); }

STDMETHODIMP CCaptureSoundBuffer::GetPan(LPLONG) { return DSERR_CONTROLUNAVAIL; }

STDMETHODIMP CCaptureSoundBuffer::GetFrequency(LPDWORD frequency) { return realBuffer->GetFrequency(frequency); }

STDMETHODIMP CCaptureSoundBuffer::GetStatus(LPDWORD status) { return realBuffer->GetStatus(status); }

STDMETHODIMP CCaptureSoundBuffer::Initialize(LPDIRECTSOUND directSound, LPCDSBUFFERDESC description)
{
    // The real buffer always lives in software and is never the primary.
    DSBUFFERDESC copy;
    std::memset(&copy, 0, sizeof(copy));
    if (description != nullptr) {
        size_t bytes = sizeof(copy);
        // A DirectX 3 description is shorter; never read past it.
        if (description->dwSize >= sizeof(DSBUFFERDESC1) && description->dwSize < sizeof(copy))
            bytes = description->dwSize;
        std::memcpy(&copy, description, bytes);
    }
    copy.dwFlags &= ~DWORD(DSBCAPS_PRIMARYBUFFER | DSBCAPS_LOCHARDWARE);
    copy.dwFlags |= DSBCAPS_LOCSOFTWARE;
    return realBuffer->Initialize(directSound, &copy);
}

STDMETHODIMP CCaptureSoundBuffer::Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2,
                                       LPDWORD bytes2, DWORD flags)
{
    CCaptureRegion first{};
    CCaptureRegion second{};
    traffic.CountLock(bytes, timeGetTime());
    store.BeginWrite(offset, bytes, flags, first, second);
    if (audio1 != nullptr) *audio1 = first.pointer;
    if (bytes1 != nullptr) *bytes1 = first.length;
    if (audio2 != nullptr) *audio2 = second.pointer;
    if (bytes2 != nullptr) *bytes2 = second.length;
    return DS_OK;
}

STDMETHODIMP CCaptureSoundBuffer::Play(DWORD reserved, DWORD priority, DWORD flags)
{
    traffic.Count(CCaptureTraffic::play);
    return realBuffer->Play(reserved, priority, flags & ~DWORD(DSBPLAY_LOCHARDWARE));
}

STDMETHODIMP CCaptureSoundBuffer::SetCurrentPosition(DWORD position)
{
    return realBuffer->SetCurrentPosition(position);
}

STDMETHODIMP CCaptureSoundBuffer::SetFormat(LPCWAVEFORMATEX format) { return realBuffer->SetFormat(format); }

STDMETHODIMP CCaptureSoundBuffer::SetVolume(LONG volume) { return realBuffer->SetVolume(volume); }

STDMETHODIMP CCaptureSoundBuffer::SetPan(LONG) { return DSERR_CONTROLUNAVAIL; }

STDMETHODIMP CCaptureSoundBuffer::SetFrequency(DWORD frequency) { return realBuffer->SetFrequency(frequency); }

STDMETHODIMP CCaptureSoundBuffer::Stop()
{
    traffic.Count(CCaptureTraffic::stop);
    return realBuffer->Stop();
}

STDMETHODIMP CCaptureSoundBuffer::Unlock(LPVOID, DWORD bytes1, LPVOID, DWORD bytes2)
{
    // The real buffer is locked and unlocked again so that it sees the same
    // traffic, but nothing is copied into it.
    return store.EndWrite([&](DWORD offset, DWORD flags) -> HRESULT {
        if (!realBuffer) return DS_OK;
        LPVOID real1 = nullptr;
        LPVOID real2 = nullptr;
        DWORD realBytes1 = 0;
        DWORD realBytes2 = 0;
        HRESULT result = DS_OK;
        if (SUCCEEDED(realBuffer->Lock(offset, bytes1 + bytes2, &real1, &realBytes1, &real2, &realBytes2, flags)))
            result = realBuffer->Unlock(real1, bytes1, real2, bytes2);
        return result;
    });
}

STDMETHODIMP CCaptureSoundBuffer::Restore() { return realBuffer->Restore(); }

HRESULT STDMETHODCALLTYPE CCaptureSoundBuffer::SetFX(DWORD, LPDSEFFECTDESC, LPDWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CCaptureSoundBuffer::AcquireResources(DWORD, DWORD, LPDWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CCaptureSoundBuffer::GetObjectInPath(REFGUID, DWORD, REFGUID, LPVOID*) { return E_NOTIMPL; }

bool CCaptureSoundBuffer::RealBufferNotifies()
{
    if (!realBuffer) return false;
    CComReference<IDirectSoundNotify> notify;
    return SUCCEEDED(realBuffer->QueryInterface(IID_IDirectSoundNotify, notify.ReceiveVoid())) && notify;
}

STDMETHODIMP CCaptureSoundBuffer::SetNotificationPositions(DWORD count, LPCDSBPOSITIONNOTIFY positions)
{
    if (!realBuffer) return E_POINTER;
    CComReference<IDirectSoundNotify> notify;
    HRESULT result = realBuffer->QueryInterface(IID_IDirectSoundNotify, notify.ReceiveVoid());
    if (FAILED(result)) return result;
    traffic.CountPositions(count, positions);
    return notify->SetNotificationPositions(count, positions);
}
