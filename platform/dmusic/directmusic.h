// The DirectMusic object: port enumeration and creation, the master clock,
// the DirectSound object that ports without one of their own use.
#pragma once

#include <dmusicc.h>

#include <mutex>
#include <vector>

#include "platform/com/unknown_impl.h"

namespace dmusic {

class CDirectMusicPort;

class CDirectMusic final : public platform::CUnknownImpl<IDirectMusic8> {
public:
    CDirectMusic();

    STDMETHOD(EnumPort)(DWORD index, LPDMUS_PORTCAPS caps) override;
    STDMETHOD(CreateMusicBuffer)(LPDMUS_BUFFERDESC desc, LPDIRECTMUSICBUFFER* buffer, LPUNKNOWN outer) override;
    STDMETHOD(CreatePort)(REFCLSID port, LPDMUS_PORTPARAMS params, LPDIRECTMUSICPORT* created,
                          LPUNKNOWN outer) override;
    STDMETHOD(EnumMasterClock)(DWORD index, LPDMUS_CLOCKINFO info) override;
    STDMETHOD(GetMasterClock)(LPGUID clockGuid, IReferenceClock** clock) override;
    STDMETHOD(SetMasterClock)(REFGUID clockGuid) override;
    STDMETHOD(Activate)(BOOL enable) override;
    STDMETHOD(GetDefaultPort)(LPGUID port) override;
    STDMETHOD(SetDirectSound)(LPDIRECTSOUND directSound, HWND window) override;
    STDMETHOD(SetExternalMasterClock)(IReferenceClock* clock) override;

    // Checks a caller's port parameters (DirectX 7 or 8 size) and completes
    // them for the port: S_FALSE when a value had to change, written back.
    static HRESULT AdjustPortParams(DWORD portIndex, DMUS_PORTPARAMS8* params);

protected:
    void* Find(REFIID iid) override;

private:
    ~CDirectMusic() override;

    std::mutex lock;
    IDirectSound* directSound = nullptr;
    std::vector<IDirectMusicPort*> ports;  // each with a reference
};

// The master clock's identifier: the system clock.
DEFINE_GUID(GUID_PlatformSystemClock, 0x4f3a9c1e, 0x86d2, 0x4b07, 0xa1, 0x5e, 0x3c, 0x90, 0x7b, 0x2d, 0x64, 0xe8);

HRESULT CreateDirectMusic(LPUNKNOWN outer, REFIID iid, void** object);

}  // namespace dmusic
