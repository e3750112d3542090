// The music file writer: one segment model out as SMF, RMID, DirectMusic
// segment or XMI, and a one-instrument sine-wave DLS collection.
#include "tests/support/music_writer.h"

#include <dmusicf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "midi/midi_status.h"

namespace testsupport {

namespace {

using dmusic::CMidiEvent;
using dmusic::CPatchChange;
using dmusic::CSegmentModel;
using dmusic::EMidiEventKind;

// One timed message for a MIDI-style stream; order breaks ties (offs first,
// then band settings, then the rest in model order).
struct CTimedMessage {
    int64_t time;
    int order;
    size_t sequence;
    std::vector<uint8_t> bytes;  // status and data, or for sysex the whole F0 ... message
    int64_t duration = -1;       // XMI notes carry their duration instead of an off
};

uint8_t Channel(DWORD pchannel) { return uint8_t(pchannel & 0x0F); }

// The channel messages of the model (without note-offs: notes keep durations).
std::vector<CTimedMessage> Messages(const CSegmentModel& model)
{
    std::vector<CTimedMessage> out;
    size_t sequence = 0;
    for (const CPatchChange& patch : model.patches) {
        const uint8_t ch = Channel(patch.pchannel);
        auto add = [&](std::vector<uint8_t> bytes) { out.push_back({patch.time, 1, sequence++, std::move(bytes)}); };
        if (patch.setsProgram) {
            add({uint8_t(midi::kControlChange | ch), midi::kBankSelectMsb, patch.bankMsb});
            add({uint8_t(midi::kControlChange | ch), midi::kBankSelectLsb, patch.bankLsb});
            add({uint8_t(midi::kProgramChange | ch), patch.program});
        }
        if (patch.volume >= 0) add({uint8_t(midi::kControlChange | ch), midi::kVolume, uint8_t(patch.volume)});
        if (patch.pan >= 0) add({uint8_t(midi::kControlChange | ch), midi::kPan, uint8_t(patch.pan)});
    }
    for (const CMidiEvent& e : model.events) {
        const uint8_t ch = Channel(e.pchannel);
        CTimedMessage m{e.time, 2, sequence++, {}};
        if (e.kind == EMidiEventKind::Sysex) {
            m.bytes = e.sysex;
        } else if (e.kind == EMidiEventKind::PitchBend) {
            m.bytes = {uint8_t(midi::kPitchBend | ch), uint8_t(e.bend & 0x7F), uint8_t((e.bend >> 7) & 0x7F)};
        } else {
            const uint8_t status = uint8_t(StatusOfEventKind(e.kind) | ch);
            m.bytes = {status, e.data1};
            if (midi::DataBytesOf(status) == 2) m.bytes.push_back(e.data2);
        }
        if (e.kind == EMidiEventKind::Note) m.duration = e.duration;
        if (e.kind == EMidiEventKind::NoteOff) m.order = 0;
        out.push_back(std::move(m));
    }
    return out;
}

void SortMessages(std::vector<CTimedMessage>& messages)
{
    std::sort(messages.begin(), messages.end(), [](const CTimedMessage& a, const CTimedMessage& b) {
        if (a.time != b.time) return a.time < b.time;
        if (a.order != b.order) return a.order < b.order;
        return a.sequence < b.sequence;
    });
}

// The bytes of an SMF event after its delta time.
void PutSmfMessage(CChunkWriter& track, const std::vector<uint8_t>& bytes)
{
    if (!bytes.empty() && (bytes[0] == midi::kSysex || bytes[0] == midi::kSysexEscape)) {
        track.U8(bytes[0]).Vlq(uint32_t(bytes.size() - 1)).Raw(bytes.data() + 1, bytes.size() - 1);
    } else {
        track.Raw(bytes);
    }
}

CChunkWriter SmfTrack(std::vector<CTimedMessage> messages, int64_t length)
{
    SortMessages(messages);
    CChunkWriter track;
    int64_t now = 0;
    for (const CTimedMessage& m : messages) {
        track.Vlq(uint32_t(m.time - now));
        now = m.time;
        PutSmfMessage(track, m.bytes);
    }
    track.Vlq(uint32_t(std::max<int64_t>(0, length - now))).U8(midi::kMeta).U8(midi::kMetaEndOfTrack).U8(0);
    return track;
}

void Utf16(CChunkWriter& out, const std::u16string& text)
{
    for (char16_t c : text) out.Le16(c);
    out.Le16(0);
}

std::string Narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? char(c) : '?');
    return out;
}

