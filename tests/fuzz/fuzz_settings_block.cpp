// Feeds arbitrary bytes to the settings block reader and to the UTF-8 to
// UTF-16 conversion; a saved block must always load back to itself.
#include "tessarine/frame/config.h"
#include "tessarine/frame/host_access.h"
#include "tessarine/frame/services.h"

#include <cstdlib>
#include <vector>

namespace {

class CCollectingWriter final : public CSettingsWriter {
public:
    void Write(const void* data, uint32_t size) override
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        block.insert(block.end(), bytes, bytes + size);
    }
    std::vector<uint8_t> block;
};

std::vector<uint8_t> Save()
{
    CCollectingWriter writer;
    GetComponentInterface()->SaveSettings(&writer);
    return writer.block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so reading past the block is caught.
    std::vector<uint8_t> input(data, data + size);
    GetComponentInterface()->LoadSettings(input.data(), uint32_t(input.size()));
    const std::vector<uint8_t> saved = Save();
    GetComponentInterface()->LoadSettings(saved.data(), uint32_t(saved.size()));
    if (Save() != saved) std::abort();

    std::vector<WCHAR> wide(size + 1);
    const uint32_t units = ConvertUtf8ToUtf16(reinterpret_cast<const char*>(input.data()), uint32_t(size), wide.data());
    if (units > size) std::abort();
    std::vector<char> back(3 * size_t(units) + 1);
    ConvertUtf16ToUtf8(wide.data(), units, back.data());
    return 0;
}
