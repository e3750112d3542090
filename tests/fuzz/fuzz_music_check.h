// What every fuzz target of the music readers checks of a model a reader
// accepted: events, tempos and signatures sorted, times and durations in
// range, and the tempo map's conversions finite. A failed check aborts.
#pragma once

#include <cmath>
#include <cstdlib>

#include "platform/dmusic/loader_formats.h"

inline void CheckMusicModel(const dmusic::CSegmentModel& model)
{
    if (model.length < 0) std::abort();
    MUSIC_TIME last = INT32_MIN;
    for (const auto& e : model.events) {
        if (e.time < last) std::abort();
        last = e.time;
        if (e.kind == dmusic::EMidiEventKind::Note && e.duration <= 0) std::abort();
        if (e.data1 > 127 || e.data2 > 127 || e.bend > 16383) std::abort();
    }
    for (size_t i = 1; i < model.tempos.size(); ++i)
        if (model.tempos[i].time < model.tempos[i - 1].time || !(model.tempos[i].bpm > 0)) std::abort();
    if (!std::isfinite(model.LengthInSeconds())) std::abort();
    (void)model.ReferenceToMusicTime(model.MusicToReferenceTime(model.length));
}
