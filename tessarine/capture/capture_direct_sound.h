// The component's own DirectSound object: it makes the capture buffers
// (capture_sound_buffer.h) that DirectMusic's synthesiser renders into, over
// the real device, which it forwards everything else to.
#pragma once

#include "tessarine/capture/capture_sound_buffer.h"
#include "tessarine/frame/com_reference.h"
#include "tessarine/frame/sdk.h"

// {2C7D7E11-5164-4D12-A95B-AE373577C87C}
inline constexpr GUID IID_CCaptureDirectSound = {
    0x2C7D7E11, 0x5164, 0x4D12, {0xA9, 0x5B, 0xAE, 0x37, 0x35, 0x77, 0xC8, 0x7C}};

class CCaptureDirectSound : public IDirectSound {
public:
    // Adds a reference on realDirectSound.
    explicit CCaptureDirectSound(IDirectSound* realDirectSound);

    STDMETHOD(QueryInterface)(REFIID riid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(CreateSoundBuffer)(LPCDSBUFFERDESC description, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) override;
    STDMETHOD(GetCaps)(LPDSCAPS caps) override;
    STDMETHOD(DuplicateSoundBuffer)(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate) override;
    STDMETHOD(SetCooperativeLevel)(HWND window, DWORD level) override;
    STDMETHOD(Compact)() override;
    STDMETHOD(GetSpeakerConfig)(LPDWORD config) override;
    STDMETHOD(SetSpeakerConfig)(DWORD config) override;
    STDMETHOD(Initialize)(LPCGUID device) override;

    virtual ~CCaptureDirectSound();

    // The version 8 method, never reached: the object is not a version 8 object.
    virtual HRESULT STDMETHODCALLTYPE VerifyCertification(LPDWORD certified);

    // The capture buffer created last, without a reference added; null before
    // the first CreateSoundBuffer.
    CCaptureSoundBuffer* GetCaptureBuffer() const { return lastCreatedBuffer.Get(); }

private:
    CComReference<IDirectSound> realDirectSound;
    CComReference<CCaptureSoundBuffer> lastCreatedBuffer;
    LONG volatile referenceCount = 1;
};
