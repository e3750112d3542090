// Standard MIDI files (formats 0, 1 and 2; PPQ and SMPTE divisions) into the
// segment model. Damaged files keep what parsed: a track that ends early or
// lacks its end-of-track event plays up to where it stops, a chunk length
// past the end of the file is cut there, unknown chunks are skipped.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>

#include "midi/midi_status.h"
#include "platform/dmusic/loader_formats.h"
#include "platform/dmusic/loader_log.h"
#include "platform/dmusic/riff_reader.h"

namespace dmusic {

namespace {

// Keeps music times well inside MUSIC_TIME, so sums and lengths cannot overflow.
constexpr int64_t kMaxMusicTime = 0x3FFFFFFF;

// One event as read from a track, before notes are paired.
struct CRawEvent {
    uint64_t tick = 0;
    int track = 0;
    BYTE status = 0;  // channel status, 0xF0/0xF7 sysex
    BYTE data1 = 0;
    BYTE data2 = 0;
    std::vector<BYTE> sysex;
};

struct CTrackResult {
    uint64_t endTick = 0;  // the end-of-track event's time, or the last event's
    bool damaged = false;
};

class CSmfParser {
public:
    CSmfParser(CSegmentModel& model) : model(model) {}

    HRESULT Parse(const BYTE* data, size_t size);

private:
    // How a meta event read: cut short by the end of the track, the track's
    // end, or read.
    enum class EMetaRead { Cut, EndOfTrack, Read };
    // Sounding notes by channel * 128 + key: their indexes in model.events.
    using CSounding = std::map<int, std::deque<size_t>>;

    // A track's events, and each kind of event in it (false: the track
    // ends before the event does).
    CTrackResult ParseTrack(CByteReader track, int index, uint64_t offset);
    bool ReadChannelMessage(CByteReader& r, BYTE status, uint64_t tick, int track);
    EMetaRead ReadMetaEvent(CByteReader& r, uint64_t tick, int track);
    bool ReadSysex(CByteReader& r, BYTE status, uint64_t tick, int track);
    void SkipSystemMessage(CByteReader& r, BYTE status);
    int64_t ToMusicTime(uint64_t tick) const;
    // The model from every track's events: notes paired with their offs,
    // then the tempo map and the signatures.
    void BuildModel(uint64_t endTick);
    void AddEvent(const CRawEvent& raw, CSounding& sounding);
    void AddTemposAndSignatures();

