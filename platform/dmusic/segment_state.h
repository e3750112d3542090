// A segment state: one playing of a segment on the performance, laid out as
// the passes its repeats make, with the sequencer's place in it and what has
// been announced of its start and end.
#pragma once

#include <dmusici.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/com/unknown_impl.h"
#include "platform/dmusic/segment_model.h"

namespace dmusic {

class CSegmentState final : public platform::CUnknownImpl<IDirectMusicSegmentState> {
public:
    CSegmentState(IDirectMusicSegment* segment, std::shared_ptr<const CSegmentModel> model);
    STDMETHOD(GetRepeats)(DWORD* repeats) override;
    STDMETHOD(GetSegment)(IDirectMusicSegment** segment) override;
    STDMETHOD(GetStartTime)(MUSIC_TIME* start) override;
    STDMETHOD(GetSeek)(MUSIC_TIME* seek) override;
    STDMETHOD(GetStartPoint)(MUSIC_TIME* start) override;

    // One run of the segment from `from` to `to` in its own music time,
    // starting at reference time `start`.
    struct Pass {
        MUSIC_TIME from, to;
        REFERENCE_TIME start;
        double masterTempo = 1.0;  // the factor this pass plays at
    };
    REFERENCE_TIME TimeOf(const Pass& pass, MUSIC_TIME t) const;
    MUSIC_TIME MusicAt(const Pass& pass, REFERENCE_TIME rt) const;

    IDirectMusicSegment* segment;
    std::shared_ptr<const CSegmentModel> model;
    double masterTempo = 1.0;  // the factor of what is yet to be sent
    MUSIC_TIME performanceStart = 0;  // performance music time of the start
    REFERENCE_TIME start = 0, end = 0, almostEnd = 0;
    std::vector<Pass> passes;
    // The sequencer's place: pass, next event, next patch change.
    size_t pass = 0, nextEvent = 0, nextPatch = 0;
    bool finished = false;   // every event handed to the ports
    bool started = false, almostEndSent = false, ended = false;
    bool stopped = false;    // its notes are released
    bool aborted = false;    // ended by Stop rather than by playing out

protected:
    void* Find(REFIID iid) override;

private:
    ~CSegmentState() override;
};

}  // namespace dmusic
