// The synth sink: the thread that keeps a DirectSound buffer filled ahead of
// its play cursor with what the synthesizer renders, as DirectMusic's sink
// does, and the mapping between reference time and the synth's frames.
#pragma once

#include <dsound.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/dmusic/synth.h"

namespace dmusic {

class CSynthSink {
public:
    // How far ahead of the play cursor the sink keeps the buffer written
    // (more when the platform clock runs fast).
    static constexpr int64_t kWriteAhead100ns = 550000;  // 55 ms
    // How often it looks at the cursor, in platform time.
    static constexpr DWORD kPeriodMs = 10;
    // The longest piece rendered at once while the clock follows the sinks.
    static constexpr int64_t kLongestPiece100ns = 1000000;  // 100 ms
    // A horizon that holds nothing back.
    static constexpr int64_t kNoHorizon = INT64_MAX;

    explicit CSynthSink(CSynthesizer* synth);
    ~CSynthSink();
    CSynthSink(const CSynthSink&) = delete;
    CSynthSink& operator=(const CSynthSink&) = delete;

    // Starts the buffer playing (looping) and the thread. The buffer must hold
    // 16-bit stereo PCM; it is held until Stop.
    HRESULT Start(IDirectSoundBuffer* buffer);
    // Ends the thread and stops the buffer.
    void Stop();

    // The synth frame that sounds at a reference time (100 ns of platform
    // time), and back. Before the first Start, frame 0 is the sink's creation.
    int64_t FrameAt(int64_t referenceTime) const;
    int64_t TimeAtFrame(int64_t frame) const;
    // The earliest reference time whose frame is still to be rendered (or
    // is being rendered now).
    int64_t LatencyTime() const;
    // The first frame at or after `frame` that starts one of the synth's
    // blocks of `block` frames and, while the clock follows the sinks, also
    // sounds at a whole step of the clock: a start placed there lies the
    // same way against the blocks and the steps whenever it was asked for.
    int64_t AlignedFrameAtOrAfter(int64_t frame, int64_t block) const;

    // The hand-shake with the sequencer: the sink renders no frame that sounds
    // at or after the horizon, the time up to which every event has been
    // handed over. SetHorizon moves it (kNoHorizon lifts it); HoldHorizon
    // lowers it to what is already rendered or being rendered, so events
    // placed at LatencyTime or later are never too late.
    void SetHorizon(int64_t referenceTime);
    void HoldHorizon();
    int64_t Horizon() const;

    // Runs one pass of the thread's loop (for the thread and for tests);
    // true when it rendered something.
    bool Tick();

    // What the sink has done, for tests and statistics.
    struct Statistics {
        uint64_t locks = 0;
        uint64_t bytesWritten = 0;
        uint64_t largestLock = 0;
        uint64_t repositions = 0;
        uint64_t heldAtHorizon = 0;  // passes that the horizon cut short
    };
    Statistics GetStatistics() const;

private:
    void Run();
    void Anchor(int64_t now);
    // Frames in one step of the clock while it follows the sinks (0 when the
    // rate makes no whole number of them).
    int64_t FramesPerStep() const;
    // Frames the horizon still lets the sink render past `rendered`, at most
    // `wanted`; records the piece as under way.
    int64_t ClaimFrames(int64_t rendered, int64_t wanted);
    // Tick's steps, under tickLock: where the play cursor went since the last
    // pass (false when it cannot be read); how many bytes to write ahead of
    // it; writing them piece by piece (true when any was written); and one
    // piece through a lock of the ring (the bytes written, 0 if none).
    bool FollowCursor();
    int64_t LargestPiece() const;
    int64_t BytesWanted(bool follow) const;
    bool RenderAhead(int64_t need);
    DWORD WritePiece(DWORD piece);

    CSynthesizer* synth;
    IDirectSoundBuffer* buffer = nullptr;
    DWORD ringBytes = 0;
    DWORD blockAlign = 4;
    DWORD bytesPerSecond = 176400;
    uint32_t sampleRate = 44100;

    mutable std::mutex anchorLock;
    int64_t anchorTime = 0;  // reference time at which anchorFrame sounds
    int64_t anchorFrame = 0;

    std::mutex tickLock;
    DWORD writeOffset = 0;  // ring offset of the next byte to write
    DWORD lastPlayCursor = 0;
    int64_t lastTickTime = 0;
    int64_t lead = 0;            // bytes written ahead of the play cursor (negative: behind)
    int64_t lastReadSpread = 0;  // platform time the last cursor read took
    bool wasStopped = false;
    Statistics statistics;

    mutable std::mutex handshakeLock;
    int64_t horizon = kNoHorizon;
    std::atomic<int64_t> claimedFrame{0};  // end of what is rendered or under way
    std::atomic<bool> starved{false};      // waiting for the horizon to move
    int timeSource = 0;

    std::atomic<bool> quit{false};
    HANDLE stopEvent = nullptr;
    HANDLE horizonEvent = nullptr;
    std::thread thread;
};

}  // namespace dmusic
