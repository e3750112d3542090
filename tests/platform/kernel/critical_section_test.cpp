#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

bool TryFromOtherThread(CRITICAL_SECTION& section)
{
    bool entered = false;
    std::thread([&] {
        entered = TryEnterCriticalSection(&section);
        if (entered) LeaveCriticalSection(&section);
    }).join();
    return entered;
}

TEST(CriticalSection, IsRecursiveAndHeldUntilTheLastLeave)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    EXPECT_FALSE(TryFromOtherThread(section));
    LeaveCriticalSection(&section);
    EXPECT_TRUE(TryFromOtherThread(section));
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, KeepsOtherThreadsOut)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0;  // deliberately not atomic
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&section);
                EnterCriticalSection(&section);
                ++counter;
                LeaveCriticalSection(&section);
                LeaveCriticalSection(&section);
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, 80000);
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, LeaveByAThreadThatDoesNotOwnItIsIgnored)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    std::thread([&] { LeaveCriticalSection(&section); }).join();
    EXPECT_FALSE(TryFromOtherThread(section));
    LeaveCriticalSection(&section);
    EXPECT_TRUE(TryFromOtherThread(section));
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, ZeroFilledSectionWorksWithoutInitialisation)
{
    CRITICAL_SECTION section{};
    EnterCriticalSection(&section);
    EXPECT_FALSE(TryFromOtherThread(section));
    LeaveCriticalSection(&section);
    EXPECT_TRUE(TryFromOtherThread(section));
    DeleteCriticalSection(&section);
}

TEST(Interlocked, CallsReturnTheDocumentedValues)
{
    volatile LONG value = 5;
    EXPECT_EQ(InterlockedIncrement(&value), 6);
    EXPECT_EQ(InterlockedDecrement(&value), 5);
    EXPECT_EQ(InterlockedExchange(&value, 9), 5);
    EXPECT_EQ(InterlockedCompareExchange(&value, 1, 8), 9);
    EXPECT_EQ(value, 9);
    EXPECT_EQ(InterlockedCompareExchange(&value, 1, 9), 9);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(InterlockedExchangeAdd(&value, 10), 1);
    EXPECT_EQ(value, 11);
}

}  // namespace
