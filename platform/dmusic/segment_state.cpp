// The segment state: what a caller can ask of one playing, and the times of
// its passes. See segment_state.h.
#include "platform/dmusic/segment_state.h"

#include <dmerror.h>
#include <platform/clock.h>

#include <algorithm>
#include <cmath>

namespace dmusic {

CSegmentState::CSegmentState(IDirectMusicSegment* playing, std::shared_ptr<const CSegmentModel> playedModel)
    : segment(playing), model(std::move(playedModel))
{
    if (segment) segment->AddRef();
}

CSegmentState::~CSegmentState()
{
    if (segment) segment->Release();
}

void* CSegmentState::Find(REFIID iid)
{
    return iid == IID_IDirectMusicSegmentState ? static_cast<IDirectMusicSegmentState*>(this) : nullptr;
}

STDMETHODIMP CSegmentState::GetRepeats(DWORD* repeats)
{
    if (!repeats) return E_POINTER;
    *repeats = model->repeats;
    return S_OK;
}

STDMETHODIMP CSegmentState::GetSegment(IDirectMusicSegment** result)
{
    if (!result) return E_POINTER;
    *result = segment;
    if (!segment) return DMUS_E_NOT_FOUND;
    segment->AddRef();
    return S_OK;
}

STDMETHODIMP CSegmentState::GetStartTime(MUSIC_TIME* result)
{
    if (!result) return E_POINTER;
    *result = performanceStart;
    return S_OK;
}

STDMETHODIMP CSegmentState::GetSeek(MUSIC_TIME* seek)
{
    if (!seek) return E_POINTER;
    // Where the music that sounds now is in the segment (after a stop, where it stopped).
    const REFERENCE_TIME now = std::min(platform::ClockNow100ns(), end);
    MUSIC_TIME at = model->startPoint;
    for (const Pass& one : passes) {
        if (now < one.start) break;
        at = std::min(one.to, MusicAt(one, now));
    }
    *seek = at;
    return S_OK;
}

STDMETHODIMP CSegmentState::GetStartPoint(MUSIC_TIME* result)
{
    if (!result) return E_POINTER;
    *result = model->startPoint;
    return S_OK;
}

REFERENCE_TIME CSegmentState::TimeOf(const Pass& one, MUSIC_TIME t) const
{
    double seconds = (model->SecondsAt(t) - model->SecondsAt(one.from)) / one.masterTempo;
    return one.start + REFERENCE_TIME(std::llround(seconds * 1e7));
}

MUSIC_TIME CSegmentState::MusicAt(const Pass& one, REFERENCE_TIME rt) const
{
    REFERENCE_TIME into = REFERENCE_TIME(double(rt - one.start) * one.masterTempo);
    return model->ReferenceToMusicTime(model->MusicToReferenceTime(one.from) + into);
}

CSegmentNotices CSegmentState::Advance(const CSegmentSurroundings& around)
{
    CSegmentNotices out;
    out.musicPlaying = around.musicPlaying;
    if (phase == ESegmentPhase::Ended) return out;
    const REFERENCE_TIME now = around.now;
    if (!around.stopNow) {
        // An empty segment starts and ends too, so a caller waiting for
        // either is not left waiting.
        if (phase == ESegmentPhase::Waiting && start <= now && !aborted) {
            phase = ESegmentPhase::Playing;
            if (!out.musicPlaying) {
                out.musicPlaying = true;
                out.Add(ESegmentNotice::MusicStarted);
            }
            out.Add(ESegmentNotice::SegmentStart);
        }
        if (phase == ESegmentPhase::Playing && almostEnd <= now && almostEnd < end) {
            phase = ESegmentPhase::AlmostEnded;
            out.Add(ESegmentNotice::SegmentAlmostEnd);
            if (!around.anotherOutlasts) out.Add(ESegmentNotice::MusicAlmostEnd);
        }
        if (now < end) return out;
    }
    const bool started = phase != ESegmentPhase::Waiting;
    phase = ESegmentPhase::Ended;
    if (started) out.Add(aborted ? ESegmentNotice::SegmentAbort : ESegmentNotice::SegmentEnd);
    if (out.musicPlaying && !around.anotherFollows) {
        out.musicPlaying = false;
        out.Add(ESegmentNotice::MusicStopped);
    }
    return out;
}

}  // namespace dmusic
