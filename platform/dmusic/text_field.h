// The fixed UTF-16 text fields of DirectMusic's structures (names, file names,
// descriptions): filling one, cut to fit, and reading one back.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace dmusic {

// Copies text into a field of count units, cut to fit, always NUL-terminated.
inline void CopyToField(WCHAR* field, size_t count, std::u16string_view text)
{
    if (count == 0) return;
    const size_t n = std::min(text.size(), count - 1);
    std::copy(text.begin(), text.begin() + std::ptrdiff_t(n), field);
    field[n] = 0;
}

// Reads a field of count units into text: up to its NUL, or all of it when
// it holds none (then false: the field was not terminated).
inline bool FieldText(const WCHAR* field, size_t count, std::u16string& text)
{
    const WCHAR* end = std::find(field, field + count, 0);
    text.assign(field, end);
    return end != field + count;
}

}  // namespace dmusic
