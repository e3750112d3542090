// The one process-wide clock behind every time the platform gives out:
// timeGetTime, Sleep, wait time-outs, DirectSound play cursors and
// DirectMusic reference time. It runs at real time unless a rate is set;
// at rate r, one real second is r seconds of platform time.
#pragma once

#include <cstdint>

namespace platform {

// Sets how many platform seconds pass per real second (> 0). Time already
// passed is kept; only the pace from now on changes.
void SetClockRate(double rate);
double GetClockRate();

// Platform time since the clock started, in 100-nanosecond units.
int64_t ClockNow100ns();

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
