// Conversions between UTF-8 and UTF-16 for the wide-character calls.
#include "host/utf8/wide_text.h"

#include <cstdint>

namespace {

constexpr char16_t replacement = 0xFFFD;

// The length of the sequence that lead starts (1 for a byte that starts none).
size_t SequenceLength(unsigned char lead)
{
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    return 1;
}

// Decodes the sequence at text[at]; surrogates (ED A0..BF xx) are taken as
// themselves. Returns its length, 0 when the bytes there are not one.
size_t Decode(std::string_view text, size_t at, uint32_t& codePoint)
{
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    const size_t length = SequenceLength(lead);
    if (length == 1 || at + length > text.size()) return 0;
    codePoint = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    static const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < minimum[length] || codePoint > 0x10FFFF) return 0;
    return length;
}

void Append(std::string& out, uint32_t codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        uint32_t codePoint = 0;
        const size_t length = Decode(text, at, codePoint);
        if (length == 0) {
            out += replacement;
            ++at;
            continue;
        }
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
            out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
        } else {
            out += static_cast<char16_t>(codePoint);
        }
        at += length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        const uint32_t unit = text[at];
        if (IsHighSurrogate(unit) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
            Append(out, 0x10000 + ((unit - 0xD800) << 10) + (text[at + 1] - 0xDC00));
            ++at;
        } else {
            Append(out, unit);
        }
    }
    return out;
}

size_t Utf8PrefixLength(std::string_view text, size_t limit)
{
    if (text.size() <= limit) return text.size();
    size_t end = limit;
    // Back over continuation bytes to the start of the character that is cut.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return end;
}
