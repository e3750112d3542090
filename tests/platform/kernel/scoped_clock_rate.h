// Runs the platform clock at a test's rate and puts the previous rate back.
#pragma once

#include <platform/clock.h>

#include <chrono>

class CScopedClockRate {
public:
    explicit CScopedClockRate(double rate) : previousRate(platform::GetClockRate()) { platform::SetClockRate(rate); }
    ~CScopedClockRate() { platform::SetClockRate(previousRate); }
    CScopedClockRate(const CScopedClockRate&) = delete;
    CScopedClockRate& operator=(const CScopedClockRate&) = delete;

private:
    double previousRate;
};

// Real seconds since start, for bounds that tell a wait that counted real
// time from one that counted platform time.
inline double RealSecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
