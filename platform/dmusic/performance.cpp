// The DirectMusic performance: see performance.h. Its sequencer's passes are
// in performance_tick.cpp.
#include "platform/dmusic/performance.h"

#include <dmerror.h>
#include <dmusicf.h>
#include <objbase.h>
#include <platform/clock.h>
#include <platform/com_registry.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/dmusic/directmusic.h"

namespace dmusic {

namespace {

// Passes laid out ahead for a segment that repeats for ever.
constexpr size_t kEndlessPasses = 10000;

HRESULT DownloadThroughPerformance(IUnknown* target, const std::shared_ptr<const CSegmentModel>& model, bool unload)
{
    if (!target || !model) return E_POINTER;
    CPerformance* performance = nullptr;
    if (SUCCEEDED(target->QueryInterface(IID_CPlatformPerformance, reinterpret_cast<void**>(&performance)))) {
        HRESULT hr = performance->DownloadModel(*model, unload);
        performance->Release();
        return hr;
    }
    CDirectMusicPort* port = nullptr;
    if (SUCCEEDED(target->QueryInterface(IID_CPlatformDirectMusicPort, reinterpret_cast<void**>(&port)))) {
        HRESULT hr = S_OK;
        for (const auto& collection : {model->connectedCollection, model->embeddedCollection}) {
            if (!collection) continue;
            HRESULT one = unload ? port->UnloadCollection(collection) : port->DownloadCollection(collection);
            if (FAILED(one)) hr = one;
        }
        port->Release();
        return hr;
    }
    return E_INVALIDARG;
}

struct CRegistrations {
    CRegistrations()
    {
        platform::RegisterComClass(CLSID_DirectMusicPerformance, CreatePerformance);
        SetSegmentDownloadHandler(DownloadThroughPerformance);
    }
};
const CRegistrations registrations;

}  // namespace

HRESULT CreatePerformance(LPUNKNOWN outer, REFIID iid, void** object)
{
    return platform::CreateComObject<CPerformance>(outer, iid, object);
}

CPerformance::CPerformance() = default;

CPerformance::~CPerformance() { CloseDown(); }

void* CPerformance::Find(REFIID iid)
{
    return iid == IID_IDirectMusicPerformance || iid == IID_CPlatformPerformance
               ? static_cast<IDirectMusicPerformance*>(this)
               : nullptr;
}

STDMETHODIMP CPerformance::Init(IDirectMusic** given, LPDIRECTSOUND directSound, HWND window)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (initialized) return DMUS_E_ALREADY_INITED;
    if (given && *given) {
        directMusic = *given;
        directMusic->AddRef();
    } else {
        // Through the class table, as DirectMusic itself does.
        HRESULT hr = CoCreateInstance(CLSID_DirectMusic, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectMusic,
                                      reinterpret_cast<void**>(&directMusic));
        if (FAILED(hr)) return hr;
        if (given) {
            *given = directMusic;
            directMusic->AddRef();
        }
    }
    if (directSound) {
        directMusic->SetDirectSound(directSound, window);
    } else {
        // DirectMusic makes its own device when the caller gives none.
        IDirectSound* own = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound,
                                       reinterpret_cast<void**>(&own)))) {
            own->Initialize(nullptr);
            if (window) own->SetCooperativeLevel(window, DSSCL_PRIORITY);
            directMusic->SetDirectSound(own, window);
            own->Release();
        }
    }
    anchors.assign(1, Anchor{platform::ClockNow100ns(), 0, kDefaultTempo, masterTempo});
    sequencer.Start([this] { Tick(); });
    initialized = true;
    return S_OK;
}

CDirectMusicPort* CPerformance::FindPort(IDirectMusicPort* port) const
{
    for (CDirectMusicPort* own : ports)
        if (static_cast<IDirectMusicPort*>(own) == port) return own;
    return nullptr;
}

REFERENCE_TIME CPerformance::LatencyLocked() const
{
    REFERENCE_TIME latency = platform::ClockNow100ns();
    for (CDirectMusicPort* port : ports) latency = std::max(latency, port->LatencyTime());
    return latency;
}

void CPerformance::HoldHorizonsLocked()
{
    for (CDirectMusicPort* port : ports)
        if (CSynthSink* sink = port->Sink()) sink->HoldHorizon();
}

