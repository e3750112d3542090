// Diagnostic lines to the host console, gated by "MIDILog", and the naming
// of DirectX result codes.
#pragma once

#include "tessarine/frame/sdk.h"

#include <string>

// Formats at most 511 characters and sends them with severity 1, only while
// "MIDILog" is exactly 1. Safe on any thread.
void LogLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Logs "OPERATION failed: TEXT" for the exception being handled, whatever
// its type. Call only inside a catch block; never throws.
void LogCaughtException(const char* operation) noexcept;

// TEXT of the exception being handled: a DirectX result's name, what() of a
// standard exception, or that its type is unknown. Only inside a catch block.
std::string CaughtExceptionText() noexcept;

// Logs "Warning: A DirectX call returned NAME. Message: LABEL" for every code
// but S_OK. label may be null.
void ReportDirectXResult(HRESULT code, const char* label);

// The SDK name of a result code (raw Win32 codes too), or "Unknown". Never null.
const char* GetResultName(HRESULT code);
