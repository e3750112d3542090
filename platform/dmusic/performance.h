// The DirectMusic performance: its ports and channel map, the segment states
// its sequencer plays on the ports ahead of time, the performance's tempo
// map, master tempo and volume, its notifications, and the routing of a
// segment's downloads to its ports.
#pragma once

#include <dmusicc.h>
#include <dmusici.h>

#include <map>
#include <mutex>
#include <vector>

#include "platform/com/unknown_impl.h"
#include "platform/dmusic/notification_queue.h"
#include "platform/dmusic/port.h"
#include "platform/dmusic/segment_model.h"
#include "platform/dmusic/segment_state.h"
#include "platform/dmusic/sequencer.h"

namespace dmusic {

// A millisecond in reference time.
constexpr REFERENCE_TIME kMillisecond = 10000;

// Asked of a performance, it gives the CPerformance itself (with a reference).
DEFINE_GUID(IID_CPlatformPerformance, 0x2d7c41f8, 0x0b9e, 0x4a63, 0x8e, 0x12, 0x5f, 0xa4, 0x39, 0xd0, 0x7b, 0x16);

class CPerformance final : public platform::CUnknownImpl<IDirectMusicPerformance> {
public:
    CPerformance();

    STDMETHOD(Init)(IDirectMusic** directMusic, LPDIRECTSOUND directSound, HWND window) override;
    STDMETHOD(PlaySegment)(IDirectMusicSegment* segment, DWORD flags, LONGLONG startTime,
                           IDirectMusicSegmentState** state) override;
    STDMETHOD(Stop)(IDirectMusicSegment* segment, IDirectMusicSegmentState* state, MUSIC_TIME time,
                    DWORD flags) override;
    STDMETHOD(GetSegmentState)(IDirectMusicSegmentState** state, MUSIC_TIME time) override;
    STDMETHOD(SetPrepareTime)(DWORD milliseconds) override;
    STDMETHOD(GetPrepareTime)(DWORD* milliseconds) override;
    STDMETHOD(SetBumperLength)(DWORD milliseconds) override;
    STDMETHOD(GetBumperLength)(DWORD* milliseconds) override;
    STDMETHOD(SendPMsg)(DMUS_PMSG* message) override;
    STDMETHOD(MusicToReferenceTime)(MUSIC_TIME time, REFERENCE_TIME* rt) override;
    STDMETHOD(ReferenceToMusicTime)(REFERENCE_TIME rt, MUSIC_TIME* time) override;
    STDMETHOD(IsPlaying)(IDirectMusicSegment* segment, IDirectMusicSegmentState* state) override;
    STDMETHOD(GetTime)(REFERENCE_TIME* now, MUSIC_TIME* musicNow) override;
    STDMETHOD(AllocPMsg)(ULONG size, DMUS_PMSG** message) override;
    STDMETHOD(FreePMsg)(DMUS_PMSG* message) override;
    STDMETHOD(GetGraph)(IDirectMusicGraph** graph) override;
    STDMETHOD(SetGraph)(IDirectMusicGraph* graph) override;
    STDMETHOD(SetNotificationHandle)(HANDLE event, REFERENCE_TIME minimum) override;
    STDMETHOD(GetNotificationPMsg)(DMUS_NOTIFICATION_PMSG** message) override;
    STDMETHOD(AddNotificationType)(REFGUID type) override;
    STDMETHOD(RemoveNotificationType)(REFGUID type) override;
    STDMETHOD(AddPort)(IDirectMusicPort* port) override;
    STDMETHOD(RemovePort)(IDirectMusicPort* port) override;
    STDMETHOD(AssignPChannelBlock)(DWORD block, IDirectMusicPort* port, DWORD group) override;
    STDMETHOD(AssignPChannel)(DWORD pchannel, IDirectMusicPort* port, DWORD group, DWORD channel) override;
    STDMETHOD(PChannelInfo)(DWORD pchannel, IDirectMusicPort** port, DWORD* group, DWORD* channel) override;
    STDMETHOD(DownloadInstrument)(IDirectMusicInstrument* instrument, DWORD pchannel,
                                  IDirectMusicDownloadedInstrument** downloaded, DMUS_NOTERANGE* ranges,
                                  DWORD rangeCount, IDirectMusicPort** port, DWORD* group, DWORD* channel) override;
    STDMETHOD(Invalidate)(MUSIC_TIME time, DWORD flags) override;
    STDMETHOD(GetParam)(REFGUID type, DWORD groupBits, DWORD index, MUSIC_TIME time, MUSIC_TIME* next,
                        void* param) override;
    STDMETHOD(SetParam)(REFGUID type, DWORD groupBits, DWORD index, MUSIC_TIME time, void* param) override;
    STDMETHOD(GetGlobalParam)(REFGUID type, void* param, DWORD size) override;
    STDMETHOD(SetGlobalParam)(REFGUID type, void* param, DWORD size) override;
    STDMETHOD(GetLatencyTime)(REFERENCE_TIME* time) override;
    STDMETHOD(GetQueueTime)(REFERENCE_TIME* time) override;
    STDMETHOD(AdjustTime)(REFERENCE_TIME amount) override;
    STDMETHOD(CloseDown)() override;
    STDMETHOD(GetResolvedTime)(REFERENCE_TIME time, REFERENCE_TIME* resolved, DWORD flags) override;
    STDMETHOD(MIDIToMusic)(BYTE value, DMUS_CHORD_KEY* chord, BYTE mode, BYTE level, WORD* music) override;
    STDMETHOD(MusicToMIDI)(WORD music, DMUS_CHORD_KEY* chord, BYTE mode, BYTE level, BYTE* value) override;
    STDMETHOD(TimeToRhythm)(MUSIC_TIME time, DMUS_TIMESIGNATURE* signature, WORD* measure, BYTE* beat, BYTE* grid,
                            short* offset) override;
    STDMETHOD(RhythmToTime)(WORD measure, BYTE beat, BYTE grid, short offset, DMUS_TIMESIGNATURE* signature,
                            MUSIC_TIME* time) override;

