// Metadata extraction: three byte-pattern scans over the host's file (meta
// events after 0x00 0xFF, DISP chunks, LIST chunks) rather than a walk of the
// file's structure, so bare SMF, RMID and segment files are read alike. A
// meta event counts only inside an event chunk (SMF "MTrk", XMI "EVNT"),
// itself found by a byte search: the wave data of an embedded DLS or a
// segment's binary chunks hold 0x00 0xFF pairs that are no tags.
#include "tessarine/decoder/metadata.h"

#include "tessarine/frame/little_endian.h"
#include "tessarine/frame/log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

namespace {

// A block never grows past this, so a search over a very large file reads
// more blocks instead of allocating a fortieth of the file at once.
constexpr uint64_t MAX_SEARCH_BLOCK = uint64_t(1) << 28;
// Values are read in pieces of this size, so memory follows the bytes that
// actually arrive, not the size a file claims.
constexpr uint32_t VALUE_PIECE = 1u << 20;
// The search for event chunk ids reads blocks of this size.
constexpr uint32_t CHUNK_SEARCH_BLOCK = 1u << 16;

struct CInfoName {
    char id[5];
    const char* field;
};

const CInfoName infoNames[] = {
    {"IARL", "archival"},   {"IART", "artist"},   {"ICMS", "commissioner"}, {"ICMT", "comment"},
    {"ICOP", "copyright"},  {"ICRD", "created"},  {"IENG", "engineer"},     {"IGNR", "genre"},
    {"IKEY", "keywords"},   {"IMED", "medium"},   {"INAM", "name"},         {"IPRD", "product"},
    {"ISBJ", "subject"},    {"ISFT", "software"}, {"ISRC", "source"},       {"ISRF", "source_form"},
    {"ITCH", "technician"},
};

const char* FindInfoField(const uint8_t id[4])
{
    for (const CInfoName& entry : infoNames)
        if (std::memcmp(entry.id, id, 4) == 0) return entry.field;
    return nullptr;
}

// The per-extraction counters; each is raised just before the field it names.
struct CFieldCounters {
    uint32_t text = 0;
    uint32_t track = 0;
    uint32_t instrument = 0;
    uint32_t misc = 0;
};

class CFileScanner {
public:
    CFileScanner(CHostFile* file, int64_t size) : file(file), size(size) {}

    // Bytes from the current position to the end of the file (or to end).
    uint64_t Remaining(int64_t end = INT64_MAX) const
    {
        const int64_t position = file->GetPosition();
        const int64_t last = std::min(end, size);
        return position < 0 || position >= last ? 0 : uint64_t(last - position);
    }
    bool MoveOn(int64_t count) { return file->SeekFrom(count, HOST_SEEK_CURRENT) != 0; }
    bool ReadExactly(void* buffer, uint32_t count) { return file->Read(buffer, count) == count; }
    bool ReadByte(uint8_t& value) { return ReadExactly(&value, 1); }
    bool ReadLe32(uint32_t& value)
    {
        uint8_t bytes[4];
        if (!ReadExactly(bytes, 4)) return false;
        value = LoadLittleEndian32(bytes);
        return true;
    }
    // Reads count bytes as NUL-terminated text (a NUL inside ends the text
    // there for whoever reads it); false when fewer arrive.
    bool ReadValue(uint64_t count, std::string& value)
    {
        value.clear();
        while (count > 0) {
            const uint32_t piece = uint32_t(std::min<uint64_t>(count, VALUE_PIECE));
            const size_t offset = value.size();
            value.resize(offset + piece);
            const uint32_t moved = file->Read(value.data() + offset, piece);
            if (moved != piece) return false;
            count -= piece;
        }
        return true;
    }

    CHostFile* file;
    int64_t size;
};

void FormatNumbered(char (&name)[32], const char* prefix, uint32_t& counter)
{
    ++counter;
    std::snprintf(name, sizeof name, "%s%02u", prefix, unsigned(counter));
}

// The field a meta-event type names, raising its counter; false for the
// types that give no field.
bool NameMetaEvent(uint8_t type, CFieldCounters& counters, char (&name)[32])
{
    switch (type) {
    case 1: FormatNumbered(name, "text", counters.text); return true;
    case 2: std::snprintf(name, sizeof name, "copyright"); return true;
    case 3: FormatNumbered(name, "track", counters.track); return true;
    case 4: FormatNumbered(name, "instrument", counters.instrument); return true;
    default:
        if (type >= 7 && type <= 15) {
            FormatNumbered(name, "misc", counters.misc);
            return true;
        }
        return false;
    }
}

// The bodies of the event chunks, met in file order as the meta-event scan
// moves on. A body is taken no further than the file holds; its size is
// big-endian in SMF and XMI alike. A body is counted from its size's last
// byte, which stands for the 0x00 of an event the body starts with (XMI has
// no delay before its first event).
class CEventChunks {
public:
    explicit CEventChunks(CFileScanner& scanner) : scanner(scanner) {}

