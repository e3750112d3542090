// MIDI status bytes and meta-event types, and the few rules about them that
// every reader and writer of MIDI data here shares. Header-only and free of
// Windows types: both the platform and the component (built for Windows
// against the real SDK too) include it.
#pragma once

#include <cstdint>

namespace midi {

// Channel messages: the status's high nibble; the low one is the channel.
inline constexpr uint8_t kNoteOff = 0x80;
inline constexpr uint8_t kNoteOn = 0x90;
inline constexpr uint8_t kKeyPressure = 0xA0;
inline constexpr uint8_t kControlChange = 0xB0;
inline constexpr uint8_t kProgramChange = 0xC0;
inline constexpr uint8_t kChannelPressure = 0xD0;
inline constexpr uint8_t kPitchBend = 0xE0;

// System messages.
inline constexpr uint8_t kSysex = 0xF0;  // system exclusive, to its F7
inline constexpr uint8_t kEndOfSysex = 0xF7;
inline constexpr uint8_t kSysexEscape = 0xF7;  // in a file: raw bytes to send as they are
inline constexpr uint8_t kMeta = 0xFF;         // a file's meta event (a reset on the wire)

// Meta-event types.
inline constexpr uint8_t kMetaTrackName = 0x03;
inline constexpr uint8_t kMetaEndOfTrack = 0x2F;
inline constexpr uint8_t kMetaTempo = 0x51;
inline constexpr uint8_t kMetaTimeSignature = 0x58;

// Controllers the players here set themselves.
inline constexpr uint8_t kBankSelectMsb = 0;
inline constexpr uint8_t kVolume = 7;
inline constexpr uint8_t kPan = 10;
inline constexpr uint8_t kBankSelectLsb = 32;
inline constexpr uint8_t kSustain = 64;

// The kind of a channel message (its high nibble) and its channel.
constexpr uint8_t KindOf(uint8_t status) { return uint8_t(status & 0xF0); }
constexpr uint8_t ChannelOf(uint8_t status) { return uint8_t(status & 0x0F); }
constexpr bool IsChannelStatus(uint8_t status) { return status >= 0x80 && status < 0xF0; }
// Data bytes after a channel message's status: one for a program change or
// channel pressure, two for the others.
constexpr int DataBytesOf(uint8_t status)
{
    return KindOf(status) == kProgramChange || KindOf(status) == kChannelPressure ? 1 : 2;
}
// A channel message packed as status | data1 << 8 | data2 << 16, the way
// short messages travel to a port.
constexpr uint32_t PackMessage(uint8_t status, uint8_t data1, uint8_t data2 = 0)
{
    return uint32_t(status) | uint32_t(data1) << 8 | uint32_t(data2) << 16;
}

}  // namespace midi
