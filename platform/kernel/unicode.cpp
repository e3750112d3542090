// UTF-8 and UTF-16 conversions shared by the platform's calls: see unicode.h.
#include <platform/unicode.h>

#include <cstdint>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool IsHigh(char32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLow(char32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text, ELoneSurrogate lone)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (IsHigh(code) && i + 1 < text.size() && IsLow(text[i + 1])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if ((IsHigh(code) || IsLow(code)) && lone == ELoneSurrogate::Replace) {
            code = kReplacement;
        }
        AppendUtf8(out, code);
    }
    return out;
}

bool Utf8ToUtf16(std::string_view text, std::u16string& out)
{
    static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    bool wellFormed = true;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80             ? 0
                          : (lead & 0xE0) == 0xC0 ? 1
                          : (lead & 0xF0) == 0xE0 ? 2
                          : (lead & 0xF8) == 0xF0 ? 3
                                                  : -1;
        char32_t code = extra <= 0 ? lead : lead & (0x3Fu >> extra);
        int taken = 0;
        while (taken < extra && i + 1 + size_t(taken) < text.size() &&
               (static_cast<unsigned char>(text[i + 1 + size_t(taken)]) & 0xC0) == 0x80) {
            code = code << 6 | (static_cast<unsigned char>(text[i + 1 + size_t(taken)]) & 0x3F);
            ++taken;
        }
        if (extra < 0 || taken < extra || code < least[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
            // One replacement for the lead byte; what follows is read afresh.
            out.push_back(char16_t(kReplacement));
            wellFormed = false;
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out.push_back(char16_t(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(char16_t(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out.push_back(char16_t(code));
        }
        i += size_t(extra) + 1;
    }
    return wellFormed;
}

}  // namespace platform
