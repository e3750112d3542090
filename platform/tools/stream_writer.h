// dmrender's stream writer: the frames the sink writes into the DirectSound
// buffer, in the order it writes them, go to the WAV file as they come; only
// those that hold the music are kept.
#pragma once

#include <sndfile.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <mutex>
#include <vector>

namespace dmrender {

// Writes the sink's stream to the WAV file as it comes: frames before the
// music's first are dropped, and nothing past its last is kept.
class CStreamWriter {
public:
    explicit CStreamWriter(SNDFILE* target) : file(target) {}

    void Append(const int16_t* samples, size_t frames)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (first < 0) {
            // Until the music's start is known; a fraction of a second.
            pending.insert(pending.end(), samples, samples + 2 * frames);
            pendingStart = pendingStart < 0 ? received : pendingStart;
            received += int64_t(frames);
            return;
        }
        WriteLocked(received, samples, frames);
        received += int64_t(frames);
    }
    // The stream frames that hold the music: [begin, end).
    void SetFirst(int64_t frame)
    {
        std::lock_guard<std::mutex> guard(lock);
        first = std::max<int64_t>(0, frame);
        if (!pending.empty()) WriteLocked(pendingStart, pending.data(), pending.size() / 2);
        pending.clear();
        pending.shrink_to_fit();
    }
    void SetLast(int64_t frame)
    {
        std::lock_guard<std::mutex> guard(lock);
        last = frame;
    }
    int64_t Received()
    {
        std::lock_guard<std::mutex> guard(lock);
        return received;
    }
    // Frames the file keeps, or -1 when it refused some.
    int64_t Finish()
    {
        std::lock_guard<std::mutex> guard(lock);
        if (first < 0) SetFirstUnlocked();
        // While the clock follows the sinks nothing waits for whoever tells
        // the end: what the sink wrote past it before it was told goes now.
        const int64_t wanted = std::max<int64_t>(0, last - first);
        if (!failed && last != INT64_MAX && written > wanted) {
            sf_count_t frames = wanted;
            if (sf_command(file, SFC_FILE_TRUNCATE, &frames, sizeof(frames)) != 0) failed = true;
            written = wanted;
        }
        return failed ? -1 : written;
    }

private:
    void SetFirstUnlocked() { first = received; }
    void WriteLocked(int64_t at, const int16_t* samples, size_t frames)
    {
        int64_t begin = std::max(at, first), end = std::min(at + int64_t(frames), last);
        if (end <= begin || failed) return;
        sf_count_t count = sf_count_t(end - begin);
        if (sf_writef_short(file, samples + 2 * (begin - at), count) != count) failed = true;
        written += end - begin;
    }

    std::mutex lock;
    SNDFILE* file;
    std::vector<int16_t> pending;
    int64_t pendingStart = -1, received = 0, first = -1, last = INT64_MAX, written = 0;
    bool failed = false;
};

}  // namespace dmrender
