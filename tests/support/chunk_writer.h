// Byte-building helpers for tests: integers in either byte order, MIDI
// variable-length quantities, RIFF chunks and forms, and Standard MIDI Files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "midi/midi_status.h"

namespace testsupport {

using ByteVector = std::vector<uint8_t>;

// An append-only byte buffer; every operation returns the writer for chaining.
class CChunkWriter {
public:
    CChunkWriter() = default;
    CChunkWriter(std::initializer_list<uint8_t> initial) : data(initial) {}

    CChunkWriter& U8(uint8_t value)
    {
        data.push_back(value);
        return *this;
    }
    CChunkWriter& Le16(uint16_t value) { return U8(value & 0xFF).U8(value >> 8); }
    CChunkWriter& Le32(uint32_t value) { return Le16(value & 0xFFFF).Le16(value >> 16); }
    CChunkWriter& Be16(uint16_t value) { return U8(value >> 8).U8(value & 0xFF); }
    CChunkWriter& Be32(uint32_t value) { return Be16(value >> 16).Be16(value & 0xFFFF); }

    // A MIDI variable-length quantity: 7 bits a byte, most significant first,
    // the high bit set on every byte but the last.
    CChunkWriter& Vlq(uint32_t value)
    {
        uint8_t groups[5];
        int count = 0;
        do {
            groups[count++] = value & 0x7F;
            value >>= 7;
        } while (value != 0);
        while (count > 1) U8(groups[--count] | 0x80);
        return U8(groups[0]);
    }

    // The characters without a terminating NUL (string_view keeps inner NULs).
    CChunkWriter& Text(std::string_view text) { return Raw(text.data(), text.size()); }
    CChunkWriter& Raw(const void* bytes, size_t count)
    {
        const auto* begin = static_cast<const uint8_t*>(bytes);
        data.insert(data.end(), begin, begin + count);
        return *this;
    }
    CChunkWriter& Raw(const ByteVector& bytes) { return Raw(bytes.data(), bytes.size()); }
    CChunkWriter& Raw(const CChunkWriter& other) { return Raw(other.data); }
    CChunkWriter& Fill(size_t count, uint8_t value = 0)
    {
        data.insert(data.end(), count, value);
        return *this;
    }

    // A RIFF chunk: four-character ID, little-endian size, data, and a zero pad
    // byte after odd-sized data unless pad is false.
    CChunkWriter& Chunk(std::string_view id, const ByteVector& body, bool pad = true)
    {
        FourCc(id).Le32(static_cast<uint32_t>(body.size())).Raw(body);
        if (pad && (body.size() & 1)) U8(0);
        return *this;
    }
    CChunkWriter& Chunk(std::string_view id, std::string_view body, bool pad = true)
    {
        return Chunk(id, ByteVector(body.begin(), body.end()), pad);
    }
    CChunkWriter& Chunk(std::string_view id, const CChunkWriter& body, bool pad = true)
    {
        return Chunk(id, body.data, pad);
    }
    // A LIST or RIFF form: the ID, the size (type included), the type, the body.
    CChunkWriter& List(std::string_view type, const CChunkWriter& body) { return Form("LIST", type, body); }
    CChunkWriter& Riff(std::string_view type, const CChunkWriter& body) { return Form("RIFF", type, body); }
    CChunkWriter& Form(std::string_view id, std::string_view type, const CChunkWriter& body)
    {
        FourCc(id).Le32(static_cast<uint32_t>(body.data.size() + 4)).FourCc(type).Raw(body);
        if (body.data.size() & 1) U8(0);
        return *this;
    }
    // Exactly four characters: shorter IDs are padded with spaces.
    CChunkWriter& FourCc(std::string_view id)
    {
        for (size_t i = 0; i < 4; ++i) U8(i < id.size() ? static_cast<uint8_t>(id[i]) : ' ');
        return *this;
    }

    const ByteVector& Bytes() const { return data; }
    size_t Size() const { return data.size(); }
    operator const ByteVector&() const { return data; }

    ByteVector data;
};

// One MTrk track: events with their delta times. End() adds the end of track;
// CSmfBuilder adds it to a track that lacks it.
class CSmfTrack {
public:
    // A channel or system event whose bytes (status included) follow the delta.
    CSmfTrack& Event(uint32_t delta, std::initializer_list<uint8_t> bytes)
    {
        events.Vlq(delta);
        for (uint8_t b : bytes) events.U8(b);
        return *this;
    }
    CSmfTrack& NoteOn(uint32_t delta, uint8_t channel, uint8_t key, uint8_t velocity)
    {
        return Event(delta, {static_cast<uint8_t>(midi::kNoteOn | midi::ChannelOf(channel)), key, velocity});
    }
    CSmfTrack& NoteOff(uint32_t delta, uint8_t channel, uint8_t key)
    {
        return Event(delta, {static_cast<uint8_t>(midi::kNoteOff | midi::ChannelOf(channel)), key, 0});
    }
    CSmfTrack& ProgramChange(uint32_t delta, uint8_t channel, uint8_t program)
    {
        return Event(delta, {static_cast<uint8_t>(midi::kProgramChange | midi::ChannelOf(channel)), program});
    }
    // A meta event: FF, its type, a variable-length size and the data.
    CSmfTrack& Meta(uint32_t delta, uint8_t type, const ByteVector& body)
    {
        events.Vlq(delta).U8(midi::kMeta).U8(type).Vlq(static_cast<uint32_t>(body.size())).Raw(body);
        if (type == midi::kMetaEndOfTrack) ended = true;
        return *this;
    }
    CSmfTrack& Meta(uint32_t delta, uint8_t type, std::string_view text)
    {
        return Meta(delta, type, ByteVector(text.begin(), text.end()));
    }
    CSmfTrack& Tempo(uint32_t delta, uint32_t microsecondsPerQuarter)
    {
        return Meta(delta, midi::kMetaTempo,
                    ByteVector{static_cast<uint8_t>(microsecondsPerQuarter >> 16),
                               static_cast<uint8_t>(microsecondsPerQuarter >> 8),
                               static_cast<uint8_t>(microsecondsPerQuarter)});
    }
    CSmfTrack& End(uint32_t delta = 0) { return Meta(delta, midi::kMetaEndOfTrack, ByteVector{}); }

    CChunkWriter events;
    bool ended = false;
};

// A Standard MIDI File: the MThd header and one MTrk per added track.
class CSmfBuilder {
public:
    explicit CSmfBuilder(uint16_t format = 1, uint16_t division = 480) : format(format), division(division) {}

    CSmfTrack& AddTrack()
    {
        tracks.emplace_back();
        return tracks.back();
    }

    ByteVector Build() const
    {
        CChunkWriter out;
        out.Text("MThd").Be32(6).Be16(format).Be16(static_cast<uint16_t>(tracks.size())).Be16(division);
        for (CSmfTrack track : tracks) {
            if (!track.ended) track.End();
            out.Text("MTrk").Be32(static_cast<uint32_t>(track.events.Size())).Raw(track.events);
        }
        return out.data;
    }

    uint16_t format;
    uint16_t division;
    std::deque<CSmfTrack> tracks;  // a deque keeps AddTrack's references valid
};

// An RMID file: a RIFF "RMID" form whose "data" chunk holds the SMF, followed
// by whatever further chunks (an INFO list, a DISP chunk) the caller adds.
inline ByteVector MakeRmid(const ByteVector& smf, const CChunkWriter& extraChunks = {})
{
    CChunkWriter body;
    body.Chunk("data", smf).Raw(extraChunks);
    return CChunkWriter().Riff("RMID", body).data;
}

}  // namespace testsupport
