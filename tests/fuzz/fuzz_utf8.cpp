// Feeds arbitrary bytes to the host library's case-insensitive comparison
// and to the component's UTF-8/UTF-16 conversions: the comparison must be a
// consistent order, and text converted to UTF-16 must come back as the
// bytes it was made from.
#include "sdk/velmora/velmora_utf8.h"
#include "tessarine/frame/host_access.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t half = size / 2;
    const std::string a = input.substr(0, half).c_str();
    const std::string b = input.substr(half).c_str();

    if (stricmp_utf8(a.c_str(), a.c_str()) != 0) std::abort();
    if (Sign(stricmp_utf8(a.c_str(), b.c_str())) != -Sign(stricmp_utf8(b.c_str(), a.c_str()))) std::abort();

    std::vector<WCHAR> wide(size + 1);
    const uint32_t units = ConvertUtf8ToUtf16(input.data(), uint32_t(size), wide.data());
    if (units > size) std::abort();
    std::vector<char> back(3 * size_t(units) + 1);
    const uint32_t bytes = ConvertUtf16ToUtf8(wide.data(), units, back.data());
    // What came back is the valid start of the input, byte for byte.
    if (bytes > size || std::memcmp(back.data(), input.data(), bytes) != 0) std::abort();
    return 0;
}
