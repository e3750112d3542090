// XMI (Miles extended MIDI) files as Standard MIDI files. DirectMusic's
// loader reads MIDI files but not XMI, so an XMI track is converted and the
// result handed to DirectMusic from memory.
#pragma once

#include "sdk/velmora/host_contract.h"
#include "tessarine/frame/sdk.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The largest XMI file read; real ones are a few kilobytes.
inline constexpr size_t MAX_XMI_FILE_BYTES = size_t{16} << 20;

// True when the bytes begin like an XMI file: an IFF FORM XDIR, FORM XMID or
// CAT XMID.
bool IsXmiFile(const uint8_t* data, size_t size);

// The first sequence of an XMI file as a format 0 Standard MIDI file at 60
// ticks a quarter and a fixed 120 quarters a minute, so one MIDI tick is one
// tick of XMI's 120 Hz clock. Notes get their note-offs from their
// durations; the file's tempo events are dropped (XMI plays on its own
// clock); other meta events and sysex pass through. False, with smf empty and
// the reason in error, for a file that is not XMI, is cut short or corrupt.
bool ConvertXmiToSmf(const uint8_t* data, size_t size, std::vector<uint8_t>& smf, std::string& error);

// Whether the host file holds XMI, judged by its first bytes; the file's
// position is kept. A file that cannot seek back (or a live stream) is never
// taken for XMI.
bool IsXmiHostFile(CHostFile* file);

// Reads the whole host file (from its start, whatever its position, which is
// kept) and converts it as ConvertXmiToSmf does. A file longer than
// MAX_XMI_FILE_BYTES fails.
bool ReadXmiHostFileAsSmf(CHostFile* file, std::vector<uint8_t>& smf, std::string& error);
