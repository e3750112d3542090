// The host's audio chunk.
#include "host/objects/audio_chunk.h"

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
