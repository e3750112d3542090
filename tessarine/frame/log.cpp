// Diagnostic lines to the host console and the warning line for DirectX
// results that are not S_OK.
#include "tessarine/frame/log.h"

#include "tessarine/frame/config.h"
#include "tessarine/frame/host_access.h"
#include "tessarine/frame/result_names.h"

#include <cstdarg>
#include <cstdio>
#include <exception>

void LogLine(const char* format, ...)
{
    // Off costs this one comparison: nothing is formatted, the host is not called.
    if (configLog.value != 1) return;
    char buffer[512] = {};
    va_list values;
    va_start(values, format);
    // A longer line is cut at 511 characters.
    std::vsnprintf(buffer, sizeof buffer, format ? format : "", values);
    va_end(values);
    ConsoleOutput(1, buffer);
}

std::string CaughtExceptionText() noexcept
{
    try {
        try {
            throw;
        } catch (const _com_error& error) {
            return std::string("a DirectX call returned ") + GetResultName(error.Error());
        } catch (const std::exception& error) {
            return error.what();
        } catch (...) {
            return "an exception of unknown type";
        }
    } catch (...) {
        return {};  // no memory for the text
    }
}

void LogCaughtException(const char* operation) noexcept
{
    if (configLog.value != 1) return;
    LogLine("%.64s failed: %.400s", operation ? operation : "", CaughtExceptionText().c_str());
}

void ReportDirectXResult(HRESULT code, const char* label)
{
    if (code == S_OK) return;
    // Same gate as LogLine, checked first so an unlogged result costs no lookup.
    if (configLog.value != 1) return;
    LogLine("Warning: A DirectX call returned %.128s. Message: %.128s", GetResultName(code), label ? label : "");
}

const char* GetResultName(HRESULT code)
{
    const auto key = uint32_t(code);
    const CResultName* low = resultNames;
    const CResultName* high = resultNames + resultNameCount;
    while (low < high) {
        const CResultName* middle = low + (high - low) / 2;
        if (middle->code < key)
            low = middle + 1;
        else
            high = middle;
    }
    return low != resultNames + resultNameCount && low->code == key ? low->name : "Unknown";
}
