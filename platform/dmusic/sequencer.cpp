// The sequencer: its thread, and what one pass of it does on the
// performance: hands the segment states' events and patch changes to the
// ports up to the horizon, lets the sinks render up to it, and posts the
// notifications whose time has come.
#include "platform/dmusic/sequencer.h"

#include <platform/clock.h>

#include <algorithm>

#include "platform/dmusic/performance.h"

namespace dmusic {

CSequencer::~CSequencer()
{
    Stop();
    Close();
}

void CSequencer::Start(std::function<void()> pass)
{
    quitEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    kickEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    thread = std::thread([this, pass = std::move(pass)] {
        const HANDLE events[2] = {quitEvent, kickEvent};
        while (WaitForMultipleObjects(2, events, FALSE, 10) != WAIT_OBJECT_0) pass();
    });
}

void CSequencer::Kick()
{
    if (kickEvent) SetEvent(kickEvent);
}

void CSequencer::Stop()
{
    if (!thread.joinable()) return;
    SetEvent(quitEvent);
    thread.join();
}

void CSequencer::Close()
{
    for (HANDLE* event : {&quitEvent, &kickEvent}) {
        if (*event) CloseHandle(*event);
        *event = nullptr;
    }
}

void CPerformance::SendToChannel(DWORD pchannel, REFERENCE_TIME at, const CMidiEvent& event, bool off)
{
    auto found = channels.find(pchannel);
    if (found == channels.end()) return;
    const Channel& target = found->second;
    const DWORD ch = target.channel;
    DWORD message = 0;
    switch (event.kind) {
    case EMidiEventKind::Note:
        message = off ? (0x80 | ch | DWORD(event.data1) << 8) : (0x90 | ch | DWORD(event.data1) << 8 | DWORD(event.data2) << 16);
        break;
    case EMidiEventKind::NoteOff: message = 0x80 | ch | DWORD(event.data1) << 8 | DWORD(event.data2) << 16; break;
    case EMidiEventKind::ControlChange: message = 0xB0 | ch | DWORD(event.data1) << 8 | DWORD(event.data2) << 16; break;
    case EMidiEventKind::ProgramChange: message = 0xC0 | ch | DWORD(event.data1) << 8; break;
    case EMidiEventKind::PitchBend:
        message = 0xE0 | ch | DWORD(event.bend & 0x7F) << 8 | DWORD((event.bend >> 7) & 0x7F) << 16;
        break;
    case EMidiEventKind::ChannelPressure: message = 0xD0 | ch | DWORD(event.data1) << 8; break;
    case EMidiEventKind::KeyPressure: message = 0xA0 | ch | DWORD(event.data1) << 8 | DWORD(event.data2) << 16; break;
    case EMidiEventKind::Sysex:
        target.port->SendSysex(at, target.group, event.sysex.data(), event.sysex.size());
        return;
    }
    target.port->SendMessage(at, target.group, message);
}

void CPerformance::SendPatch(REFERENCE_TIME at, const CPatchChange& patch)
{
    auto found = channels.find(patch.pchannel);
    if (found == channels.end()) return;
    const Channel& target = found->second;
    const DWORD ch = target.channel;
    // A band that sets only volume or pan leaves the instrument alone.
    if (patch.setsProgram) {
        target.port->SelectDrums(at, target.group, ch, patch.drums);
        target.port->SendMessage(at, target.group, 0xB0 | ch | DWORD(patch.bankMsb) << 16);
        target.port->SendMessage(at, target.group, 0xB0 | ch | 32 << 8 | DWORD(patch.bankLsb) << 16);
        target.port->SendMessage(at, target.group, 0xC0 | ch | DWORD(patch.program) << 8);
    }
    if (patch.volume >= 0) target.port->SendMessage(at, target.group, 0xB0 | ch | 7 << 8 | DWORD(patch.volume & 0x7F) << 16);
    if (patch.pan >= 0) target.port->SendMessage(at, target.group, 0xB0 | ch | 10 << 8 | DWORD(patch.pan & 0x7F) << 16);
}

void CPerformance::Dispatch(CSegmentState* state, REFERENCE_TIME horizon)
{
    const CSegmentModel& model = *state->model;
    while (!state->finished) {
        if (state->pass >= state->passes.size()) {
            state->finished = true;
            break;
        }
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
            REFERENCE_TIME off = std::min(state->end, state->TimeOf(pass, event->time + std::max<MUSIC_TIME>(1, event->duration)));
            SendToChannel(event->pchannel, off, *event, true);
        }
        ++state->nextEvent;
    }
}

