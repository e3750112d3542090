// What the host tells of a file before the component reads it.
#pragma once

#include <string>

// True when a file's first bytes are those of a Standard MIDI, RMID,
// segment or XMI file.
inline bool LooksLikeMusic(const std::string& head)
{
    auto is = [&](size_t offset, const char* text) {
        return head.size() >= offset + 4 && head.compare(offset, 4, text) == 0;
    };
    return is(0, "MThd") || (is(0, "RIFF") && (is(8, "RMID") || is(8, "DMSG"))) ||
           (is(0, "FORM") && (is(8, "XDIR") || is(8, "XMID"))) || (is(0, "CAT ") && is(8, "XMID"));
}
