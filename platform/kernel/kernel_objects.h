// What the kernel stand-ins share inside the platform library: the one lock
// that guards every kernel object, the handle table, and the waiting that
// events, threads and Sleep are built on.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace platform::kernel {

// A thread blocked in a wait; it is woken whenever something it waits on
// changes and whenever the clock's rate changes.
struct Waiter {
    std::condition_variable wake;
    int64_t deadline = -1;  // platform time it waits for; -1 for none
};

// An object a HANDLE stands for. Every member is guarded by KernelLock().
class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Whether a wait on this object would be satisfied now.
    virtual bool IsSignalled() const = 0;
    // Called when a wait is satisfied by this object (an auto-reset event
    // resets itself here, so exactly one waiter passes).
    virtual void Consume() {}

    // Wakes every thread waiting on the object; they look again themselves.
    void WakeWaiters();

    std::vector<Waiter*> waiters;
};

// The lock behind every kernel object and the handle table.
std::mutex& KernelLock();

// Puts the object into the handle table and returns its new handle.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind handle, or null for a bad or closed handle. Call it with
// KernelLock() held.
std::shared_ptr<KernelObject> LookupHandleLocked(HANDLE handle);

template <typename T> std::shared_ptr<T> LookupHandleAsLocked(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(LookupHandleLocked(handle));
}

// Waits with KernelLock() held (through lock) until objects are signalled
// (all of them or any one) or the platform time reaches deadline (-1 waits
// without end). Returns WAIT_OBJECT_0 + i or WAIT_TIMEOUT.
DWORD WaitLocked(std::unique_lock<std::mutex>& lock, std::span<const std::shared_ptr<KernelObject>> objects,
                 bool waitAll, int64_t deadline100ns);

// Platform deadline for a time-out in platform milliseconds (-1 for INFINITE).
int64_t DeadlineAfterMilliseconds(DWORD milliseconds);

// Called by the clock after a rate change, so that every pending wait
// measures its deadline at the new pace.
void WakeAllForClockChange();

// Called by the clock when time has jumped to now (a sink published): wakes
// the waits whose deadline has come, without taking the lock when none has.
void WakeDeadlinesUpTo(int64_t now);

}  // namespace platform::kernel
