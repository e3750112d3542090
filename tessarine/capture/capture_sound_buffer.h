// The component's own secondary buffer. DirectMusic's synthesiser renders
// into it; every byte lands in the capture store (capture_store.h), while the
// wrapped real buffer keeps playing on the device and sets the pace.
#pragma once

#include "tessarine/capture/capture_store.h"
#include "tessarine/capture/capture_traffic.h"
#include "tessarine/frame/com_reference.h"
#include "tessarine/frame/sdk.h"

// {C8DF30ED-F9B6-4FFA-BE6F-7A31ABA235A7}
inline constexpr GUID IID_CCaptureSoundBuffer = {
    0xC8DF30ED, 0xF9B6, 0x4FFA, {0xBE, 0x6F, 0x7A, 0x31, 0xAB, 0xA2, 0x35, 0xA7}};

class CCaptureSoundBuffer : public IDirectSoundBuffer, public IDirectSoundNotify {
public:
    // Takes over the caller's reference on realBuffer; N is the description's
    // dwBufferBytes. Never throws for a missing temporary file: the store then
    // refuses to serve (see CCaptureStore::BeginRead).
    CCaptureSoundBuffer(IDirectSoundBuffer* realBuffer, LPCDSBUFFERDESC description);

    // IUnknown, shared by both interfaces.
    STDMETHOD(QueryInterface)(REFIID riid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IDirectSoundBuffer
    STDMETHOD(GetCaps)(LPDSBCAPS caps) override;
    STDMETHOD(GetCurrentPosition)(LPDWORD play, LPDWORD write) override;
    STDMETHOD(GetFormat)(LPWAVEFORMATEX format, DWORD sizeAllocated, LPDWORD sizeWritten) override;
    STDMETHOD(GetVolume)(LPLONG volume) override;
    STDMETHOD(GetPan)(LPLONG pan) override;
    STDMETHOD(GetFrequency)(LPDWORD frequency) override;
    STDMETHOD(GetStatus)(LPDWORD status) override;
    STDMETHOD(Initialize)(LPDIRECTSOUND directSound, LPCDSBUFFERDESC description) override;
    STDMETHOD(Lock)(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2, LPDWORD bytes2,
                    DWORD flags) override;
    STDMETHOD(Play)(DWORD reserved, DWORD priority, DWORD flags) override;
    STDMETHOD(SetCurrentPosition)(DWORD position) override;
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX format) override;
    STDMETHOD(SetVolume)(LONG volume) override;
    STDMETHOD(SetPan)(LONG pan) override;
    STDMETHOD(SetFrequency)(DWORD frequency) override;
    STDMETHOD(Stop)() override;
    STDMETHOD(Unlock)(LPVOID audio1, DWORD bytes1, LPVOID audio2, DWORD bytes2) override;
    STDMETHOD(Restore)() override;

    virtual ~CCaptureSoundBuffer();

    // The version 8 methods, never reached: the object is not a version 8 buffer.
    virtual HRESULT STDMETHODCALLTYPE SetFX(DWORD effectsCount, LPDSEFFECTDESC effects, LPDWORD resultCodes);
    virtual HRESULT STDMETHODCALLTYPE AcquireResources(DWORD flags, DWORD effectsCount, LPDWORD resultCodes);
    virtual HRESULT STDMETHODCALLTYPE GetObjectInPath(REFGUID object, DWORD index, REFGUID iid, LPVOID* result);

    // IDirectSoundNotify
    STDMETHOD(SetNotificationPositions)(DWORD count, LPCDSBPOSITIONNOTIFY positions) override;

    // The capture store the buffer's Lock and Unlock are served from.
    CCaptureStore& Store() { return store; }
    const CCaptureStore& Store() const { return store; }

    // Logs what the synthesizer did to this buffer, then closes and removes
    // the capture file: the engine's teardown calls it, since whoever made
    // the buffer may not be the last to release it. Writes after it are
    // dropped.
    void CloseStore();

private:
    bool RealBufferNotifies();

    // Declared first, so that it outlives the store, which uses it.
    CComReference<IDirectSoundBuffer> realBuffer;
    CCaptureStore store;
    CCaptureTraffic traffic;
    LONG volatile referenceCount = 1;
};
