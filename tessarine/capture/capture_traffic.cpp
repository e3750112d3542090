#include "tessarine/capture/capture_traffic.h"

#include <cstdio>

void CCaptureTraffic::Count(ECall call)
{
    std::lock_guard<std::mutex> guard(lock);
    ++counts[call];
}

void CCaptureTraffic::CountLock(DWORD bytes, DWORD now)
{
    std::lock_guard<std::mutex> guard(lock);
    if (locks == 0 || bytes < smallestLock) smallestLock = bytes;
    if (bytes > largestLock) largestLock = bytes;
    if (locks == 0) firstLockTick = now;
    lastLockTick = now;
    ++locks;
    lockedBytes += bytes;
}

void CCaptureTraffic::CountPositions(DWORD count, const DSBPOSITIONNOTIFY* set)
{
    std::lock_guard<std::mutex> guard(lock);
    ++positionSets;
    positions = count;
    positionSpacing = count >= 2 && set ? set[1].dwOffset - set[0].dwOffset : 0;
}

std::string CCaptureTraffic::Describe() const
{
    std::lock_guard<std::mutex> guard(lock);
    char text[320];
    // Ticks are unsigned milliseconds: the span is right across a wrap.
    const double seconds = double(DWORD(lastLockTick - firstLockTick)) / 1000.0;
    const double pace = locks > 1 ? seconds * 1000.0 / double(locks - 1) : 0.0;
    std::snprintf(text, sizeof text,
                  "%u Locks of %u to %u bytes (%.0f on average) over %.2f s, one each %.1f ms; "
                  "%u cursor reads; %u notification positions %lu bytes apart (set %u times); Play %u, Stop %u",
                  locks, smallestLock, largestLock, locks ? double(lockedBytes) / locks : 0.0, seconds, pace,
                  counts[cursorRead], positions, (unsigned long)positionSpacing, positionSets, counts[play],
                  counts[stop]);
    return text;
}
