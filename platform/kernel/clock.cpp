// The process-wide clock and the Windows time calls that read it. Platform
// time is measured from an anchor: the real time and the platform time of the
// last rate change; from there it advances at rate platform seconds per real
// second, so a rate change keeps the time passed and never steps back. In
// following mode the sinks' published times drive it instead.
#include <platform/clock.h>

#include <mmsystem.h>

#include <chrono>
#include <cmath>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

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
    if (text == nullptr || *text == '\0') return 1.0;
    char* end = nullptr;
    double rate = std::strtod(text, &end);
    if (end == text || *end != '\0' || !IsUsableRate(rate)) return 1.0;
    return rate;
}

// How long a sink may go without publishing before the clock stops waiting
// for it: a sink stuck on a lock, a stopped port or no sink at all must not
// stop time.
constexpr int64_t staleSourceNanoseconds = 20000000;

// While the clock follows the sinks it moves in whole steps of 10 ms, the
// shortest span that is a whole number of both 100-ns units and frames at
// 44100 Hz (441 of them). A time read at any moment then names a frame
// exactly, so where a play cursor, a segment's start and a sink's frames
// fall depends only on what was rendered, never on when a thread looked.
constexpr int64_t followStep = kFollowStep100ns;

int64_t FloorToStep(int64_t time)
{
    return time >= 0 ? time / followStep * followStep : -((-time + followStep - 1) / followStep * followStep);
}
int64_t CeilToStep(int64_t time) { return -FloorToStep(-time); }

struct TimeSource {
    int64_t published = 0;
    int64_t publishedReal = 0;  // real time of the last publish; 0 before any
};

struct ClockState {
    std::mutex lock;
    int64_t anchorReal = RealNowNanoseconds();
    int64_t anchorPlatform = 0;
    double rate = InitialRate();
    bool follow = false;
    // Following mode: the last time given out, and the sinks.
    int64_t last = 0;
    int nextSource = 1;
    std::unordered_map<int, TimeSource> sources;

    // A copy of the fixed-rate arithmetic that readers take without the
    // lock: a sequence count, odd while a writer changes it.
    std::atomic<uint32_t> sequence{0};
    std::atomic<int64_t> fastAnchorReal{0}, fastAnchorPlatform{0};
    std::atomic<double> fastRate{1.0};
    std::atomic<bool> fastFollow{false};

    void PublishFastLocked()
    {
        sequence.fetch_add(1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        fastAnchorReal.store(anchorReal, std::memory_order_relaxed);
        fastAnchorPlatform.store(anchorPlatform, std::memory_order_relaxed);
        fastRate.store(rate, std::memory_order_relaxed);
        fastFollow.store(follow, std::memory_order_relaxed);
        sequence.fetch_add(1, std::memory_order_release);
    }

    int64_t FixedLocked(int64_t realNow) const
    {
        // 100 ns of platform time per 100 ns of real time at rate 1.
        double passed = static_cast<double>(realNow - anchorReal) * rate / 100.0;
        return anchorPlatform + static_cast<int64_t>(passed);
    }

    int64_t FollowLocked(int64_t realNow)
    {
        bool anyFresh = false;
        int64_t least = 0;
        for (const auto& [id, source] : sources) {
            if (source.publishedReal == 0 || realNow - source.publishedReal > staleSourceNanoseconds) continue;
            const int64_t published = FloorToStep(source.published);
            least = anyFresh ? std::min(least, published) : published;
            anyFresh = true;
        }
        if (anyFresh) {
            if (least > last) {
                last = least;
                anchorReal = realNow;
                anchorPlatform = last;
            }
            return last;
        }
        // Nothing renders: real time from the last publish, once the wait for
        // a late sink is over.
        int64_t since = realNow - anchorReal - staleSourceNanoseconds;
        if (since > 0) last = std::max(last, anchorPlatform + FloorToStep(since / 100));
        return last;
    }

    int64_t NowLocked(int64_t realNow) { return follow ? FollowLocked(realNow) : FixedLocked(realNow); }

    // Starts the mode's arithmetic afresh at the current time.
    void ReanchorLocked(int64_t realNow)
    {
        int64_t now = NowLocked(realNow);
        anchorPlatform = now;
        anchorReal = realNow;
        last = now;
    }
};

// Never destroyed: threads that outlive static destruction may still ask the
// time.
ClockState& Clock()
{
    static ClockState* state = [] {
        auto* created = new ClockState;
        created->PublishFastLocked();
        return created;
    }();
    return *state;
}

}  // namespace