    // The end of the body holding the marker at offset (offsets only grow
    // from call to call); 0 when none does, -1 when no body follows.
    int64_t EndOfBodyAt(int64_t offset)
    {
        while (offset + 2 > end)
            if (!FindNext()) return -1;
        return offset >= start ? end : 0;
    }

private:
    // The next "MTrk" or "EVNT" after the current body; the file's position
    // is kept.
    bool FindNext()
    {
        const int64_t position = scanner.file->GetPosition();
        std::unique_ptr<uint8_t[]> block(new uint8_t[CHUNK_SEARCH_BLOCK]);
        int64_t chunk = -1;
        for (int64_t at = end; chunk < 0 && at + 8 <= scanner.size; at += CHUNK_SEARCH_BLOCK - 7) {
            const uint32_t wanted = uint32_t(std::min<int64_t>(CHUNK_SEARCH_BLOCK, scanner.size - at));
            if (!scanner.file->Seek(at)) break;
            const uint32_t n = std::min(scanner.file->Read(block.get(), wanted), wanted);
            for (uint32_t i = 0; chunk < 0 && i + 8 <= n; ++i)
                if (std::memcmp(block.get() + i, "MTrk", 4) == 0 || std::memcmp(block.get() + i, "EVNT", 4) == 0)
                    chunk = at + i;
            if (n < wanted) break;
        }
        uint8_t sizeBytes[4] = {};
        const bool found = chunk >= 0 && scanner.file->Seek(chunk + 4) && scanner.ReadExactly(sizeBytes, 4);
        scanner.file->Seek(position);
        if (!found) return false;
        const uint32_t bodySize = uint32_t(sizeBytes[0]) << 24 | uint32_t(sizeBytes[1]) << 16 |
                                  uint32_t(sizeBytes[2]) << 8 | uint32_t(sizeBytes[3]);
        start = chunk + 7;
        end = std::min<int64_t>(chunk + 8 + int64_t(bodySize), scanner.size);
        return true;
    }

    CFileScanner& scanner;
    int64_t start = 0;
    int64_t end = 0;
};

void ScanMetaEvents(CHostFileInfo* info, CFileScanner& scanner, CFieldCounters& counters)
{
    static const uint8_t marker[2] = {0x00, 0xFF};
    std::string value;
    CEventChunks chunks(scanner);
    for (;;) {
        const int32_t distance = FindInFile(scanner.file, marker, 2);
        if (distance < 0) return;
        const int64_t bodyEnd = chunks.EndOfBodyAt(scanner.file->GetPosition() + distance);
        if (bodyEnd < 0) return;
        if (bodyEnd == 0) {
            // Between the event chunks: passed over.
            if (!scanner.MoveOn(int64_t(distance) + 2)) return;
            continue;
        }
        uint8_t type = 0;
        if (!scanner.MoveOn(int64_t(distance) + 2) || !scanner.ReadByte(type)) {
            LogLine("Error encountered in file at: %lld", static_cast<long long>(scanner.file->GetPosition()));
            return;
        }
        if (type == 0 || type == 5 || type == 6 || type >= 16) continue;
        char name[32];
        NameMetaEvent(type, counters, name);

        // A quantity longer than the file could ever hold saturates instead
        // of wrapping into a small, plausible length.
        uint64_t length = 0;
        uint8_t byte = 0;
        do {
            if (!scanner.ReadByte(byte)) return;
            length = length > (UINT64_MAX >> 7) ? UINT64_MAX : (length << 7) | (byte & 0x7F);
        } while (byte & 0x80);

        if (length > scanner.Remaining(bodyEnd)) continue;
        if (!scanner.ReadValue(length, value)) return;
        info->AddField(name, value.c_str());
    }
}

void ScanDisplayChunks(CHostFileInfo* info, CFileScanner& scanner, CFieldCounters& counters)
{
    static const char pattern[4] = {'D', 'I', 'S', 'P'};
    if (!scanner.file->Seek(0)) return;
    std::string value;
    for (;;) {
        const int32_t distance = FindInFile(scanner.file, pattern, 4);
        if (distance < 0) return;
        uint32_t size = 0;
        uint32_t type = 0;
        if (!scanner.MoveOn(int64_t(distance) + 4) || !scanner.ReadLe32(size) || !scanner.ReadLe32(type)) return;
        // The size counts the type just read: below 4 the chunk is malformed,
        // and what follows the type must hold the rest.
        if (size < 4 || size - 4 > scanner.Remaining()) continue;
        if (!scanner.ReadValue(size - 4, value)) return;
        if (type == 1) {
            char name[32];
            FormatNumbered(name, "misc", counters.misc);
            info->AddField(name, value.c_str());
        }
    }
}

// Walks one list's subchunks; the file stands just after the list's type.
void WalkList(CHostFileInfo* info, CFileScanner& scanner, uint32_t listSize)
{
    // The size counts the type; a list is walked no further than the file
    // holds, whatever it claims.
    uint64_t left = listSize < 4 ? 0 : std::min<uint64_t>(listSize - 4, scanner.Remaining());
    std::string value;
    while (left != 0) {
        uint8_t id[4];
        uint32_t size = 0;
        if (!scanner.ReadExactly(id, 4) || !scanner.ReadLe32(size)) return;
        if (size > scanner.Remaining()) return;
        // A subchunk that runs past the list's end is still read, and ends it.
        left -= std::min<uint64_t>(left, uint64_t(size) + 8);
        if (!scanner.ReadValue(size, value)) return;
        if (const char* field = FindInfoField(id)) info->AddField(field, value.c_str());
        uint8_t pad = 0;
        if (!scanner.ReadByte(pad)) return;
        if (pad == 0) {
            if (left != 0) --left;
        } else if (!scanner.MoveOn(-1)) {
            return;
        }
    }
}

void ScanListChunks(CHostFileInfo* info, CFileScanner& scanner)
{
    static const char pattern[4] = {'L', 'I', 'S', 'T'};
    if (!scanner.file->Seek(0)) return;
    for (;;) {
        const int32_t distance = FindInFile(scanner.file, pattern, 4);
        if (distance < 0) return;
        uint32_t size = 0;
        uint32_t type = 0;  // every LIST is walked, INFO or not
        if (!scanner.MoveOn(int64_t(distance) + 4) || !scanner.ReadLe32(size) || !scanner.ReadLe32(type)) return;
        WalkList(info, scanner, size);
    }
}

}  // namespace

