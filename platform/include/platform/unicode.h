// Conversions between the UTF-16 text of the Windows calls and the UTF-8 text
// of the file system, event names and dialog captions on this platform.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// What becomes of a surrogate without its partner: U+FFFD for text to show,
// or its own three-byte form for a name, so that names Windows tells apart
// stay apart.
enum class ELoneSurrogate { Replace, Keep };

// UTF-16 as UTF-8.
std::string Utf16ToUtf8(std::u16string_view text, ELoneSurrogate lone = ELoneSurrogate::Replace);

// Appends the UTF-16 form of UTF-8 text to out; each byte that does not
// belong to a well-formed sequence (overlong forms, surrogates, values past
// U+10FFFF, a sequence cut short) becomes U+FFFD. False when any did.
bool Utf8ToUtf16(std::string_view text, std::u16string& out);

}  // namespace platform