// A DirectMusic track form: header and body.
CChunkWriter TrackForm(const GUID& clsid, uint32_t ckid, uint32_t fccType, const CChunkWriter& body)
{
    CChunkWriter header;
    header.Raw(&clsid, sizeof clsid).Le32(0).Le32(1).Le32(ckid).Le32(fccType);
    CChunkWriter track;
    track.Chunk("trkh", header).Raw(body);
    return track;
}

uint32_t Fcc(const char* id)
{
    return uint32_t(uint8_t(id[0])) | uint32_t(uint8_t(id[1])) << 8 | uint32_t(uint8_t(id[2])) << 16 |
           uint32_t(uint8_t(id[3])) << 24;
}

// An IFF chunk as XMI has them: big-endian sizes, padded to even.
void IffChunk(CChunkWriter& out, const char* id, const ByteVector& body)
{
    out.FourCc(id).Be32(uint32_t(body.size())).Raw(body);
    if (body.size() & 1) out.U8(0);
}
void IffForm(CChunkWriter& out, const char* id, const char* type, const ByteVector& body)
{
    out.FourCc(id).Be32(uint32_t(body.size() + 4)).FourCc(type).Raw(body);
    if (body.size() & 1) out.U8(0);
}

}  // namespace

ByteVector WriteStandardMidi(const CSegmentModel& model)
{
    CChunkWriter conductor;
    std::vector<CTimedMessage> meta;
    size_t sequence = 0;
    std::vector<std::pair<int64_t, ByteVector>> metaEvents;
    if (!model.name.empty()) {
        const std::string name = Narrow(model.name);
        ByteVector e{midi::kMeta, midi::kMetaTrackName};
        CChunkWriter w;
        w.Vlq(uint32_t(name.size())).Text(name);
        e.insert(e.end(), w.data.begin(), w.data.end());
        metaEvents.push_back({0, e});
    }
    for (const auto& sig : model.timeSignatures) {
        uint8_t power = 0;
        while ((1u << power) < sig.beat && power < 7) ++power;
        metaEvents.push_back({sig.time, {midi::kMeta, midi::kMetaTimeSignature, 4, sig.beatsPerMeasure, power, 24, 8}});
    }
    for (const auto& tempo : model.tempos) {
        const uint32_t micros = uint32_t(std::lround(60000000.0 / tempo.bpm));
        metaEvents.push_back(
            {tempo.time,
             {midi::kMeta, midi::kMetaTempo, 3, uint8_t(micros >> 16), uint8_t(micros >> 8), uint8_t(micros)}});
    }
    std::vector<CTimedMessage> first;
    for (auto& [time, bytes] : metaEvents) first.push_back({time, 1, sequence++, bytes});

    // One track per channel; notes become on and off pairs.
    std::map<int, std::vector<CTimedMessage>> channels;
    std::vector<CTimedMessage> system;
    for (CTimedMessage& m : Messages(model)) {
        if (m.bytes[0] == midi::kSysex || m.bytes[0] == midi::kSysexEscape) {
            system.push_back(std::move(m));
            continue;
        }
        auto& list = channels[midi::ChannelOf(m.bytes[0])];
        if (m.duration >= 0) {
            CTimedMessage off{m.time + m.duration,
                              0,
                              m.sequence,
                              {uint8_t(midi::kNoteOff | midi::ChannelOf(m.bytes[0])), m.bytes[1], 64}};
            list.push_back(std::move(off));
        }
        list.push_back(std::move(m));
    }
    first.insert(first.end(), system.begin(), system.end());

    CChunkWriter out;
    out.Text("MThd").Be32(6).Be16(1).Be16(uint16_t(1 + channels.size())).Be16(768);
    auto put = [&](const CChunkWriter& track) { out.Text("MTrk").Be32(uint32_t(track.Size())).Raw(track); };
    // A segment's last time is one unit before its length.
    const int64_t last = std::max<int64_t>(0, model.length - 1);
    put(SmfTrack(first, last));
    for (auto& [channel, list] : channels) put(SmfTrack(list, last));
    return out.data;
}

