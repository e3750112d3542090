// The synth sink against a recording buffer whose cursor runs with the
// platform clock: it writes ahead of the cursor, never skips, catches up in
// pieces shorter than the ring, follows a cursor that was moved, and maps
// reference time to frames the same way at any clock rate.
#include "platform/dmusic/sink.h"

#include <gtest/gtest.h>
#include <platform/clock.h>

#include <atomic>
#include <mutex>

#include "tests/platform/dmusic/synth_test_support.h"

using dmusic::CSynthesizer;
using dmusic::CSynthSink;
using dmusic::SynthOptions;

namespace {

class CClockRate {
public:
    explicit CClockRate(double rate) : previous(platform::GetClockRate()) { platform::SetClockRate(rate); }
    ~CClockRate() { platform::SetClockRate(previous); }

private:
    double previous;
};

// A looping buffer whose play cursor follows the platform clock; it keeps
// every locked region's bytes in the order they were unlocked.
class CRecordingBuffer : public IDirectSoundBuffer {
public:
    explicit CRecordingBuffer(DWORD bytes) : memory(bytes) {}

    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++references; }
    STDMETHOD_(ULONG, Release)() override { return --references; }
    STDMETHOD(GetCaps)(LPDSBCAPS caps) override
    {
        caps->dwBufferBytes = DWORD(memory.size());
        return S_OK;
    }
    STDMETHOD(GetCurrentPosition)(LPDWORD play, LPDWORD write) override
    {
        std::lock_guard<std::mutex> guard(lock);
        DWORD cursor = Cursor();
        if (play) *play = cursor;
        if (write) *write = (cursor + 4 * 441) % DWORD(memory.size());
        return S_OK;
    }
    STDMETHOD(GetFormat)(LPWAVEFORMATEX format, DWORD, LPDWORD written) override
    {
        *format = WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        if (written) *written = sizeof(WAVEFORMATEX);
        return S_OK;
    }
    STDMETHOD(GetVolume)(LPLONG) override { return E_NOTIMPL; }
    STDMETHOD(GetPan)(LPLONG) override { return E_NOTIMPL; }
    STDMETHOD(GetFrequency)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetStatus)(LPDWORD status) override
    {
        if (holdUp100ns > 0) {
            // The sink's thread is kept from running, as by a busy machine.
            int64_t span = holdUp100ns;
            holdUp100ns = 0;
            platform::SleepUntil100ns(platform::ClockNow100ns() + span);
        }
        std::lock_guard<std::mutex> guard(lock);
        *status = playing ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
        return S_OK;
    }
    STDMETHOD(Initialize)(LPDIRECTSOUND, LPCDSBUFFERDESC) override { return S_OK; }
    STDMETHOD(Lock)(DWORD offset, DWORD bytes, LPVOID* first, LPDWORD firstBytes, LPVOID* second, LPDWORD secondBytes,
                    DWORD) override
    {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_LT(bytes, memory.size()) << "a lock as large as the ring";
        EXPECT_EQ(offset % 4, 0u);
        if (locks > 0 && offset != expectedOffset) ++discontinuities;
        lockOffsets.push_back(offset);
        DWORD size = DWORD(memory.size());
        DWORD head = std::min(bytes, size - offset);
        *first = memory.data() + offset;
        *firstBytes = head;
        *second = bytes > head ? memory.data() : nullptr;
        *secondBytes = bytes - head;
        expectedOffset = (offset + bytes) % size;
        ++locks;
        return S_OK;
    }
    STDMETHOD(Play)(DWORD, DWORD, DWORD) override
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!playing) start = platform::ClockNow100ns() - int64_t(position) * 10000000 / 176400;
        playing = true;
        return S_OK;
    }
    STDMETHOD(SetCurrentPosition)(DWORD offset) override
    {
        std::lock_guard<std::mutex> guard(lock);
        position = offset / 4 * 4;
        start = platform::ClockNow100ns() - int64_t(position) * 10000000 / 176400;
        return S_OK;
    }
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX) override { return E_NOTIMPL; }
    STDMETHOD(SetVolume)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(SetPan)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(SetFrequency)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Stop)() override
    {
        std::lock_guard<std::mutex> guard(lock);
        position = Cursor();
        playing = false;
        return S_OK;
    }
    STDMETHOD(Unlock)(LPVOID first, DWORD firstBytes, LPVOID second, DWORD secondBytes) override
    {
        std::lock_guard<std::mutex> guard(lock);
        auto append = [&](LPVOID at, DWORD bytes) {
            auto* samples = static_cast<int16_t*>(at);
            stream.insert(stream.end(), samples, samples + bytes / 2);
        };
        if (first) append(first, firstBytes);
        if (second) append(second, secondBytes);
        return S_OK;
    }
    STDMETHOD(Restore)() override { return S_OK; }

    // Bytes played since Play, as an absolute count.
    int64_t PlayedBytes()
    {
        std::lock_guard<std::mutex> guard(lock);
        return (platform::ClockNow100ns() - start) * 176400 / 10000000 / 4 * 4;
    }

    std::mutex lock;
    std::vector<uint8_t> memory;
    std::vector<int16_t> stream;
    std::vector<DWORD> lockOffsets;
    int locks = 0, discontinuities = 0;
    std::atomic<int64_t> holdUp100ns{0};
    ULONG references = 1;

private:
    DWORD Cursor() const
    {
        if (!playing) return position;
        int64_t bytes = (platform::ClockNow100ns() - start) * 176400 / 10000000 / 4 * 4;
        return DWORD(bytes % int64_t(memory.size()));
    }

    bool playing = false;
    DWORD position = 0;
    int64_t start = 0;
    DWORD expectedOffset = 0;
};

