// One pass of the performance's sequencer (CPerformance::Tick): it hands the
// segment states' events and patch changes to the ports up to the horizon,
// lets the sinks render up to it, and posts the notifications whose time has
// come. The thread that runs it is CSequencer's.
#include <platform/clock.h>

#include <algorithm>

#include "midi/midi_status.h"
#include "platform/dmusic/performance.h"

namespace dmusic {

void CPerformance::SendToChannel(DWORD pchannel, REFERENCE_TIME at, const CMidiEvent& event, bool off)
{
    auto found = channels.find(pchannel);
    if (found == channels.end()) return;
    const Channel& target = found->second;
    if (event.kind == EMidiEventKind::Sysex) {
        target.port->SendSysex(at, target.group, event.sysex.data(), event.sysex.size());
        return;
    }
    const BYTE ch = BYTE(target.channel);
    DWORD message;
    if (event.kind == EMidiEventKind::Note && off) {
        message = midi::PackMessage(midi::kNoteOff | ch, event.data1);
    } else if (event.kind == EMidiEventKind::PitchBend) {
        message = midi::PackMessage(midi::kPitchBend | ch, BYTE(event.bend & 0x7F), BYTE((event.bend >> 7) & 0x7F));
    } else {
        const BYTE status = StatusOfEventKind(event.kind) | ch;
        message = midi::PackMessage(status, event.data1, midi::DataBytesOf(status) == 2 ? event.data2 : 0);
    }
    target.port->SendMessage(at, target.group, message);
}

void CPerformance::SendPatch(REFERENCE_TIME at, const CPatchChange& patch)
{
    auto found = channels.find(patch.pchannel);
    if (found == channels.end()) return;
    const Channel& target = found->second;
    const BYTE ch = BYTE(target.channel);
    auto control = [&](BYTE controller, BYTE value) {
        target.port->SendMessage(at, target.group, midi::PackMessage(midi::kControlChange | ch, controller, value));
    };
    // A band that sets only volume or pan leaves the instrument alone.
    if (patch.setsProgram) {
        target.port->SelectDrums(at, target.group, ch, patch.drums);
        control(midi::kBankSelectMsb, patch.bankMsb);
        control(midi::kBankSelectLsb, patch.bankLsb);
        target.port->SendMessage(at, target.group, midi::PackMessage(midi::kProgramChange | ch, patch.program));
    }
    if (patch.volume >= 0) control(midi::kVolume, BYTE(patch.volume & 0x7F));
    if (patch.pan >= 0) control(midi::kPan, BYTE(patch.pan & 0x7F));
}

void CPerformance::Dispatch(CSegmentState* state, REFERENCE_TIME horizon)
{
    const CSegmentModel& model = *state->model;
    while (!state->AllSent()) {
        const CSegmentState::Pass& pass = state->passes[state->pass];
        // Patch changes and events of this pass, in time order; patches at
        // a time go before the notes at that time.
        const CPatchChange* patch = nullptr;
        while (state->nextPatch < model.patches.size() && model.patches[state->nextPatch].time < pass.from)
            ++state->nextPatch;
        if (state->nextPatch < model.patches.size() && model.patches[state->nextPatch].time < pass.to)
            patch = &model.patches[state->nextPatch];
        while (state->nextEvent < model.events.size() && model.events[state->nextEvent].time < pass.from)
            ++state->nextEvent;
        const CMidiEvent* event = nullptr;
        if (state->nextEvent < model.events.size() && model.events[state->nextEvent].time < pass.to)
            event = &model.events[state->nextEvent];
        if (!patch && !event) {
            ++state->pass;
            state->nextEvent = 0;
            state->nextPatch = 0;
            continue;
        }
        if (patch && (!event || patch->time <= event->time)) {
            REFERENCE_TIME at = state->TimeOf(pass, patch->time);
            if (at > horizon) break;
            SendPatch(at, *patch);
            ++state->nextPatch;
            continue;
        }
        REFERENCE_TIME at = state->TimeOf(pass, event->time);
        if (at > horizon) break;
        SendToChannel(event->pchannel, at, *event, false);
        if (event->kind == EMidiEventKind::Note) {
            // A note that would outlast the music ends with it.
            REFERENCE_TIME off =
                std::min(state->end, state->TimeOf(pass, event->time + std::max<MUSIC_TIME>(1, event->duration)));
            SendToChannel(event->pchannel, off, *event, true);
        }
        ++state->nextEvent;
    }
}

void CPerformance::SendAheadLocked(CSegmentState* state, REFERENCE_TIME horizon)
{
    if (state->Ended()) return;
    Dispatch(state, horizon);
    if (state->AllSent() && !state->notesReleased && state->end <= horizon) {
        // The music is over: release whatever still sounds at its end; the
        // synth keeps rendering (the tail, then silence).
        for (CDirectMusicPort* port : ports) port->AllNotesOff(state->end, false);
        state->notesReleased = true;
    }
}

void CPerformance::AnnounceLocked(CSegmentState* state, REFERENCE_TIME now, bool stopNow)
{
    auto another = [&](auto&& condition) {
        return std::any_of(states.begin(), states.end(),
                           [&](CSegmentState* other) { return other != state && !other->Ended() && condition(other); });
    };
    CSegmentSurroundings around;
    around.now = now;
    around.stopNow = stopNow;
    around.musicPlaying = musicPlaying;
    around.anotherOutlasts = another([&](CSegmentState* other) { return other->end > state->end; });
    around.anotherFollows = another([&](CSegmentState* other) { return other->start <= state->end + kMillisecond; });
    const CSegmentNotices notices = state->Advance(around);
    musicPlaying = notices.musicPlaying;
    IUnknown* user = static_cast<IDirectMusicSegmentState*>(state);
    for (ESegmentNotice notice : notices) {
        switch (notice) {
        case ESegmentNotice::MusicStarted:
            Notify(GUID_NOTIFICATION_PERFORMANCE, DMUS_NOTIFICATION_MUSICSTARTED, state->start, nullptr);
            break;
        case ESegmentNotice::SegmentStart:
            Notify(GUID_NOTIFICATION_SEGMENT, DMUS_NOTIFICATION_SEGSTART, state->start, user);
            break;
        case ESegmentNotice::SegmentAlmostEnd:
            Notify(GUID_NOTIFICATION_SEGMENT, DMUS_NOTIFICATION_SEGALMOSTEND, state->almostEnd, user);
            break;
        case ESegmentNotice::MusicAlmostEnd:
            Notify(GUID_NOTIFICATION_PERFORMANCE, DMUS_NOTIFICATION_MUSICALMOSTEND, state->almostEnd, nullptr);
            break;
        case ESegmentNotice::SegmentEnd:
            Notify(GUID_NOTIFICATION_SEGMENT, DMUS_NOTIFICATION_SEGEND, state->end, user);
            break;
        case ESegmentNotice::SegmentAbort:
            Notify(GUID_NOTIFICATION_SEGMENT, DMUS_NOTIFICATION_SEGABORT, state->end, user);
            break;
        case ESegmentNotice::MusicStopped:
            Notify(GUID_NOTIFICATION_PERFORMANCE, DMUS_NOTIFICATION_MUSICSTOPPED, state->end, nullptr);
            break;
        }
    }
}

void CPerformance::DropEndedStatesLocked()
{
    // The caller's references keep them for GetSeek.
    for (auto it = states.begin(); it != states.end();) {
        if ((*it)->Ended()) {
            (*it)->Release();
            it = states.erase(it);
        } else {
            ++it;
        }
    }
}

void CPerformance::Tick()
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!initialized) return;
    const REFERENCE_TIME now = platform::ClockNow100ns();
    const REFERENCE_TIME horizon = now + std::max<REFERENCE_TIME>(REFERENCE_TIME(prepareMs) * kMillisecond,
                                                                  LatencyLocked() - now + 20 * kMillisecond);
    for (CSegmentState* state : states) SendAheadLocked(state, horizon);
    // Everything up to the horizon is with the ports now: the sinks may
    // render up to it.
    for (CDirectMusicPort* port : ports)
        if (CSynthSink* sink = port->Sink()) sink->SetHorizon(horizon);
    // Notifications whose time has come, in time order.
    for (CSegmentState* state : states) AnnounceLocked(state, now, false);
    DropEndedStatesLocked();
    // Unclaimed notifications are kept for the hold time, then dropped.
    notifications.DropExpired(now);
}

}  // namespace dmusic
