// velmora_utf8: the host's library of UTF-8 versions of Windows calls.
// Every text is UTF-8 and NUL-terminated.
#pragma once

// Only Windows names: the real SDK on Windows, the platform's headers on Linux.
#include <windows.h>

#ifdef VELMORA_UTF8_BUILD
#ifdef _WIN32
#define VELMORA_UTF8_API extern "C" __declspec(dllexport)
#else
#define VELMORA_UTF8_API extern "C" __attribute__((visibility("default")))
#endif
#else
#ifdef _WIN32
#define VELMORA_UTF8_API extern "C" __declspec(dllimport)
#else
#define VELMORA_UTF8_API extern "C"
#endif
#endif

// Largest path, in bytes with its NUL, that the path calls write.
#define VELMORA_UTF8_MAX_PATH 4096

// CreateEvent with a UTF-8 name (null for none).
VELMORA_UTF8_API HANDLE uCreateEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                     const char* name);

// Writes the temporary folder, ending in a separator, into buffer (size
// bytes); returns its length, or the size needed when it does not fit, or 0.
VELMORA_UTF8_API DWORD uGetTempPath(DWORD size, char* buffer);

// Writes a fresh file name in folder path, made from prefix and a number,
// into out (VELMORA_UTF8_MAX_PATH bytes). With unique 0 the number is
// chosen and the file is created, empty, to reserve the name. Returns the
// number used, 0 on failure.
VELMORA_UTF8_API UINT uGetTempFileName(const char* path, const char* prefix, UINT unique, char* out);

// Compares two UTF-8 texts without regard to case (Unicode case folding):
// below 0, 0 or above 0.
VELMORA_UTF8_API int stricmp_utf8(const char* a, const char* b);
