// The DirectMusic ports: see port.h.
#include "platform/dmusic/port.h"
#include "platform/dmusic/loader_log.h"

#include <dmerror.h>
#include <objbase.h>
#include <platform/clock.h>

#include <algorithm>
#include <cstring>

#include "midi/midi_status.h"
#include "platform/dmusic/reference_clock.h"
#include "platform/dmusic/text_field.h"

namespace dmusic {

namespace {

REFERENCE_TIME PortLatency(void* port) { return static_cast<CDirectMusicPort*>(port)->LatencyTime(); }

// What the synthesizer renders: 16-bit stereo PCM at the port's rate.
WAVEFORMATEX SynthFormat(DWORD sampleRate)
{
    return WAVEFORMATEX{WAVE_FORMAT_PCM, 2, sampleRate, sampleRate * 4, 4, 16, 0};
}

// A buffer of half a second when the port has to make its own.
constexpr DWORD kOwnBufferMilliseconds = 500;
DWORD OwnBufferBytes(DWORD sampleRate) { return sampleRate * 4 * kOwnBufferMilliseconds / 1000; }

}  // namespace

bool DescribePort(DWORD index, DMUS_PORTCAPS* caps)
{
    if (index >= kPortCount) return false;
    DWORD size = caps->dwSize;
    std::memset(caps, 0, sizeof(*caps));
    caps->dwSize = size;
    if (index == 0) {
        caps->dwFlags = DMUS_PC_SOFTWARESYNTH | DMUS_PC_DLS | DMUS_PC_DLS2 | DMUS_PC_DIRECTSOUND | DMUS_PC_AUDIOPATH |
                        DMUS_PC_SHAREABLE | DMUS_PC_WAVE;
        caps->guidPort = CLSID_DirectMusicSynth;
        caps->dwClass = DMUS_PC_OUTPUTCLASS;
        caps->dwType = DMUS_PORT_USER_MODE_SYNTH;
        caps->dwMemorySize = DMUS_PC_SYSTEMMEMORY;
        caps->dwMaxChannelGroups = 1000;
        caps->dwMaxVoices = 1000;
        caps->dwMaxAudioChannels = 2;
        caps->dwEffectFlags = DMUS_EFFECT_REVERB | DMUS_EFFECT_CHORUS;
        CopyToField(caps->wszDescription, DMUS_MAX_DESCRIPTION,
                    u"Software Synthesizer (FluidSynth, General MIDI SoundFont)");
    } else {
        caps->dwFlags = DMUS_PC_EXTERNAL | DMUS_PC_SHAREABLE;
        caps->guidPort = GUID_PlatformMidiOutPort;
        caps->dwClass = DMUS_PC_OUTPUTCLASS;
        caps->dwType = DMUS_PORT_WINMM_DRIVER;
        caps->dwMemorySize = 0;
        caps->dwMaxChannelGroups = 1;
        caps->dwMaxVoices = 0;
        caps->dwMaxAudioChannels = 0;
        caps->dwEffectFlags = DMUS_EFFECT_NONE;
        CopyToField(caps->wszDescription, DMUS_MAX_DESCRIPTION, u"Emulated MIDI Output (plays nowhere)");
    }
    return true;
}

CDirectMusicPort::CDirectMusicPort(DWORD index, const DMUS_PORTPARAMS8& portParams, IDirectSound* directMusicSound)
    : portIndex(index), params(portParams), fallbackDirectSound(directMusicSound)
{
    if (fallbackDirectSound) fallbackDirectSound->AddRef();
    if (portIndex == 0) {
        CSynthOptions options;
        options.sampleRate = params.dwSampleRate;
        options.channelGroups = params.dwChannelGroups;
        options.voices = params.dwVoices;
        options.reverb = (params.dwEffectFlags & DMUS_EFFECT_REVERB) != 0;
        options.chorus = (params.dwEffectFlags & DMUS_EFFECT_CHORUS) != 0;
        synth = std::make_unique<CSynthesizer>(options);
        sink = std::make_unique<CSynthSink>(synth.get());
    }
}

CDirectMusicPort::~CDirectMusicPort()
{
    std::lock_guard<std::mutex> guard(lock);
    StopSinkLocked();
    if (buffer) buffer->Release();
    if (directSound) directSound->Release();
    if (fallbackDirectSound) fallbackDirectSound->Release();
}

void* CDirectMusicPort::Find(REFIID iid)
{
    return iid == IID_IDirectMusicPort || iid == IID_CPlatformDirectMusicPort ? static_cast<IDirectMusicPort*>(this)
                                                                              : nullptr;
}

// Buffers of the DirectX 8 kind are not made by this DirectMusic.
STDMETHODIMP CDirectMusicPort::PlayBuffer(LPDIRECTMUSICBUFFER buffer) { return buffer ? E_NOTIMPL : E_POINTER; }
STDMETHODIMP CDirectMusicPort::SetReadNotificationHandle(HANDLE) { return E_NOTIMPL; }
STDMETHODIMP CDirectMusicPort::Read(LPDIRECTMUSICBUFFER) { return E_NOTIMPL; }

STDMETHODIMP CDirectMusicPort::DownloadInstrument(IDirectMusicInstrument* instrument,
                                                  IDirectMusicDownloadedInstrument**, DMUS_NOTERANGE*, DWORD)
{
    // Whole collections go down through the segment's GUID_Download.
    return instrument ? E_NOTIMPL : E_POINTER;
}

STDMETHODIMP CDirectMusicPort::UnloadInstrument(IDirectMusicDownloadedInstrument* downloaded)
{
    return downloaded ? E_NOTIMPL : E_POINTER;
}

STDMETHODIMP CDirectMusicPort::GetLatencyClock(IReferenceClock** clock)
{
    if (!clock) return E_POINTER;
    // The synth's clock reads its sink's latency; the external port's is the platform clock.
    const CReferenceClock::TimeSource source = IsSynth() ? PortLatency : nullptr;
    *clock = new CReferenceClock(source, this, this);
    return S_OK;
}

STDMETHODIMP CDirectMusicPort::GetRunningStats(LPDMUS_SYNTHSTATS stats)
{
    if (!stats) return E_POINTER;
    if (!IsSynth()) return E_NOTIMPL;
    if (!active) return DMUS_E_SYNTHINACTIVE;
    stats->dwValidStats = DMUS_SYNTHSTATS_VOICES;
    stats->dwVoices = DWORD(synth->ActiveVoices());
    return S_OK;
}

STDMETHODIMP CDirectMusicPort::Compact() { return S_OK; }

STDMETHODIMP CDirectMusicPort::GetCaps(LPDMUS_PORTCAPS caps)
{
    if (!caps) return E_POINTER;
    if (caps->dwSize != sizeof(DMUS_PORTCAPS)) return E_INVALIDARG;
    DescribePort(portIndex, caps);
    return S_OK;
}

STDMETHODIMP CDirectMusicPort::DeviceIoControl(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDirectMusicPort::SetNumChannelGroups(DWORD groups)
{
    // The synth's channels are made with the port; fewer are always fine.
    if (groups == 0) return E_INVALIDARG;
    return groups <= params.dwChannelGroups ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CDirectMusicPort::GetNumChannelGroups(LPDWORD groups)
{
    if (!groups) return E_POINTER;
    *groups = params.dwChannelGroups;
    return S_OK;
}

HRESULT CDirectMusicPort::StartSinkLocked()
{
    if (!buffer) {
        // No buffer of the caller's: make one on the port's DirectSound
        // object, or DirectMusic's, or a device of our own.
        IDirectSound* device = directSound ? directSound : fallbackDirectSound;
        IDirectSound* made = nullptr;
        if (!device) {
            HRESULT hr = CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound,
                                          reinterpret_cast<void**>(&made));
            if (FAILED(hr)) return DMUS_E_DSOUND_NOT_SET;
            made->Initialize(nullptr);
            device = made;
        }
        WAVEFORMATEX format = SynthFormat(params.dwSampleRate);
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCSOFTWARE | DSBCAPS_GLOBALFOCUS;
        desc.dwBufferBytes = OwnBufferBytes(params.dwSampleRate);
        desc.lpwfxFormat = &format;
        HRESULT hr = device->CreateSoundBuffer(&desc, &buffer, nullptr);
        if (made) made->Release();
        if (FAILED(hr)) {
            buffer = nullptr;
            return hr;
        }
        ownBuffer = true;
    }
    return sink->Start(buffer);
}

void CDirectMusicPort::StopSinkLocked()
{
    if (sink) sink->Stop();
    if (synth) synth->ClearQueue();
}

STDMETHODIMP CDirectMusicPort::Activate(BOOL activate)
{
    std::lock_guard<std::mutex> guard(lock);
    if (bool(activate) == active.load()) return S_FALSE;
    if (!IsSynth()) {
        active = bool(activate);
        return S_OK;
    }
    if (activate) {
        HRESULT hr = StartSinkLocked();
        if (FAILED(hr)) return hr;
        active = true;
    } else {
        StopSinkLocked();
        active = false;
        if (ownBuffer && buffer) {
            buffer->Release();
            buffer = nullptr;
            ownBuffer = false;
        }
    }
    return S_OK;
}

STDMETHODIMP CDirectMusicPort::SetChannelPriority(DWORD group, DWORD channel, DWORD)
{
    return group >= 1 && group <= params.dwChannelGroups && channel < 16 ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CDirectMusicPort::GetChannelPriority(DWORD group, DWORD channel, LPDWORD priority)
{
    if (!priority) return E_POINTER;
    if (group < 1 || group > params.dwChannelGroups || channel >= 16) return E_INVALIDARG;
    *priority = DAUD_STANDARD_VOICE_PRIORITY;
    return S_OK;
}

STDMETHODIMP CDirectMusicPort::SetDirectSound(LPDIRECTSOUND newDirectSound, LPDIRECTSOUNDBUFFER newBuffer)
{
    if (newBuffer && !newDirectSound) return E_INVALIDARG;
    if (!IsSynth()) return S_OK;  // an external port has no use for one
    if (newBuffer) {
        WAVEFORMATEX format{};
        DWORD written = 0;
        if (FAILED(newBuffer->GetFormat(&format, sizeof(format), &written)) || format.wFormatTag != WAVE_FORMAT_PCM ||
            format.nChannels != 2 || format.wBitsPerSample != 16 || format.nSamplesPerSec != params.dwSampleRate)
            return DMUS_E_WAVEFORMATNOTSUPPORTED;
    }
    std::lock_guard<std::mutex> guard(lock);
    // An active port lets go of its buffer at once (so a caller can free it)
    // and goes on with the new one, if any. Null for both means no
    // DirectSound at all any more, DirectMusic's included.
    const bool wasActive = active;
    if (wasActive) StopSinkLocked();
    if (newDirectSound) newDirectSound->AddRef();
    if (newBuffer) newBuffer->AddRef();
    if (buffer) buffer->Release();
    if (directSound) directSound->Release();
    directSound = newDirectSound;
    buffer = newBuffer;
    ownBuffer = false;
    if (!newDirectSound && fallbackDirectSound) {
        fallbackDirectSound->Release();
        fallbackDirectSound = nullptr;
    }
    if (wasActive) {
        if (!directSound || FAILED(StartSinkLocked())) active = false;
    }
    return S_OK;
}

STDMETHODIMP CDirectMusicPort::GetFormat(LPWAVEFORMATEX format, LPDWORD formatSize, LPDWORD bufferSize)
{
    if (!formatSize) return E_POINTER;
    if (!IsSynth()) return E_NOTIMPL;
    if (format) {
        if (*formatSize < sizeof(WAVEFORMATEX)) return E_INVALIDARG;
        *format = SynthFormat(params.dwSampleRate);
    }
    *formatSize = sizeof(WAVEFORMATEX);
    if (bufferSize) *bufferSize = OwnBufferBytes(params.dwSampleRate);
    return S_OK;
}

namespace {

// The emulated MIDI output's counters (see GetMidiOutCounts).
std::atomic<uint64_t> midiOutNotesOn{0}, midiOutNotesOff{0}, midiOutOtherMessages{0}, midiOutSysex{0};
std::atomic<IMidiOutReceiver*> midiOutReceiver{nullptr};

void CountMidiOutMessage(DWORD message)
{
    const BYTE kind = midi::KindOf(BYTE(message));
    const DWORD velocity = (message >> 16) & 0x7F;
    if (kind == midi::kNoteOn && velocity > 0)
        ++midiOutNotesOn;
    else if (kind == midi::kNoteOff || kind == midi::kNoteOn)
        ++midiOutNotesOff;
    else
        ++midiOutOtherMessages;
}

}  // namespace

void SetMidiOutReceiver(IMidiOutReceiver* receiver) { midiOutReceiver = receiver; }

CMidiOutCounts GetMidiOutCounts()
{
    CMidiOutCounts counts;
    counts.notesOn = midiOutNotesOn.load();
    counts.notesOff = midiOutNotesOff.load();
    counts.otherMessages = midiOutOtherMessages.load();
    counts.sysex = midiOutSysex.load();
    return counts;
}

void CDirectMusicPort::SendMessage(REFERENCE_TIME at, DWORD group, DWORD message)
{
    if (!active) return;
    if (!IsSynth()) {
        CountMidiOutMessage(message);
        if (IMidiOutReceiver* receiver = midiOutReceiver) receiver->Receive(at, group, message);
        return;
    }
    synth->QueueMessage(sink->FrameAt(at), group, message);
}

void CDirectMusicPort::SendSysex(REFERENCE_TIME at, DWORD group, const BYTE* data, size_t size)
{
    if (!active) return;
    if (!IsSynth()) {
        if (data && size > 0) ++midiOutSysex;
        if (IMidiOutReceiver* receiver = midiOutReceiver; receiver && data && size > 0)
            receiver->ReceiveSysex(at, group, data, size);
        return;
    }
    synth->QueueSysex(sink->FrameAt(at), group, data, size);
}

void CDirectMusicPort::SelectDrums(REFERENCE_TIME at, DWORD group, DWORD channel, bool drums)
{
    if (!IsSynth() || !active) return;
    synth->QueueChannelType(sink->FrameAt(at), group, channel, drums);
}

void CDirectMusicPort::AllNotesOff(REFERENCE_TIME at, bool dropLater)
{
    if (!IsSynth()) return;
    synth->QueueAllNotesOff(sink->FrameAt(at), dropLater);
}

REFERENCE_TIME CDirectMusicPort::LatencyTime() const
{
    if (!IsSynth()) return platform::ClockNow100ns();
    return std::max<REFERENCE_TIME>(sink->LatencyTime(), platform::ClockNow100ns());
}

HRESULT CDirectMusicPort::DownloadCollection(const std::shared_ptr<const CCollectionData>& collection)
{
    if (!collection) return E_POINTER;
    if (!IsSynth()) return S_FALSE;           // an external device has its own instruments
    if (collection->defaultSet) return S_OK;  // the synthesizer's own instruments are there already
    std::lock_guard<std::mutex> guard(lock);
    auto found = downloads.find(collection.get());
    if (found != downloads.end()) {
        ++found->second.count;
        return S_OK;
    }
    std::string error;
    int id = synth->LoadCollection(collection->bytes.data(), collection->bytes.size(), &error);
    if (id < 0) {
        LoaderTrace("the collection was not downloaded: %s", error.c_str());
        return DMUS_E_NOTADLSCOL;
    }
    downloads.emplace(collection.get(), Download{collection, id, 1});
    return S_OK;
}

HRESULT CDirectMusicPort::UnloadCollection(const std::shared_ptr<const CCollectionData>& collection)
{
    if (!collection) return E_POINTER;
    if (!IsSynth()) return S_FALSE;
    if (collection->defaultSet) return S_OK;
    std::lock_guard<std::mutex> guard(lock);
    auto found = downloads.find(collection.get());
    if (found == downloads.end()) return S_FALSE;
    if (--found->second.count == 0) {
        synth->UnloadCollection(found->second.id);
        downloads.erase(found);
    }
    return S_OK;
}

void CDirectMusicPort::SetVolume(LONG hundredthsDb)
{
    if (IsSynth()) synth->SetVolume(hundredthsDb);
}

}  // namespace dmusic
