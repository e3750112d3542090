// uGetTempPath and uGetTempFileName: the user's temporary folder and fresh,
// reserved file names in a folder.
#include "sdk/velmora/velmora_utf8.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string TempFolder()
{
    const char* folder = std::getenv("TMPDIR");
    std::string result = (folder && *folder) ? folder : "/tmp";
    if (result.back() != '/') result += '/';
    return result;
}

// Where the search for a free number starts: different in every process
// and every call, so concurrent callers rarely meet.
uint32_t StartNumber()
{
    static std::atomic<uint32_t> calls{0};
    static const uint32_t seed = std::random_device{}() ^
                                 static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                                 (static_cast<uint32_t>(getpid()) << 16);
    uint32_t mixed = seed + 0x9E3779B9u * (calls.fetch_add(1) + 1);
    mixed ^= mixed >> 15;
    mixed *= 0x2C1B3C6Du;
    mixed ^= mixed >> 12;
    return mixed;
}

bool MakeName(const char* path, const char* prefix, uint32_t number, char* out)
{
    std::string name = path;
    if (name.back() != '/') name += '/';
    char digits[16];
    std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(number));
    name += prefix;
    name += digits;
    name += ".tmp";
    if (name.size() + 1 > VELMORA_UTF8_MAX_PATH) return false;
    std::memcpy(out, name.c_str(), name.size() + 1);
    return true;
}

}  // namespace

VELMORA_UTF8_API DWORD uGetTempPath(DWORD size, char* buffer)
{
    std::string folder = TempFolder();
    if (folder.size() + 1 > VELMORA_UTF8_MAX_PATH) return 0;
    DWORD length = static_cast<DWORD>(folder.size());
    if (!buffer || size < length + 1) return length + 1;
    std::memcpy(buffer, folder.c_str(), length + 1);
    return length;
}

VELMORA_UTF8_API UINT uGetTempFileName(const char* path, const char* prefix, UINT unique, char* out)
{
    if (!path || !*path || !out) return 0;
    if (!prefix) prefix = "";
    if (unique != 0) return MakeName(path, prefix, unique, out) ? unique : 0;

    // Creating the file exclusively is what reserves the name: a name that
    // another caller took in the meantime fails with EEXIST and the next
    // number is tried.
    uint32_t number = StartNumber();
    for (int attempt = 0; attempt < 100000; ++attempt, ++number) {
        if (number == 0) continue;  // 0 is the failure result
        if (!MakeName(path, prefix, number, out)) return 0;
        int descriptor = open(out, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (descriptor >= 0) {
            close(descriptor);
            return number;
        }
        if (errno != EEXIST && errno != EINTR) break;
    }
    out[0] = 0;
    return 0;
}

VELMORA_UTF8_API HANDLE uCreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                     const char* name)
{
    // The platform's narrow names are UTF-8 already.
    return CreateEventA(attributes, manualReset, initialState, name);
}
