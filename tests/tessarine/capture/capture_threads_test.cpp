// A writer and a reader on their own threads, as the synthesiser and the
// decoder use the store: the reader receives the exact stream up to the cap
// and then learns that the capture has ended. Run under ThreadSanitizer too.
#include "tests/tessarine/capture/capture_fixture.h"

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
    CCaptureSoundBuffer* store = MakeCaptureBuffer(ring, &buffer);
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
                for (DWORD i = 0; i < sizes[region]; ++i)
                    static_cast<BYTE*>(audio[region])[i] = StreamByte(written++);
            buffer->Unlock(audio[0], sizes[0], audio[1], sizes[1]);
            offset = (offset + bytes) % ring;
            if (written % (ring * 64) < ring)
                std::this_thread::yield();
        }
    });

    uint64_t delivered = 0;
    uint64_t mismatches = 0;
    std::vector<BYTE> block(700);
    for (;;) {
        CHostFile* file = store->WaitForData(int32_t(delivered));
        uint32_t got = file->Read(block.data(), uint32_t(block.size()));
        store->EndRead();
        for (uint32_t i = 0; i < got; ++i)
            mismatches += block[i] != StreamByte(delivered + i);
        delivered += got;
        if (got == 0 && store->IsCaptureEnded())
            break;
    }
    writer.join();
    EXPECT_EQ(0u, mismatches);
    EXPECT_EQ(uint64_t(ring) * halves, delivered);
    buffer->Release();
}

}  // namespace
