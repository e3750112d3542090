// UTF-8 texts as the wide-character calls take them, and back.
#pragma once

#include "host/utf8/wide_text.h"

#include <windows.h>

#include <string>

// wchar_t is UTF-16 on Windows.
inline std::wstring Widen(const char* text)
{
    if (!text) return std::wstring();
    std::u16string wide = Utf8ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}
inline std::wstring Widen(const std::string& text)
{
    std::u16string wide = Utf8ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}
inline std::string Narrow(const wchar_t* text, size_t length)
{
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}
inline std::string Narrow(const std::wstring& text) { return Narrow(text.data(), text.size()); }

// The system's own text for an error code, on one line.
inline std::string SystemErrorText(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length ? Narrow(text, length) : "error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message;
}

// The name the executable exports its dialog answers under: velmora_utf8.dll
// exports only the player's calls, so the host keeps the answers itself and
// the library asks the executable for them.
#define VELMORA_DIALOG_ANSWERS_EXPORT "velmora_dialog_answers"
