// The process-wide clock and the Windows time calls that read it. Platform
// time is measured from an anchor: the real time and the platform time of the
// last rate change; from there it advances at rate platform seconds per real
// second, so a rate change keeps the time passed and never steps back.
#include <platform/clock.h>

#include <mmsystem.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "kernel_objects.h"

namespace platform {
namespace {

int64_t RealNowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Rates outside these bounds would make time overflow or never advance.
constexpr double minimumRate = 1e-6;
constexpr double maximumRate = 1e6;

bool IsUsableRate(double rate) { return std::isfinite(rate) && rate >= minimumRate && rate <= maximumRate; }

double InitialRate()
{
    const char* text = std::getenv("TESSARINE_CLOCK_RATE");
    if (text == nullptr || *text == '\0')
        return 1.0;
    char* end = nullptr;
    double rate = std::strtod(text, &end);
    if (end == text || *end != '\0' || !IsUsableRate(rate))
        return 1.0;
    return rate;
}

struct ClockState {
    std::mutex lock;
    int64_t anchorReal = RealNowNanoseconds();
    int64_t anchorPlatform = 0;
    double rate = InitialRate();

    int64_t NowLocked(int64_t realNow) const
    {
        // 100 ns of platform time per 100 ns of real time at rate 1.
        double passed = static_cast<double>(realNow - anchorReal) * rate / 100.0;
        return anchorPlatform + static_cast<int64_t>(passed);
    }
};

// Never destroyed: threads that outlive static destruction may still ask the
// time.
ClockState& Clock()
{
    static ClockState* state = new ClockState;
    return *state;
}

}  // namespace

void SetClockRate(double rate)
{
    if (!IsUsableRate(rate))
        return;
    ClockState& clock = Clock();
    {
        std::lock_guard<std::mutex> guard(clock.lock);
        int64_t realNow = RealNowNanoseconds();
        clock.anchorPlatform = clock.NowLocked(realNow);
        clock.anchorReal = realNow;
        clock.rate = rate;
    }
    kernel::WakeAllForClockChange();
}

double GetClockRate()
{
    ClockState& clock = Clock();
    std::lock_guard<std::mutex> guard(clock.lock);
    return clock.rate;
}

int64_t ClockNow100ns()
{
    ClockState& clock = Clock();
    std::lock_guard<std::mutex> guard(clock.lock);
    return clock.NowLocked(RealNowNanoseconds());
}

double PlatformToRealSeconds(int64_t platform100ns) { return static_cast<double>(platform100ns) / 1e7 / GetClockRate(); }

void SleepUntil100ns(int64_t deadline)
{
    std::unique_lock<std::mutex> lock(kernel::KernelLock());
    kernel::WaitLocked(lock, {}, false, deadline < 0 ? 0 : deadline);
}

}  // namespace platform

extern "C" {

DWORD WINAPI timeGetTime(void) { return static_cast<DWORD>(platform::ClockNow100ns() / 10000); }

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(platform::ClockNow100ns() / 10000); }

ULONGLONG WINAPI GetTickCount64(void) { return static_cast<ULONGLONG>(platform::ClockNow100ns() / 10000); }

MMRESULT WINAPI timeBeginPeriod(UINT) { return TIMERR_NOERROR; }

MMRESULT WINAPI timeEndPeriod(UINT) { return TIMERR_NOERROR; }

// The performance counter counts platform time in 100-ns units.
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count)
{
    if (count == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    count->QuadPart = platform::ClockNow100ns();
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    if (frequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = 10000000;
    return TRUE;
}

}  // extern "C"
