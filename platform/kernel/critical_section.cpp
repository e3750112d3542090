// Critical sections: recursive locks. One left by a thread that does not own
// it is ignored rather than corrupting the lock's state.
#include <atomic>
#include <mutex>
#include <thread>

#include <windows.h>

namespace {

struct CriticalSection {
    std::recursive_mutex mutex;
    std::atomic<std::thread::id> owner{};
    unsigned depth = 0;  // changed only by the owner
};

// A section that was zero-filled but never initialised is made on first use.
CriticalSection* Get(LPCRITICAL_SECTION section)
{
    auto* slot = reinterpret_cast<std::atomic<CriticalSection*>*>(&section->implementation);
    CriticalSection* current = slot->load(std::memory_order_acquire);
    if (current != nullptr) return current;
    auto* made = new CriticalSection;
    if (slot->compare_exchange_strong(current, made, std::memory_order_acq_rel)) return made;
    delete made;
    return current;
}

static_assert(sizeof(std::atomic<CriticalSection*>) == sizeof(void*), "the section's slot holds one pointer");

}  // namespace

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) { section->implementation = new CriticalSection; }

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD)
{
    InitializeCriticalSection(section);
    return TRUE;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section)
{
    CriticalSection* lock = Get(section);
    lock->mutex.lock();
    lock->owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    ++lock->depth;
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section)
{
    CriticalSection* lock = Get(section);
    if (!lock->mutex.try_lock()) return FALSE;
    lock->owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    ++lock->depth;
    return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    CriticalSection* lock = Get(section);
    if (lock->owner.load(std::memory_order_relaxed) != std::this_thread::get_id() || lock->depth == 0) return;
    if (--lock->depth == 0) lock->owner.store(std::thread::id(), std::memory_order_relaxed);
    lock->mutex.unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    delete static_cast<CriticalSection*>(section->implementation);
    section->implementation = nullptr;
}

}  // extern "C"
