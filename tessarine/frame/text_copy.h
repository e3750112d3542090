// Owned heap copies of NUL-terminated text, for the frame's own records.
#pragma once

#include <cstring>
#include <new>

// A new[] copy of text, or null for null text or when memory runs out.
inline char* CopyText(const char* text)
{
    if (!text) return nullptr;
    const size_t size = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[size];
    if (copy) std::memcpy(copy, text, size);
    return copy;
}