REFERENCE_TIME CPerformance::MusicToReferenceLocked(MUSIC_TIME time) const
{
    if (anchors.empty()) return 0;
    auto after =
        std::upper_bound(anchors.begin(), anchors.end(), time, [](MUSIC_TIME t, const Anchor& a) { return t < a.mt; });
    const Anchor& a = after == anchors.begin() ? anchors.front() : *(after - 1);
    double seconds = double(time - a.mt) * 60.0 / (DMUS_PPQ * a.bpm * a.masterTempo);
    return a.rt + REFERENCE_TIME(std::llround(seconds * 1e7));
}

MUSIC_TIME CPerformance::ReferenceToMusicLocked(REFERENCE_TIME rt) const
{
    if (anchors.empty()) return 0;
    auto after = std::upper_bound(anchors.begin(), anchors.end(), rt,
                                  [](REFERENCE_TIME t, const Anchor& a) { return t < a.rt; });
    const Anchor& a = after == anchors.begin() ? anchors.front() : *(after - 1);
    double units = double(rt - a.rt) / 1e7 * DMUS_PPQ * a.bpm * a.masterTempo / 60.0;
    return a.mt + MUSIC_TIME(std::floor(units));
}

// When a segment asked for at startTime (with flags) starts.
REFERENCE_TIME CPerformance::SegmentStartLocked(DWORD flags, LONGLONG startTime) const
{
    const REFERENCE_TIME now = platform::ClockNow100ns();
    REFERENCE_TIME start;
    if (startTime == 0)
        start = now;
    else if (flags & DMUS_SEGF_REFTIME)
        start = startTime;
    else
        start = MusicToReferenceLocked(MUSIC_TIME(startTime));
    // Never earlier than the ports can still place it exactly (plus a
    // sequencer period), nor, when asked, than the prepare time.
    start = std::max(start, LatencyLocked() + 20 * kMillisecond);
    if (flags & DMUS_SEGF_AFTERPREPARETIME) start = std::max(start, now + prepareMs * kMillisecond);
    // On a boundary of the synthesizer's blocks, so that where each event
    // lands among them, and so the sound, does not depend on the moment the
    // segment was asked for; while the clock follows the sinks, also on one
    // of its steps, so that the start's time is exact and every event's
    // frame follows from its distance to the start alone.
    for (CDirectMusicPort* port : ports) {
        if (CSynthSink* sink = port->Sink())
            return sink->TimeAtFrame(sink->AlignedFrameAtOrAfter(sink->FrameAt(start), kSynthBlockFrames));
    }
    return start;
}

// The passes a state plays from its start: from the start point to the loop's
// end, the loop as often as it repeats, and the rest to the segment's end.
void CPerformance::PlanPassesLocked(CSegmentState* state, const CSegmentModel& model) const
{
    const MUSIC_TIME length = std::max<MUSIC_TIME>(model.length, 0);
    const MUSIC_TIME loopEnd = model.loopEnd > 0 ? std::min(model.loopEnd, length) : length;
    const MUSIC_TIME loopStart = std::clamp<MUSIC_TIME>(model.loopStart, 0, loopEnd);
    MUSIC_TIME from = std::clamp<MUSIC_TIME>(model.startPoint, 0, length);
    size_t repeats = model.repeats == DMUS_SEG_REPEAT_INFINITE ? kEndlessPasses : model.repeats;
    if (loopEnd <= loopStart || from >= loopEnd) repeats = 0;
    REFERENCE_TIME at = state->start;
    auto addPass = [&](MUSIC_TIME a, MUSIC_TIME b) {
        CSegmentState::Pass pass{a, b, at, masterTempo};
        state->passes.push_back(pass);
        at = state->TimeOf(pass, b);
    };
    if (repeats > 0) {
        addPass(from, loopEnd);
        for (size_t i = 0; i < repeats; ++i) addPass(loopStart, i + 1 == repeats ? length : loopEnd);
    } else {
        addPass(from, length);
    }
    state->end = at;
    state->almostEnd = std::max(state->start, at - REFERENCE_TIME(prepareMs) * kMillisecond);
}

