// The segment model's tempo map: conversions between music time, seconds and
// reference time, and the ordering every reader leaves the model in.
#include "platform/dmusic/segment_model.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace dmusic {

namespace {

std::atomic<SegmentDownloadHandler> downloadHandler{nullptr};

// Seconds that `ticks` of music time take at `bpm`.
double TicksToSeconds(double ticks, double bpm) { return ticks * 60.0 / (kPpq * bpm); }

}  // namespace

void SetSegmentDownloadHandler(SegmentDownloadHandler handler) { downloadHandler.store(handler); }
SegmentDownloadHandler GetSegmentDownloadHandler() { return downloadHandler.load(); }

double CSegmentModel::TempoAt(MUSIC_TIME t, MUSIC_TIME* next) const
{
    double bpm = kDefaultTempo;
    MUSIC_TIME following = length > t ? length : t + 1;
    for (const CTempoChange& change : tempos) {
        if (change.time <= t) {
            bpm = change.bpm;
        } else {
            following = change.time;
            break;
        }
    }
    if (next) *next = following;
    return bpm;
}

CTimeSignatureChange CSegmentModel::TimeSignatureAt(MUSIC_TIME t) const
{
    CTimeSignatureChange result;
    for (const CTimeSignatureChange& change : timeSignatures) {
        if (change.time > t) break;
        result = change;
    }
    return result;
}

double CSegmentModel::SecondsAt(MUSIC_TIME t) const
{
    double seconds = 0.0;
    MUSIC_TIME from = 0;
    double bpm = kDefaultTempo;
    for (const CTempoChange& change : tempos) {
        if (change.time >= t) break;
        if (change.time > from) {
            seconds += TicksToSeconds(double(change.time) - from, bpm);
            from = change.time;
        }
        bpm = change.bpm;
    }
    return seconds + TicksToSeconds(double(t) - from, bpm);
}

REFERENCE_TIME CSegmentModel::MusicToReferenceTime(MUSIC_TIME t) const
{
    return REFERENCE_TIME(std::llround(SecondsAt(t) * 1e7));
}

MUSIC_TIME CSegmentModel::ReferenceToMusicTime(REFERENCE_TIME rt) const
{
    const double target = double(rt) / 1e7;
    double seconds = 0.0;
    MUSIC_TIME from = 0;
    double bpm = kDefaultTempo;
    for (const CTempoChange& change : tempos) {
        if (change.time > from) {
            const double span = TicksToSeconds(double(change.time) - from, bpm);
            if (seconds + span > target) break;
            seconds += span;
            from = change.time;
        }
        bpm = change.bpm;
    }
    const double ticks = double(from) + (target - seconds) * kPpq * bpm / 60.0;
    if (ticks >= double(MT_MAX)) return MT_MAX;
    if (ticks <= double(INT32_MIN)) return INT32_MIN;
    return MUSIC_TIME(std::floor(ticks + 1e-6));
}

void CSegmentModel::Normalize()
{
    auto byTime = [](const auto& a, const auto& b) { return a.time < b.time; };
    tempos.erase(std::remove_if(tempos.begin(), tempos.end(),
                                [](const CTempoChange& c) { return !(c.bpm > 0.0) || !std::isfinite(c.bpm); }),
                 tempos.end());
    // DirectMusic plays tempos from 1 to 1000 per minute; a file's tempo
    // outside that (a damaged value, say) is held at the nearer end.
    for (CTempoChange& change : tempos)
        change.bpm = std::clamp(change.bpm, double(DMUS_TEMPO_MIN), double(DMUS_TEMPO_MAX));
    std::stable_sort(tempos.begin(), tempos.end(), byTime);
    std::stable_sort(timeSignatures.begin(), timeSignatures.end(), byTime);
    std::stable_sort(events.begin(), events.end(), byTime);
    std::stable_sort(patches.begin(), patches.end(), byTime);
}

}  // namespace dmusic