void CPerformance::Tick()
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (!initialized) return;
    const REFERENCE_TIME now = platform::ClockNow100ns();
    const REFERENCE_TIME horizon = now + std::max<REFERENCE_TIME>(REFERENCE_TIME(prepareMs) * kMillisecond,
                                                                  LatencyLocked() - now + 20 * kMillisecond);
    for (CSegmentState* state : states) {
        if (!state->ended) Dispatch(state, horizon);
        if (state->finished && !state->stopped && !state->ended && state->end <= horizon) {
            // The music is over: release whatever still sounds at its end;
            // the synth keeps rendering (the tail, then silence).
            for (CDirectMusicPort* port : ports) port->AllNotesOff(state->end, false);
            state->stopped = true;
        }
    }
    // Everything up to the horizon is with the ports now: the sinks may
    // render up to it.
    for (CDirectMusicPort* port : ports)
        if (CSynthSink* sink = port->Sink()) sink->SetHorizon(horizon);
    // Notifications whose time has come, in time order.
    for (CSegmentState* state : states) {
        IUnknown* user = static_cast<IDirectMusicSegmentState*>(state);
        // An empty segment starts and stops too, so a caller waiting for
        // either is not left waiting.
        if (!state->started && state->start <= now && !state->aborted) {
            state->started = true;
            if (!musicPlaying) {
                musicPlaying = true;
                Notify(GUID_NOTIFICATION_PERFORMANCE, DMUS_NOTIFICATION_MUSICSTARTED, state->start, nullptr);
            }
            Notify(GUID_NOTIFICATION_SEGMENT, DMUS_NOTIFICATION_SEGSTART, state->start, user);
        }
        if (state->started && !state->almostEndSent && state->almostEnd <= now && state->almostEnd < state->end) {
            state->almostEndSent = true;
            Notify(GUID_NOTIFICATION_SEGMENT, DMUS_NOTIFICATION_SEGALMOSTEND, state->almostEnd, user);
            bool another = std::any_of(states.begin(), states.end(),
                                       [&](CSegmentState* other) { return other != state && !other->ended && other->end > state->end; });
            if (!another) Notify(GUID_NOTIFICATION_PERFORMANCE, DMUS_NOTIFICATION_MUSICALMOSTEND, state->almostEnd, nullptr);
        }
        if (!state->ended && state->end <= now) {
            state->ended = true;
            if (state->started) {
                Notify(GUID_NOTIFICATION_SEGMENT, state->aborted ? DMUS_NOTIFICATION_SEGABORT : DMUS_NOTIFICATION_SEGEND,
                       state->end, user);
            }
            bool another = std::any_of(states.begin(), states.end(), [&](CSegmentState* other) {
                return !other->ended && other->start <= state->end + kMillisecond;
            });
            if (musicPlaying && !another) {
                musicPlaying = false;
                Notify(GUID_NOTIFICATION_PERFORMANCE, DMUS_NOTIFICATION_MUSICSTOPPED, state->end, nullptr);
            }
        }
    }
    // Ended states go; the caller's references keep them for GetSeek.
    for (auto it = states.begin(); it != states.end();) {
        if ((*it)->ended) {
            (*it)->Release();
            it = states.erase(it);
        } else {
            ++it;
        }
    }
    // Unclaimed notifications are kept for the hold time, then dropped.
    notifications.DropExpired(now);
}

}  // namespace dmusic
