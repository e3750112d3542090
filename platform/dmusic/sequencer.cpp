// The sequencer's thread. What one of its passes does on the performance is
// CPerformance::Tick, in performance_tick.cpp.
#include "platform/dmusic/sequencer.h"

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

}  // namespace dmusic