    // GUID_Download / GUID_Unload of a segment on this performance.
    HRESULT DownloadModel(const CSegmentModel& model, bool unload);
    // Runs one pass of the sequencer (for the thread and for tests).
    void Tick();

protected:
    void* Find(REFIID iid) override;

private:
    ~CPerformance() override;
    struct Channel {
        CDirectMusicPort* port;
        DWORD group;
        DWORD channel;
    };
    struct Anchor {
        REFERENCE_TIME rt;
        MUSIC_TIME mt;
        double bpm;          // the music's own tempo
        double masterTempo;  // the factor in effect
    };
    CDirectMusicPort* FindPort(IDirectMusicPort* port) const;
    REFERENCE_TIME LatencyLocked() const;
    // Lowers every sink's horizon to what it has under way (see CSynthSink).
    void HoldHorizonsLocked();
    REFERENCE_TIME MusicToReferenceLocked(MUSIC_TIME time) const;
    MUSIC_TIME ReferenceToMusicLocked(REFERENCE_TIME rt) const;
    // The steps of PlaySegment: the start, the state's passes, the tempo map.
    REFERENCE_TIME SegmentStartLocked(DWORD flags, LONGLONG startTime) const;
    void PlanPassesLocked(CSegmentState* state, const CSegmentModel& model) const;
    void FollowTempoLocked(const CSegmentState* state, const CSegmentModel& model);
    // The steps of Tick (performance_tick.cpp): a state's events up to the
    // horizon, then the release of its notes at its end once all are sent;
    // what its life announces at `now` (with stopNow, its end at once); and
    // the letting go of ended states.
    void Dispatch(CSegmentState* state, REFERENCE_TIME horizon);
    void SendAheadLocked(CSegmentState* state, REFERENCE_TIME horizon);
    void AnnounceLocked(CSegmentState* state, REFERENCE_TIME now, bool stopNow);
    void DropEndedStatesLocked();
    void SendToChannel(DWORD pchannel, REFERENCE_TIME at, const CMidiEvent& event, bool off);
    void SendPatch(REFERENCE_TIME at, const CPatchChange& patch);
    void Notify(const GUID& type, DWORD option, REFERENCE_TIME at, IUnknown* user);
    void StopStateLocked(CSegmentState* state, REFERENCE_TIME at);
    // Ends a state that Stop stopped and sends its notifications at once.
    void EndStoppedStateLocked(CSegmentState* state);
    // Plays what the sequencer has not yet sent of a state at a new master tempo.
    void RetimeStateLocked(CSegmentState* state, double factor);

    mutable std::recursive_mutex lock;
    bool initialized = false;
    IDirectMusic* directMusic = nullptr;
    std::vector<CDirectMusicPort*> ports;
    std::map<DWORD, Channel> channels;
    DWORD prepareMs = 1000, bumperMs = 50;
    float masterTempo = 1.0f;
    LONG masterVolume = 0;
    BOOL autoDownload = FALSE;
    std::vector<Anchor> anchors;
    std::vector<CSegmentState*> states;   // each with a reference
    CSegmentState* lastPlayed = nullptr;  // with a reference: whose tempo map GetParam answers from
    bool musicPlaying = false;

    CNotificationQueue notifications;
    CSequencer sequencer;
};

HRESULT CreatePerformance(LPUNKNOWN outer, REFIID iid, void** object);

}  // namespace dmusic
