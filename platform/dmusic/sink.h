// The synth sink: the thread that keeps a DirectSound buffer filled ahead of
// its play cursor with what the synthesizer renders, as DirectMusic's sink
// does, and the mapping between reference time and the synth's frames.
#pragma once

#include <dsound.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dmusic/synth.h"

namespace dmusic {

class CSynthSink {
public:
    // How far ahead of the play cursor the sink keeps the buffer written
    // (more when the platform clock runs fast).
    static constexpr int64_t kWriteAhead100ns = 550000;  // 55 ms
    // How often it looks at the cursor, in platform time.
    static constexpr DWORD kPeriodMs = 10;

    explicit CSynthSink(CSynthesizer* synth);
    ~CSynthSink();
    CSynthSink(const CSynthSink&) = delete;
    CSynthSink& operator=(const CSynthSink&) = delete;

    // Starts the buffer playing (looping) and the thread. The buffer must hold
    // 16-bit stereo PCM; it is held until Stop.
    HRESULT Start(IDirectSoundBuffer* buffer);
    // Ends the thread and stops the buffer.
    void Stop();
    bool Running() const { return running.load(); }

    // The synth frame that sounds at a reference time (100 ns of platform
    // time), and back. Before the first Start, frame 0 is the sink's creation.
    int64_t FrameAt(int64_t referenceTime) const;
    int64_t TimeAtFrame(int64_t frame) const;
    // The earliest reference time whose frame is still to be rendered.
    int64_t LatencyTime() const;

    // Runs one pass of the thread's loop (for the thread and for tests).
    void Tick();

    // What the sink has done, for tests and statistics.
    struct Statistics {
        uint64_t locks = 0;
        uint64_t bytesWritten = 0;
        uint64_t largestLock = 0;
        uint64_t repositions = 0;
    };
    Statistics GetStatistics() const;

private:
    void Run();
    void Anchor(int64_t now);

    CSynthesizer* synth;
    IDirectSoundBuffer* buffer = nullptr;
    DWORD ringBytes = 0;
    DWORD blockAlign = 4;
    DWORD bytesPerSecond = 176400;
    uint32_t sampleRate = 44100;

    mutable std::mutex anchorLock;
    int64_t anchorTime = 0;   // reference time at which anchorFrame sounds
    int64_t anchorFrame = 0;

    std::mutex tickLock;
    DWORD writeOffset = 0;     // ring offset of the next byte to write
    DWORD lastPlayCursor = 0;
    int64_t lastTickTime = 0;
    int64_t lead = 0;          // bytes written ahead of the play cursor (negative: behind)
    bool wasStopped = false;
    std::vector<int16_t> scratch;
    Statistics statistics;

    std::atomic<bool> running{false};
    HANDLE stopEvent = nullptr;
    std::thread thread;
};

}  // namespace dmusic
