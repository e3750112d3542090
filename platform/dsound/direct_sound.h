// The platform's sound device, the DirectSound object. The device has no
// hardware voices and sends nothing anywhere: its buffers (sound_buffer.h)
// only move their play cursors with the platform clock.
#pragma once

#include <dsound.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/com/unknown_impl.h"

namespace platform::dsound {

class CDirectSoundBuffer;

// What a device and the buffers made on it share. Buffers keep it alive, so
// a buffer outliving its device stays usable.
struct CDeviceState {
    std::mutex lock;
    bool initialized = false;
    std::atomic<DWORD> cooperativeLevel{0};
    std::vector<CDirectSoundBuffer*> buffers;  // live buffers, for the write-primary level
    CDirectSoundBuffer* primary = nullptr;     // the one primary buffer, while it lives
};

class CDirectSound final : public CUnknownImpl<IDirectSound> {
public:
    CDirectSound();

    STDMETHOD(CreateSoundBuffer)(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) override;
    STDMETHOD(GetCaps)(LPDSCAPS caps) override;
    STDMETHOD(DuplicateSoundBuffer)(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate) override;
    STDMETHOD(SetCooperativeLevel)(HWND window, DWORD level) override;
    STDMETHOD(Compact)() override;
    STDMETHOD(GetSpeakerConfig)(LPDWORD config) override;
    STDMETHOD(SetSpeakerConfig)(DWORD config) override;
    STDMETHOD(Initialize)(LPCGUID device) override;

protected:
    void* Find(REFIID iid) override;

private:
    ~CDirectSound() override;
    bool IsInitialized();

    std::shared_ptr<CDeviceState> state;
};

// Checks a wave format a buffer can hold.
bool IsSupportedFormat(const WAVEFORMATEX* format);

}  // namespace platform::dsound
