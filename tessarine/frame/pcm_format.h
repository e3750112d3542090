// The PCM the component produces: what the synthesizer renders into the
// capture buffer and the decoder hands to the host, 44100 Hz, 16-bit stereo.
#pragma once

#include "tessarine/frame/sdk.h"

#include <cstdint>

inline constexpr uint32_t pcmSampleRate = 44100;
inline constexpr uint16_t pcmChannels = 2;
inline constexpr uint16_t pcmBitsPerSample = 16;
// Bytes of one frame (a sample for each channel).
inline constexpr uint16_t pcmFrameBytes = pcmChannels * pcmBitsPerSample / 8;
// One second of audio: 176400 bytes.
inline constexpr uint32_t pcmBytesPerSecond = pcmSampleRate * pcmFrameBytes;

// The format as DirectSound takes it.
inline WAVEFORMATEX PcmFormat()
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = pcmChannels;
    format.nSamplesPerSec = pcmSampleRate;
    format.nAvgBytesPerSec = pcmBytesPerSecond;
    format.nBlockAlign = pcmFrameBytes;
    format.wBitsPerSample = pcmBitsPerSample;
    format.cbSize = 0;
    return format;
}
