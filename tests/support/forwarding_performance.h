// Replacement performances for the COM class table: one that hands every
// call to a real one, for tests that need one call to answer differently
// (override that call), and one that somebody has initialised already.
#pragma once

#include <dmusici.h>
#include <platform/com_registry.h>

class CForwardingPerformance : public IDirectMusicPerformance {
public:
    // Takes over the caller's reference on inner.
    explicit CForwardingPerformance(IDirectMusicPerformance* inner) : inner(inner) {}
    virtual ~CForwardingPerformance() { inner->Release(); }

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDirectMusicPerformance)) {
            *object = static_cast<IDirectMusicPerformance*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return InterlockedIncrement(&references); }
    STDMETHOD_(ULONG, Release)() override
    {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0) delete this;
        return ULONG(left);
    }

    STDMETHOD(Init)(IDirectMusic** ppDirectMusic, LPDIRECTSOUND pDirectSound, HWND hWnd) override
    {
        return inner->Init(ppDirectMusic, pDirectSound, hWnd);
    }
    STDMETHOD(PlaySegment)(IDirectMusicSegment* pSegment, DWORD dwFlags, LONGLONG i64StartTime,
                           IDirectMusicSegmentState** ppSegmentState) override
    {
        return inner->PlaySegment(pSegment, dwFlags, i64StartTime, ppSegmentState);
    }
    STDMETHOD(Stop)(IDirectMusicSegment* pSegment, IDirectMusicSegmentState* pSegmentState, MUSIC_TIME mtTime,
                    DWORD dwFlags) override
    {
        return inner->Stop(pSegment, pSegmentState, mtTime, dwFlags);
    }
    STDMETHOD(GetSegmentState)(IDirectMusicSegmentState** ppSegmentState, MUSIC_TIME mtTime) override
    {
        return inner->GetSegmentState(ppSegmentState, mtTime);
    }
    STDMETHOD(SetPrepareTime)(DWORD dwMilliSeconds) override { return inner->SetPrepareTime(dwMilliSeconds); }
    STDMETHOD(GetPrepareTime)(DWORD* pdwMilliSeconds) override { return inner->GetPrepareTime(pdwMilliSeconds); }
    STDMETHOD(SetBumperLength)(DWORD dwMilliSeconds) override { return inner->SetBumperLength(dwMilliSeconds); }
    STDMETHOD(GetBumperLength)(DWORD* pdwMilliSeconds) override { return inner->GetBumperLength(pdwMilliSeconds); }
    STDMETHOD(SendPMsg)(DMUS_PMSG* pPMSG) override { return inner->SendPMsg(pPMSG); }
    STDMETHOD(MusicToReferenceTime)(MUSIC_TIME mtTime, REFERENCE_TIME* prtTime) override
    {
        return inner->MusicToReferenceTime(mtTime, prtTime);
    }
    STDMETHOD(ReferenceToMusicTime)(REFERENCE_TIME rtTime, MUSIC_TIME* pmtTime) override
    {
        return inner->ReferenceToMusicTime(rtTime, pmtTime);
    }
    STDMETHOD(IsPlaying)(IDirectMusicSegment* pSegment, IDirectMusicSegmentState* pSegState) override
    {
        return inner->IsPlaying(pSegment, pSegState);
    }
    STDMETHOD(GetTime)(REFERENCE_TIME* prtNow, MUSIC_TIME* pmtNow) override { return inner->GetTime(prtNow, pmtNow); }
    STDMETHOD(AllocPMsg)(ULONG cb, DMUS_PMSG** ppPMSG) override { return inner->AllocPMsg(cb, ppPMSG); }
    STDMETHOD(FreePMsg)(DMUS_PMSG* pPMSG) override { return inner->FreePMsg(pPMSG); }
    STDMETHOD(GetGraph)(struct IDirectMusicGraph** ppGraph) override { return inner->GetGraph(ppGraph); }
    STDMETHOD(SetGraph)(struct IDirectMusicGraph* pGraph) override { return inner->SetGraph(pGraph); }
    STDMETHOD(SetNotificationHandle)(HANDLE hNotification, REFERENCE_TIME rtMinimum) override
    {
        return inner->SetNotificationHandle(hNotification, rtMinimum);
    }
    STDMETHOD(GetNotificationPMsg)(DMUS_NOTIFICATION_PMSG** ppNotificationPMsg) override
    {
        return inner->GetNotificationPMsg(ppNotificationPMsg);
    }
    STDMETHOD(AddNotificationType)(REFGUID rguidNotificationType) override
    {
        return inner->AddNotificationType(rguidNotificationType);
    }
    STDMETHOD(RemoveNotificationType)(REFGUID rguidNotificationType) override
    {
        return inner->RemoveNotificationType(rguidNotificationType);
    }
    STDMETHOD(AddPort)(IDirectMusicPort* pPort) override { return inner->AddPort(pPort); }
    STDMETHOD(RemovePort)(IDirectMusicPort* pPort) override { return inner->RemovePort(pPort); }
    STDMETHOD(AssignPChannelBlock)(DWORD dwBlockNum, IDirectMusicPort* pPort, DWORD dwGroup) override
    {
        return inner->AssignPChannelBlock(dwBlockNum, pPort, dwGroup);
    }
    STDMETHOD(AssignPChannel)(DWORD dwPChannel, IDirectMusicPort* pPort, DWORD dwGroup, DWORD dwMChannel) override
    {
        return inner->AssignPChannel(dwPChannel, pPort, dwGroup, dwMChannel);
    }
    STDMETHOD(PChannelInfo)(DWORD dwPChannel, IDirectMusicPort** ppPort, DWORD* pdwGroup, DWORD* pdwMChannel) override
    {
        return inner->PChannelInfo(dwPChannel, ppPort, pdwGroup, pdwMChannel);
    }
    STDMETHOD(DownloadInstrument)(IDirectMusicInstrument* pInst, DWORD dwPChannel,
                                  IDirectMusicDownloadedInstrument** ppDownInst, DMUS_NOTERANGE* pNoteRanges,
                                  DWORD dwNumNoteRanges, IDirectMusicPort** ppPort, DWORD* pdwGroup,
                                  DWORD* pdwMChannel) override
    {
        return inner->DownloadInstrument(pInst, dwPChannel, ppDownInst, pNoteRanges, dwNumNoteRanges, ppPort, pdwGroup,
                                         pdwMChannel);
    }
    STDMETHOD(Invalidate)(MUSIC_TIME mtTime, DWORD dwFlags) override { return inner->Invalidate(mtTime, dwFlags); }
    STDMETHOD(GetParam)(REFGUID rguidType, DWORD dwGroupBits, DWORD dwIndex, MUSIC_TIME mtTime, MUSIC_TIME* pmtNext,
                        void* pParam) override
    {
        return inner->GetParam(rguidType, dwGroupBits, dwIndex, mtTime, pmtNext, pParam);
    }
    STDMETHOD(SetParam)(REFGUID rguidType, DWORD dwGroupBits, DWORD dwIndex, MUSIC_TIME mtTime, void* pParam) override
    {
        return inner->SetParam(rguidType, dwGroupBits, dwIndex, mtTime, pParam);
    }
    STDMETHOD(GetGlobalParam)(REFGUID rguidType, void* pParam, DWORD dwSize) override
    {
        return inner->GetGlobalParam(rguidType, pParam, dwSize);
    }
    STDMETHOD(SetGlobalParam)(REFGUID rguidType, void* pParam, DWORD dwSize) override
    {
        return inner->SetGlobalParam(rguidType, pParam, dwSize);
    }
    STDMETHOD(GetLatencyTime)(REFERENCE_TIME* prtTime) override { return inner->GetLatencyTime(prtTime); }
    STDMETHOD(GetQueueTime)(REFERENCE_TIME* prtTime) override { return inner->GetQueueTime(prtTime); }
    STDMETHOD(AdjustTime)(REFERENCE_TIME rtAmount) override { return inner->AdjustTime(rtAmount); }
    STDMETHOD(CloseDown)() override { return inner->CloseDown(); }
    STDMETHOD(GetResolvedTime)(REFERENCE_TIME rtTime, REFERENCE_TIME* prtResolved, DWORD dwTimeResolveFlags) override
    {
        return inner->GetResolvedTime(rtTime, prtResolved, dwTimeResolveFlags);
    }
    STDMETHOD(MIDIToMusic)(BYTE bMIDIValue, DMUS_CHORD_KEY* pChord, BYTE bPlayMode, BYTE bChordLevel,
                           WORD* pwMusicValue) override
    {
        return inner->MIDIToMusic(bMIDIValue, pChord, bPlayMode, bChordLevel, pwMusicValue);
    }
    STDMETHOD(MusicToMIDI)(WORD wMusicValue, DMUS_CHORD_KEY* pChord, BYTE bPlayMode, BYTE bChordLevel,
                           BYTE* pbMIDIValue) override
    {
        return inner->MusicToMIDI(wMusicValue, pChord, bPlayMode, bChordLevel, pbMIDIValue);
    }
    STDMETHOD(TimeToRhythm)(MUSIC_TIME mtTime, DMUS_TIMESIGNATURE* pTimeSig, WORD* pwMeasure, BYTE* pbBeat,
                            BYTE* pbGrid, short* pnOffset) override
    {
        return inner->TimeToRhythm(mtTime, pTimeSig, pwMeasure, pbBeat, pbGrid, pnOffset);
    }
    STDMETHOD(RhythmToTime)(WORD wMeasure, BYTE bBeat, BYTE bGrid, short nOffset, DMUS_TIMESIGNATURE* pTimeSig,
                            MUSIC_TIME* pmtTime) override
    {
        return inner->RhythmToTime(wMeasure, bBeat, bGrid, nOffset, pTimeSig, pmtTime);
    }

