// The host's audio chunk.
#include "host/objects/audio_chunk.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>
#include <stdexcept>

double* CAudioChunk::SetCapacity(uint32_t count)
{
    if (count > capacityLimit) return nullptr;
    try {
        samples.resize(count);
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
    return GetBuffer();
}

void CAudioChunk::Reset()
{
    sampleRate = 0;
    channels = 0;
    sampleCount = 0;
}

// Where doubles are computed as doubles, adding 1.5 * 2^52 leaves the
// rounded integer in the low mantissa bits (exact for the clamped range),
// with no call per sample; x87's wider registers would keep the fraction,
// so there nearbyint rounds.
void SamplesToPcm(const double* samples, size_t count, std::vector<int16_t>& pcm)
{
    pcm.resize(count);
    constexpr double shift = 6755399441055744.0;
    for (size_t i = 0; i < count; ++i) {
        const double scaled = samples[i] * 32768.0;
        const double clamped = scaled != scaled ? 0.0 : std::max(-32768.0, std::min(32767.0, scaled));
        if constexpr (FLT_EVAL_METHOD == 0)
            pcm[i] = int16_t(int32_t((clamped + shift) - shift));
        else
            pcm[i] = int16_t(std::nearbyint(clamped));
    }
}
