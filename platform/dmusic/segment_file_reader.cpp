// DirectMusic segment files (RIFF "DMSG") into the segment model: the segment
// header, guid and UNFO name, and the track list's sequence, sysex, tempo,
// time-signature and band tracks. Chord, command, style and other tracks are
// logged and skipped. Item sizes come from the file, since the structures
// grew between DirectX versions: fields an older item lacks keep defaults,
// bytes a newer one adds are skipped.
#include <dmusicf.h>

#include <algorithm>
#include <cmath>

#include "platform/dmusic/loader_formats.h"
#include "platform/dmusic/loader_log.h"
#include "platform/dmusic/riff_reader.h"

namespace dmusic {

namespace {

// Little-endian fields of one item, read by offset; missing bytes read as zero.
class CItem {
public:
    CItem(const BYTE* data, size_t size) : data(data), size(size) {}
    uint32_t U32(size_t at) const
    {
        return Byte(at) | (Byte(at + 1) << 8) | (Byte(at + 2) << 16) | (uint32_t(Byte(at + 3)) << 24);
    }
    int32_t I32(size_t at) const { return int32_t(U32(at)); }
    uint16_t U16(size_t at) const { return uint16_t(Byte(at) | (Byte(at + 1) << 8)); }
    int16_t I16(size_t at) const { return int16_t(U16(at)); }
    uint32_t Byte(size_t at) const { return at < size ? data[at] : 0; }
    double Double(size_t at) const
    {
        uint64_t bits = uint64_t(U32(at)) | (uint64_t(U32(at + 4)) << 32);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    bool Has(size_t bytes) const { return size >= bytes; }

private:
    const BYTE* data;
    size_t size;
};

// Calls each(item) for an array chunk: a DWORD item size, then the items.
template <typename Each> bool ForEachItem(CByteReader body, size_t minimumSize, Each each)
{
    uint32_t itemSize = 0;
    if (!body.Le32(itemSize) || itemSize < minimumSize || itemSize > 0x10000) return false;
    while (body.Remaining() >= itemSize) {
        each(CItem(body.Current(), itemSize));
        body.Skip(itemSize);
    }
    return true;
}

// Music times stay well inside MUSIC_TIME, so offsets and durations cannot overflow.
MUSIC_TIME ClampTime(int64_t t) { return MUSIC_TIME(std::clamp<int64_t>(t, -0x3FFFFFFF, 0x3FFFFFFF)); }

class CSegmentParser {
public:
    explicit CSegmentParser(CSegmentModel& model) : model(model) {}
    HRESULT Parse(const BYTE* data, size_t size);

private:
    void ReadHeader(CByteReader body);
    void ReadTrack(CByteReader track);
    void ReadSequenceTrack(CByteReader body);
    void ReadSequenceItem(const CItem& item);
    void ReadCurveItem(const CItem& item);
    void ReadSysexTrack(CByteReader body);
    void ReadTempoTrack(CByteReader body);
    void ReadTimeSignatures(CByteReader body);
    void ReadBandTrack(CByteReader body);
    void ReadBand(CByteReader band, MUSIC_TIME time);

