// A writer and a reader on their own threads, as the synthesiser and the
// decoder use the store: the reader receives the exact stream up to the cap
// and then learns that the capture has ended; what waits for an open Lock
// and what goes on beside it. Run under ThreadSanitizer too.
#include "tests/tessarine/capture/capture_fixture.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <random>
#include <thread>

namespace {

BYTE StreamByte(uint64_t position) { return BYTE((position * 13 + position / 509) & 0xFF); }

TEST_F(CaptureTest, ReaderAndWriterThreadsAgreeOverThousandsOfHalves)
{
    const DWORD ring = 1024;
    const int halves = 3000;
    configOutputBuffer.value = 700;
    configLog.value = 0;
    IDirectSoundBuffer* buffer = nullptr;
    CCaptureStore* store = MakeCaptureStore(ring, &buffer);
    store->SetDataLimit(int32_t(ring) * halves);

    std::thread writer([&] {
        std::mt19937 random(7);
        std::uniform_int_distribution<DWORD> length(1, ring);
        uint64_t written = 0;
        DWORD offset = 0;
        // A few halves beyond the limit, so the cap is reached.
        while (written < uint64_t(ring) * (halves + 3)) {
            DWORD bytes = length(random);
            LPVOID audio[2] = {};
            DWORD sizes[2] = {};
            buffer->Lock(offset, bytes, &audio[0], &sizes[0], &audio[1], &sizes[1], 0);
            for (int region = 0; region < 2; ++region)
                for (DWORD i = 0; i < sizes[region]; ++i) static_cast<BYTE*>(audio[region])[i] = StreamByte(written++);
            buffer->Unlock(audio[0], sizes[0], audio[1], sizes[1]);
            offset = (offset + bytes) % ring;
            if (written % (ring * 64) < ring) std::this_thread::yield();
        }
    });

    uint64_t delivered = 0;
    uint64_t mismatches = 0;
    std::vector<BYTE> block(700);
    for (;;) {
        CComReference<CCaptureReader> file = store->BeginRead(int32_t(delivered));
        uint32_t got = file->Read(block.data(), uint32_t(block.size()));
        file->Finish();
        for (uint32_t i = 0; i < got; ++i) mismatches += block[i] != StreamByte(delivered + i);
        delivered += got;
        if (got == 0 && store->IsCaptureEnded()) break;
    }
    writer.join();
    EXPECT_EQ(0u, mismatches);
    EXPECT_EQ(uint64_t(ring) * halves, delivered);
    buffer->Release();
}

// While a Lock's regions are the writer's, what touches the double buffer
// waits for its Unlock; reading the file and setting the limit go on.
TEST_F(CaptureTest, OnlyWhatTouchesTheRegionsWaitsForAnOpenLock)
{
    const struct {
        const char* name;
        bool waits;
        std::function<void(CCaptureStore&)> call;
    } rows[] = {
        {"read", false,
         [](CCaptureStore& store) {
             CComReference<CCaptureReader> read = store.BeginRead(0);
             char bytes[600];
             EXPECT_EQ(600u, read->Read(bytes, sizeof bytes));
             read->Finish();
         }},
        {"limit", false, [](CCaptureStore& store) { store.SetDataLimit(50000); }},
        {"clear", true, [](CCaptureStore& store) { store.ClearCapture(); }},
        {"cursor", true,
         [](CCaptureStore& store) {
             DWORD play = 0;
             store.ReadPlayCursor(&play);
         }},
        {"start", true, [](CCaptureStore& store) { store.StartAtPlayCursor(0, 50000); }},
        {"unlock without lock", true, [](CCaptureStore& store) { store.EndWrite(); }},
    };
    configOutputBuffer.value = 300;
    for (const auto& row : rows) {
        CCaptureStore* store = MakeCaptureStore(1000);
        store->SetDataLimit(10000);
        CCaptureRegion first{}, second{};
        if (!row.waits) {
            // A half in the file for the read.
            store->BeginWrite(0, 1000, 0, first, second);
            store->EndWrite();
            store->BeginWrite(0, 10, 0, first, second);
            store->EndWrite();
        }
        store->BeginWrite(500, 100, 0, first, second);
        std::atomic<bool> done{false};
        std::future<void> other = std::async(std::launch::async, [&] {
            row.call(*store);
            done = true;
        });
        if (row.waits) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_FALSE(done.load()) << row.name;
        } else {
            EXPECT_EQ(std::future_status::ready, other.wait_for(std::chrono::seconds(20))) << row.name;
        }
        store->EndWrite();
        other.get();
        EXPECT_TRUE(done.load()) << row.name;
    }
}

}  // namespace