protected:
    IDirectMusicPerformance* inner;

private:
    LONG volatile references = 1;
};

// A performance that somebody has initialised already: the engine's own
// A class factory for a forwarding performance of type Wrapper around the
// performance previous makes (Wrapper::previous holds that factory).
template <typename Wrapper> HRESULT CreateForwardingPerformance(LPUNKNOWN outer, REFIID iid, void** object)
{
    IDirectMusicPerformance* real = nullptr;
    const HRESULT result = Wrapper::previous(outer, IID_IDirectMusicPerformance, reinterpret_cast<void**>(&real));
    if (FAILED(result)) return result;
    auto* wrapper = new Wrapper(real);
    const HRESULT answer = wrapper->QueryInterface(iid, object);
    wrapper->Release();
    return answer;
}

// Init fails, and its later calls through the missing DirectMusic object
// raise E_POINTER.
struct CInitialisedPerformance {
    static inline platform::ClassFactoryFunction previous = nullptr;
    static HRESULT Create(LPUNKNOWN outer, REFIID iid, void** object)
    {
        IDirectMusicPerformance* performance = nullptr;
        HRESULT result = previous(outer, IID_IDirectMusicPerformance, reinterpret_cast<void**>(&performance));
        if (FAILED(result)) return result;
        performance->Init(nullptr, nullptr, nullptr);
        result = performance->QueryInterface(iid, object);
        performance->Release();
        return result;
    }
};
