// The segment model: what every file reader (SMF, RMID, DirectMusic segment)
// produces and what the performance's sequencer plays. Times are music
// time, 768 units per quarter note, counted from the segment's start.
#pragma once

#include <windows.h>
#include <dmusici.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/midi_status.h"

namespace dmusic {

inline constexpr MUSIC_TIME kPpq = DMUS_PPQ;
// The tempo of a segment without any tempo event, as for a Standard MIDI file.
inline constexpr double kDefaultTempo = 120.0;

// One tempo change: from `time` on the music runs at `bpm` quarter notes per minute.
struct CTempoChange {
    MUSIC_TIME time = 0;         // where the tempo takes effect
    double bpm = kDefaultTempo;  // quarter notes per minute (> 0)
};

// One time signature: from `time` on a measure has `beatsPerMeasure` beats of note value `beat`.
struct CTimeSignatureChange {
    MUSIC_TIME time = 0;       // where the signature takes effect
    BYTE beatsPerMeasure = 4;  // numerator (6 for 6/8)
    BYTE beat = 4;             // denominator as a note value: 4 = quarter, 8 = eighth
    WORD gridsPerBeat = 4;     // subdivisions of a beat (DirectMusic's grid)
};

enum class EMidiEventKind : uint8_t {
    Note,             // a note with a duration: data1 key, data2 velocity, duration
    NoteOff,          // a bare note-off: data1 key, data2 release velocity
    ControlChange,    // data1 controller number, data2 value
    ProgramChange,    // data1 program; bank select travels as separate controller events
    PitchBend,        // bend 0..16383, 8192 = centre
    ChannelPressure,  // data1 pressure
    KeyPressure,      // data1 key, data2 pressure
    Sysex,            // sysex holds the whole message from F0 (or a raw F7 escape) to its end
};

// The kind of event a channel message's status makes: a note-on a Note
// (its reader gives it the duration), a note-off a NoteOff. False for a
// status that is no channel message.
constexpr bool EventKindOfStatus(BYTE status, EMidiEventKind* kind)
{
    switch (midi::KindOf(status)) {
    case midi::kNoteOff: *kind = EMidiEventKind::NoteOff; return true;
    case midi::kNoteOn: *kind = EMidiEventKind::Note; return true;
    case midi::kKeyPressure: *kind = EMidiEventKind::KeyPressure; return true;
    case midi::kControlChange: *kind = EMidiEventKind::ControlChange; return true;
    case midi::kProgramChange: *kind = EMidiEventKind::ProgramChange; return true;
    case midi::kChannelPressure: *kind = EMidiEventKind::ChannelPressure; return true;
    case midi::kPitchBend: *kind = EMidiEventKind::PitchBend; return true;
    default: return false;
    }
}

// The status of an event of that kind on channel 0: a Note's is its note-on,
// a Sysex's F0.
constexpr BYTE StatusOfEventKind(EMidiEventKind kind)
{
    switch (kind) {
    case EMidiEventKind::Note: return midi::kNoteOn;
    case EMidiEventKind::NoteOff: return midi::kNoteOff;
    case EMidiEventKind::ControlChange: return midi::kControlChange;
    case EMidiEventKind::ProgramChange: return midi::kProgramChange;
    case EMidiEventKind::PitchBend: return midi::kPitchBend;
    case EMidiEventKind::ChannelPressure: return midi::kChannelPressure;
    case EMidiEventKind::KeyPressure: return midi::kKeyPressure;
    case EMidiEventKind::Sysex: return midi::kSysex;
    }
    return midi::kSysex;
}

// One channel event in the segment.
struct CMidiEvent {
    MUSIC_TIME time = 0;  // when it plays
    DWORD pchannel = 0;   // performance channel: MIDI files use 0..15 (their MIDI channel)
    EMidiEventKind kind = EMidiEventKind::ControlChange;  // what it is
    BYTE data1 = 0;                                       // key, controller, program or pressure
    BYTE data2 = 0;                                       // velocity or controller value
    WORD bend = 8192;                                     // pitch bend value (PitchBend only)
    MUSIC_TIME duration = 0;                              // how long a Note sounds (Note only; > 0)
    std::vector<BYTE> sysex;                              // complete system-exclusive bytes (Sysex only)
};

// One instrument choice from a band: program, bank and optional mix settings.
struct CPatchChange {
    MUSIC_TIME time = 0;      // when the band's instrument takes effect
    DWORD pchannel = 0;       // performance channel it sets
    BYTE program = 0;         // MIDI program 0..127
    BYTE bankMsb = 0;         // bank select MSB (controller 0)
    BYTE bankLsb = 0;         // bank select LSB (controller 32)
    bool drums = false;       // the instrument is a drum kit (DLS drum flag)
    bool setsProgram = true;  // false when the band sets only volume or pan
    int volume = -1;          // controller 7 value, or -1 when the band leaves it alone
    int pan = -1;             // controller 10 value, or -1 when the band leaves it alone
};

// One instrument of a DLS collection.
struct CDlsInstrumentInfo {
    DWORD patch = 0;      // DirectMusic patch: (bank MSB << 16) | (bank LSB << 8) | program, bit 31 = drums
    std::u16string name;  // the instrument's INAM text, empty when it has none
};

// A DLS collection as loaded: the raw file for the synthesizer and its instrument list.
struct CCollectionData {
    std::vector<BYTE> bytes;                      // the complete RIFF DLS file, as read
    std::vector<CDlsInstrumentInfo> instruments;  // in file order
    std::u16string name;                          // the collection's INAM text, empty when it has none
    // The default General MIDI collection (GUID_DefaultGMCollection): the
    // synthesizer's own instruments, so a port has nothing to load for it.
    bool defaultSet = false;
};

// Which reader made the model.
enum class ESourceFormat : uint8_t { None, StandardMidi, Rmid, Segment };

struct CSegmentModel {
    ESourceFormat format = ESourceFormat::None;  // the reader that produced it
    MUSIC_TIME length = 0;                       // play length; nothing at or after it plays
    DWORD repeats = 0;                           // extra passes over the loop part (DMUS_SEG_REPEAT_INFINITE: for ever)
    MUSIC_TIME loopStart = 0;                    // start of the loop part
    MUSIC_TIME loopEnd = 0;                      // end of the loop part; 0 means the segment's length
    MUSIC_TIME startPoint = 0;                   // where playing starts (SetStartPoint), 0..length
    DWORD defaultResolution = 0;                 // DMUS_SEGF_* boundary flags the segment file asks for
    std::vector<CTempoChange> tempos;            // sorted by time; empty means 120 throughout
    std::vector<CTimeSignatureChange> timeSignatures;            // sorted by time; empty means 4/4
    std::vector<CMidiEvent> events;                              // sorted by time, file order kept within one time
    std::vector<CPatchChange> patches;                           // band instrument changes, sorted by time
    std::shared_ptr<const CCollectionData> embeddedCollection;   // the file's own DLS instruments (RMID, segment)
    std::shared_ptr<const CCollectionData> connectedCollection;  // set by GUID_ConnectToDLSCollection
    bool standardMidiFile = false;  // GUID_StandardMIDIFile was set: bank selects follow GM rules
    bool downloaded = false;        // GUID_Download succeeded and GUID_Unload has not followed
    std::u16string name;            // the segment's name (UNFO or track name), may be empty

