// The XMI to Standard MIDI conversion: the IFF walk to the first sequence's
// EVNT chunk, and its events (interval bytes for delays, notes that carry
// their duration, channel events without running status, sysex and meta
// events) written out as one MIDI track with a note-off for every note.
#include "tessarine/decoder/xmi_file.h"

#include "midi/midi_status.h"

#include <algorithm>
#include <cstring>
#include <queue>

namespace {

// XMI ticks 120 times a second; 60 ticks a quarter at 120 a minute keeps
// every tick a MIDI tick.
constexpr uint16_t smfTicksPerQuarter = 60;
constexpr uint8_t tempoAt120[3] = {0x07, 0xA1, 0x20};  // 500000 microseconds a quarter
// Past this a tick no longer fits DirectMusic's music time (768 a quarter):
// a song may not run longer, and a note that would is cut here.
constexpr int64_t maxTicks = 0x3FFFFFFF / 13;

constexpr uint32_t Id(const char (&text)[5])
{
    return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16) | (uint32_t(uint8_t(text[2])) << 8) |
           uint32_t(uint8_t(text[3]));
}

// Reads from a span of bytes; a read that would pass its end fails.
class CSpanReader {
public:
    CSpanReader(const uint8_t* data, size_t size) : data(data), size(size) {}