// The performance's music time follows the state's tempo from its start.
void CPerformance::FollowTempoLocked(const CSegmentState* state, const CSegmentModel& model)
{
    while (!anchors.empty() && anchors.back().rt >= state->start && anchors.size() > 1) anchors.pop_back();
    MUSIC_TIME performanceAt = state->performanceStart;
    for (const CSegmentState::Pass& pass : state->passes) {
        if (anchors.size() > 4096) break;
        MUSIC_TIME t = pass.from;
        while (t < pass.to) {
            MUSIC_TIME next = pass.to;
            double bpm = model.TempoAt(t, &next);
            anchors.push_back(Anchor{state->TimeOf(pass, t), performanceAt + (t - pass.from), bpm, masterTempo});
            t = std::max(t + 1, std::min(next, pass.to));
        }
        performanceAt += pass.to - pass.from;
    }
}

STDMETHODIMP CPerformance::PlaySegment(IDirectMusicSegment* segment, DWORD flags, LONGLONG startTime,
                                       IDirectMusicSegmentState** result)
{
    if (result) *result = nullptr;
    if (!segment) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!initialized) return DMUS_E_NOT_INIT;
    std::shared_ptr<const CSegmentModel> model = GetSegmentModel(segment);
    if (!model) return E_INVALIDARG;
    if (flags & DMUS_SEGF_SECONDARY) return E_NOTIMPL;

    // The sinks render nothing past what they have under way until the
    // sequencer has handed this segment's first events over.
    HoldHorizonsLocked();
    const REFERENCE_TIME start = SegmentStartLocked(flags, startTime);
    CSegmentState* state = new CSegmentState(segment, model);
    state->masterTempo = masterTempo;
    state->start = start;
    state->performanceStart = ReferenceToMusicLocked(start);
    PlanPassesLocked(state, *model);
    FollowTempoLocked(state, *model);

    // A new primary segment replaces what plays at its start.
    for (CSegmentState* playing : states)
        if (!playing->Ended() && playing->end > start) StopStateLocked(playing, start);
    states.push_back(state);
    state->AddRef();
    if (lastPlayed) lastPlayed->Release();
    lastPlayed = state;
    if (result) {
        state->AddRef();
        *result = state;
    }
    sequencer.Kick();
    return S_OK;
}

void CPerformance::StopStateLocked(CSegmentState* state, REFERENCE_TIME at)
{
    if (state->Ended()) return;
    at = std::max(at, state->start);
    state->end = std::min(state->end, at);
    state->almostEnd = std::min(state->almostEnd, state->end);
    state->StopSending();
    state->notesReleased = true;
    state->aborted = true;
    for (CDirectMusicPort* port : ports) port->AllNotesOff(at, true);
}

STDMETHODIMP CPerformance::Stop(IDirectMusicSegment* segment, IDirectMusicSegmentState* state, MUSIC_TIME time,
                                DWORD flags)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!initialized) return DMUS_E_NOT_INIT;
    HoldHorizonsLocked();
    REFERENCE_TIME at = time == 0
                            ? LatencyLocked()
                            : std::max(LatencyLocked(), (flags & DMUS_SEGF_REFTIME) ? REFERENCE_TIME(time)
                                                                                    : MusicToReferenceLocked(time));
    for (CSegmentState* playing : states) {
        if (segment && playing->segment != segment) continue;
        if (state && static_cast<IDirectMusicSegmentState*>(playing) != state) continue;
        StopStateLocked(playing, at);
        EndStoppedStateLocked(playing);
    }
    sequencer.Kick();
    return S_OK;
}

void CPerformance::RetimeStateLocked(CSegmentState* state, double factor)
{
    if (state->pass >= state->passes.size() || state->masterTempo == factor) return;
    const CSegmentModel& model = *state->model;
    CSegmentState::Pass& current = state->passes[state->pass];
    // The first item of the pass the sequencer has not sent: where the new
    // tempo takes over.
    MUSIC_TIME split = current.to;
    for (size_t i = state->nextEvent; i < model.events.size(); ++i)
        if (model.events[i].time >= current.from) {
            split = std::min(split, model.events[i].time);
            break;
        }
    for (size_t i = state->nextPatch; i < model.patches.size(); ++i)
        if (model.patches[i].time >= current.from) {
            split = std::min(split, model.patches[i].time);
            break;
        }
    // Never in the past: what has not been sent yet is placed from now on.
    const REFERENCE_TIME now = platform::ClockNow100ns();
    const REFERENCE_TIME splitAt = std::max(state->TimeOf(current, split), std::min(now, state->end));
    size_t first = state->pass;
    if (split > current.from) {
        CSegmentState::Pass rest{split, current.to, splitAt, factor};
        current.to = split;
        state->passes.insert(state->passes.begin() + std::ptrdiff_t(first) + 1, rest);
        ++first;
    } else {
        current.start = splitAt;
        current.masterTempo = factor;
    }
    REFERENCE_TIME at = state->TimeOf(state->passes[first], state->passes[first].to);
    for (size_t i = first + 1; i < state->passes.size(); ++i) {
        state->passes[i].start = at;
        state->passes[i].masterTempo = factor;
        at = state->TimeOf(state->passes[i], state->passes[i].to);
    }
    state->masterTempo = factor;
    if (!state->notesReleased) {
        state->end = at;
        state->almostEnd = std::max(state->start, at - REFERENCE_TIME(prepareMs) * kMillisecond);
    }
}

