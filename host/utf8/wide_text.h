// UTF-8 and UTF-16 texts, converted both ways as Windows' wide-character
// calls need them. A lone surrogate keeps its own three-byte form, so two
// names Windows tells apart stay apart after a round trip; other bytes that
// are not UTF-8 become U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// The longest start of text, in bytes, that fits in limit bytes without
// cutting a character in two.
size_t Utf8PrefixLength(std::string_view text, size_t limit);
