// What a synthesizer did to a capture buffer, for the log: how often it
// called what, how large its Locks were and how they were paced, and the
// notification positions it set. Two DirectMusics fill the same buffer in
// their own ways; this line is how they are held side by side.
#pragma once

#include "tessarine/frame/sdk.h"

#include <cstdint>
#include <mutex>
#include <string>

class CCaptureTraffic {
public:
    enum ECall { cursorRead, play, stop, calls };
    void Count(ECall call);
    void CountLock(DWORD bytes, DWORD now);
    void CountPositions(DWORD count, const DSBPOSITIONNOTIFY* positions);
    // "403 Locks of 3528 to 3528 bytes over 8.04 s, one each 20.0 ms; ..."
    std::string Describe() const;

private:
    mutable std::mutex lock;
    uint32_t counts[calls] = {};
    uint32_t locks = 0;
    uint32_t smallestLock = 0;
    uint32_t largestLock = 0;
    uint64_t lockedBytes = 0;
    DWORD firstLockTick = 0;
    DWORD lastLockTick = 0;
    uint32_t positionSets = 0;
    uint32_t positions = 0;
    DWORD positionSpacing = 0;  // between the first two positions of the last set
};
