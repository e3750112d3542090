// Fuzz target: the DLS collection reader over arbitrary bytes. An accepted
// collection keeps exactly its RIFF form, with a size that matches.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_music_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    dmusic::CCollectionData collection;
    if (SUCCEEDED(dmusic::ReadDlsCollection(data, size, collection))) {
        if (collection.bytes.size() < 12 || collection.bytes.size() > size) std::abort();
        const uint32_t riffSize = collection.bytes[4] | (collection.bytes[5] << 8) | (collection.bytes[6] << 16) |
                                  (uint32_t(collection.bytes[7]) << 24);
        if (riffSize + 8 != collection.bytes.size()) std::abort();
    }
    return 0;
}
