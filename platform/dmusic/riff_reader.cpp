// RIFF chunk walking, text fields and whole-file reads for the DirectMusic
// loader and its file readers.
#include "platform/dmusic/riff_reader.h"

#include <platform/unicode.h>

#include <algorithm>
#include <cstdio>

namespace dmusic {

bool NextRiffChunk(CByteReader& reader, CRiffChunk& chunk)
{
    uint32_t id = 0, size = 0;
    const size_t start = reader.Position();
    if (!reader.Le32(id) || !reader.Le32(size)) {
        reader.Seek(start);
        return false;
    }
    chunk = CRiffChunk();
    chunk.id = id;
    chunk.truncated = size > reader.Remaining();
    CByteReader body = reader.Take(size);
    if (size & 1) reader.SkipClamped(1);
    if (id == FourCc('R', 'I', 'F', 'F') || id == FourCc('L', 'I', 'S', 'T')) {
        uint32_t type = 0;
        if (!body.Le32(type)) return true;  // an empty list: no type, no children
        chunk.listType = type;
        chunk.body = body.Take(body.Remaining());
    } else {
        chunk.body = body;
    }
    return true;
}

std::u16string ReadUtf16(const BYTE* data, size_t bytes)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        const char16_t unit = char16_t(data[i] | (data[i + 1] << 8));
        if (unit == 0) break;
        text.push_back(unit);
    }
    return text;
}

std::u16string ReadNarrowText(const BYTE* data, size_t bytes)
{
    std::u16string text;
    for (size_t i = 0; i < bytes && data[i] != 0; ++i) text.push_back(char16_t(data[i]));
    return text;
}

std::string NativePath(const std::u16string& path)
{
    std::string out = platform::Utf16ToUtf8(path, platform::ELoneSurrogate::Keep);
    // Windows separators name the same folders here.
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

bool ReadWholeFile(const std::u16string& path, std::vector<BYTE>& bytes)
{
    const std::string native = NativePath(path);
    if (native.empty()) return false;
    std::FILE* file = std::fopen(native.c_str(), "rb");
    if (!file) return false;
    bytes.clear();
    BYTE block[65536];
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(block, 1, sizeof block, file);
        bytes.insert(bytes.end(), block, block + got);
        if (got < sizeof block) {
            ok = !std::ferror(file);
            break;
        }
    }
    std::fclose(file);
    return ok;
}

}  // namespace dmusic
