// uCreateEvent, uGetTempPath and uGetTempFileName over the wide-character
// calls of Windows.
#include "sdk/velmora/velmora_utf8.h"
#include "host/utf8/win/wide.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Where the search for a free number starts: different in every process
// and every call, so concurrent callers rarely meet.
uint32_t StartNumber()
{
    static std::atomic<uint32_t> calls{0};
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    const uint32_t seed = static_cast<uint32_t>(counter.QuadPart) ^ static_cast<uint32_t>(counter.QuadPart >> 32) ^
                          (static_cast<uint32_t>(GetCurrentProcessId()) << 16);
    uint32_t mixed = seed + 0x9E3779B9u * (calls.fetch_add(1) + 1);
    mixed ^= mixed >> 15;
    mixed *= 0x2C1B3C6Du;
    mixed ^= mixed >> 12;
    return mixed;
}

bool MakeName(const char* path, const char* prefix, uint32_t number, char* out)
{
    std::string name = path;
    if (name.back() != '\\' && name.back() != '/') name += '\\';
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
    wchar_t wide[MAX_PATH + 2];
    const DWORD units = GetTempPathW(MAX_PATH + 2, wide);
    if (units == 0 || units > MAX_PATH + 1) return 0;
    const std::string folder = Narrow(wide, units);
    if (folder.size() + 1 > VELMORA_UTF8_MAX_PATH) return 0;
    const DWORD length = static_cast<DWORD>(folder.size());
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
    // another caller took in the meantime fails and the next number is tried.
    uint32_t number = StartNumber();
    for (int attempt = 0; attempt < 100000; ++attempt, ++number) {
        if (number == 0) continue;  // 0 is the failure result
        if (!MakeName(path, prefix, number, out)) return 0;
        const std::wstring name = Widen(out);
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return number;
        }
        const DWORD error = GetLastError();
        // A file that is being deleted refuses access while its name still exists.
        const bool taken =
            error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
            (error == ERROR_ACCESS_DENIED && GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES);
        if (!taken) break;
    }
    out[0] = 0;
    return 0;
}

VELMORA_UTF8_API HANDLE uCreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                     const char* name)
{
    if (!name) return CreateEventW(attributes, manualReset, initialState, nullptr);
    return CreateEventW(attributes, manualReset, initialState, Widen(name).c_str());
}
