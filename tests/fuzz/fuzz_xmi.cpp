// Fuzz target: the XMI to MIDI conversion over arbitrary bytes. Whatever it
// accepts must be a MIDI file the platform reads into a consistent model
// (sorted, times and lengths in range), and no more than a few times the
// size of what it came from.
#include <cstddef>
#include <cstdint>

#include "fuzz_music_check.h"
#include "tessarine/decoder/xmi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> smf;
    std::string error;
    if (!ConvertXmiToSmf(data, size, smf, error)) {
        if (!smf.empty() || error.empty()) std::abort();
        return 0;
    }
    // A note of four bytes becomes an on and an off of at most seven each.
    if (smf.size() > 64 + 4 * size) std::abort();
    dmusic::CSegmentModel model;
    if (FAILED(dmusic::ReadStandardMidi(smf.data(), smf.size(), model))) std::abort();
    CheckMusicModel(model);
    return 0;
}