    CSegmentModel& model;
    bool smpte = false;
    uint32_t ppq = 96;
    double ticksPerSecond = 0;
    std::vector<CRawEvent> events;
    std::vector<std::pair<uint64_t, double>> tempoTicks;  // tick, bpm
    std::vector<std::pair<uint64_t, CTimeSignatureChange>> signatureTicks;
    bool haveName = false;
};

int64_t CSmfParser::ToMusicTime(uint64_t tick) const
{
    double value;
    if (smpte) {
        // Without a tempo, SMPTE time runs at the default 120 per minute: 1536 units a second.
        value = double(tick) / ticksPerSecond * (kPpq * kDefaultTempo / 60.0);
    } else {
        value = double(tick) * kPpq / ppq;
    }
    // DirectMusic drops the fraction of a unit: at 123 ticks a quarter, tick 4
    // (24.98 units) plays at 24.
    value = std::floor(value);
    return value > double(kMaxMusicTime) ? kMaxMusicTime : int64_t(value);
}

CTrackResult CSmfParser::ParseTrack(CByteReader r, int index, uint64_t offset)
{
    CTrackResult result;
    uint64_t tick = offset;
    BYTE running = 0;
    bool ended = false;
    while (!r.AtEnd()) {
        uint32_t delta = 0;
        if (!r.Vlq(delta)) {
            result.damaged = true;
            break;
        }
        tick += delta;
        if (ToMusicTime(tick) >= kMaxMusicTime) {
            result.damaged = true;
            break;
        }
        BYTE status = 0;
        if (!r.Peek(status)) {
            result.damaged = true;
            break;
        }
        if (status & 0x80) {
            r.Skip(1);
        } else if (running) {
            status = running;
        } else {
            // A data byte with no status to run on: skip it and resynchronise.
            r.Skip(1);
            result.damaged = true;
            continue;
        }
        bool whole;  // the event read to its end
        if (midi::IsChannelStatus(status)) {
            running = status;
            whole = ReadChannelMessage(r, status, tick, index);
        } else if (status == midi::kMeta) {
            const EMetaRead meta = ReadMetaEvent(r, tick, index);
            whole = meta != EMetaRead::Cut;
            ended = meta == EMetaRead::EndOfTrack;
        } else if (status == midi::kSysex || status == midi::kSysexEscape) {
            whole = ReadSysex(r, status, tick, index);
        } else {
            SkipSystemMessage(r, status);
            result.damaged = true;
            continue;
        }
        if (!whole) {
            result.damaged = true;
            break;
        }
        result.endTick = tick;
        if (ended) break;
    }
    if (!ended) result.damaged = true;
    return result;
}

bool CSmfParser::ReadChannelMessage(CByteReader& r, BYTE status, uint64_t tick, int track)
{
    BYTE bytes[2] = {0, 0};
    for (int i = 0; i < midi::DataBytesOf(status); ++i) {
        if (!r.U8(bytes[i])) return false;
        bytes[i] &= 0x7F;
    }
    CRawEvent event;
    event.tick = tick;
    event.track = track;
    event.status = status;
    event.data1 = bytes[0];
    event.data2 = bytes[1];
    events.push_back(std::move(event));
    return true;
}

CSmfParser::EMetaRead CSmfParser::ReadMetaEvent(CByteReader& r, uint64_t tick, int track)
{
    BYTE type = 0;
    uint32_t length = 0;
    if (!r.U8(type) || !r.Vlq(length) || length > r.Remaining()) return EMetaRead::Cut;
    const BYTE* body = r.Current();
    r.Skip(length);
    if (type == midi::kMetaEndOfTrack) return EMetaRead::EndOfTrack;
    if (type == midi::kMetaTempo && length >= 3) {
        const uint32_t micros = (uint32_t(body[0]) << 16) | (uint32_t(body[1]) << 8) | body[2];
        if (micros > 0 && !smpte) tempoTicks.emplace_back(tick, 60000000.0 / micros);
    } else if (type == midi::kMetaTimeSignature && length >= 2) {
        CTimeSignatureChange sig;
        sig.beatsPerMeasure = body[0] ? body[0] : 4;
        sig.beat = body[1] < 8 ? BYTE(1u << body[1]) : 4;
        sig.gridsPerBeat = 4;
        signatureTicks.emplace_back(tick, sig);
    } else if (type == midi::kMetaTrackName && track == 0 && !haveName && length > 0) {
        model.name = ReadNarrowText(body, length);
        haveName = true;
    }
    return EMetaRead::Read;
}

bool CSmfParser::ReadSysex(CByteReader& r, BYTE status, uint64_t tick, int track)
{
    uint32_t length = 0;
    if (!r.Vlq(length) || length > r.Remaining()) return false;
    CRawEvent event;
    event.tick = tick;
    event.track = track;
    event.status = status;
    const size_t lead = status == midi::kSysex ? 1 : 0;
    event.sysex.resize(lead + length);
    if (lead) event.sysex[0] = midi::kSysex;
    if (length) std::memcpy(event.sysex.data() + lead, r.Current(), length);
    r.Skip(length);
    if (!event.sysex.empty()) events.push_back(std::move(event));
    return true;
}

void CSmfParser::SkipSystemMessage(CByteReader& r, BYTE status)
{
    // System common and real-time messages have no place in a file; skip
    // them with their data bytes.
    const int count = (status == 0xF2) ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
    for (int i = 0; i < count; ++i) {
        BYTE b;
        if (!r.Peek(b) || (b & 0x80)) break;
        r.Skip(1);
    }
}

void CSmfParser::BuildModel(uint64_t endTick)
{
    std::stable_sort(events.begin(), events.end(),
                     [](const CRawEvent& a, const CRawEvent& b) { return a.tick < b.tick; });
    // A segment plays the events before its length, so the length is one unit
    // past the file's last time: an event there (a last controller, a note-off
    // at the end of track) still plays.
    model.length = MUSIC_TIME(ToMusicTime(endTick) + 1);
    // Note-offs end the earliest sounding note of their key and channel.
    CSounding sounding;
    for (const CRawEvent& raw : events) AddEvent(raw, sounding);
    // Notes never switched off sound to the end of the segment.
    for (auto& [key, pending] : sounding)
        for (size_t index : pending) {
            CMidiEvent& note = model.events[index];
            note.duration = std::max<MUSIC_TIME>(1, model.length - note.time);
        }
    AddTemposAndSignatures();
    model.Normalize();
}

void CSmfParser::AddEvent(const CRawEvent& raw, CSounding& sounding)
{
    const MUSIC_TIME time = MUSIC_TIME(ToMusicTime(raw.tick));
    CMidiEvent event;
    event.time = time;
    if (raw.status == midi::kSysex || raw.status == midi::kSysexEscape) {
        event.kind = EMidiEventKind::Sysex;
        event.sysex = raw.sysex;
        model.events.push_back(std::move(event));
        return;
    }
    const BYTE channel = midi::ChannelOf(raw.status);
    event.pchannel = channel;
    event.data1 = raw.data1;
    event.data2 = raw.data2;
    if (!EventKindOfStatus(raw.status, &event.kind)) return;
    const int key = channel * 128 + raw.data1;
    if (event.kind == EMidiEventKind::Note && raw.data2 != 0) {
        sounding[key].push_back(model.events.size());
        model.events.push_back(std::move(event));
        return;
    }
    if (event.kind == EMidiEventKind::Note || event.kind == EMidiEventKind::NoteOff) {
        // A note-on at velocity 0 is a note-off too.
        auto found = sounding.find(key);
        if (found != sounding.end() && !found->second.empty()) {
            CMidiEvent& note = model.events[found->second.front()];
            found->second.pop_front();
            note.duration = std::max<MUSIC_TIME>(1, time - note.time);
        }
        return;
    }
    if (event.kind == EMidiEventKind::PitchBend) event.bend = WORD(raw.data1 | (raw.data2 << 7));
    model.events.push_back(std::move(event));
}

void CSmfParser::AddTemposAndSignatures()
{
    std::stable_sort(tempoTicks.begin(), tempoTicks.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [tick, bpm] : tempoTicks) {
        const MUSIC_TIME time = MUSIC_TIME(ToMusicTime(tick));
        // Of several tempos at one time the last one stands.
        if (!model.tempos.empty() && model.tempos.back().time == time)
            model.tempos.back().bpm = bpm;
        else
            model.tempos.push_back({time, bpm});
    }
    for (auto [tick, sig] : signatureTicks) {
        sig.time = MUSIC_TIME(ToMusicTime(tick));
        model.timeSignatures.push_back(sig);
    }
}

HRESULT CSmfParser::Parse(const BYTE* data, size_t size)
{
    CByteReader r(data, size);
    uint32_t magic = 0, headerLength = 0;
    if (!r.Be32(magic) || magic != 0x4D546864 /* MThd */) return DMUS_E_UNSUPPORTED_STREAM;
    uint16_t format = 0, trackCount = 0, division = 0;
    if (!r.Be32(headerLength) || headerLength < 6 || !r.Be16(format) || !r.Be16(trackCount) || !r.Be16(division))
        return DMUS_E_INVALIDFILE;
    r.SkipClamped(headerLength - 6);
    if (division & 0x8000) {
        const int frames = -int(int8_t(division >> 8));
        const int perFrame = division & 0xFF;
        if (frames <= 0 || perFrame == 0) return DMUS_E_INVALIDFILE;
        smpte = true;
        ticksPerSecond = (frames == 29 ? 29.97 : double(frames)) * perFrame;
    } else {
        if (division == 0) return DMUS_E_INVALIDFILE;
        ppq = division;
    }

    int tracks = 0;
    bool damaged = false;
    uint64_t endTick = 0, sequenceOffset = 0;
    while (r.Remaining() >= 8) {
        uint32_t id = 0, length = 0;
        r.Be32(id);
        r.Be32(length);
        if (length > r.Remaining()) damaged = true;
        CByteReader body = r.Take(length);
        if (id != 0x4D54726B /* MTrk */) {
            LoaderTrace("SMF: skipping a chunk that is not a track");
            continue;
        }
        // Format 2 tracks are independent sequences, played one after another.
        const uint64_t offset = format == 2 ? sequenceOffset : 0;
        const CTrackResult track = ParseTrack(body, tracks, offset);
        damaged |= track.damaged;
        endTick = std::max(endTick, track.endTick);
        if (format == 2) sequenceOffset = track.endTick;
        ++tracks;
    }
    if (tracks == 0) return DMUS_E_INVALIDFILE;
    if (damaged) LoaderTrace("SMF: damaged file, playing what parsed");
    if (trackCount != tracks) LoaderTrace("SMF: header names %u tracks, file has %d", trackCount, tracks);
    model.format = ESourceFormat::StandardMidi;
    BuildModel(endTick);
    return S_OK;
}

}  // namespace

HRESULT ReadStandardMidi(const BYTE* data, size_t size, CSegmentModel& model)
{
    return ParseIntoModel<CSmfParser>(data, size, model);
}

}  // namespace dmusic