    // The tempo in effect at t and, when next is given, the time of the next change
    // (or the length when none follows; never before t + 1).
    double TempoAt(MUSIC_TIME t, MUSIC_TIME* next = nullptr) const;
    // The time signature in effect at t (4/4 when there is none).
    CTimeSignatureChange TimeSignatureAt(MUSIC_TIME t) const;
    // Seconds from the segment's start to t, following the tempo map.
    double SecondsAt(MUSIC_TIME t) const;
    // Reference time (100 ns) from the segment's start to t, following the tempo map.
    REFERENCE_TIME MusicToReferenceTime(MUSIC_TIME t) const;
    // The music time reached after rt (100 ns) of playing from the segment's start.
    MUSIC_TIME ReferenceToMusicTime(REFERENCE_TIME rt) const;
    // The whole length in seconds, once through.
    double LengthInSeconds() const { return SecondsAt(length); }
    // Sorts tempos, signatures, events and patches by time (stable), drops
    // tempo entries that are not positive and holds the rest within 1..1000.
    void Normalize();
};

// Notes the performance side gives for GUID_Download and GUID_Unload on a
// segment: target is the performance (or port) passed to SetParam; the handler
// downloads the segment's collections (connected first, then embedded) or
// unloads them. Without a handler the segment only records the request.
typedef HRESULT (*SegmentDownloadHandler)(IUnknown* target, const std::shared_ptr<const CSegmentModel>& model,
                                          bool unload);
void SetSegmentDownloadHandler(SegmentDownloadHandler handler);
SegmentDownloadHandler GetSegmentDownloadHandler();

// A snapshot of what a segment of this platform holds, for the performance to
// play (null for a segment that is not this platform's). Later changes to the
// segment (SetLength, SetStartPoint, ...) do not reach a snapshot already taken.
std::shared_ptr<const CSegmentModel> GetSegmentModel(IDirectMusicSegment* segment);

// The collection data of a collection object of this platform, or null.
std::shared_ptr<const CCollectionData> GetCollectionData(IDirectMusicCollection* collection);

// The collection and patch an instrument object of this platform comes from
// (GetInstrument gives it; SetPatch changes the patch it downloads as).
// False for an instrument that is not this platform's.
bool GetInstrumentSource(IDirectMusicInstrument* instrument, std::shared_ptr<const CCollectionData>& collection,
                         DWORD& originalPatch, DWORD& patch);

}  // namespace dmusic
