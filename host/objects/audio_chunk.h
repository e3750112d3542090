// An audio chunk: interleaved 64-bit floating-point samples, with rate,
// channel count and frame count.
#pragma once

#include "sdk/velmora/host_contract.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class CAudioChunk final : public CHostAudioChunk {
public:
    virtual ~CAudioChunk() = default;

    uint32_t GetSampleRate() override { return sampleRate; }
    double* GetBuffer() override { return samples.empty() ? nullptr : samples.data(); }
    uint32_t GetCapacity() override { return static_cast<uint32_t>(samples.size()); }
    // Grows or shrinks the buffer to the given samples; null, with the buffer
    // unchanged, when that passes the growth limit or memory runs out.
    double* SetCapacity(uint32_t count) override;
    uint32_t GetChannels() override { return channels; }
    void SetSampleRate(uint32_t rate) override { sampleRate = rate; }
    uint32_t GetSampleCount() override { return sampleCount; }
    void SetChannels(uint32_t count) override { channels = count; }
    void Reset() override;
    void SetSampleCount(uint32_t frames) override { sampleCount = frames; }

    // Most samples SetCapacity grants (tests of a chunk that cannot grow).
    void SetCapacityLimit(uint32_t limit) { capacityLimit = limit; }

private:
    std::vector<double> samples;
    uint32_t capacityLimit = UINT32_MAX;
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t sampleCount = 0;
};

// The chunk's samples as 16-bit PCM: scaled by 32768, rounded to nearest
// even and clamped; a sample that is not a number is silence.
void SamplesToPcm(const double* samples, size_t count, std::vector<int16_t>& pcm);