    CSegmentModel& model;
    int tracksRead = 0;
};

void CSegmentParser::ReadHeader(CByteReader body)
{
    const CItem header(body.Data(), body.Size());
    model.repeats = header.U32(0);
    model.length = std::max<MUSIC_TIME>(0, ClampTime(header.I32(4)));
    model.startPoint = std::max<MUSIC_TIME>(0, ClampTime(header.I32(8)));
    model.loopStart = std::max<MUSIC_TIME>(0, ClampTime(header.I32(12)));
    model.loopEnd = std::max<MUSIC_TIME>(0, ClampTime(header.I32(16)));
    model.defaultResolution = header.U32(20);
    if (model.startPoint > model.length) model.startPoint = 0;
    if (model.loopEnd > model.length || model.loopEnd <= model.loopStart) model.loopStart = model.loopEnd = 0;
}

void CSegmentParser::ReadSequenceItem(const CItem& item)
{
    // mtTime, mtDuration, dwPChannel, nOffset, bStatus, bByte1, bByte2
    CMidiEvent event;
    event.time = ClampTime(int64_t(item.I32(0)) + item.I16(12));
    event.pchannel = item.U32(8);
    const BYTE status = BYTE(item.Byte(14));
    event.data1 = BYTE(item.Byte(15) & 0x7F);
    event.data2 = BYTE(item.Byte(16) & 0x7F);
    if (!EventKindOfStatus(status, &event.kind)) return;
    switch (event.kind) {
    case EMidiEventKind::Note:
        event.duration = std::max<MUSIC_TIME>(1, ClampTime(item.I32(4)));
        if (event.data2 == 0) return;
        break;
    case EMidiEventKind::NoteOff: return;  // offs are implied by the notes' durations
    case EMidiEventKind::PitchBend: event.bend = WORD(event.data1 | (event.data2 << 7)); break;
    default: break;
    }
    model.events.push_back(std::move(event));
}

void CSegmentParser::ReadCurveItem(const CItem& item)
{
    // mtStart, mtDuration, mtResetDuration, dwPChannel, nOffset, nStartValue,
    // nEndValue, nResetValue, bType, bCurveShape, bCCData, bFlags
    const MUSIC_TIME start = ClampTime(int64_t(item.I32(0)) + item.I16(16));
    const MUSIC_TIME duration = std::max<MUSIC_TIME>(0, ClampTime(item.I32(4)));
    const DWORD pchannel = item.U32(12);
    const int from = item.I16(18), to = item.I16(20);
    const BYTE type = BYTE(item.Byte(24)), shape = BYTE(item.Byte(25)), controller = BYTE(item.Byte(26));
    EMidiEventKind kind;
    int maximum = 127;
    switch (type) {
    case DMUS_CURVET_PBCURVE:
        kind = EMidiEventKind::PitchBend;
        maximum = 16383;
        break;
    case DMUS_CURVET_CCCURVE: kind = EMidiEventKind::ControlChange; break;
    case DMUS_CURVET_MATCURVE: kind = EMidiEventKind::ChannelPressure; break;
    case DMUS_CURVET_PATCURVE: kind = EMidiEventKind::KeyPressure; break;
    default: LoaderTrace("segment: skipping a curve of type %u", type); return;
    }
    // A curve becomes steps a 32nd note apart (at most 128), along its shape;
    // an instant curve is its end value at its start.
    const bool instant = shape == DMUS_CURVES_INSTANT || duration == 0;
    const int steps = instant ? 0 : std::clamp(duration / (kPpq / 8), 1, 128);
    for (int i = 0; i <= steps; ++i) {
        const double x = instant ? 1.0 : double(i) / steps;
        double f = x;
        if (shape == DMUS_CURVES_EXP)
            f = x * x;
        else if (shape == DMUS_CURVES_LOG)
            f = std::sqrt(x);
        else if (shape == DMUS_CURVES_SINE)
            f = 0.5 - 0.5 * std::cos(x * 3.14159265358979);
        const int value = std::clamp(int(std::lround(from + (to - from) * f)), 0, maximum);
        CMidiEvent event;
        event.time = instant ? start : ClampTime(int64_t(start) + int64_t(double(duration) * x));
        event.pchannel = pchannel;
        event.kind = kind;
        if (kind == EMidiEventKind::PitchBend) {
            event.bend = WORD(value);
        } else if (kind == EMidiEventKind::ControlChange) {
            event.data1 = controller & 0x7F;
            event.data2 = BYTE(value);
        } else if (kind == EMidiEventKind::KeyPressure) {
            event.data1 = controller & 0x7F;
            event.data2 = BYTE(value);
        } else {
            event.data1 = BYTE(value);
        }
        model.events.push_back(std::move(event));
    }
}

void CSegmentParser::ReadSequenceTrack(CByteReader body)
{
    CRiffChunk chunk;
    while (NextRiffChunk(body, chunk)) {
        if (chunk.id == DMUS_FOURCC_SEQ_LIST) {
            if (!ForEachItem(chunk.body, 17, [&](const CItem& item) { ReadSequenceItem(item); }))
                LoaderTrace("segment: unreadable sequence list");
        } else if (chunk.id == DMUS_FOURCC_CURVE_LIST) {
            if (!ForEachItem(chunk.body, 28, [&](const CItem& item) { ReadCurveItem(item); }))
                LoaderTrace("segment: unreadable curve list");
        }
    }
}

void CSegmentParser::ReadSysexTrack(CByteReader body)
{
    // Items of mtTime, dwPChannel, dwSysExLength, each followed by its bytes.
    while (body.Remaining() >= 12) {
        const CItem item(body.Current(), 12);
        body.Skip(12);
        const uint32_t length = item.U32(8);
        if (length > body.Remaining()) break;
        CMidiEvent event;
        event.time = ClampTime(item.I32(0));
        event.pchannel = item.U32(4);
        event.kind = EMidiEventKind::Sysex;
        event.sysex.assign(body.Current(), body.Current() + length);
        body.Skip(length);
        if (!event.sysex.empty()) model.events.push_back(std::move(event));
    }
}

void CSegmentParser::ReadTempoTrack(CByteReader body)
{
    ForEachItem(body, 16, [&](const CItem& item) {
        const double bpm = item.Double(8);
        if (std::isfinite(bpm) && bpm > 0) model.tempos.push_back({ClampTime(item.I32(0)), bpm});
    });
}

void CSegmentParser::ReadTimeSignatures(CByteReader body)
{
    ForEachItem(body, 8, [&](const CItem& item) {
        CTimeSignatureChange sig;
        sig.time = ClampTime(item.I32(0));
        sig.beatsPerMeasure = item.Byte(4) ? BYTE(item.Byte(4)) : 4;
        sig.beat = item.Byte(5) ? BYTE(item.Byte(5)) : 4;
        sig.gridsPerBeat = item.U16(6) ? item.U16(6) : 4;
        model.timeSignatures.push_back(sig);
    });
}

void CSegmentParser::ReadBand(CByteReader band, MUSIC_TIME time)
{
    CRiffChunk chunk;
    while (NextRiffChunk(band, chunk)) {
        if (!chunk.IsList(DMUS_FOURCC_INSTRUMENTS_LIST)) continue;
        CByteReader instruments = chunk.body;
        CRiffChunk instrument;
        while (NextRiffChunk(instruments, instrument)) {
            if (!instrument.IsList(DMUS_FOURCC_INSTRUMENT_LIST)) continue;
            CByteReader parts = instrument.body;
            CRiffChunk part;
            while (NextRiffChunk(parts, part)) {
                if (part.id != DMUS_FOURCC_INSTRUMENT_CHUNK) continue;
                // dwPatch, dwAssignPatch, dwNoteRanges[4], dwPChannel, dwFlags, bPan, bVolume, ...
                const CItem item(part.body.Data(), part.body.Size());
                if (!item.Has(34)) continue;
                const DWORD flags = item.U32(28);
                const DWORD patch = (flags & DMUS_IO_INST_ASSIGN_PATCH) ? item.U32(4) : item.U32(0);
                CPatchChange change;
                change.time = time;
                change.pchannel = item.U32(24);
                if (!(flags & DMUS_IO_INST_PATCH) && !(flags & (DMUS_IO_INST_PAN | DMUS_IO_INST_VOLUME))) continue;
                change.program = BYTE(patch & 0x7F);
                if (flags & DMUS_IO_INST_BANKSELECT) {
                    change.bankMsb = BYTE((patch >> 16) & 0x7F);
                    change.bankLsb = BYTE((patch >> 8) & 0x7F);
                }
                change.drums = (patch & 0x80000000) != 0;
                change.setsProgram = (flags & DMUS_IO_INST_PATCH) != 0;
                if (flags & DMUS_IO_INST_PAN) change.pan = item.Byte(32) & 0x7F;
                if (flags & DMUS_IO_INST_VOLUME) change.volume = item.Byte(33) & 0x7F;
                model.patches.push_back(change);
            }
        }
    }
}

void CSegmentParser::ReadBandTrack(CByteReader body)
{
    CRiffChunk chunk;
    while (NextRiffChunk(body, chunk)) {
        if (!chunk.IsList(DMUS_FOURCC_BANDS_LIST)) continue;
        CByteReader bands = chunk.body;
        CRiffChunk entry;
        while (NextRiffChunk(bands, entry)) {
            if (!entry.IsList(DMUS_FOURCC_BAND_LIST)) continue;
            MUSIC_TIME time = 0;
            CByteReader parts = entry.body;
            CRiffChunk part;
            while (NextRiffChunk(parts, part)) {
                const CItem item(part.body.Data(), part.body.Size());
                if (part.id == DMUS_FOURCC_BANDITEM_CHUNK) time = ClampTime(item.I32(0));
                // The logical time says when the band belongs, the physical when it plays.
                if (part.id == DMUS_FOURCC_BANDITEM_CHUNK2) time = ClampTime(item.I32(4));
                if (part.IsList(DMUS_FOURCC_BAND_FORM)) ReadBand(part.body, std::max<MUSIC_TIME>(0, time));
            }
        }
    }
}

void CSegmentParser::ReadTrack(CByteReader track)
{
    CRiffChunk chunk;
    while (NextRiffChunk(track, chunk)) {
        const DWORD key = chunk.listType ? chunk.listType : chunk.id;
        if (chunk.id == DMUS_FOURCC_TRACK_CHUNK || chunk.id == DMUS_FOURCC_TRACK_EXTRAS_CHUNK ||
            chunk.id == DMUS_FOURCC_GUID_CHUNK || chunk.IsList(DMUS_FOURCC_UNFO_LIST))
            continue;
        ++tracksRead;
        switch (key) {
        case DMUS_FOURCC_SEQ_TRACK: ReadSequenceTrack(chunk.body); break;
        case DMUS_FOURCC_SYSEX_TRACK: ReadSysexTrack(chunk.body); break;
        case DMUS_FOURCC_TEMPO_TRACK: ReadTempoTrack(chunk.body); break;
        case DMUS_FOURCC_TIMESIGTRACK_LIST: {
            CByteReader list = chunk.body;
            CRiffChunk inner;
            while (NextRiffChunk(list, inner))
                if (inner.id == DMUS_FOURCC_TIMESIG_CHUNK) ReadTimeSignatures(inner.body);
            break;
        }
        case DMUS_FOURCC_TIMESIGNATURE_TRACK: ReadTimeSignatures(chunk.body); break;
        case DMUS_FOURCC_BANDTRACK_FORM: ReadBandTrack(chunk.body); break;
        case DMUS_FOURCC_CHORDTRACK_LIST: LoaderTrace("segment: skipping a chord track"); break;
        case DMUS_FOURCC_COMMANDTRACK_CHUNK: LoaderTrace("segment: skipping a command track"); break;
        case DMUS_FOURCC_STYLE_TRACK_LIST: LoaderTrace("segment: skipping a style track"); break;
        default:
            --tracksRead;
            LoaderTrace("segment: skipping a track of a kind this player does not play");
            break;
        }
    }
}

HRESULT CSegmentParser::Parse(const BYTE* data, size_t size)
{
    CByteReader file(data, size);
    CRiffChunk riff;
    if (!NextRiffChunk(file, riff) || !riff.IsList(DMUS_FOURCC_SEGMENT_FORM)) return DMUS_E_UNSUPPORTED_STREAM;
    bool haveHeader = false;
    CByteReader body = riff.body;
    CRiffChunk chunk;
    while (NextRiffChunk(body, chunk)) {
        if (chunk.id == DMUS_FOURCC_SEGMENT_CHUNK) {
            ReadHeader(chunk.body);
            haveHeader = true;
        } else if (chunk.IsList(DMUS_FOURCC_UNFO_LIST)) {
            CByteReader info = chunk.body;
            CRiffChunk item;
            while (NextRiffChunk(info, item))
                if (item.id == DMUS_FOURCC_UNAM_CHUNK) model.name = ReadUtf16(item.body.Data(), item.body.Size());
        } else if (chunk.IsList(DMUS_FOURCC_TRACK_LIST)) {
            CByteReader tracks = chunk.body;
            CRiffChunk track;
            while (NextRiffChunk(tracks, track))
                if (track.IsList(DMUS_FOURCC_TRACK_FORM)) ReadTrack(track.body);
        }
    }
    if (!haveHeader) return DMUS_E_INVALIDFILE;
    model.format = ESourceFormat::Segment;
    model.Normalize();
    return S_OK;
}

}  // namespace

HRESULT ReadSegmentFile(const BYTE* data, size_t size, CSegmentModel& model)
{
    return ParseIntoModel<CSegmentParser>(data, size, model);
}

}  // namespace dmusic
