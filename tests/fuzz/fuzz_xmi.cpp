// Fuzz target: the XMI reader over arbitrary bytes. Whatever it accepts
// must be a consistent model (sorted, times and lengths in range).
#include <cstddef>
#include <cstdint>

#include "fuzz_music_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    dmusic::CSegmentModel model;
    if (SUCCEEDED(dmusic::ReadXmi(data, size, model))) CheckMusicModel(model);
    return 0;
}
