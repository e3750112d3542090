#include <gtest/gtest.h>

#include <process.h>
#include <windows.h>

#include <atomic>
#include <thread>

namespace {

struct ThreadProbe {
    std::atomic<bool> ran{false};
    std::atomic<DWORD> idInside{0};
    HANDLE release = nullptr;  // the thread waits for it when set
    unsigned exitCode = 0;
};

unsigned WINAPI ProbeThread(void* argument)
{
    auto* probe = static_cast<ThreadProbe*>(argument);
    probe->ran = true;
    probe->idInside = GetCurrentThreadId();
    if (probe->release != nullptr) WaitForSingleObject(probe->release, INFINITE);
    return probe->exitCode;
}

HANDLE Start(ThreadProbe& probe, unsigned flags, unsigned* id = nullptr)
{
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ProbeThread, &probe, flags, id));
}

TEST(Thread, SuspendedThreadDoesNotRunBeforeResume)
{
    ThreadProbe probe;
    probe.exitCode = 42;
    unsigned id = 0;
    HANDLE thread = Start(probe, CREATE_SUSPENDED, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(probe.ran);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);

    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(ResumeThread(thread), 0u);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(probe.ran);
    EXPECT_EQ(probe.idInside, id);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    // An ended thread's handle stays signalled.
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(thread));
}

TEST(Thread, HandleIsSignalledOnlyWhenTheThreadEnds)
{
    ThreadProbe probe;
    probe.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    probe.exitCode = 7;
    HANDLE thread = Start(probe, 0);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    SetEvent(probe.release);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 7u);
    CloseHandle(thread);
    CloseHandle(probe.release);
}

TEST(Thread, ClosingTheHandleLeavesTheThreadRunning)
{
    ThreadProbe probe;
    probe.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = Start(probe, CREATE_SUSPENDED);
    ResumeThread(thread);
    ASSERT_TRUE(CloseHandle(thread));
    SetEvent(probe.release);
    // The thread finishes its work with no handle left to it.
    for (int i = 0; i < 5000 && !probe.ran; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(probe.ran);
    EXPECT_EQ(ResumeThread(thread), static_cast<DWORD>(-1));
    // Let the thread leave its wait before the event goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    CloseHandle(probe.release);
}

TEST(Thread, WaitAllOnThreadsEndsWhenTheLastOneEnds)
{
    ThreadProbe probes[3];
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE threads[3];
    for (int i = 0; i < 3; ++i) {
        probes[i].release = release;
        probes[i].exitCode = static_cast<unsigned>(i + 1);
        threads[i] = Start(probes[i], 0);
    }
    EXPECT_EQ(WaitForMultipleObjects(3, threads, TRUE, 10), WAIT_TIMEOUT);
    SetEvent(release);
    EXPECT_EQ(WaitForMultipleObjects(3, threads, TRUE, INFINITE), WAIT_OBJECT_0);
    for (int i = 0; i < 3; ++i) {
        DWORD code = 0;
        GetExitCodeThread(threads[i], &code);
        EXPECT_EQ(code, static_cast<DWORD>(i + 1));
        CloseHandle(threads[i]);
    }
    CloseHandle(release);
}

TEST(Thread, IdentifiersAreDistinctAndStable)
{
    DWORD mine = GetCurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(GetCurrentThreadId(), mine);
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, mine);
}

TEST(Thread, BadHandlesAndArgumentsAreRefused)
{
    DWORD code = 0;
    SetLastError(0);
    EXPECT_EQ(ResumeThread(nullptr), static_cast<DWORD>(-1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(GetExitCodeThread(nullptr, &code));
    // An event is not a thread.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(ResumeThread(event), static_cast<DWORD>(-1));
    EXPECT_FALSE(GetExitCodeThread(event, &code));
    CloseHandle(event);
    EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
}

TEST(Thread, RequestedStackSizeIsHonoured)
{
    ThreadProbe probe;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 1, ProbeThread, &probe, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(probe.ran);
    CloseHandle(thread);
}

}  // namespace