void CPerformance::EndStoppedStateLocked(CSegmentState* state)
{
    // A segment stopped by Stop says so at the stop, to the types registered
    // now: a notification generated later would reach whoever registered
    // since (a caller that stops and plays again would hear the old stop).
    AnnounceLocked(state, platform::ClockNow100ns(), true);
}

STDMETHODIMP CPerformance::GetSegmentState(IDirectMusicSegmentState** result, MUSIC_TIME time)
{
    if (!result) return E_POINTER;
    *result = nullptr;
    std::lock_guard<std::recursive_mutex> guard(lock);
    REFERENCE_TIME at = MusicToReferenceLocked(time);
    for (auto it = states.rbegin(); it != states.rend(); ++it) {
        if ((*it)->start <= at && at < (*it)->end) {
            (*it)->AddRef();
            *result = *it;
            return S_OK;
        }
    }
    return DMUS_E_NOT_FOUND;
}

STDMETHODIMP CPerformance::SetPrepareTime(DWORD milliseconds)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    prepareMs = milliseconds;
    return S_OK;
}

STDMETHODIMP CPerformance::GetPrepareTime(DWORD* milliseconds)
{
    if (!milliseconds) return E_POINTER;
    *milliseconds = prepareMs;
    return S_OK;
}

STDMETHODIMP CPerformance::SetBumperLength(DWORD milliseconds)
{
    bumperMs = milliseconds;
    return S_OK;
}

STDMETHODIMP CPerformance::GetBumperLength(DWORD* milliseconds)
{
    if (!milliseconds) return E_POINTER;
    *milliseconds = bumperMs;
    return S_OK;
}

// Messages go through the sequencer's own path only; the caller keeps one
// that is refused.
STDMETHODIMP CPerformance::SendPMsg(DMUS_PMSG* message) { return message ? E_NOTIMPL : E_POINTER; }

STDMETHODIMP CPerformance::MusicToReferenceTime(MUSIC_TIME time, REFERENCE_TIME* rt)
{
    if (!rt) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!initialized) return DMUS_E_NOT_INIT;
    *rt = MusicToReferenceLocked(time);
    return S_OK;
}

STDMETHODIMP CPerformance::ReferenceToMusicTime(REFERENCE_TIME rt, MUSIC_TIME* time)
{
    if (!time) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!initialized) return DMUS_E_NOT_INIT;
    *time = ReferenceToMusicLocked(rt);
    return S_OK;
}

STDMETHODIMP CPerformance::IsPlaying(IDirectMusicSegment* segment, IDirectMusicSegmentState* state)
{
    if (!segment && !state) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    const REFERENCE_TIME now = platform::ClockNow100ns();
    for (CSegmentState* playing : states) {
        if (segment && playing->segment != segment) continue;
        if (state && static_cast<IDirectMusicSegmentState*>(playing) != state) continue;
        if (!playing->Ended() && now < playing->end) return S_OK;
    }
    return S_FALSE;
}

STDMETHODIMP CPerformance::GetTime(REFERENCE_TIME* now, MUSIC_TIME* musicNow)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    REFERENCE_TIME rt = platform::ClockNow100ns();
    if (now) *now = rt;
    if (musicNow) *musicNow = ReferenceToMusicLocked(rt);
    return S_OK;
}

