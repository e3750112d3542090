// Texts for the host's output: one line each, or JSON.
#include "host/cli/output_text.h"

#include <cstdio>

namespace {

// The length of the well-formed UTF-8 sequence at text[i] (shortest form,
// no surrogates, at most U+10FFFF), 0 when there is none.
size_t Utf8Length(const std::string& text, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80                ? 1
                          : c >= 0xC2 && c < 0xE0 ? 2
                          : c >= 0xE0 && c < 0xF0 ? 3
                          : c >= 0xF0 && c < 0xF5 ? 4
                                                  : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    const unsigned char next = static_cast<unsigned char>(text[i + 1 < text.size() ? i + 1 : i]);
    if ((c == 0xE0 && next < 0xA0) || (c == 0xED && next >= 0xA0) || (c == 0xF0 && next < 0x90) ||
        (c == 0xF4 && next >= 0x90))
        return 0;
    return length;
}

}  // namespace

// Text for a line of the text output: control characters escaped, so a
// name or value can never start a line of its own, and what is not UTF-8
// shown as U+FFFD.
std::string PrintableText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8Length(text, i);
        char escape[8];
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
            ++i;
        } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            // C1 controls, which terminals take as commands too.
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(text[i + 1]));
            out += escape;
            i += 2;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

// JSON text: control characters escaped; bytes that are not UTF-8 are
// taken as Latin-1, so the output is always valid.
std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++i;
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
            ++i;
        } else if (c < 0x80) {
            out += char(c);
            ++i;
        } else {
            size_t length = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
            bool valid = length > 0 && i + length <= text.size();
            for (size_t k = 1; valid && k < length; ++k)
                valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            if (valid) {
                out.append(text, i, length);
                i += length;
            } else {
                out += char(0xC0 | (c >> 6));
                out += char(0x80 | (c & 0x3F));
                ++i;
            }
        }
    }
    return out + "\"";
}
