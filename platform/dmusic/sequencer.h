// The performance's sequencer thread: it runs a pass of the performance
// every 10 ms of platform time, however fast the clock runs, and at once
// when kicked (a segment starts or stops). What a pass does is the
// performance's: CPerformance::Tick, in performance_tick.cpp.
#pragma once

#include <windows.h>

#include <functional>
#include <thread>

namespace dmusic {

class CSequencer {
public:
    CSequencer() = default;
    ~CSequencer();
    CSequencer(const CSequencer&) = delete;
    CSequencer& operator=(const CSequencer&) = delete;

    // Starts the thread that calls pass until Stop.
    void Start(std::function<void()> pass);
    // Makes the thread run a pass now (nothing when it is not running).
    void Kick();
    // Ends the thread and waits for it: call without the lock a pass takes.
    void Stop();
    // Closes the events once the thread has stopped: call with that lock,
    // which Kick's callers hold.
    void Close();

private:
    HANDLE quitEvent = nullptr;
    HANDLE kickEvent = nullptr;
    std::thread thread;
};

}  // namespace dmusic