STDMETHODIMP CPerformance::AllocPMsg(ULONG size, DMUS_PMSG** message)
{
    if (!message) return E_POINTER;
    if (size < sizeof(DMUS_PMSG)) return E_INVALIDARG;
    void* memory = std::calloc(1, size);
    if (!memory) return E_OUTOFMEMORY;
    *message = static_cast<DMUS_PMSG*>(memory);
    (*message)->dwSize = size;
    return S_OK;
}

STDMETHODIMP CPerformance::FreePMsg(DMUS_PMSG* message)
{
    if (!message) return E_POINTER;
    FreePerformanceMessage(message);
    return S_OK;
}

STDMETHODIMP CPerformance::GetGraph(IDirectMusicGraph** graph)
{
    if (!graph) return E_POINTER;
    *graph = nullptr;
    return DMUS_E_NOT_FOUND;
}

STDMETHODIMP CPerformance::SetGraph(IDirectMusicGraph*) { return E_NOTIMPL; }

STDMETHODIMP CPerformance::SetNotificationHandle(HANDLE event, REFERENCE_TIME minimum)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    notifications.SetHandle(event, minimum);
    return S_OK;
}

STDMETHODIMP CPerformance::GetNotificationPMsg(DMUS_NOTIFICATION_PMSG** message)
{
    if (!message) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    return notifications.Take(message);
}

STDMETHODIMP CPerformance::AddNotificationType(REFGUID type)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    return notifications.AddType(type);
}

STDMETHODIMP CPerformance::RemoveNotificationType(REFGUID type)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    return notifications.RemoveType(type);
}

STDMETHODIMP CPerformance::AddPort(IDirectMusicPort* port)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!initialized) return DMUS_E_NOT_INIT;
    CDirectMusicPort* own = nullptr;
    if (!port) {
        // The default port: the synth, active, on channel block 0.
        DMUS_PORTPARAMS8 params{};
        params.dwSize = sizeof(params);
        IDirectMusicPort* made = nullptr;
        HRESULT hr = directMusic->CreatePort(CLSID_DirectMusicSynth, &params, &made, nullptr);
        if (FAILED(hr)) return hr;
        made->Activate(TRUE);
        hr = made->QueryInterface(IID_CPlatformDirectMusicPort, reinterpret_cast<void**>(&own));
        made->Release();
        if (FAILED(hr)) return hr;
        ports.push_back(own);
        own->SetVolume(masterVolume);
        return AssignPChannelBlock(0, own, 1);
    }
    if (FindPort(port)) return S_FALSE;
    if (FAILED(port->QueryInterface(IID_CPlatformDirectMusicPort, reinterpret_cast<void**>(&own))))
        return E_NOINTERFACE;
    ports.push_back(own);
    own->SetVolume(masterVolume);
    return S_OK;
}

STDMETHODIMP CPerformance::RemovePort(IDirectMusicPort* port)
{
    if (!port) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    CDirectMusicPort* own = FindPort(port);
    if (!own) return E_INVALIDARG;
    for (auto it = channels.begin(); it != channels.end();)
        it = it->second.port == own ? channels.erase(it) : std::next(it);
    own->AllNotesOff(own->LatencyTime(), true);
    // No sequencer holds it back any longer.
    if (CSynthSink* sink = own->Sink()) sink->SetHorizon(CSynthSink::kNoHorizon);
    ports.erase(std::find(ports.begin(), ports.end(), own));
    own->Release();
    return S_OK;
}

STDMETHODIMP CPerformance::AssignPChannelBlock(DWORD block, IDirectMusicPort* port, DWORD group)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    CDirectMusicPort* own = FindPort(port);
    if (!own || group == 0 || block > 0x0FFFFFFF) return E_INVALIDARG;
    DWORD groups = 0;
    own->GetNumChannelGroups(&groups);
    if (group > groups) return E_INVALIDARG;
    for (DWORD channel = 0; channel < 16; ++channel) channels[block * 16 + channel] = Channel{own, group, channel};
    return S_OK;
}

STDMETHODIMP CPerformance::AssignPChannel(DWORD pchannel, IDirectMusicPort* port, DWORD group, DWORD channel)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    CDirectMusicPort* own = FindPort(port);
    DWORD groups = 0;
    if (own) own->GetNumChannelGroups(&groups);
    if (!own || group == 0 || group > groups || channel > 15) return E_INVALIDARG;
    channels[pchannel] = Channel{own, group, channel};
    return S_OK;
}

