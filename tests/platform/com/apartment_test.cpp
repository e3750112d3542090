#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>

namespace {

// Each test runs on a fresh thread, so no apartment carries over.
template <typename Body> void OnFreshThread(Body body) { std::thread(body).join(); }

TEST(Apartment, FirstCallSucceedsAndRepeatsInTheSameModelAreCounted)
{
    OnFreshThread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE) << "CoInitialize is the single-threaded model";
        CoUninitialize();
        CoUninitialize();
        // Still initialised once: the same model gives S_FALSE, not S_OK.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
        // Balanced: the thread may choose a model afresh.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    });
}

TEST(Apartment, OtherModelIsRefusedAndNotCounted)
{
    OnFreshThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), RPC_E_CHANGED_MODE);
        // One CoUninitialize balances the one counted call.
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        CoUninitialize();
    });
}

TEST(Apartment, IsKeptPerThreadAndUnbalancedUninitializeIsHarmless)
{
    OnFreshThread([] {
        CoUninitialize();  // never initialised: nothing to undo
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        HRESULT otherThread = E_FAIL;
        std::thread([&] {
            otherThread = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            CoUninitialize();
        }).join();
        EXPECT_EQ(otherThread, S_OK);
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    });
}

TEST(Apartment, ReservedArgumentMustBeNull)
{
    OnFreshThread([] {
        int reserved = 0;
        EXPECT_EQ(CoInitializeEx(&reserved, COINIT_APARTMENTTHREADED), E_INVALIDARG);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "the refused call was counted";
        CoUninitialize();
    });
}

TEST(TaskMemory, AllocatesUsableBlocks)
{
    auto* block = static_cast<char*>(CoTaskMemAlloc(64));
    ASSERT_NE(block, nullptr);
    block[63] = 1;
    block = static_cast<char*>(CoTaskMemRealloc(block, 128));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[63], 1);
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
    void* empty = CoTaskMemAlloc(0);
    EXPECT_NE(empty, nullptr);
    CoTaskMemFree(empty);
}

}  // namespace
