// The DirectMusic object: see directmusic.h.
#include "platform/dmusic/directmusic.h"

#include <dmerror.h>
#include <platform/com_registry.h>

#include <algorithm>
#include <cstring>

#include "platform/dmusic/port.h"
#include "platform/dmusic/reference_clock.h"
#include "platform/dmusic/text_field.h"

namespace dmusic {

namespace {

constexpr DWORD kDx7ParamsSize = offsetof(DMUS_PORTPARAMS8, dwFeatures);
static_assert(kDx7ParamsSize == 32, "the DirectX 7 port parameters are 32 bytes");

const platform::ComClassRegistration registration(CLSID_DirectMusic, CreateDirectMusic);

// The synth class on its own: a software synthesizer port with the usual
// parameters, not yet active.
HRESULT CreateSynthPort(LPUNKNOWN outer, REFIID iid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    DMUS_PORTPARAMS8 params{};
    params.dwSize = sizeof(params);
    CDirectMusic::AdjustPortParams(0, &params);
    CDirectMusicPort* port = new CDirectMusicPort(0, params, nullptr);
    HRESULT hr = port->QueryInterface(iid, object);
    port->Release();
    return hr;
}

const platform::ComClassRegistration synthRegistration(CLSID_DirectMusicSynth, CreateSynthPort);

}  // namespace

HRESULT CreateDirectMusic(LPUNKNOWN outer, REFIID iid, void** object)
{
    return platform::CreateComObject<CDirectMusic>(outer, iid, object);
}

CDirectMusic::CDirectMusic() = default;

CDirectMusic::~CDirectMusic()
{
    for (IDirectMusicPort* port : ports) port->Release();
    if (directSound) directSound->Release();
}

void* CDirectMusic::Find(REFIID iid)
{
    return iid == IID_IDirectMusic || iid == IID_IDirectMusic8 ? static_cast<IDirectMusic8*>(this) : nullptr;
}

STDMETHODIMP CDirectMusic::EnumPort(DWORD index, LPDMUS_PORTCAPS caps)
{
    if (!caps) return E_POINTER;
    if (caps->dwSize != sizeof(DMUS_PORTCAPS)) return E_INVALIDARG;
    // Past the last port the record is left as it was.
    return DescribePort(index, caps) ? S_OK : S_FALSE;
}

STDMETHODIMP CDirectMusic::CreateMusicBuffer(LPDMUS_BUFFERDESC desc, LPDIRECTMUSICBUFFER* buffer, LPUNKNOWN)
{
    if (!desc || !buffer) return E_POINTER;
    *buffer = nullptr;
    return E_NOTIMPL;
}

HRESULT CDirectMusic::AdjustPortParams(DWORD portIndex, DMUS_PORTPARAMS8* params)
{
    DMUS_PORTCAPS caps{};
    caps.dwSize = sizeof(caps);
    DescribePort(portIndex, &caps);
    const bool synth = portIndex == 0;
    const DWORD valid = params->dwValidParams;
    bool changed = false;
    auto settle = [&](DWORD flag, DWORD& field, DWORD wanted, DWORD fallback) {
        if (valid & flag) {
            if (field != wanted) changed = true;
        }
        field = (valid & flag) ? wanted : fallback;
    };
    // Voices and channel groups within what the port has; the synth always
    // renders stereo.
    DWORD maxVoices = std::max<DWORD>(caps.dwMaxVoices, 1);
    settle(DMUS_PORTPARAMS_VOICES, params->dwVoices, std::clamp<DWORD>(params->dwVoices, 1, maxVoices),
           synth ? 256 : 1);
    settle(DMUS_PORTPARAMS_CHANNELGROUPS, params->dwChannelGroups,
           std::clamp<DWORD>(params->dwChannelGroups, 1, caps.dwMaxChannelGroups), 1);
    settle(DMUS_PORTPARAMS_AUDIOCHANNELS, params->dwAudioChannels, caps.dwMaxAudioChannels, caps.dwMaxAudioChannels);
    // The rates the synth renders at; others go to the nearest of them.
    DWORD rate = params->dwSampleRate;
    DWORD nearest = 44100;
    for (DWORD candidate : {11025u, 22050u, 44100u, 48000u})
        if (std::abs(long(candidate) - long(rate)) < std::abs(long(nearest) - long(rate))) nearest = candidate;
    settle(DMUS_PORTPARAMS_SAMPLERATE, params->dwSampleRate, nearest, 44100);
    settle(DMUS_PORTPARAMS_EFFECTS, params->dwEffectFlags, params->dwEffectFlags & caps.dwEffectFlags,
           synth ? DMUS_EFFECT_REVERB : DMUS_EFFECT_NONE);
    if (!(valid & DMUS_PORTPARAMS_SHARE)) params->fShare = FALSE;
    params->dwValidParams = valid | DMUS_PORTPARAMS_VOICES | DMUS_PORTPARAMS_CHANNELGROUPS |
                            DMUS_PORTPARAMS_AUDIOCHANNELS | DMUS_PORTPARAMS_SAMPLERATE | DMUS_PORTPARAMS_EFFECTS |
                            DMUS_PORTPARAMS_SHARE;
    return changed ? S_FALSE : S_OK;
}

STDMETHODIMP CDirectMusic::CreatePort(REFCLSID portGuid, LPDMUS_PORTPARAMS params, LPDIRECTMUSICPORT* created,
                                      LPUNKNOWN outer)
{
    if (!params || !created) return E_POINTER;
    *created = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    const DWORD size = params->dwSize;
    if (size != kDx7ParamsSize && size != sizeof(DMUS_PORTPARAMS8)) return E_INVALIDARG;
    DWORD portIndex;
    if (portGuid == CLSID_DirectMusicSynth || portGuid == GUID_NULL)
        portIndex = 0;
    else if (portGuid == GUID_PlatformMidiOutPort)
        portIndex = 1;
    else
        return E_NOINTERFACE;

    DMUS_PORTPARAMS8 full{};
    std::memcpy(&full, params, size);
    if (size == kDx7ParamsSize) full.dwValidParams &= ~DWORD(DMUS_PORTPARAMS_FEATURES);
    HRESULT adjusted = AdjustPortParams(portIndex, &full);
    if (size == sizeof(DMUS_PORTPARAMS8)) {
        // No features beyond the basic ones are offered.
        if ((full.dwValidParams & DMUS_PORTPARAMS_FEATURES) && full.dwFeatures != 0) {
            full.dwFeatures = 0;
            adjusted = S_FALSE;
        }
    }
    std::memcpy(params, &full, size);
    params->dwSize = size;

    std::lock_guard<std::mutex> guard(lock);
    CDirectMusicPort* port = new CDirectMusicPort(portIndex, full, directSound);
    port->AddRef();
    ports.push_back(port);
    *created = port;
    return adjusted;
}

STDMETHODIMP CDirectMusic::EnumMasterClock(DWORD index, LPDMUS_CLOCKINFO info)
{
    if (!info) return E_POINTER;
    if (info->dwSize != sizeof(DMUS_CLOCKINFO8) && info->dwSize != sizeof(DMUS_CLOCKINFO7)) return E_INVALIDARG;
    if (index > 0) return S_FALSE;
    info->ctType = DMUS_CLOCK_SYSTEM;
    info->guidClock = GUID_PlatformSystemClock;
    CopyToField(info->wszDescription, DMUS_MAX_DESCRIPTION, u"System Clock");
    if (info->dwSize == sizeof(DMUS_CLOCKINFO8)) info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP CDirectMusic::GetMasterClock(LPGUID clockGuid, IReferenceClock** clock)
{
    if (clockGuid) *clockGuid = GUID_PlatformSystemClock;
    if (clock) *clock = new CReferenceClock(nullptr, nullptr);
    return S_OK;
}

STDMETHODIMP CDirectMusic::SetMasterClock(REFGUID clockGuid)
{
    return clockGuid == GUID_PlatformSystemClock ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CDirectMusic::SetExternalMasterClock(IReferenceClock* clock) { return clock ? E_NOTIMPL : E_POINTER; }

STDMETHODIMP CDirectMusic::Activate(BOOL enable)
{
    std::lock_guard<std::mutex> guard(lock);
    HRESULT result = S_OK;
    for (IDirectMusicPort* port : ports) {
        HRESULT hr = port->Activate(enable);
        if (FAILED(hr)) result = hr;
    }
    return result;
}

STDMETHODIMP CDirectMusic::GetDefaultPort(LPGUID port)
{
    if (!port) return E_POINTER;
    *port = CLSID_DirectMusicSynth;
    return S_OK;
}

STDMETHODIMP CDirectMusic::SetDirectSound(LPDIRECTSOUND newDirectSound, HWND)
{
    std::lock_guard<std::mutex> guard(lock);
    if (newDirectSound) newDirectSound->AddRef();
    if (directSound) directSound->Release();
    directSound = newDirectSound;
    return S_OK;
}

}  // namespace dmusic