    bool AtEnd() const { return position >= size; }
    size_t Remaining() const { return size - position; }
    const uint8_t* Current() const { return data + position; }
    bool Peek(uint8_t& value) const
    {
        if (AtEnd()) return false;
        value = data[position];
        return true;
    }
    bool U8(uint8_t& value)
    {
        if (!Peek(value)) return false;
        ++position;
        return true;
    }
    bool Be32(uint32_t& value)
    {
        if (Remaining() < 4) return false;
        value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | data[position++];
        return true;
    }
    // A MIDI variable-length number of at most four bytes.
    bool Vlq(uint32_t& value)
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b = 0;
            if (!U8(b)) return false;
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    bool Skip(size_t count)
    {
        if (count > Remaining()) return false;
        position += count;
        return true;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

// One IFF chunk (big-endian size, padded to even); FORM and CAT bodies begin
// with their type, which is taken off.
struct CIffChunk {
    uint32_t id = 0;
    uint32_t type = 0;
    const uint8_t* body = nullptr;
    size_t size = 0;
};

enum class EChunkRead { Read, End, Truncated };

EChunkRead NextChunk(CSpanReader& reader, CIffChunk& chunk)
{
    // Less than a header left is the pad of the last chunk, or slack.
    if (reader.Remaining() < 8) return EChunkRead::End;
    uint32_t size = 0;
    reader.Be32(chunk.id);
    reader.Be32(size);
    if (size > reader.Remaining()) return EChunkRead::Truncated;
    chunk.body = reader.Current();
    chunk.size = size;
    reader.Skip(size);
    if (size & 1) reader.Skip(1);  // the pad byte may be missing at the very end
    chunk.type = 0;
    if (chunk.id == Id("FORM") || chunk.id == Id("CAT ") || chunk.id == Id("LIST")) {
        if (size < 4) return EChunkRead::Truncated;
        chunk.type = (uint32_t(chunk.body[0]) << 24) | (uint32_t(chunk.body[1]) << 16) |
                     (uint32_t(chunk.body[2]) << 8) | chunk.body[3];
        chunk.body += 4;
        chunk.size -= 4;
    }
    return EChunkRead::Read;
}

class CSmfWriter {
public:
    CSmfWriter()
    {
        const uint8_t header[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, smfTicksPerQuarter,
                                  'M', 'T', 'r', 'k', 0, 0, 0, 0};
        bytes.assign(header, header + sizeof header);
        Meta(0, midi::kMetaTempo, tempoAt120, sizeof tempoAt120);
    }

    void Event(int64_t tick, const uint8_t* message, size_t count)
    {
        Delta(tick);
        bytes.insert(bytes.end(), message, message + count);
    }
    void Meta(int64_t tick, uint8_t type, const uint8_t* body, size_t count)
    {
        Delta(tick);
        bytes.push_back(midi::kMeta);
        bytes.push_back(type);
        Vlq(uint32_t(count));
        bytes.insert(bytes.end(), body, body + count);
    }
    // status is 0xF0 or 0xF7; body is what follows the length.
    void Sysex(int64_t tick, uint8_t status, const uint8_t* body, size_t count)
    {
        Delta(tick);
        bytes.push_back(status);
        Vlq(uint32_t(count));
        bytes.insert(bytes.end(), body, body + count);
    }
    std::vector<uint8_t> Finish(int64_t endTick)
    {
        Meta(endTick, midi::kMetaEndOfTrack, nullptr, 0);
        const size_t trackBytes = bytes.size() - 22;
        for (int i = 0; i < 4; ++i) bytes[18 + i] = uint8_t(trackBytes >> (8 * (3 - i)));
        // An empty chunk of no meaning ends the file, which MIDI readers
        // pass over. A reader that looks for one more track after the last
        // then finds it, where some DirectMusics' memory streams (Wine's)
        // would fail the read past the end and with it the whole load.
        const uint8_t trailer[] = {'X', 'M', 'I', 'e', 0, 0, 0, 0};
        bytes.insert(bytes.end(), trailer, trailer + sizeof trailer);
        return std::move(bytes);
    }

private:
    void Delta(int64_t tick)
    {
        Vlq(uint32_t(tick - now));
        now = tick;
    }
    void Vlq(uint32_t value)
    {
        uint8_t groups[5];
        int count = 0;
        do {
            groups[count++] = uint8_t(value & 0x7F);
            value >>= 7;
        } while (value);
        while (count > 1) bytes.push_back(uint8_t(groups[--count] | 0x80));
        bytes.push_back(groups[0]);
    }

    std::vector<uint8_t> bytes;
    int64_t now = 0;
};

// A note-off still to be written: when, and in which order among those due
// at one tick (the order the notes began).
struct CPendingOff {
    int64_t tick;
    uint64_t sequence;
    uint8_t status;
    uint8_t key;
    bool operator>(const CPendingOff& other) const
    {
        return tick != other.tick ? tick > other.tick : sequence > other.sequence;
    }
};

class CEventConverter {
public:
    bool Convert(const uint8_t* data, size_t size, std::vector<uint8_t>& smf, std::string& error);

private:
    // Writes the note-offs due at or before tick, so that a note ending
    // where another begins is off first.
    void WriteOffsUntil(int64_t tick)
    {
        while (!pending.empty() && pending.top().tick <= tick) {
            const CPendingOff off = pending.top();
            pending.pop();
            const uint8_t message[3] = {off.status, off.key, 0x40};
            out.Event(off.tick, message, sizeof message);
        }
    }

    CSmfWriter out;
    std::priority_queue<CPendingOff, std::vector<CPendingOff>, std::greater<CPendingOff>> pending;
    uint64_t notes = 0;
};

bool CEventConverter::Convert(const uint8_t* data, size_t size, std::vector<uint8_t>& smf, std::string& error)
{
    CSpanReader r(data, size);
    int64_t tick = 0, lastOff = 0;
    const auto cut = [&](const char* what) {
        error = std::string("the event data is cut short in ") + what;
        return false;
    };
    while (!r.AtEnd()) {
        uint8_t status = 0;
        r.U8(status);
        if (!(status & 0x80)) {
            // An interval: the bytes below 0x80 add up to the delay.
            tick += status;
            if (tick > maxTicks) {
                error = "the song is longer than DirectMusic can play";
                return false;
            }
            continue;
        }
        WriteOffsUntil(tick);
        if (midi::IsChannelStatus(status)) {
            const uint8_t type = midi::KindOf(status);
            const int count = midi::DataBytesOf(status);
            uint8_t message[3] = {status, 0, 0};
            for (int i = 1; i <= count; ++i)
                if (!r.U8(message[i])) return cut("a channel event");
            message[1] &= 0x7F;
            message[2] &= 0x7F;
            if (type == midi::kNoteOn) {
                uint32_t duration = 0;
                if (!r.Vlq(duration)) return cut("a note's duration");
                // A velocity of 0 would be a note-off in a MIDI file; XMI has
                // no use for it, nor for note-offs of its own.
                if (message[2] == 0) continue;
                const int64_t end = std::min<int64_t>(tick + int64_t(duration), maxTicks);
                pending.push({end, notes++, uint8_t(midi::kNoteOff | midi::ChannelOf(status)), message[1]});
                lastOff = std::max(lastOff, end);
            } else if (type == midi::kNoteOff) {
                continue;
            }
            out.Event(tick, message, size_t(1 + count));
        } else if (status == midi::kMeta) {
            uint8_t type = 0;
            uint32_t length = 0;
            if (!r.U8(type) || !r.Vlq(length) || length > r.Remaining()) return cut("a meta event");
            const uint8_t* body = r.Current();
            r.Skip(length);
            if (type == midi::kMetaEndOfTrack) break;
            // XMI plays on its own clock whatever tempo it names.
            if (type != midi::kMetaTempo) out.Meta(tick, type, body, length);
        } else if (status == midi::kSysex || status == midi::kSysexEscape) {
            uint32_t length = 0;
            if (!r.Vlq(length) || length > r.Remaining()) return cut("a system-exclusive message");
            out.Sysex(tick, status, r.Current(), length);
            r.Skip(length);
        } else {
            error = "the event data holds a system message that has no place in a file";
            return false;
        }
    }
    WriteOffsUntil(maxTicks);
    smf = out.Finish(std::max(tick, lastOff));
    return true;
}

// The EVNT chunk of the song's FORM XMID.
bool ConvertSequence(const CIffChunk& form, std::vector<uint8_t>& smf, std::string& error)
{
    CSpanReader reader(form.body, form.size);
    CIffChunk part;
    for (;;) {
        const EChunkRead read = NextChunk(reader, part);
        if (read == EChunkRead::Truncated) {
            error = "a chunk of the sequence runs past its end";
            return false;
        }
        if (read == EChunkRead::End) break;
        // TIMB lists the timbres the sequence uses and RBRN its branch
        // points: neither is needed to play it.
        if (part.id == Id("EVNT")) return CEventConverter().Convert(part.body, part.size, smf, error);
    }
    error = "the sequence has no event data";
    return false;
}

}  // namespace

bool IsXmiFile(const uint8_t* data, size_t size)
{
    if (!data || size < 12) return false;
    auto is = [&](size_t offset, const char* text) { return std::memcmp(data + offset, text, 4) == 0; };
    return (is(0, "FORM") && (is(8, "XDIR") || is(8, "XMID"))) || (is(0, "CAT ") && is(8, "XMID"));
}

bool ConvertXmiToSmf(const uint8_t* data, size_t size, std::vector<uint8_t>& smf, std::string& error)
{
    smf.clear();
    error.clear();
    if (!IsXmiFile(data, size)) {
        error = "the file is not XMI";
        return false;
    }
    // The sequences sit in a CAT XMID after an optional FORM XDIR, or the
    // file is one bare FORM XMID. Of several, the first is the song.
    CSpanReader file(data, size);
    CIffChunk chunk;
    for (;;) {
        const EChunkRead read = NextChunk(file, chunk);
        if (read == EChunkRead::Truncated) {
            error = "a chunk runs past the end of the file";
            return false;
        }
        if (read == EChunkRead::End) break;
        if (chunk.id == Id("FORM") && chunk.type == Id("XMID")) return ConvertSequence(chunk, smf, error);
        if (chunk.id != Id("CAT ") || chunk.type != Id("XMID")) continue;
        CSpanReader catalog(chunk.body, chunk.size);
        CIffChunk inner;
        for (;;) {
            const EChunkRead innerRead = NextChunk(catalog, inner);
            if (innerRead == EChunkRead::Truncated) {
                error = "a sequence runs past the end of its catalogue";
                return false;
            }
            if (innerRead == EChunkRead::End) break;
            if (inner.id == Id("FORM") && inner.type == Id("XMID")) return ConvertSequence(inner, smf, error);
        }
    }
    error = "the file holds no sequence";
    return false;
}

bool IsXmiHostFile(CHostFile* file)
{
    if (!file || !file->CanSeek() || file->IsStream()) return false;
    const int64_t start = file->GetPosition();
    if (start < 0 || !file->Seek(0)) return false;
    uint8_t head[12];
    const uint32_t read = file->Read(head, sizeof head);
    return file->Seek(start) && IsXmiFile(head, read);
}

bool ReadXmiHostFileAsSmf(CHostFile* file, std::vector<uint8_t>& smf, std::string& error)
{
    smf.clear();
    if (!file || !file->CanSeek()) {
        error = "the file cannot be read from its start";
        return false;
    }
    const int64_t start = file->GetPosition();
    if (start < 0 || !file->Seek(0)) {
        error = "the file cannot be read from its start";
        return false;
    }
    std::vector<uint8_t> bytes;
    constexpr uint32_t piece = 65536;
    for (;;) {
        const size_t have = bytes.size();
        if (have > MAX_XMI_FILE_BYTES) break;
        bytes.resize(have + piece);
        const uint32_t read = file->Read(bytes.data() + have, piece);
        bytes.resize(have + std::min(read, piece));
        if (read == 0) break;
    }
    file->Seek(start);
    if (bytes.size() > MAX_XMI_FILE_BYTES) {
        error = "the file is larger than an XMI file can be";
        return false;
    }
    return ConvertXmiToSmf(bytes.data(), bytes.size(), smf, error);
}