void SetClockRate(double rate)
{
    if (!IsUsableRate(rate)) return;
    ClockState& clock = Clock();
    {
        std::lock_guard<std::mutex> guard(clock.lock);
        clock.ReanchorLocked(RealNowNanoseconds());
        clock.rate = rate;
        clock.follow = false;
        clock.PublishFastLocked();
    }
    kernel::WakeAllForClockChange();
}

double GetClockRate()
{
    ClockState& clock = Clock();
    std::lock_guard<std::mutex> guard(clock.lock);
    return clock.rate;
}

void SetClockFollowsSinks(bool follow)
{
    ClockState& clock = Clock();
    {
        std::lock_guard<std::mutex> guard(clock.lock);
        if (clock.follow == follow) return;
        clock.ReanchorLocked(RealNowNanoseconds());
        clock.follow = follow;
        if (follow) {
            // Onto the steps, never back.
            clock.last = clock.anchorPlatform = CeilToStep(clock.anchorPlatform);
        }
        clock.PublishFastLocked();
        // What the sinks published before counts for nothing now.
        for (auto& [id, source] : clock.sources) source.publishedReal = 0;
    }
    kernel::WakeAllForClockChange();
}

bool ClockFollowsSinks()
{
    ClockState& clock = Clock();
    std::lock_guard<std::mutex> guard(clock.lock);
    return clock.follow;
}

bool SetClockSpeed(const char* text)
{
    if (text == nullptr) return false;
    if (std::strcmp(text, "max") == 0) {
        SetClockFollowsSinks(true);
        return true;
    }
    char* end = nullptr;
    double rate = std::strtod(text, &end);
    if (end == text || *end != '\0' || !IsUsableRate(rate)) return false;
    SetClockRate(rate);
    return true;
}

int RegisterTimeSource()
{
    ClockState& clock = Clock();
    std::lock_guard<std::mutex> guard(clock.lock);
    int id = clock.nextSource++;
    clock.sources.emplace(id, TimeSource{});
    return id;
}

void PublishTime(int source, int64_t time100ns)
{
    ClockState& clock = Clock();
    int64_t now;
    {
        std::lock_guard<std::mutex> guard(clock.lock);
        auto found = clock.sources.find(source);
        if (found == clock.sources.end() || !clock.follow) return;
        int64_t realNow = RealNowNanoseconds();
        found->second.published = time100ns;
        found->second.publishedReal = realNow;
        now = clock.FollowLocked(realNow);
    }
    kernel::WakeDeadlinesUpTo(now);
}

void UnregisterTimeSource(int source)
{
    ClockState& clock = Clock();
    std::lock_guard<std::mutex> guard(clock.lock);
    clock.sources.erase(source);
}

int64_t ClockNow100ns()
{
    ClockState& clock = Clock();
    // At a fixed rate the time is arithmetic on values that rarely change.
    for (int attempt = 0; attempt < 4; ++attempt) {
        uint32_t before = clock.sequence.load(std::memory_order_acquire);
        if (before & 1) continue;
        int64_t anchorReal = clock.fastAnchorReal.load(std::memory_order_relaxed);
        int64_t anchorPlatform = clock.fastAnchorPlatform.load(std::memory_order_relaxed);
        double rate = clock.fastRate.load(std::memory_order_relaxed);
        bool follow = clock.fastFollow.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (clock.sequence.load(std::memory_order_relaxed) != before) continue;
        if (follow) break;
        double passed = static_cast<double>(RealNowNanoseconds() - anchorReal) * rate / 100.0;
        return anchorPlatform + static_cast<int64_t>(passed);
    }
    std::lock_guard<std::mutex> guard(clock.lock);
    return clock.NowLocked(RealNowNanoseconds());
}

double PlatformToRealSeconds(int64_t platform100ns)
{
    // While following the sinks, time runs at least at real time (a sink that
    // publishes wakes the waits whose time has come).
    ClockState& clock = Clock();
    std::lock_guard<std::mutex> guard(clock.lock);
    double rate = clock.follow ? 1.0 : clock.rate;
    return static_cast<double>(platform100ns) / 1e7 / rate;
}

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
