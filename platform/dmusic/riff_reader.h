// Bounded reading of file images: integers in both byte orders, MIDI
// variable-length numbers and RIFF chunks. Nothing here reads past the bytes
// it was given; a read that would fails and leaves the reader where it was.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace dmusic {

class CByteReader {
public:
    CByteReader() = default;
    CByteReader(const BYTE* data, size_t size) : data(data), size(size) {}

    size_t Position() const { return position; }
    size_t Size() const { return size; }
    size_t Remaining() const { return size - position; }
    bool AtEnd() const { return position >= size; }
    const BYTE* Current() const { return data + position; }
    const BYTE* Data() const { return data; }

    bool Skip(size_t count)
    {
        if (count > Remaining()) return false;
        position += count;
        return true;
    }
    // Moves to the end when fewer bytes remain.
    void SkipClamped(size_t count) { position += count > Remaining() ? Remaining() : count; }
    bool Seek(size_t offset)
    {
        if (offset > size) return false;
        position = offset;
        return true;
    }

    bool U8(BYTE& value)
    {
        if (Remaining() < 1) return false;
        value = data[position++];
        return true;
    }
    bool Peek(BYTE& value) const
    {
        if (Remaining() < 1) return false;
        value = data[position];
        return true;
    }
    bool Be16(uint16_t& value) { return Integer(2, false, value); }
    bool Be32(uint32_t& value) { return Integer(4, false, value); }
    bool Le16(uint16_t& value) { return Integer(2, true, value); }
    bool Le32(uint32_t& value) { return Integer(4, true, value); }
    bool Bytes(void* out, size_t count)
    {
        if (count > Remaining()) return false;
        if (count) std::memcpy(out, data + position, count);
        position += count;
        return true;
    }

    // A MIDI variable-length number of at most four bytes (28 bits).
    bool Vlq(uint32_t& value)
    {
        const size_t start = position;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            BYTE b;
            if (!U8(b)) break;
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        position = start;
        return false;
    }

    // A sub-reader over the next count bytes (fewer when the data ends first),
    // and the position moved past them.
    CByteReader Take(size_t count)
    {
        if (count > Remaining()) count = Remaining();
        CByteReader part(data + position, count);
        position += count;
        return part;
    }

private:
    template <typename T> bool Integer(int bytes, bool little, T& value)
    {
        if (Remaining() < size_t(bytes)) return false;
        uint32_t result = 0;
        for (int i = 0; i < bytes; ++i) {
            const uint32_t b = data[position + i];
            result |= little ? b << (8 * i) : b << (8 * (bytes - 1 - i));
        }
        position += bytes;
        value = T(result);
        return true;
    }

    const BYTE* data = nullptr;
    size_t size = 0;
    size_t position = 0;
};

inline constexpr DWORD FourCc(char a, char b, char c, char d)
{
    return DWORD(BYTE(a)) | (DWORD(BYTE(b)) << 8) | (DWORD(BYTE(c)) << 16) | (DWORD(BYTE(d)) << 24);
}

// One RIFF chunk: its identifier, its list type (for RIFF and LIST) and a
// reader over its data (after the list type). A chunk whose size overruns its
// container is cut at the container's end and marked truncated.
struct CRiffChunk {
    DWORD id = 0;
    DWORD listType = 0;
    bool truncated = false;
    CByteReader body;

    bool IsList(DWORD type) const
    {
        return (id == FourCc('L', 'I', 'S', 'T') || id == FourCc('R', 'I', 'F', 'F')) && listType == type;
    }
};

// Reads the next chunk of a RIFF body; false at the end or when not even a
// chunk header remains. Odd-sized chunks are followed by a pad byte.
bool NextRiffChunk(CByteReader& reader, CRiffChunk& chunk);

// UTF-16 text from a fixed or sized field of little-endian units, up to the first NUL.
std::u16string ReadUtf16(const BYTE* data, size_t bytes);
// Single-byte text (INFO, DISP, INAM) up to the first NUL, widened as Latin-1.
std::u16string ReadNarrowText(const BYTE* data, size_t bytes);

// The whole of a file, or false when it cannot be opened or read.
bool ReadWholeFile(const std::u16string& path, std::vector<BYTE>& bytes);
// A UTF-16 path as the platform's native (UTF-8) file name.
std::string NativePath(const std::u16string& path);

}  // namespace dmusic
