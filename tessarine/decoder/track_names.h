// What the decoder reads from a track's path and its names: the extension
// that tells a segment from a MIDI file, the title shown for a track, the
// names it answers to.
#pragma once

#include <cstdint>
#include <string>

// The text after the last '.' of the file name (the part after the last '/',
// '\', ':' or '|'), up to a '?' that follows it. Empty when the name has no
// '.' or the text after it is 32 characters or longer.
std::string GetPathExtension(const char* path);

// The file name without its extension: the last '.' before the first '?'
// ends it, unless that '.' is the name's first character.
std::string GetTrackTitle(const char* path);

// "audio/midi", compared without regard to case.
bool IsMidiContentType(const char* contentType);
// midi, mid, rmi, xmi or sgt, compared without regard to case.
bool IsMidiExtension(const char* extension);
// An extension of a DirectMusic segment file (sgt).
bool IsSegmentExtension(const std::string& extension);
