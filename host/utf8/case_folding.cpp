// stricmp_utf8: compares UTF-8 texts under Unicode simple case folding.
#include "sdk/velmora/velmora_utf8.h"
#include "host/utf8/case_folding_table.h"

#include <algorithm>
#include <cstdint>

namespace {

// Decodes one well-formed UTF-8 sequence at text; returns its length, or 0
// when the bytes there are not one (overlong forms, surrogates and values
// beyond U+10FFFF included), so the caller can fall back to bytes.
int DecodeSequence(const unsigned char* text, uint32_t& codePoint)
{
    unsigned char lead = text[0];
    int length;
    uint32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        // A NUL here is not a continuation byte, so the loop never reads past it.
        if ((text[i] & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (text[i] & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

uint32_t Fold(uint32_t codePoint)
{
    if (codePoint < 0x80) return (codePoint >= 'A' && codePoint <= 'Z') ? codePoint + 32 : codePoint;
    const CCaseFolding* end = caseFoldingTable + sizeof(caseFoldingTable) / sizeof(caseFoldingTable[0]);
    const CCaseFolding* found = std::lower_bound(
        caseFoldingTable, end, codePoint, [](const CCaseFolding& entry, uint32_t value) { return entry.from < value; });
    return (found != end && found->from == codePoint) ? found->to : codePoint;
}

}  // namespace

VELMORA_UTF8_API int stricmp_utf8(const char* a, const char* b)
{
    const unsigned char* left = reinterpret_cast<const unsigned char*>(a ? a : "");
    const unsigned char* right = reinterpret_cast<const unsigned char*>(b ? b : "");
    for (;;) {
        if (*left == 0 || *right == 0) return (*left != 0) - (*right != 0);
        uint32_t leftPoint, rightPoint;
        int leftLength = DecodeSequence(left, leftPoint);
        int rightLength = DecodeSequence(right, rightPoint);
        if (leftLength == 0 || rightLength == 0) {
            // Bytes that are not UTF-8 have no case: they compare as bytes.
            if (*left != *right) return *left < *right ? -1 : 1;
            ++left;
            ++right;
            continue;
        }
        leftPoint = Fold(leftPoint);
        rightPoint = Fold(rightPoint);
        if (leftPoint != rightPoint) return leftPoint < rightPoint ? -1 : 1;
        left += leftLength;
        right += rightLength;
    }
}