ByteVector WriteRmid(const ByteVector& smf, const InfoTags& info, const std::string& displayText, const ByteVector& dls)
{
    CChunkWriter extra;
    if (!info.empty()) {
        CChunkWriter list;
        for (const auto& [id, text] : info) list.Chunk(id, std::string(text) + '\0');
        extra.List("INFO", list);
    }
    if (!displayText.empty()) {
        CChunkWriter disp;
        disp.Le32(1).Text(displayText).U8(0);  // CF_TEXT
        extra.Chunk("DISP", disp);
    }
    if (!dls.empty()) extra.Raw(dls);
    return MakeRmid(smf, extra);
}

ByteVector WriteSegmentFile(const CSegmentModel& model, bool withChordTrack)
{
    CChunkWriter body;
    // The DirectX 8 header: the DirectX 6 fields and three more, which readers must step over.
    CChunkWriter header;
    header.Le32(model.repeats).Le32(uint32_t(model.length)).Le32(uint32_t(model.startPoint));
    header.Le32(uint32_t(model.loopStart)).Le32(uint32_t(model.loopEnd)).Le32(model.defaultResolution);
    header.Le32(0).Le32(0).Le32(0).Le32(0);
    body.Chunk("segh", header);
    const GUID guid = {0x7E55A21E, 0x0001, 0x4D53, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
    body.Chunk("guid", CChunkWriter().Raw(&guid, sizeof guid));
    if (!model.name.empty()) {
        CChunkWriter name;
        Utf16(name, model.name);
        body.List("UNFO", CChunkWriter().Chunk("UNAM", name));
    }

    CChunkWriter tracks;
    if (!model.tempos.empty()) {
        CChunkWriter items;
        items.Le32(16);
        for (const auto& tempo : model.tempos) {
            uint64_t bits;
            std::memcpy(&bits, &tempo.bpm, sizeof bits);
            items.Le32(uint32_t(tempo.time)).Le32(0).Le32(uint32_t(bits)).Le32(uint32_t(bits >> 32));
        }
        tracks.Riff("DMTK",
                    TrackForm(CLSID_DirectMusicTempoTrack, Fcc("tetr"), 0, CChunkWriter().Chunk("tetr", items)));
    }
    if (!model.timeSignatures.empty()) {
        CChunkWriter items;
        items.Le32(8);
        for (const auto& sig : model.timeSignatures)
            items.Le32(uint32_t(sig.time)).U8(sig.beatsPerMeasure).U8(sig.beat).Le16(sig.gridsPerBeat);
        tracks.Riff("DMTK", TrackForm(CLSID_DirectMusicTimeSigTrack, 0, Fcc("TIMS"),
                                      CChunkWriter().List("TIMS", CChunkWriter().Chunk("tims", items))));
    }
    if (!model.patches.empty()) {
        std::map<MUSIC_TIME, std::vector<CPatchChange>> bands;
        for (const auto& patch : model.patches) bands[patch.time].push_back(patch);
        CChunkWriter bandList;
        for (const auto& [time, patches] : bands) {
            CChunkWriter instruments;
            for (const auto& p : patches) {
                DWORD flags = DMUS_IO_INST_PATCH | DMUS_IO_INST_BANKSELECT;
                if (!p.setsProgram) flags = 0;
                if (p.volume >= 0) flags |= DMUS_IO_INST_VOLUME;
                if (p.pan >= 0) flags |= DMUS_IO_INST_PAN;
                const DWORD patch =
                    (DWORD(p.bankMsb) << 16) | (DWORD(p.bankLsb) << 8) | p.program | (p.drums ? 0x80000000u : 0);
                CChunkWriter bins;
                bins.Le32(patch).Le32(patch).Le32(~0u).Le32(~0u).Le32(~0u).Le32(~0u).Le32(p.pchannel).Le32(flags);
                bins.U8(uint8_t(std::max(0, p.pan))).U8(uint8_t(std::max(0, p.volume))).Le16(0).Le32(0).Le16(2).Le16(0);
                instruments.List("lbin", CChunkWriter().Chunk("bins", bins));
            }
            CChunkWriter band;
            band.List("lbil", instruments);
            CChunkWriter entry;
            entry.Chunk("bd2h", CChunkWriter().Le32(uint32_t(time)).Le32(uint32_t(time))).Riff("DMBD", band);
            bandList.List("lbnd", entry);
        }
        CChunkWriter bandTrack;
        bandTrack.Chunk("bdth", CChunkWriter().Le32(1)).List("lbdl", bandList);
        tracks.Riff("DMTK",
                    TrackForm(CLSID_DirectMusicBandTrack, 0, Fcc("DMBT"), CChunkWriter().Riff("DMBT", bandTrack)));
    }
    if (withChordTrack) {
        CChunkWriter chords;
        chords.Chunk("crdh", CChunkWriter().Le32(0));
        tracks.Riff("DMTK",
                    TrackForm(CLSID_DirectMusicChordTrack, 0, Fcc("cord"), CChunkWriter().List("cord", chords)));
    }
    CChunkWriter sequence, sysex;
    sequence.Le32(20);
    for (const CMidiEvent& e : model.events) {
        const uint8_t ch = Channel(e.pchannel);
        uint8_t b1 = e.data1, b2 = e.data2;
        if (e.kind == EMidiEventKind::Sysex) {
            sysex.Le32(uint32_t(e.time)).Le32(e.pchannel).Le32(uint32_t(e.sysex.size())).Raw(e.sysex);
            continue;
        }
        if (e.kind == EMidiEventKind::NoteOff) continue;
        const uint8_t status = StatusOfEventKind(e.kind);
        if (e.kind == EMidiEventKind::PitchBend) {
            b1 = uint8_t(e.bend & 0x7F);
            b2 = uint8_t((e.bend >> 7) & 0x7F);
        }
        sequence.Le32(uint32_t(e.time)).Le32(uint32_t(e.kind == EMidiEventKind::Note ? e.duration : 0));
        sequence.Le32(e.pchannel).Le16(0).U8(uint8_t(status | ch)).U8(b1).U8(b2).U8(0).Le16(0);
    }
    if (sysex.Size())
        tracks.Riff("DMTK",
                    TrackForm(CLSID_DirectMusicSysExTrack, Fcc("syex"), 0, CChunkWriter().Chunk("syex", sysex)));
    tracks.Riff("DMTK", TrackForm(CLSID_DirectMusicSeqTrack, Fcc("seqt"), 0,
                                  CChunkWriter().Chunk("seqt", CChunkWriter().Chunk("evtl", sequence))));
    body.List("trkl", tracks);
    return CChunkWriter().Riff("DMSG", body).data;
}

ByteVector WriteXmi(const CSegmentModel& model)
{
    auto ticks = [&](int64_t time) { return int64_t(std::llround(model.SecondsAt(MUSIC_TIME(time)) * 120.0)); };
    std::vector<CTimedMessage> messages = Messages(model);
    std::vector<std::pair<uint8_t, uint8_t>> timbres;
    for (CTimedMessage& m : messages) {
        if (m.duration >= 0) m.duration = std::max<int64_t>(1, ticks(m.time + m.duration) - ticks(m.time));
        m.time = ticks(m.time);
        if (midi::KindOf(m.bytes[0]) == midi::kProgramChange) timbres.push_back({m.bytes[1], 0});
    }
    SortMessages(messages);
    CChunkWriter events;
    if (!model.name.empty()) {
        const std::string name = Narrow(model.name);
        events.U8(midi::kMeta).U8(midi::kMetaTrackName).Vlq(uint32_t(name.size())).Text(name);
    }
    int64_t now = 0;
    auto interval = [&](int64_t until) {
        for (int64_t delay = until - now; delay > 0; delay -= std::min<int64_t>(delay, 127))
            events.U8(uint8_t(std::min<int64_t>(delay, 127)));
        now = std::max(now, until);
    };
    for (const CTimedMessage& m : messages) {
        interval(m.time);
        if (m.bytes[0] == midi::kSysex) {
            events.U8(midi::kSysex).Vlq(uint32_t(m.bytes.size() - 1)).Raw(m.bytes.data() + 1, m.bytes.size() - 1);
        } else if (midi::KindOf(m.bytes[0]) == midi::kNoteOff) {
            continue;  // XMI notes end by their durations
        } else {
            events.Raw(m.bytes);
            if (m.duration >= 0) events.Vlq(uint32_t(m.duration));
        }
    }
    interval(ticks(model.length));
    events.U8(midi::kMeta).U8(midi::kMetaEndOfTrack).U8(0);

    std::sort(timbres.begin(), timbres.end());
    timbres.erase(std::unique(timbres.begin(), timbres.end()), timbres.end());
    CChunkWriter timb;
    timb.Le16(uint16_t(timbres.size()));
    for (auto [program, bank] : timbres) timb.U8(program).U8(bank);

    CChunkWriter sequence;
    IffChunk(sequence, "TIMB", timb.data);
    IffChunk(sequence, "EVNT", events.data);
    CChunkWriter form;
    IffForm(form, "FORM", "XMID", sequence.data);
    CChunkWriter out;
    CChunkWriter info;
    IffChunk(info, "INFO", CChunkWriter().Le16(1).data);
    IffForm(out, "FORM", "XDIR", info.data);
    IffForm(out, "CAT ", "XMID", form.data);
    return out.data;
}

ByteVector WriteSineDls(uint8_t program, uint8_t bankMsb, const std::string& name)
{
    constexpr int kSamples = 32;
    constexpr uint32_t kRate = 14080;
    CChunkWriter samples;
    for (int i = 0; i < kSamples; ++i)
        samples.Le16(uint16_t(int16_t(std::lround(16000.0 * std::sin(2 * 3.14159265358979 * i / kSamples)))));
    CChunkWriter wsmp;
    wsmp.Le32(20).Le16(69).Le16(0).Le32(0).Le32(0).Le32(1);  // root key 69, one loop
    wsmp.Le32(16).Le32(0).Le32(0).Le32(kSamples);            // forward loop over the whole wave

    CChunkWriter region;
    region.Chunk("rgnh", CChunkWriter().Le16(0).Le16(127).Le16(0).Le16(127).Le16(0).Le16(0));
    region.Chunk("wsmp", wsmp);
    region.Chunk("wlnk", CChunkWriter().Le16(0).Le16(0).Le32(1).Le32(0));
    CChunkWriter instrument;
    instrument.Chunk("insh", CChunkWriter().Le32(1).Le32(uint32_t(bankMsb) << 8).Le32(program));
    instrument.List("lrgn", CChunkWriter().List("rgn ", region));
    instrument.List("INFO", CChunkWriter().Chunk("INAM", name + '\0'));

    CChunkWriter wave;
    wave.Chunk("fmt ", CChunkWriter().Le16(1).Le16(1).Le32(kRate).Le32(kRate * 2).Le16(2).Le16(16));
    wave.Chunk("wsmp", wsmp);
    wave.Chunk("data", samples);

    CChunkWriter body;
    body.Chunk("colh", CChunkWriter().Le32(1));
    body.Chunk("vers", CChunkWriter().Le32(0x00010000).Le32(0));
    body.List("lins", CChunkWriter().List("ins ", instrument));
    body.Chunk("ptbl", CChunkWriter().Le32(8).Le32(1).Le32(0));
    body.List("wvpl", CChunkWriter().List("wave", wave));
    body.List("INFO", CChunkWriter().Chunk("INAM", name + " collection" + '\0'));
    return CChunkWriter().Riff("DLS ", body).data;
}

}  // namespace testsupport