std::unique_ptr<CSynthesizer> SineSynth()
{
    SynthOptions options;
    options.reverb = options.chorus = false;
    auto synth = std::make_unique<CSynthesizer>(options);
    auto dls = synth_test::BuildSineDls(0, 0, false);
    std::string error;
    EXPECT_GE(synth->LoadCollection(dls.data(), dls.size(), &error), 0) << error;
    return synth;
}

// The largest gap between successive rising zero crossings, in frames.
double LargestPeriod(const std::vector<int16_t>& stereo, size_t begin)
{
    double largest = 0, previous = -1;
    for (size_t i = begin; 2 * i + 2 < stereo.size(); ++i) {
        if (stereo[2 * i] < 0 && stereo[2 * i + 2] >= 0) {
            if (previous >= 0) largest = std::max(largest, double(i) - previous);
            previous = double(i);
        }
    }
    return largest;
}

}  // namespace

TEST(SynthSink, KeepsTheWriteAheadAndWritesContiguously)
{
    CClockRate rate(4);
    auto synth = SineSynth();
    CSynthSink sink(synth.get());
    CRecordingBuffer buffer(176400);
    ASSERT_EQ(sink.Start(&buffer), S_OK);
    EXPECT_EQ(buffer.references, 2u);
    platform::SleepUntil100ns(platform::ClockNow100ns() + 20000000);
    sink.Stop();
    EXPECT_EQ(buffer.references, 1u);
    int64_t played = buffer.PlayedBytes();
    std::lock_guard<std::mutex> guard(buffer.lock);
    EXPECT_EQ(buffer.discontinuities, 0);
    int64_t written = int64_t(buffer.stream.size()) * 2;
    // Written up to about 55 ms past the cursor: never behind, never far ahead.
    EXPECT_GE(written, played - 176400 / 100);
    EXPECT_LE(written, played + 176400 * 80 / 1000);
}

TEST(SynthSink, CatchesUpWithoutSkippingAfterAHoldUp)
{
    CClockRate rate(20);
    auto synth = SineSynth();
    synth->QueueMessage(0, 1, 0x90 | (69 << 8) | (100 << 16));
    CSynthSink sink(synth.get());
    CRecordingBuffer buffer(176400);
    ASSERT_EQ(sink.Start(&buffer), S_OK);
    platform::SleepUntil100ns(platform::ClockNow100ns() + 3000000);
    // Held up for 2.5 s of platform time, well past a whole ring.
    buffer.holdUp100ns = 25000000;
    platform::SleepUntil100ns(platform::ClockNow100ns() + 30000000);
    sink.Stop();
    int64_t played = buffer.PlayedBytes();
    std::lock_guard<std::mutex> guard(buffer.lock);
    EXPECT_EQ(buffer.discontinuities, 0);
    EXPECT_EQ(sink.GetStatistics().repositions, 0u);
    EXPECT_LT(sink.GetStatistics().largestLock, 176400u);
    int64_t written = int64_t(buffer.stream.size()) * 2;
    EXPECT_GE(written, played - 176400 / 50);
    // The stream is one unbroken sine: no piece was skipped or repeated.
    EXPECT_LT(LargestPeriod(buffer.stream, 2000), 101.5);
}

TEST(SynthSink, FollowsACursorThatWasMoved)
{
    CClockRate rate(4);
    auto synth = SineSynth();
    CSynthSink sink(synth.get());
    CRecordingBuffer buffer(176400);
    ASSERT_EQ(sink.Start(&buffer), S_OK);
    platform::SleepUntil100ns(platform::ClockNow100ns() + 5000000);
    buffer.SetCurrentPosition(150000);  // far from the cursor at about 88200
    platform::SleepUntil100ns(platform::ClockNow100ns() + 5000000);
    sink.Stop();
    std::lock_guard<std::mutex> guard(buffer.lock);
    EXPECT_EQ(buffer.discontinuities, 1);
    EXPECT_EQ(sink.GetStatistics().repositions, 1u);
    auto moved = std::find_if(buffer.lockOffsets.begin(), buffer.lockOffsets.end(),
                              [](DWORD offset) { return offset >= 150000 && offset < 150000 + 176400 / 50; });
    EXPECT_NE(moved, buffer.lockOffsets.end());
}

TEST(SynthSink, ReferenceTimeMapsToTheSameFramesAtAnyRate)
{
    for (double clockRate : {1.0, 8.0}) {
        CClockRate rate(clockRate);
        auto synth = SineSynth();
        CSynthSink sink(synth.get());
        CRecordingBuffer buffer(176400);
        ASSERT_EQ(sink.Start(&buffer), S_OK);
        int64_t start = sink.TimeAtFrame(synth->RenderedFrames());
        EXPECT_EQ(sink.FrameAt(start + 10000000) - sink.FrameAt(start), 44100);
        EXPECT_EQ(sink.FrameAt(sink.TimeAtFrame(123457)), 123457);
        // A note 300 ms after the frame the sink writes next lands there.
        int64_t at = sink.LatencyTime() + 3000000;
        int64_t frame = sink.FrameAt(at);
        int64_t streamStart = synth->RenderedFrames() - int64_t(buffer.stream.size()) / 2;
        synth->QueueMessage(frame, 1, 0x90 | (69 << 8) | (100 << 16));
        platform::SleepUntil100ns(at + 3000000);
        sink.Stop();
        std::lock_guard<std::mutex> guard(buffer.lock);
        long onset = synth_test::FindToneOnset(buffer.stream, 0);
        // Within a block of FluidSynth's (1.5 ms), the sine's first rise included.
        EXPECT_NEAR(onset, frame - streamStart, 64) << "at clock rate " << clockRate;
    }
}