STDMETHODIMP CPerformance::PChannelInfo(DWORD pchannel, IDirectMusicPort** port, DWORD* group, DWORD* channel)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    auto found = channels.find(pchannel);
    if (found == channels.end()) return E_INVALIDARG;
    if (port) {
        *port = found->second.port;
        (*port)->AddRef();
    }
    if (group) *group = found->second.group;
    if (channel) *channel = found->second.channel;
    return S_OK;
}

STDMETHODIMP CPerformance::DownloadInstrument(IDirectMusicInstrument* instrument, DWORD,
                                              IDirectMusicDownloadedInstrument**, DMUS_NOTERANGE*, DWORD,
                                              IDirectMusicPort**, DWORD*, DWORD*)
{
    return instrument ? E_NOTIMPL : E_POINTER;
}

STDMETHODIMP CPerformance::Invalidate(MUSIC_TIME, DWORD) { return S_OK; }

STDMETHODIMP CPerformance::GetParam(REFGUID type, DWORD, DWORD, MUSIC_TIME time, MUSIC_TIME* next, void* param)
{
    if (!param) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (type != GUID_TempoParam) return DMUS_E_GET_UNSUPPORTED;
    if (!lastPlayed || lastPlayed->passes.empty()) return DMUS_E_NOT_FOUND;
    // The tempo of the playing (or last played) segment at that performance
    // time, without the master tempo: the same file gives the same answer
    // however long it took to start.
    const CSegmentState& state = *lastPlayed;
    const CSegmentModel& model = *state.model;
    MUSIC_TIME into = time - state.performanceStart;
    size_t index = 0;
    for (; index + 1 < state.passes.size(); ++index) {
        const MUSIC_TIME span = state.passes[index].to - state.passes[index].from;
        if (into < span) break;
        into -= span;
    }
    const CSegmentState::Pass& pass = state.passes[index];
    const MUSIC_TIME at = pass.from + std::clamp<MUSIC_TIME>(into, 0, pass.to - pass.from);
    auto after = std::upper_bound(model.tempos.begin(), model.tempos.end(), at,
                                  [](MUSIC_TIME t, const CTempoChange& c) { return t < c.time; });
    auto* tempo = static_cast<DMUS_TEMPO_PARAM*>(param);
    tempo->mtTime = after == model.tempos.begin() ? pass.from - at : (after - 1)->time - at;
    tempo->dblTempo = after == model.tempos.begin() ? kDefaultTempo : (after - 1)->bpm;
    if (next) {
        if (after != model.tempos.end() && after->time < pass.to)
            *next = after->time - at;
        else if (index + 1 < state.passes.size())
            *next = pass.to - at;  // the next pass may differ
        else
            *next = 0;
    }
    return S_OK;
}

STDMETHODIMP CPerformance::SetParam(REFGUID, DWORD, DWORD, MUSIC_TIME, void*) { return DMUS_E_SET_UNSUPPORTED; }

STDMETHODIMP CPerformance::GetGlobalParam(REFGUID type, void* param, DWORD size)
{
    if (!param) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (type == GUID_PerfMasterTempo) {
        if (size != sizeof(float)) return E_INVALIDARG;
        std::memcpy(param, &masterTempo, sizeof(float));
        return S_OK;
    }
    if (type == GUID_PerfMasterVolume) {
        if (size != sizeof(LONG)) return E_INVALIDARG;
        std::memcpy(param, &masterVolume, sizeof(LONG));
        return S_OK;
    }
    if (type == GUID_PerfAutoDownload) {
        if (size != sizeof(BOOL)) return E_INVALIDARG;
        std::memcpy(param, &autoDownload, sizeof(BOOL));
        return S_OK;
    }
    return E_INVALIDARG;
}

