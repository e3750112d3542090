// DirectMusic ports: the software synthesizer port (FluidSynth rendering
// through the synth sink into a DirectSound buffer) and an emulated external
// MIDI output that accepts everything, counts it and plays nowhere.
#pragma once

#include <dmusicc.h>
#include <dmusici.h>
#include <dsound.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/com/unknown_impl.h"
#include "platform/dmusic/segment_model.h"
#include "platform/dmusic/sink.h"
#include "platform/dmusic/synth.h"

namespace dmusic {

// Asked of a port through QueryInterface, it gives the CDirectMusicPort
// itself (with a reference): how the performance reaches its own ports.
DEFINE_GUID(IID_CPlatformDirectMusicPort, 0x6b1e53a2, 0x2f0d, 0x4c5e, 0x9a, 0x41, 0x7d, 0x3e, 0x18, 0xc2, 0x55, 0x90);
// The emulated external MIDI output.
DEFINE_GUID(GUID_PlatformMidiOutPort, 0x9c2f6e41, 0x53a8, 0x4d1b, 0xb7, 0x0e, 0x2a, 0x61, 0xf4, 0x8d, 0x03, 0x7c);

// The ports EnumPort lists, in order.
constexpr DWORD kPortCount = 2;
// Fills caps (dwSize already checked) for port index; false past the end.
bool DescribePort(DWORD index, DMUS_PORTCAPS* caps);

// What the emulated external MIDI output has received since the process
// started: it plays nothing, but counts, so that music sent there can be seen.
struct CMidiOutCounts {
    uint64_t notesOn = 0;        // note-on with a velocity above 0
    uint64_t notesOff = 0;       // note-off, or note-on with velocity 0
    uint64_t otherMessages = 0;  // every other channel message
    uint64_t sysex = 0;          // system-exclusive messages
};
CMidiOutCounts GetMidiOutCounts();

// The device at the end of the emulated MIDI output's cable: it is handed
// every message the output sends, with the reference time the message is due
// and its channel group, as the performance sends it (ahead of that time).
class IMidiOutReceiver {
public:
    virtual void Receive(REFERENCE_TIME at, DWORD group, DWORD message) = 0;
    virtual void ReceiveSysex(REFERENCE_TIME at, DWORD group, const BYTE* data, size_t size) = 0;

protected:
    ~IMidiOutReceiver() = default;
};
// Connects a receiver (null: none); one for the whole process.
void SetMidiOutReceiver(IMidiOutReceiver* receiver);

class CDirectMusicPort final : public platform::CUnknownImpl<IDirectMusicPort> {
public:
    // params already checked and completed by the DirectMusic object;
    // directSound is DirectMusic's (may be null), used when the port is
    // activated without one of its own.
    CDirectMusicPort(DWORD portIndex, const DMUS_PORTPARAMS8& params, IDirectSound* directSound);

    STDMETHOD(PlayBuffer)(LPDIRECTMUSICBUFFER buffer) override;
    STDMETHOD(SetReadNotificationHandle)(HANDLE event) override;
    STDMETHOD(Read)(LPDIRECTMUSICBUFFER buffer) override;
    STDMETHOD(DownloadInstrument)(IDirectMusicInstrument* instrument, IDirectMusicDownloadedInstrument** downloaded,
                                  DMUS_NOTERANGE* ranges, DWORD rangeCount) override;
    STDMETHOD(UnloadInstrument)(IDirectMusicDownloadedInstrument* downloaded) override;
    STDMETHOD(GetLatencyClock)(IReferenceClock** clock) override;
    STDMETHOD(GetRunningStats)(LPDMUS_SYNTHSTATS stats) override;
    STDMETHOD(Compact)() override;
    STDMETHOD(GetCaps)(LPDMUS_PORTCAPS caps) override;
    STDMETHOD(DeviceIoControl)(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override;
    STDMETHOD(SetNumChannelGroups)(DWORD groups) override;
    STDMETHOD(GetNumChannelGroups)(LPDWORD groups) override;
    STDMETHOD(Activate)(BOOL active) override;
    STDMETHOD(SetChannelPriority)(DWORD group, DWORD channel, DWORD priority) override;
    STDMETHOD(GetChannelPriority)(DWORD group, DWORD channel, LPDWORD priority) override;
    STDMETHOD(SetDirectSound)(LPDIRECTSOUND directSound, LPDIRECTSOUNDBUFFER buffer) override;
    STDMETHOD(GetFormat)(LPWAVEFORMATEX format, LPDWORD formatSize, LPDWORD bufferSize) override;

    // What the performance uses. Times are reference times; an event for a
    // time already rendered sounds as soon as possible.
    bool IsSynth() const { return synth != nullptr; }
    void SendMessage(REFERENCE_TIME at, DWORD group, DWORD message);
    void SendSysex(REFERENCE_TIME at, DWORD group, const BYTE* data, size_t size);
    // A band's drum flag: the channel plays a drum kit (or a melodic instrument)
    // from that time on. An external device has no such switch.
    void SelectDrums(REFERENCE_TIME at, DWORD group, DWORD channel, bool drums);
    // Releases every note at that time; with dropLater, what was sent for
    // later goes too.
    void AllNotesOff(REFERENCE_TIME at, bool dropLater = true);
    // The earliest time an event can still be placed exactly.
    REFERENCE_TIME LatencyTime() const;
    // Loads a collection into the synth (once, however often it is asked);
    // Unload undoes one Download.
    HRESULT DownloadCollection(const std::shared_ptr<const CCollectionData>& collection);
    HRESULT UnloadCollection(const std::shared_ptr<const CCollectionData>& collection);
    void SetVolume(LONG hundredthsDb);
    CSynthSink* Sink() { return sink.get(); }

protected:
    void* Find(REFIID iid) override;

private:
    ~CDirectMusicPort() override;
    HRESULT StartSinkLocked();
    void StopSinkLocked();

    DWORD portIndex;
    DMUS_PORTPARAMS8 params;
    std::unique_ptr<CSynthesizer> synth;
    std::unique_ptr<CSynthSink> sink;

    std::mutex lock;
    IDirectSound* fallbackDirectSound = nullptr;  // DirectMusic's
    IDirectSound* directSound = nullptr;          // given to SetDirectSound
    IDirectSoundBuffer* buffer = nullptr;         // given, or made at activation
    bool ownBuffer = false;
    std::atomic<bool> active{false};
    struct Download {
        std::shared_ptr<const CCollectionData> collection;
        int id;
        int count;
    };
    std::map<const CCollectionData*, Download> downloads;
};

}  // namespace dmusic
