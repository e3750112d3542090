// A segment state: one playing of a segment on the performance, laid out as
// the passes its repeats make, with the sequencer's place in it and what has
// been announced of its start and end.
#pragma once

#include <dmusici.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/com/unknown_impl.h"
#include "platform/dmusic/segment_model.h"

namespace dmusic {

// Where a segment state is in its life, as its notifications tell it. A state
// stopped (or replaced) before its start comes ends without starting.
enum class ESegmentPhase : uint8_t {
    Waiting,      // its start is still to come
    Playing,      // its start was announced
    AlmostEnded,  // its almost-end was announced too
    Ended,        // its end (or abort) was announced; the performance lets it go
};

// The notifications of a segment state's life.
enum class ESegmentNotice : uint8_t {
    MusicStarted,  // the performance's music starts with this segment
    SegmentStart,
    SegmentAlmostEnd,
    MusicAlmostEnd,  // no other segment plays on past this one's end
    SegmentEnd,
    SegmentAbort,
    MusicStopped,  // no other segment starts by this one's end
};

// What the rest of the performance tells a state's next step.
struct CSegmentSurroundings {
    REFERENCE_TIME now = 0;
    bool stopNow = false;          // Stop ends it at once, whatever the clock says
    bool musicPlaying = false;     // the performance's music started and has not stopped
    bool anotherOutlasts = false;  // another state, not ended, ends after this one
    bool anotherFollows = false;   // another state, not ended, starts by this one's end (+1 ms)
};

// The notifications one step gives, in the order they go out.
struct CSegmentNotices {
    std::array<ESegmentNotice, 7> items{};
    size_t count = 0;
    bool musicPlaying = false;  // the performance's music after them
    void Add(ESegmentNotice notice) { items[count++] = notice; }
    const ESegmentNotice* begin() const { return items.data(); }
    const ESegmentNotice* end() const { return items.data() + count; }
};

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

    // Moves the state on to where its times put it at `around.now` (or, with
    // stopNow, to its end at once) and says what that announces: the start
    // (never after a stop), the almost-end while it plays and ends later,
    // then the end or the abort of one that started; the music's start and
    // stop go with the first start and the last end.
    CSegmentNotices Advance(const CSegmentSurroundings& around);
    bool Ended() const { return phase == ESegmentPhase::Ended; }
    // Every pass's events and patch changes are with the ports.
    bool AllSent() const { return pass >= passes.size(); }
    // Hands nothing more to the ports: what a stop does to the sequencer's place.
    void StopSending() { pass = passes.size(); }

    IDirectMusicSegment* segment;
    std::shared_ptr<const CSegmentModel> model;
    double masterTempo = 1.0;         // the factor of what is yet to be sent
    MUSIC_TIME performanceStart = 0;  // performance music time of the start
    REFERENCE_TIME start = 0, end = 0, almostEnd = 0;
    std::vector<Pass> passes;
    // The sequencer's place: pass, next event, next patch change. It runs
    // ahead of the clock by the horizon, so it is apart from the phase.
    size_t pass = 0, nextEvent = 0, nextPatch = 0;
    bool notesReleased = false;  // the ports release its notes at its end
    ESegmentPhase phase = ESegmentPhase::Waiting;
    bool aborted = false;  // its end is a stop's, not the music's

protected:
    void* Find(REFIID iid) override;

private:
    ~CSegmentState() override;
};

}  // namespace dmusic