int32_t FindInFile(CHostFile* file, const void* pattern, uint32_t length)
{
    if (!file) return -1;
    const int64_t size = file->GetSize();
    const int64_t start = file->GetPosition();
    if (!file->CanSeek() || size < 0 || start < 0 || start > size) {
        LogLine(
            "The reader has either entered a corrupted state or does not support a required feature for searching.");
        return -1;
    }
    if (!pattern || length == 0 || length > MAX_SEARCH_PATTERN_LENGTH) return -1;

    // About a fortieth of the rest of the file, in whole pattern lengths,
    // and never less than two: a block of one pattern length holds nothing
    // past the overlap kept from the block before, so the last forty
    // pattern lengths of any file (and all of a small one) went unsearched.
    uint64_t blockSize = uint64_t(std::ceil(double(size - start) / 40.0 / double(length)) * double(length));
    blockSize = std::max<uint64_t>(blockSize, uint64_t(length) * 2);
    blockSize = std::min<uint64_t>(blockSize, std::max<int64_t>(size - start, 1));  // no more than the file holds
    if (blockSize > MAX_SEARCH_BLOCK) blockSize = MAX_SEARCH_BLOCK / length * length;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[blockSize ? blockSize : 1]);
    if (!block) return -1;

    const auto* bytes = static_cast<const uint8_t*>(pattern);
    const uint32_t capacity = uint32_t(blockSize);
    int64_t found = 0;
    for (;;) {
        const uint32_t n = std::min(file->Read(block.get(), capacity), capacity);
        // A distance past 2^31 cannot be reported.
        if (n <= length || found > INT32_MAX) break;
        uint32_t from = 0;
        for (;;) {
            const void* hit = from < n ? std::memchr(block.get() + from, bytes[0], n - from) : nullptr;
            if (n < capacity) LogLine("Near end.");
            if (!hit) break;
            const uint32_t offset = uint32_t(static_cast<const uint8_t*>(hit) - block.get());
            if (uint64_t(offset) + length > n) break;
            if (std::memcmp(block.get() + offset, bytes, length) == 0) {
                file->Seek(start);
                return found + offset > INT32_MAX ? -1 : int32_t(found + offset);
            }
            from = offset + 1;
        }
        // Step back so that an occurrence across the block's end is seen
        // whole in the next block.
        if (!file->SeekFrom(-int64_t(length), HOST_SEEK_CURRENT)) break;
        found += n - length;
    }
    file->Seek(start);
    return -1;
}

bool ExtractMetadata(CHostFileInfo* info, CHostFile* file)
{
    if (!info || !file || file->IsStream() || !file->CanSeek()) return false;
    const int64_t size = file->GetSize();
    const int64_t position = file->GetPosition();
    if (size < 0 || position < 0) return false;
    try {
        CFileScanner scanner(file, size);
        CFieldCounters counters;
        // The meta-event scan starts at 0 like the others: a file that was
        // copied first stands at its end and would show no tags.
        if (file->Seek(0)) ScanMetaEvents(info, scanner, counters);
        ScanDisplayChunks(info, scanner, counters);
        ScanListChunks(info, scanner);
    } catch (const std::exception&) {
        // Running out of memory for a value ends the extraction; what was
        // added stays, and nothing is thrown at the host.
    }
    file->Seek(position);
    return true;
}
