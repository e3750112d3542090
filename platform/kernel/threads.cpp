// Threads started with _beginthreadex. A thread handle is signalled when the
// thread has ended; closing the handle leaves the thread running. A thread
// created suspended does not enter its start routine before ResumeThread.
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <climits>

#include "kernel_objects.h"

namespace platform::kernel {
namespace {

class ThreadObject : public KernelObject {
public:
    bool IsSignalled() const override { return finished; }

    unsigned(WINAPI* start)(void*) = nullptr;
    void* argument = nullptr;
    DWORD id = 0;
    DWORD suspendCount = 0;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
    std::condition_variable resumed;
};

// Windows thread identifiers are non-zero multiples of four.
std::atomic<DWORD> nextThreadId{4};
thread_local DWORD currentThreadId = 0;

DWORD NewThreadId()
{
    DWORD id = nextThreadId.fetch_add(4);
    while (id == 0) id = nextThreadId.fetch_add(4);
    return id;
}

void* RunThread(void* parameter)
{
    auto* handOver = static_cast<std::shared_ptr<ThreadObject>*>(parameter);
    std::shared_ptr<ThreadObject> self = std::move(*handOver);
    delete handOver;
    currentThreadId = self->id;
    {
        std::unique_lock<std::mutex> lock(KernelLock());
        self->resumed.wait(lock, [&] { return self->suspendCount == 0; });
    }
    unsigned exitCode = self->start(self->argument);
    {
        std::lock_guard<std::mutex> guard(KernelLock());
        self->exitCode = exitCode;
        self->finished = true;
        self->WakeWaiters();
    }
    return nullptr;
}

}  // namespace
}  // namespace platform::kernel

using namespace platform::kernel;

extern "C" {

uintptr_t _beginthreadex(void*, unsigned stackSize, unsigned(WINAPI* start)(void*), void* argument, unsigned initFlag,
                         unsigned* threadId)
{
    if (start == nullptr) {
        errno = EINVAL;
        return 0;
    }
    auto thread = std::make_shared<ThreadObject>();
    thread->start = start;
    thread->argument = argument;
    thread->id = NewThreadId();
    thread->suspendCount = (initFlag & CREATE_SUSPENDED) != 0 ? 1 : 0;

    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        errno = EAGAIN;
        return 0;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        size_t size = stackSize < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stackSize;
        pthread_attr_setstacksize(&attributes, size);
    }
    // The handle goes into the table before the thread can run, so that the
    // thread may already be waited on.
    HANDLE handle = InsertHandle(thread);
    auto* handOver = new std::shared_ptr<ThreadObject>(thread);
    pthread_t posixThread;
    int failure = pthread_create(&posixThread, &attributes, RunThread, handOver);
    pthread_attr_destroy(&attributes);
    if (failure != 0) {
        delete handOver;
        CloseHandle(handle);
        errno = failure;
        return 0;
    }
    if (threadId != nullptr) *threadId = thread->id;
    return reinterpret_cast<uintptr_t>(handle);
}

DWORD WINAPI ResumeThread(HANDLE handle)
{
    std::lock_guard<std::mutex> guard(KernelLock());
    std::shared_ptr<ThreadObject> thread = LookupHandleAsLocked<ThreadObject>(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    DWORD previous = thread->suspendCount;
    if (previous > 0 && --thread->suspendCount == 0) thread->resumed.notify_all();
    return previous;
}

BOOL WINAPI GetExitCodeThread(HANDLE handle, LPDWORD exitCode)
{
    std::lock_guard<std::mutex> guard(KernelLock());
    std::shared_ptr<ThreadObject> thread = LookupHandleAsLocked<ThreadObject>(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = thread->exitCode;
    return TRUE;
}

DWORD WINAPI GetCurrentThreadId(void)
{
    if (currentThreadId == 0) currentThreadId = NewThreadId();
    return currentThreadId;
}

BOOL WINAPI SetThreadPriority(HANDLE handle, int priority)
{
    std::lock_guard<std::mutex> guard(KernelLock());
    if (!LookupHandleAsLocked<ThreadObject>(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Priorities are accepted and not applied: the scheduler of an ordinary
    // Linux user would refuse the raised ones anyway.
    (void)priority;
    return TRUE;
}

}  // extern "C"
