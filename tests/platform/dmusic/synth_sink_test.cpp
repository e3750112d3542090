// The synth sink against a recording buffer whose cursor runs with the
// platform clock: it writes ahead of the cursor, never skips, catches up in
// pieces shorter than the ring, follows a cursor that was moved, and maps
// reference time to frames the same way at any clock rate.
#include "platform/dmusic/sink.h"

#include <gtest/gtest.h>
#include <platform/clock.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "tests/platform/dmusic/synth_test_buffer.h"
#include "tests/platform/dmusic/synth_test_support.h"

using synth_test::CClockRate;
using synth_test::CRecordingBuffer;

using dmusic::CSynthesizer;
using dmusic::CSynthOptions;
using dmusic::CSynthSink;

namespace {

std::unique_ptr<CSynthesizer> SineSynth()
{
    CSynthOptions options;
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
    // Written ahead of the cursor (at rate 4, 120 ms: 30 ms of real time):
    // never behind, never far ahead.
    EXPECT_GE(written, played - 176400 / 100);
    EXPECT_LE(written, played + 176400 * 150 / 1000);
}

TEST(SynthSink, CatchesUpWithoutSkippingAfterAHoldUp)
{
    // A ring is 250 ms here: at rate 20 (50 ms) a busy machine alone could
    // hold the sink up past a ring, besides the hold-up the test makes.
    CClockRate rate(4);
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
    // The sink's statistics first: the sink takes the buffer's lock under
    // its own, never the other way round.
    const auto statistics = sink.GetStatistics();
    std::lock_guard<std::mutex> guard(buffer.lock);
    EXPECT_EQ(buffer.discontinuities, 0);
    EXPECT_EQ(statistics.repositions, 0u);
    EXPECT_LT(statistics.largestLock, 176400u);
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
    EXPECT_EQ(sink.GetStatistics().repositions, 1u);
    std::lock_guard<std::mutex> guard(buffer.lock);
    EXPECT_EQ(buffer.discontinuities, 1);
    // The writing went on from the cursor as the sink found it: past the
    // set position by no more than the cursor moves in 250 ms (a sink pass
    // late by that much on a loaded machine), far from the old place.
    ASSERT_EQ(buffer.jumps.size(), 1u);
    EXPECT_LT((buffer.jumps[0] + 176400 - 150000) % 176400, 176400u / 4) << buffer.jumps[0];
}

TEST(SynthSink, ReferenceTimeMapsToTheSameFramesInRealTimeAndFast)
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
        int64_t streamStart = 0;
        {
            std::lock_guard<std::mutex> guard(buffer.lock);
            streamStart = synth->RenderedFrames() - int64_t(buffer.stream.size()) / 2;
        }
        synth->QueueMessage(frame, 1, 0x90 | (69 << 8) | (100 << 16));
        platform::SleepUntil100ns(at + 3000000);
        sink.Stop();
        std::lock_guard<std::mutex> guard(buffer.lock);
        long onset = synth_test::FindToneOnset(buffer.stream, 0);
        // Within a block of FluidSynth's (1.5 ms), the sine's first rise included.
        EXPECT_NEAR(onset, frame - streamStart, dmusic::kSynthBlockFrames) << "at clock rate " << clockRate;
    }
}

TEST(SynthSink, RendersNothingPastTheSequencerHorizon)
{
    struct Row {
        const char* what;
        bool follow;
        double rate;
        int64_t horizonMs;  // from the sink's start; held at once when negative
        int64_t slack;      // frames it may stop short of the horizon
    };
    // Following the sinks, pieces end on the clock's 10 ms steps (441 frames).
    const Row rows[] = {
        {"fixed rate", false, 20, 400, dmusic::kSynthBlockFrames},
        {"following the sinks", true, 1, 2000, 441 + dmusic::kSynthBlockFrames / 2},
        {"held where it stands", false, 20, -1, dmusic::kSynthBlockFrames},
    };
    for (const Row& row : rows) {
        CClockRate rate(row.rate);
        if (row.follow) platform::SetClockFollowsSinks(true);
        auto synth = SineSynth();
        CSynthSink sink(synth.get());
        CRecordingBuffer buffer(176400);
        const int64_t start = platform::ClockNow100ns();
        if (row.horizonMs >= 0) sink.SetHorizon(start + row.horizonMs * 10000);
        ASSERT_EQ(sink.Start(&buffer), S_OK) << row.what;
        if (row.horizonMs < 0) sink.HoldHorizon();
        const int64_t horizon = sink.Horizon();
        const int64_t limit = sink.FrameAt(horizon);
        // Long enough, in real time, for the sink to have passed the horizon.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const int64_t rendered = synth->RenderedFrames();
        const uint64_t held = sink.GetStatistics().heldAtHorizon;
        // Moving the horizon lets it go on.
        sink.SetHorizon(horizon + 3000000);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        const int64_t after = synth->RenderedFrames();
        sink.Stop();
        EXPECT_LE(rendered, limit) << row.what;
        EXPECT_GE(rendered, limit - row.slack) << row.what;
        if (row.follow) {
            EXPECT_EQ(rendered % 441, 0) << row.what;
        }
        EXPECT_GT(held, 0u) << row.what;
        EXPECT_GT(after, limit) << row.what;
    }
}
