// XMI (extended MIDI): FORM XDIR / CAT XMID / FORM XMID files. The first
// sequence's EVNT chunk is read: interval bytes for delays, notes that carry
// their duration, channel events without running status, sysex and meta
// events. XMI runs on its own clock of 120 ticks a second, so its times map
// to music time at a fixed 120 per minute and tempo events are left out.
#include "platform/dmusic/loader_formats.h"
#include "platform/dmusic/loader_log.h"
#include "platform/dmusic/riff_reader.h"

#include <algorithm>

namespace dmusic {

namespace {

constexpr uint32_t Be(const char* id)
{
    return (uint32_t(uint8_t(id[0])) << 24) | (uint32_t(uint8_t(id[1])) << 16) | (uint32_t(uint8_t(id[2])) << 8) |
           uint8_t(id[3]);
}

// One IFF chunk (big-endian size, even padding); for FORM and CAT the type too.
struct CIffChunk {
    uint32_t id = 0, type = 0;
    CByteReader body;
};

bool NextIffChunk(CByteReader& reader, CIffChunk& chunk)
{
    uint32_t id = 0, size = 0;
    if (!reader.Be32(id) || !reader.Be32(size)) return false;
    chunk = CIffChunk();
    chunk.id = id;
    CByteReader body = reader.Take(size);
    if (size & 1) reader.SkipClamped(1);
    if (id == Be("FORM") || id == Be("CAT ") || id == Be("LIST")) {
        if (!body.Be32(chunk.type)) return true;
        chunk.body = body.Take(body.Remaining());
    } else {
        chunk.body = body;
    }
    return true;
}

// Music time of an XMI tick: 120 ticks a second at 120 quarters a minute.
constexpr int64_t kMaxTicks = 0x3FFFFFFF / 13;
MUSIC_TIME TickTime(int64_t tick) { return MUSIC_TIME((std::min(tick, kMaxTicks) * kPpq + 30) / 60); }

bool ReadEvents(CByteReader r, CSegmentModel& model)
{
    int64_t tick = 0, end = 0;
    bool any = false;
    while (!r.AtEnd()) {
        BYTE b = 0;
        r.Peek(b);
        if (!(b & 0x80)) {
            // An interval: the bytes below 0x80 add up to the delay.
            while (r.Peek(b) && !(b & 0x80)) {
                r.Skip(1);
                tick += b;
            }
            if (tick > kMaxTicks) break;
            continue;
        }
        r.Skip(1);
        const BYTE status = b;
        CMidiEvent event;
        event.time = TickTime(tick);
        event.pchannel = status & 0x0F;
        if (status < 0xF0) {
            const BYTE type = status & 0xF0;
            const int count = (type == 0xC0 || type == 0xD0) ? 1 : 2;
            BYTE data[2] = {0, 0};
            bool complete = true;
            for (int i = 0; i < count; ++i) complete = complete && r.U8(data[i]);
            if (!complete) break;
            event.data1 = data[0] & 0x7F;
            event.data2 = data[1] & 0x7F;
            switch (type) {
            case 0x90: {
                uint32_t duration = 0;
                if (!r.Vlq(duration)) return any;
                if (event.data2 == 0) continue;
                event.kind = EMidiEventKind::Note;
                event.duration = std::max<MUSIC_TIME>(1, TickTime(tick + duration) - event.time);
                end = std::max(end, tick + int64_t(duration));
                break;
            }
            case 0x80: continue;
            case 0xA0: event.kind = EMidiEventKind::KeyPressure; break;
            case 0xB0: event.kind = EMidiEventKind::ControlChange; break;
            case 0xC0: event.kind = EMidiEventKind::ProgramChange; break;
            case 0xD0: event.kind = EMidiEventKind::ChannelPressure; break;
            default:
                event.kind = EMidiEventKind::PitchBend;
                event.bend = WORD(event.data1 | (event.data2 << 7));
                break;
            }
            model.events.push_back(std::move(event));
            any = true;
        } else if (status == 0xFF) {
            BYTE type = 0;
            uint32_t length = 0;
            if (!r.U8(type) || !r.Vlq(length) || length > r.Remaining()) break;
            const BYTE* body = r.Current();
            r.Skip(length);
            if (type == 0x2F) break;
            if (type == 0x58 && length >= 2) {
                CTimeSignatureChange sig;
                sig.time = TickTime(tick);
                sig.beatsPerMeasure = body[0] ? body[0] : 4;
                sig.beat = body[1] < 8 ? BYTE(1u << body[1]) : 4;
                model.timeSignatures.push_back(sig);
            } else if (type == 0x03 && model.name.empty() && length) {
                model.name = ReadNarrowText(body, length);
            }
        } else if (status == 0xF0 || status == 0xF7) {
            uint32_t length = 0;
            if (!r.Vlq(length) || length > r.Remaining()) break;
            event.kind = EMidiEventKind::Sysex;
            event.pchannel = 0;
            const size_t lead = status == 0xF0 ? 1 : 0;
            event.sysex.resize(lead + length);
            if (lead) event.sysex[0] = 0xF0;
            if (length) std::memcpy(event.sysex.data() + lead, r.Current(), length);
            r.Skip(length);
            model.events.push_back(std::move(event));
            any = true;
        } else {
            LoaderTrace("XMI: stopping at a system message that has no place in a file");
            break;
        }
    }
    end = std::max(end, tick);
    model.length = TickTime(end);
    return true;
}

}  // namespace

HRESULT ReadXmi(const BYTE* data, size_t size, CSegmentModel& model)
{
    CByteReader file(data, size);
    CSegmentModel parsed;
    bool haveEvents = false;
    // The sequences sit in a CAT XMID after an optional FORM XDIR, or a file
    // may be a bare FORM XMID.
    CIffChunk chunk;
    bool recognised = false;
    while (!haveEvents && NextIffChunk(file, chunk)) {
        std::vector<CByteReader> forms;
        if (chunk.id == Be("FORM") && chunk.type == Be("XDIR")) {
            recognised = true;
            continue;
        }
        if (chunk.id == Be("CAT ") && chunk.type == Be("XMID")) {
            recognised = true;
            CByteReader cat = chunk.body;
            CIffChunk inner;
            while (NextIffChunk(cat, inner))
                if (inner.id == Be("FORM") && inner.type == Be("XMID")) {
                    forms.push_back(inner.body);
                    break;  // the first sequence is the song
                }
        } else if (chunk.id == Be("FORM") && chunk.type == Be("XMID")) {
            recognised = true;
            forms.push_back(chunk.body);
        }
        for (CByteReader form : forms) {
            CIffChunk part;
            while (NextIffChunk(form, part)) {
                if (part.id == Be("EVNT")) haveEvents = ReadEvents(part.body, parsed);
                // TIMB lists the timbres the sequence uses, RBRN its branch points: not needed to play.
            }
        }
    }
    if (!recognised) return DMUS_E_UNSUPPORTED_STREAM;
    if (!haveEvents) return DMUS_E_INVALIDFILE;
    parsed.format = ESourceFormat::Xmi;
    parsed.Normalize();
    model = std::move(parsed);
    return S_OK;
}

}  // namespace dmusic
