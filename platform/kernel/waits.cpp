// The handle table, the waits every kernel object is built on, Sleep, and the
// thread's last error. All waits count in platform time: a wait computes how
// much real time its platform deadline is away, and looks again whenever the
// clock's rate changes.
#include <platform/clock.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <chrono>
#include <cmath>
#include <thread>
#include <unordered_map>

#include "kernel_objects.h"

namespace platform::kernel {
namespace {

struct KernelState {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> handles;
    // Handle values are never reused, so a stale handle stays invalid.
    uintptr_t nextHandle = 0x1000;
    // Every thread now blocked in a wait or a sleep.
    std::vector<Waiter*> waiting;
    // The earliest deadline among them (or later: a lower bound is never
    // missed, a stale one only costs a look).
    std::atomic<int64_t> earliestDeadline{INT64_MAX};
};

// Never destroyed: threads still running at exit keep using it.
KernelState& State()
{
    static KernelState* state = new KernelState;
    return *state;
}

void RemoveWaiter(std::vector<Waiter*>& list, Waiter* waiter)
{
    auto found = std::find(list.begin(), list.end(), waiter);
    if (found != list.end()) {
        *found = list.back();
        list.pop_back();
    }
}

// The longest single real-time wait; longer waits simply look again.
constexpr double longestRealWaitSeconds = 3600.0;

}  // namespace

void KernelObject::WakeWaiters()
{
    for (Waiter* waiter : waiters) waiter->wake.notify_one();
}

std::mutex& KernelLock() { return State().lock; }

HANDLE InsertHandle(std::shared_ptr<KernelObject> object)
{
    KernelState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    uintptr_t value = state.nextHandle;
    state.nextHandle += 4;
    state.handles.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandleLocked(HANDLE handle)
{
    KernelState& state = State();
    auto found = state.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (found == state.handles.end()) return nullptr;
    return found->second;
}

int64_t DeadlineAfterMilliseconds(DWORD milliseconds)
{
    if (milliseconds == INFINITE) return -1;
    return ClockNow100ns() + static_cast<int64_t>(milliseconds) * 10000;
}

DWORD WaitLocked(std::unique_lock<std::mutex>& lock, std::span<const std::shared_ptr<KernelObject>> objects,
                 bool waitAll, int64_t deadline100ns)
{
    KernelState& state = State();
    Waiter self;
    bool registered = false;
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        if (!objects.empty()) {
            if (waitAll) {
                bool allSignalled = std::all_of(objects.begin(), objects.end(),
                                                [](const auto& object) { return object->IsSignalled(); });
                if (allSignalled) {
                    for (const auto& object : objects) object->Consume();
                    result = WAIT_OBJECT_0;
                    break;
                }
            } else {
                auto found = std::find_if(objects.begin(), objects.end(),
                                          [](const auto& object) { return object->IsSignalled(); });
                if (found != objects.end()) {
                    (*found)->Consume();
                    result = WAIT_OBJECT_0 + static_cast<DWORD>(found - objects.begin());
                    break;
                }
            }
        }
        int64_t now = ClockNow100ns();
        if (deadline100ns >= 0 && now >= deadline100ns) {
            result = WAIT_TIMEOUT;
            break;
        }
        if (!registered) {
            for (const auto& object : objects) object->waiters.push_back(&self);
            state.waiting.push_back(&self);
            registered = true;
            if (deadline100ns >= 0) {
                self.deadline = deadline100ns;
                if (deadline100ns < state.earliestDeadline.load(std::memory_order_relaxed))
                    state.earliestDeadline.store(deadline100ns, std::memory_order_relaxed);
            }
        }
        if (deadline100ns < 0) {
            self.wake.wait(lock);
        } else {
            // Round up so that the wake-up does not come just short of the
            // deadline and spin.
            double realSeconds = std::min(PlatformToRealSeconds(deadline100ns - now), longestRealWaitSeconds);
            auto realNanoseconds = std::chrono::nanoseconds(static_cast<int64_t>(std::ceil(realSeconds * 1e9)) + 1);
            self.wake.wait_for(lock, realNanoseconds);
        }
    }
    if (registered) {
        for (const auto& object : objects) RemoveWaiter(object->waiters, &self);
        RemoveWaiter(state.waiting, &self);
    }
    return result;
}

void WakeAllForClockChange()
{
    KernelState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    for (Waiter* waiter : state.waiting) waiter->wake.notify_one();
}

void WakeDeadlinesUpTo(int64_t now)
{
    KernelState& state = State();
    if (now < state.earliestDeadline.load(std::memory_order_relaxed)) return;
    std::lock_guard<std::mutex> guard(state.lock);
    int64_t earliest = INT64_MAX;
    for (Waiter* waiter : state.waiting) {
        if (waiter->deadline < 0) continue;
        if (waiter->deadline <= now)
            waiter->wake.notify_one();
        else
            earliest = std::min(earliest, waiter->deadline);
    }
    state.earliestDeadline.store(earliest, std::memory_order_relaxed);
}

namespace {

thread_local DWORD lastError = 0;

// The objects of one wait, held on the waiting thread's stack: a wait
// allocates nothing.
using WaitObjects = std::array<std::shared_ptr<KernelObject>, MAXIMUM_WAIT_OBJECTS>;

// Collects the objects for a wait, or reports why the wait cannot be made.
bool CollectObjectsLocked(DWORD count, const HANDLE* handles, bool waitAll, WaitObjects& objects)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    for (DWORD i = 0; i < count; ++i) {
        std::shared_ptr<KernelObject> object = LookupHandleLocked(handles[i]);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        // Waiting for all of a list that names one object twice is refused,
        // as an auto-reset event could never be taken twice at once.
        if (waitAll && std::find(objects.begin(), objects.begin() + i, object) != objects.begin() + i) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        objects[i] = std::move(object);
    }
    return true;
}

}  // namespace
}  // namespace platform::kernel

using namespace platform::kernel;

uint32_t platform::WaitForObjectsUntil100ns(uint32_t count, void* const* handles, bool waitAll, int64_t deadline100ns)
{
    WaitObjects objects;
    DWORD result;
    {
        std::unique_lock<std::mutex> lock(KernelLock());
        if (!CollectObjectsLocked(count, handles, waitAll, objects)) return WAIT_FAILED;
        result = WaitLocked(lock, std::span(objects.data(), count), waitAll, deadline100ns < 0 ? -1 : deadline100ns);
    }
    // The last references go outside the lock, with the array.
    return result;
}

extern "C" {

DWORD WINAPI GetLastError(void) { return lastError; }

void WINAPI SetLastError(DWORD error) { lastError = error; }

BOOL WINAPI CloseHandle(HANDLE handle)
{
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        KernelState& state = State();
        auto found = state.handles.find(reinterpret_cast<uintptr_t>(handle));
        if (found != state.handles.end()) {
            object = std::move(found->second);
            state.handles.erase(found);
        }
    }
    // The object goes away here, outside the lock, unless a waiter or a
    // running thread still holds it.
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    return platform::WaitForObjectsUntil100ns(count, handles, waitAll != FALSE,
                                              DeadlineAfterMilliseconds(milliseconds));
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

void WINAPI Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::unique_lock<std::mutex> lock(KernelLock());
    WaitLocked(lock, {}, false, DeadlineAfterMilliseconds(milliseconds));
}

}  // extern "C"