STDMETHODIMP CPerformance::SetGlobalParam(REFGUID type, void* param, DWORD size)
{
    if (!param) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (type == GUID_PerfMasterTempo) {
        float value;
        if (size != sizeof(float)) return E_INVALIDARG;
        std::memcpy(&value, param, sizeof(float));
        if (!(value >= DMUS_MASTERTEMPO_MIN && value <= DMUS_MASTERTEMPO_MAX)) return E_INVALIDARG;
        masterTempo = value;
        // What plays already goes on at the new tempo from the next event
        // not yet sent.
        for (CSegmentState* state : states)
            if (!state->Ended() && !state->AllSent()) RetimeStateLocked(state, value);
        return S_OK;
    }
    if (type == GUID_PerfMasterVolume) {
        LONG value;
        if (size != sizeof(LONG)) return E_INVALIDARG;
        std::memcpy(&value, param, sizeof(LONG));
        masterVolume = std::clamp<LONG>(value, DMUS_VOLUME_MIN, DMUS_VOLUME_MAX);
        for (CDirectMusicPort* port : ports) port->SetVolume(masterVolume);
        return S_OK;
    }
    if (type == GUID_PerfAutoDownload) {
        if (size != sizeof(BOOL)) return E_INVALIDARG;
        std::memcpy(&autoDownload, param, sizeof(BOOL));
        return S_OK;
    }
    return E_INVALIDARG;
}

STDMETHODIMP CPerformance::GetLatencyTime(REFERENCE_TIME* time)
{
    if (!time) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    *time = LatencyLocked();
    return S_OK;
}

STDMETHODIMP CPerformance::GetQueueTime(REFERENCE_TIME* time)
{
    if (!time) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    *time = LatencyLocked() + 20 * kMillisecond;
    return S_OK;
}

STDMETHODIMP CPerformance::AdjustTime(REFERENCE_TIME) { return E_NOTIMPL; }

STDMETHODIMP CPerformance::CloseDown()
{
    sequencer.Stop();
    std::lock_guard<std::recursive_mutex> guard(lock);
    sequencer.Close();
    REFERENCE_TIME now = platform::ClockNow100ns();
    for (CDirectMusicPort* port : ports) {
        port->AllNotesOff(now, true);
        if (CSynthSink* sink = port->Sink()) sink->SetHorizon(CSynthSink::kNoHorizon);
        port->Release();
    }
    ports.clear();
    channels.clear();
    for (CSegmentState* state : states) state->Release();
    states.clear();
    if (lastPlayed) {
        lastPlayed->Release();
        lastPlayed = nullptr;
    }
    notifications.Clear();
    if (directMusic) {
        directMusic->Release();
        directMusic = nullptr;
    }
    initialized = false;
    return S_OK;
}

STDMETHODIMP CPerformance::GetResolvedTime(REFERENCE_TIME time, REFERENCE_TIME* resolved, DWORD flags)
{
    if (!resolved) return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(lock);
    REFERENCE_TIME at = std::max(time, LatencyLocked());
    if (flags & DMUS_TIME_RESOLVE_AFTERPREPARETIME)
        at = std::max(at, platform::ClockNow100ns() + REFERENCE_TIME(prepareMs) * kMillisecond);
    *resolved = at;
    return S_OK;
}

STDMETHODIMP CPerformance::MIDIToMusic(BYTE, DMUS_CHORD_KEY*, BYTE, BYTE, WORD*) { return E_NOTIMPL; }
STDMETHODIMP CPerformance::MusicToMIDI(WORD, DMUS_CHORD_KEY*, BYTE, BYTE, BYTE*) { return E_NOTIMPL; }
STDMETHODIMP CPerformance::TimeToRhythm(MUSIC_TIME, DMUS_TIMESIGNATURE*, WORD*, BYTE*, BYTE*, short*)
{
    return E_NOTIMPL;
}
STDMETHODIMP CPerformance::RhythmToTime(WORD, BYTE, BYTE, short, DMUS_TIMESIGNATURE*, MUSIC_TIME*) { return E_NOTIMPL; }

HRESULT CPerformance::DownloadModel(const CSegmentModel& model, bool unload)
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (ports.empty()) return DMUS_E_NOT_INIT;
    HRESULT hr = S_OK;
    // Connected first, embedded last: a later download wins for a patch.
    for (const auto& collection : {model.connectedCollection, model.embeddedCollection}) {
        if (!collection) continue;
        for (CDirectMusicPort* port : ports) {
            HRESULT one = unload ? port->UnloadCollection(collection) : port->DownloadCollection(collection);
            if (FAILED(one)) hr = one;
        }
    }
    return hr;
}

void CPerformance::Notify(const GUID& type, DWORD option, REFERENCE_TIME at, IUnknown* user)
{
    notifications.Post(type, option, at, ReferenceToMusicLocked(at), user);
}

}  // namespace dmusic
