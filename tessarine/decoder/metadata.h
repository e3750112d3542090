// The texts a MIDI file carries (meta-event texts, text DISP chunks, RIFF
// INFO subchunks), found by scanning the file's bytes for three patterns, and
// the block-wise forward search those scans use.
#pragma once

#include "sdk/velmora/host_contract.h"
#include "tessarine/frame/sdk.h"

#include <cstdint>

// The longest pattern FindInFile accepts (2^27 bytes).
inline constexpr uint32_t MAX_SEARCH_PATTERN_LENGTH = 134217728;

// Adds the file's texts to info with AddField, in the order found. False when
// the file cannot be searched (null, a live stream, not seekable, or a
// negative size or position); true otherwise, whatever the file holds. The
// file is only read and sought: its position is restored at the end, and it
// is never written, closed or released.
bool ExtractMetadata(CHostFileInfo* info, CHostFile* file);

// The distance from the file's position to the first occurrence of the
// pattern at or after it, or -1 (also for a null pattern, a length of 0 or
// above MAX_SEARCH_PATTERN_LENGTH, and a distance that does not fit). The
// file's position is the same after the call as before it.
int32_t FindInFile(CHostFile* file, const void* pattern, uint32_t length);
