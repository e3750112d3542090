// The one process-wide clock behind every time the platform gives out:
// timeGetTime, Sleep, wait time-outs, DirectSound play cursors and
// DirectMusic reference time. It runs at real time unless a rate is set;
// at rate r, one real second is r seconds of platform time. It can instead
// follow the synthesizers: then time is what the playing sinks have
// rendered, and falls back to the wall clock while none renders.
#pragma once

#include <cstdint>

namespace platform {

// Sets how many platform seconds pass per real second (> 0). Time already
// passed is kept; only the pace from now on changes.
void SetClockRate(double rate);
double GetClockRate();

// Whether time follows the sinks (true) or runs at the rate (false). Switching
// keeps the time passed; SetClockRate leaves following mode.
void SetClockFollowsSinks(bool follow);
bool ClockFollowsSinks();

// Applies a speed as a user gives it: "max" follows the sinks, a number is a
// fixed rate. False (and nothing changed) for anything else.
bool SetClockSpeed(const char* text);

// The sinks' side of following mode. A sink that starts rendering takes an
// id; after each piece it publishes the platform time its rendered sound
// reaches. Platform time then is the larger of its last value and the least
// time that the sinks which published within the last 20 ms of real time
// published; with none of them, it runs on from its last value at real time.
// In following mode time moves in whole steps of 10 ms (the shortest span
// that is a whole number of frames at 44100 Hz), so every time read then
// names a frame exactly.
int RegisterTimeSource();
void PublishTime(int source, int64_t time100ns);
void UnregisterTimeSource(int source);

// Platform time since the clock started, in 100-nanosecond units.
int64_t ClockNow100ns();

// The step that time moves in while it follows the sinks, in 100-ns units.
constexpr int64_t kFollowStep100ns = 100000;

// Real seconds that a span of platform time takes at the current rate.
double PlatformToRealSeconds(int64_t platform100ns);

// Sleeps until the platform time reaches the deadline (100-ns units).
void SleepUntil100ns(int64_t deadline);

// WaitForMultipleObjects with a platform deadline in 100-ns units instead of
// a time-out in milliseconds (a negative deadline waits without end), for
// stand-ins that schedule finer than a millisecond. Returns WAIT_OBJECT_0 + i,
// WAIT_TIMEOUT or WAIT_FAILED.
uint32_t WaitForObjectsUntil100ns(uint32_t count, void* const* handles, bool waitAll, int64_t deadline100ns);

}  // namespace platform
