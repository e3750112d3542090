// A segment state's life: which notifications each step gives, in their
// order, and where it leaves the state and the performance's music.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/dmusic/segment_state.h"

namespace {

using dmusic::CSegmentState;
using dmusic::CSegmentSurroundings;
using dmusic::ESegmentNotice;
using dmusic::ESegmentPhase;
using N = ESegmentNotice;

std::string Name(ESegmentNotice notice)
{
    switch (notice) {
    case N::MusicStarted: return "MusicStarted";
    case N::SegmentStart: return "SegmentStart";
    case N::SegmentAlmostEnd: return "SegmentAlmostEnd";
    case N::MusicAlmostEnd: return "MusicAlmostEnd";
    case N::SegmentEnd: return "SegmentEnd";
    case N::SegmentAbort: return "SegmentAbort";
    case N::MusicStopped: return "MusicStopped";
    }
    return "?";
}

struct Row {
    const char* what;
    ESegmentPhase phase;
    bool aborted;
    REFERENCE_TIME start, almostEnd, end;
    CSegmentSurroundings around;
    std::vector<ESegmentNotice> notices;
    ESegmentPhase phaseAfter;
    bool musicPlayingAfter;
};

// {now, stopNow, musicPlaying, anotherOutlasts, anotherFollows}
const Row kRows[] = {
    {"waits for its start",
     ESegmentPhase::Waiting,
     false,
     100,
     200,
     300,
     {50, false, false, false, false},
     {},
     ESegmentPhase::Waiting,
     false},
    {"its start starts the music",
     ESegmentPhase::Waiting,
     false,
     100,
     200,
     300,
     {100, false, false, false, false},
     {N::MusicStarted, N::SegmentStart},
     ESegmentPhase::Playing,
     true},
    {"starts into music already playing",
     ESegmentPhase::Waiting,
     false,
     100,
     200,
     300,
     {150, false, true, false, false},
     {N::SegmentStart},
     ESegmentPhase::Playing,
     true},
    {"almost ends with the music",
     ESegmentPhase::Playing,
     false,
     100,
     200,
     300,
     {200, false, true, false, false},
     {N::SegmentAlmostEnd, N::MusicAlmostEnd},
     ESegmentPhase::AlmostEnded,
     true},
    {"almost ends while another plays on",
     ESegmentPhase::Playing,
     false,
     100,
     200,
     300,
     {250, false, true, true, false},
     {N::SegmentAlmostEnd},
     ESegmentPhase::AlmostEnded,
     true},
    {"no almost-end that would fall on its end",
     ESegmentPhase::Playing,
     false,
     100,
     300,
     300,
     {250, false, true, false, false},
     {},
     ESegmentPhase::Playing,
     true},
    {"its end stops the music",
     ESegmentPhase::AlmostEnded,
     false,
     100,
     200,
     300,
     {300, false, true, false, false},
     {N::SegmentEnd, N::MusicStopped},
     ESegmentPhase::Ended,
     false},
    {"ends where another starts",
     ESegmentPhase::AlmostEnded,
     false,
     100,
     200,
     300,
     {300, false, true, false, true},
     {N::SegmentEnd},
     ESegmentPhase::Ended,
     true},
    {"a whole short segment in one step",
     ESegmentPhase::Waiting,
     false,
     100,
     150,
     200,
     {250, false, false, false, false},
     {N::MusicStarted, N::SegmentStart, N::SegmentAlmostEnd, N::MusicAlmostEnd, N::SegmentEnd, N::MusicStopped},
     ESegmentPhase::Ended,
     false},
    {"an empty segment starts and ends",
     ESegmentPhase::Waiting,
     false,
     100,
     100,
     100,
     {100, false, false, false, false},
     {N::MusicStarted, N::SegmentStart, N::SegmentEnd, N::MusicStopped},
     ESegmentPhase::Ended,
     false},
    {"replaced before its start: never starts",
     ESegmentPhase::Waiting,
     true,
     100,
     100,
     100,
     {150, false, true, false, true},
     {},
     ESegmentPhase::Ended,
     true},
    {"replaced after its start: almost-end, then the abort at its end",
     ESegmentPhase::Playing,
     true,
     100,
     200,
     250,
     {250, false, true, true, true},
     {N::SegmentAlmostEnd, N::SegmentAbort},
     ESegmentPhase::Ended,
     true},
    {"a replaced one still playing waits for its end",
     ESegmentPhase::AlmostEnded,
     true,
     100,
     200,
     250,
     {240, false, true, false, true},
     {},
     ESegmentPhase::AlmostEnded,
     true},
    {"stopped: aborts and stops the music at once",
     ESegmentPhase::Playing,
     true,
     100,
     200,
     300,
     {120, true, true, false, false},
     {N::SegmentAbort, N::MusicStopped},
     ESegmentPhase::Ended,
     false},
    {"stopped: no start nor almost-end though due",
     ESegmentPhase::Waiting,
     true,
     100,
     100,
     300,
     {150, true, true, false, true},
     {},
     ESegmentPhase::Ended,
     true},
    {"stopped before its start into silence",
     ESegmentPhase::Waiting,
     true,
     500,
     600,
     700,
     {100, true, false, false, false},
     {},
     ESegmentPhase::Ended,
     false},
    {"nothing after its end",
     ESegmentPhase::Ended,
     true,
     100,
     200,
     300,
     {900, false, true, false, false},
     {},
     ESegmentPhase::Ended,
     true},
};

TEST(SegmentStateLife, AdvanceAnnouncesInOrder)
{
    for (const Row& row : kRows) {
        auto* state = new CSegmentState(nullptr, std::make_shared<dmusic::CSegmentModel>());
        state->phase = row.phase;
        state->aborted = row.aborted;
        state->start = row.start;
        state->almostEnd = row.almostEnd;
        state->end = row.end;
        const dmusic::CSegmentNotices got = state->Advance(row.around);
        std::vector<std::string> names, wanted;
        for (ESegmentNotice notice : got) names.push_back(Name(notice));
        for (ESegmentNotice notice : row.notices) wanted.push_back(Name(notice));
        EXPECT_EQ(names, wanted) << row.what;
        EXPECT_EQ(state->phase, row.phaseAfter) << row.what;
        EXPECT_EQ(got.musicPlaying, row.musicPlayingAfter) << row.what;
        state->Release();
    }
}

}  // namespace
